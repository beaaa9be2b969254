#include "midi/MidiInput.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/MessageQueue.h"
#include "tests/midi/FakeMidiTarget.h"

namespace midi {
namespace {

// Ports by name; an empty name cannot be described. Opening may fail, and may
// deliver a message while the port is opening, as a busy keyboard would.
class FakeBackend : public MidiInputBackend {
  public:
    std::string serviceName() const override { return "fake"; }
    unsigned portCount() override { return static_cast<unsigned>(ports.size()); }
    std::optional<std::string> portName(unsigned port, std::string& error) override {
        if (ports[port].empty()) {
            error = "unreadable port";
            return std::nullopt;
        }
        return ports[port];
    }
    bool open(unsigned port, BytesCallback onBytes, std::string& error) override {
        openedPorts.push_back(port);
        const uint8_t noteOn[] = {0x90, 60, 100};
        onBytes(noteOn);
        if (failOpen) {
            error = "port busy";
            return false;
        }
        callback = std::move(onBytes);
        return true;
    }
    void close() override {
        ++closes;
        callback = nullptr;
    }

    std::vector<std::string> ports;
    bool failOpen = false;
    std::vector<unsigned> openedPorts;
    int closes = 0;
    BytesCallback callback;
};

class RecordingNotices : public MidiNotices {
  public:
    void showStatus(int part, std::string_view text) override { statuses.emplace_back(part, text); }
    void showWarning(std::string_view caption, std::string_view text) override {
        warnings.emplace_back(caption, text);
    }
    std::vector<std::pair<int, std::string>> statuses;
    std::vector<std::pair<std::string, std::string>> warnings;
};

class MidiInputTest : public ::testing::Test {
  protected:
    MidiControlSettings settings;
    testing::FakeMidiTarget target;
    platform::MessageQueue queue;
    MidiInputHandler handler{settings, target, queue};
    FakeBackend backend;
    RecordingNotices notices;
    MidiInput input{settings, handler, backend, notices};
};

TEST_F(MidiInputTest, NoDevicesShowsTheStatusText) {
    EXPECT_EQ(input.initMidiInput(), 0);
    EXPECT_EQ(notices.statuses,
              (std::vector<std::pair<int, std::string>>{{2, "No MIDI input devices found"}}));
    EXPECT_TRUE(backend.openedPorts.empty());
}

TEST_F(MidiInputTest, UnreadableDevicesAreDroppedAndTheRestKeepTheirPorts) {
    backend.ports = {"Keys", "", "Pads"};
    settings.selectedDevice = 1;
    settings.channel = 17;  // out of range: reset to 1
    EXPECT_EQ(input.initMidiInput(), 2);
    EXPECT_EQ(input.deviceNames(), (std::vector<std::string>{"Keys", "Pads"}));
    ASSERT_EQ(notices.warnings.size(), 1u);
    EXPECT_EQ(notices.warnings[0].first, "MIDI input device error");
    EXPECT_EQ(backend.openedPorts, (std::vector<unsigned>{2}));  // position 1 is port 2
    EXPECT_EQ(settings.channel, 1);
    EXPECT_TRUE(input.isOpen());

    settings.selectedDevice = 4;  // out of range: reset to the first device
    settings.channel = 16;
    input.initMidiInput();
    EXPECT_EQ(settings.selectedDevice, 0);
    EXPECT_EQ(settings.channel, 16);
}

TEST_F(MidiInputTest, InputWhileOpeningIsIgnoredAndMonitoringComesBack) {
    backend.ports = {"Keys"};
    settings.monitorInput = 1;
    ASSERT_EQ(input.initMidiInput(), 1);
    ASSERT_TRUE(input.isOpen());
    EXPECT_TRUE(handler.heldNotes().empty());
    EXPECT_FALSE(queue.take());
    EXPECT_EQ(settings.monitorInput, 1);
    const uint8_t noteOn[] = {0x90, 60, 100};
    backend.callback(noteOn);
    EXPECT_EQ(handler.heldNotes().count(), 1);
}

TEST_F(MidiInputTest, OpenFailureWarnsAndLeavesMidiOff) {
    backend.ports = {"Keys"};
    backend.failOpen = true;
    settings.monitorInput = 0;
    input.initMidiInput();
    EXPECT_FALSE(input.isOpen());
    EXPECT_EQ(
        notices.warnings,
        (std::vector<std::pair<std::string, std::string>>{{"Error opening MIDI input device", "port busy"}}));
    EXPECT_EQ(settings.monitorInput, 0);
}

TEST_F(MidiInputTest, ReopeningClosesFirstAndNoneClosesOnly) {
    backend.ports = {"Keys", "Pads"};
    input.initMidiInput();
    settings.selectedDevice = 1;
    const int closesBefore = backend.closes;
    EXPECT_TRUE(input.openMidiInput());
    EXPECT_EQ(backend.closes, closesBefore + 1);
    EXPECT_EQ(backend.openedPorts, (std::vector<unsigned>{0, 1}));
    settings.selectedDevice = -1;
    EXPECT_TRUE(input.openMidiInput());
    EXPECT_FALSE(input.isOpen());
    EXPECT_EQ(backend.openedPorts.size(), 2u);
}

TEST(MidiDeviceNames, FindsTheFirstNameContainingThePart) {
    const std::vector<std::string> names{"system:midi_capture_1", "keys:out", "pads:out"};
    EXPECT_EQ(findDeviceContaining(names, "out"), 1);
    EXPECT_EQ(findDeviceContaining(names, "pads"), 2);
    EXPECT_FALSE(findDeviceContaining(names, "drums"));
}

}  // namespace
}  // namespace midi
