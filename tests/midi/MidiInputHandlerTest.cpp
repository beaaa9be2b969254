// MIDI input: devices opened through a backend, the bytes they deliver assembled into short messages and
// turned into play, parameter changes, program changes and monitor lines.
#include "engine/ParamSpec.h"
#include "midi/MidiInput.h"
#include "midi/MonitorLine.h"
#include "midi/ResponseRowFields.h"
#include "platform/MessageQueue.h"
#include "tests/midi/FakeMidiTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace midi {
namespace {
using Change = testing::FakeMidiTarget::Change;
using Changes = std::vector<Change>;
using Numbers = std::vector<uint32_t>;
using Streams = std::vector<int>;
using Texts = std::vector<std::string>;
using platform::kMsgMidiPlayStart;
using platform::kMsgMidiPlayStop;

TEST(ShortMessageAssembler, RunningStatusSplitDeliveriesAndRealTimeBytes) {
    using Messages = std::vector<ShortMessage>;
    auto assemble = [](ShortMessageAssembler& assembler, std::vector<uint8_t> bytes) {
        Messages messages;
        assembler.feed(bytes, [&](const ShortMessage& message) { messages.push_back(message); });
        return messages;
    };
    ShortMessageAssembler running;  // running status reuses the last channel status
    EXPECT_EQ(assemble(running, {0x91, 60, 100, 62, 90, 60, 0, 0xC2, 5, 7}),
              (Messages{{0x91, 60, 100}, {0x91, 62, 90}, {0x91, 60, 0}, {0xC2, 5, 0}, {0xC2, 7, 0}}));
    ShortMessageAssembler split;  // messages may span several deliveries
    EXPECT_TRUE(assemble(split, {0xE0, 0}).empty());
    EXPECT_EQ(assemble(split, {95}), (Messages{{0xE0, 0, 95}}));
    ShortMessageAssembler realTime;  // real-time bytes pass through without breaking a message
    EXPECT_EQ(assemble(realTime, {0xB0, 0xFA, 7, 0xFC, 64, 9, 10}),
              (Messages{{0xFA, 0, 0}, {0xFC, 0, 0}, {0xB0, 7, 64}, {0xB0, 9, 10}}));
    ShortMessageAssembler dropping;  // system exclusive and stray data are dropped
    EXPECT_TRUE(assemble(dropping, {1, 2, 0xF0, 0x7E, 0x90, 1, 0xF7, 3, 4}).empty());
    // System common ends the running status.
    EXPECT_EQ(assemble(dropping, {0x90, 60, 1, 0xF3, 2, 61, 1}), (Messages{{0x90, 60, 1}, {0xF3, 2, 0}}));
}

TEST(MonitorLine, NamesTheStatusAndCountsChannelsFromOne) {
    EXPECT_EQ(formatMonitorLine(0x643C91), "MIDI input: Chn 2, Note on 60, 100");
    EXPECT_EQ(formatMonitorLine(0x00408F), "MIDI input: Chn 16, Note off 64, 0");
    EXPECT_EQ(formatMonitorLine(0x5F00E0), "MIDI input: Chn 1, Pitch bend 0, 95");
    EXPECT_EQ(formatMonitorLine(0x0000FA), "MIDI input: Chn 11, System 0, 0");
    EXPECT_EQ(formatMonitorLine(0x000105), "MIDI input: Chn 6, (Error?) 1, 0");
    EXPECT_EQ(formatMonitorLine(0x007BB3), "MIDI input: Channel mode (ch 4), command: 123, 0");
    EXPECT_EQ(formatMonitorLine(0x7F79B0), "MIDI input: Chn 1, Control 121, 127");
}

class MidiInputHandlerTest : public ::testing::Test {
  protected:
    MidiInputHandlerTest() {
        settings.setOptions(decodeOptions(kDefaultResponseOptions));
        settings.monitorInput = 0;
    }

    void send(std::vector<uint8_t> bytes) { handler.handleBytes(bytes); }
    // Sends `bytes` and returns the numbers of the messages posted since the last look, scroll bar
    // moves left out.
    Numbers posted(std::vector<uint8_t> bytes = {}) {
        send(std::move(bytes));
        Numbers taken;
        for (const auto& message : messages())
            if (!platform::isMoveScrollBarMessage(message.number))
                taken.push_back(message.number);
        return taken;
    }
    std::vector<platform::Message> messages() {
        std::vector<platform::Message> taken;
        while (auto message = queue.take())
            taken.push_back(*message);
        return taken;
    }
    Changes pitchChanges() const {
        Changes pitches;
        std::ranges::copy_if(target.changes, std::back_inserter(pitches),
                             [](const Change& change) { return change.param == engine::Pitch; });
        return pitches;
    }
    // (note, velocity, pitch bend, aftertouch) of the last note.
    std::tuple<int, int, int, int> last() const {
        const auto& n = handler.lastNote();
        return {n.note, n.velocity, n.pitchBend, n.aftertouch};
    }

    MidiControlSettings settings;
    testing::FakeMidiTarget target;
    platform::MessageQueue queue;
    MidiInputHandler handler{settings, target, queue};
};

TEST_F(MidiInputHandlerTest, FirstNoteStartsPlayWithItsPitchAndATiedNoteOnlyRestartsWhenAskedTo) {
    target.exists[2] = true;
    // The clock restarts, every stream snaps and, with restart on a new note, restarts its loop.
    EXPECT_EQ(posted({0x90, 62, 100}), Numbers{kMsgMidiPlayStart});
    EXPECT_EQ(std::tuple(target.frameClockResets, target.snaps, target.loopResets, pitchChanges(), last()),
              std::tuple(1, Streams{0, 2}, Streams{0, 2}, Changes{{0, engine::Pitch, 6881, 0.64}},
                         std::tuple(62, 101, 0, 0)));

    target = testing::FakeMidiTarget();
    target.playing = true;
    EXPECT_TRUE(posted({0x90, 72, 64}).empty());
    EXPECT_EQ(std::tuple(target.frameClockResets, target.snaps.size(), target.loopResets.size()),
              std::tuple(0, 0u, 0u))
        << "restart on a tied note is off";
    EXPECT_EQ(std::tuple(pitchChanges().back().value, handler.lastNote().velocity), std::tuple(9830, 64));
    settings.restartOnTiedNote = true;
    send({0x90, 73, 1});
    EXPECT_EQ(std::tuple(target.loopResets, handler.lastNote().velocity), std::tuple(Streams{0}, 0));

    target.stopping = true;  // a note during a soft stop starts play again
    EXPECT_EQ(posted({0x90, 60, 127}), Numbers{kMsgMidiPlayStart});
    EXPECT_EQ(handler.lastNote().velocity, 128);
}

TEST_F(MidiInputHandlerTest, RunningStatusAndVelocityZeroReleaseNotesAndOnlyPlayStops) {
    EXPECT_TRUE(posted({0x80, 60, 0}).empty());  // a stray release while stopped
    send({0x90, 60, 100, 64, 90});               // two notes, the second by running status
    EXPECT_EQ(handler.heldNotes().count(), 2);
    target.playing = true;
    (void)posted();
    // Note-on with velocity 0 by running status is a release; with one note still held play goes on.
    EXPECT_TRUE(posted({60, 0}).empty());
    EXPECT_EQ(handler.heldNotes().count(), 1);
    EXPECT_EQ(posted({0x80, 64, 0}), Numbers{kMsgMidiPlayStop});
    EXPECT_EQ(std::pair(handler.heldNotes().empty(), handler.lastNote().note), std::pair(true, -1))
        << "the last note was released";

    target.playing = false;
    (void)posted({0x90, 60, 100});
    EXPECT_TRUE(posted({0x80, 60, 0}).empty());  // play did not start yet: nothing to stop

    settings.noteStopMode = kNewNoteStops;  // in toggle mode a new note stops, and releases never do
    EXPECT_EQ(posted({0x90, 60, 100}), Numbers{kMsgMidiPlayStart});
    target.playing = true;
    target.changes.clear();
    EXPECT_EQ(posted({0x90, 61, 100}), Numbers{kMsgMidiPlayStop});
    EXPECT_TRUE(target.changes.empty());
    EXPECT_TRUE(posted({0x80, 61, 0, 0x80, 60, 0}).empty());
}

TEST_F(MidiInputHandlerTest, NotesAreRoutedAndCountedPerChannel) {
    settings.channel = 0;  // omni: channels to the streams of their number, if they exist
    target.exists[2] = true;
    // Channel 9: no stream 8; channel 2: stream 1 does not exist.
    EXPECT_TRUE(posted({0x98, 60, 100, 0x91, 60, 100}).empty());
    EXPECT_TRUE(target.changes.empty());
    send({0x92, 60, 100});  // channel 3 plays into stream 2
    EXPECT_EQ(std::pair(pitchChanges(), handler.lastNote().stream),
              std::pair(Changes{{2, engine::Pitch, 6144, 0.64}}, 2));

    send({0x92, 60, 0});  // released while stopped
    target.exists[1] = true;
    target.playing = true;
    settings.rows[0] = withTo(withTargetIndex(withSourceIndex(0, 1), 12), 100);  // velocity -> Amp
    send({0x90, 60, 100, 0x91, 60, 100, 0x91, 62, 100});
    target.changes.clear();
    send({0x81, 60, 0});  // channel 2 still holds 62: no release response
    EXPECT_TRUE(target.changes.empty());
    send({0x81, 62, 0});  // channel 2 now empty: release response into stream 1
    EXPECT_EQ(std::pair(target.changes, handler.heldNotes().count()),
              std::pair(Changes{{1, engine::Amp, 0, 12.8}}, 1));
    send({0x80, 60, 0});
    EXPECT_TRUE(handler.heldNotes().empty());
    EXPECT_EQ(posted().back(), kMsgMidiPlayStop);

    target.changes.clear();
    settings.channel = 5;  // one channel, into the current stream
    target.exists[3] = true;
    target.current = 3;
    send({0x90, 60, 100, 0x93, 61, 100});  // channels 1 and 4: ignored
    EXPECT_TRUE(target.changes.empty());
    send({0x94, 60, 100});
    EXPECT_EQ(pitchChanges(), (Changes{{3, engine::Pitch, 6144, 0.64}}));
}

TEST_F(MidiInputHandlerTest, PitchBendMovesThePitchAroundTheNoteAndAftertouchOnlyTheAftertouch) {
    settings.maxPitchBend = 2;
    settings.rows[0] = withTo(withTargetIndex(withSourceIndex(0, 3), 10), 100);  // aftertouch -> Attack
    send({0x90, 60, 100, 0xE0, 0, 95});
    EXPECT_EQ(std::tuple(handler.lastNote().pitchBend, pitchChanges().back().value), std::tuple(8192, 6512));
    target.changes.clear();
    send({0xD0, 64});
    EXPECT_EQ(std::pair(last(), target.changes),
              std::pair(std::tuple(60, 101, 8192, 64), Changes{{0, engine::Attack, 128, 12.8}}));
    send({0xA0, 61, 127});  // poly pressure of another key: ignored
    EXPECT_EQ(handler.lastNote().aftertouch, 64);
    send({0xA0, 60, 127});
    EXPECT_EQ(std::tuple(handler.lastNote().aftertouch, target.changes.back().value), std::tuple(128, 256));

    send({0xE0, 0, 0});
    EXPECT_EQ(handler.lastNote().pitchBend, -16384);
    send({0xE0, 127, 127});
    EXPECT_EQ(handler.lastNote().pitchBend, 16511);
    send({0xE0, 0, 64});
    EXPECT_EQ(pitchChanges().back().value, 6144);
    settings.maxPitchBend = 0;
    const size_t before = pitchChanges().size();
    send({0xE0, 0, 95});  // no bend range: the pitch stays
    EXPECT_EQ(pitchChanges().size(), before);
}

TEST_F(MidiInputHandlerTest, ControllersSystemMessagesAndProgramChanges) {
    send({0xB0, 7, 64, 0xB0, 70, 1, 0xB0, 3, 1});  // the last two are outside both ranges
    EXPECT_EQ(target.changes, (Changes{{0, engine::LengthRnd, 130, 12.8}}));
    // All notes off and all sound off stop play; system Start starts it, Continue restarts the loops.
    EXPECT_TRUE(posted({0xB0, 123, 0, 0xFC}).empty());  // not playing: nothing to stop
    EXPECT_EQ(posted({0xFA}), Numbers{kMsgMidiPlayStart});
    EXPECT_EQ(std::tuple(target.loopResets.size(), target.changes.size()), std::tuple(0u, 1u))
        << "a system start is no new note";
    target.playing = true;
    EXPECT_TRUE(posted({0xFA}).empty());
    settings.restartOnTiedNote = true;
    EXPECT_TRUE(posted({0xFB}).empty());  // continue while playing: restarts the loops, no toggle
    EXPECT_EQ(target.loopResets, (Streams{0}));
    EXPECT_EQ(posted({0xFC}), Numbers{kMsgMidiPlayStop});
    EXPECT_EQ(posted({0xB0, 120, 0}), Numbers{kMsgMidiPlayStop});
    target.stopping = true;  // a second stop would restart the fading play
    EXPECT_TRUE(posted({0xB0, 123, 0}).empty());

    target.exists[1] = true;
    send({0xC1, 0, 0xC1, 20, 0xC1, 21, 0xC1, 25, 0xC1, 29, 0xC1, 31, 0xC1, 37, 0xC1, 38});
    std::vector<std::pair<int64_t, int64_t>> changes;
    for (const auto& message : messages())
        if (message.number == platform::kMsgProgramChange)
            changes.emplace_back(message.first, message.second);
    EXPECT_EQ(changes,
              (std::vector<std::pair<int64_t, int64_t>>{{1400, 1}, {1420, 1}, {1601, 0}, {1607, 0}}));
    settings.programChangeOn = false;
    EXPECT_TRUE(posted({0xC1, 3}).empty());
}

TEST_F(MidiInputHandlerTest, StopShowsMidiValuesOnTheScrollBarsWhenTheyDidNotFollow) {
    settings.moveSliders = false;
    target.playing = true;
    target.targets[0][engine::Amp] = 1000;
    target.targets[0][engine::PanPos] = -300;  // outside the range: clamped
    send({0xFC});
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 1u + engine::kParamCount);
    EXPECT_EQ(
        std::tuple(shown[0].number, shown[1 + engine::Amp].number, shown[1 + engine::Amp].first,
                   shown[1 + engine::PanPos].first, shown[1 + engine::ChangeTime].first),
        std::tuple(kMsgMidiPlayStop, platform::moveScrollBarMessage(engine::Amp), 24, 256, 4096 - 64 + 1));
}

TEST_F(MidiInputHandlerTest, MonitorPostsOneLinePerChange) {
    settings.monitorInput = 1;
    settings.moveSliders = true;
    for (int i = 0; i < 50; ++i)
        send({0xB0, 7, 64});
    send({0xB0, 7, 65});
    std::vector<int64_t> lines;
    int sliderMoves = 0;
    for (const auto& message : messages()) {
        if (message.number == platform::kMsgMidiMonitor)
            lines.push_back(message.first);
        sliderMoves += message.number == platform::moveScrollBarMessage(engine::LengthRnd);
    }
    // The first line still waits when the second is posted: only one reaches the window.
    EXPECT_EQ(std::tuple(lines, sliderMoves, target.changes.size()),
              std::tuple(std::vector<int64_t>{0x4007B0}, 1, 51u));
    // (Nothing happens while the device is opening: checked with the input that opens it.)
}

// Ports by name; an empty name cannot be described. Opening may fail, and delivers a message while
// the port is opening, as a busy keyboard would.
class FakeBackend : public MidiInputBackend {
  public:
    std::string serviceName() const override { return "fake"; }
    unsigned portCount() override { return static_cast<unsigned>(ports.size()); }
    std::optional<std::string> portName(unsigned port, std::string& error) override {
        error = "unreadable port";
        return ports[port].empty() ? std::nullopt : std::optional(ports[port]);
    }
    bool open(unsigned port, BytesCallback onBytes, std::string& error) override {
        openedPorts.push_back(port);
        onBytes(kNoteOn);
        error = "port busy";
        if (!failOpen)
            callback = std::move(onBytes);
        return !failOpen;
    }
    void close() override { ++closes, callback = nullptr; }

    static constexpr std::array<uint8_t, 3> kNoteOn{0x90, 60, 100};
    std::vector<std::string> ports;
    bool failOpen = false;
    std::vector<unsigned> openedPorts;
    int closes = 0;
    BytesCallback callback;
};

// Statuses shown as "status part: text", warnings as "caption: text".
struct RecordingNotices : MidiNotices {
    void showStatus(int part, std::string_view text) override {
        shown.push_back("status " + std::to_string(part) + ": " + std::string(text));
    }
    void showWarning(std::string_view caption, std::string_view text) override {
        shown.push_back(std::string(caption) + ": " + std::string(text));
    }
    Texts shown;
};

class MidiInputTest : public MidiInputHandlerTest {
  protected:
    FakeBackend backend;
    RecordingNotices notices;
    MidiInput input{settings, handler, backend, notices};
};

TEST_F(MidiInputTest, DevicesAreListedWithoutUnreadableOnesAndTheSettingsAreBroughtInRange) {
    EXPECT_EQ(input.initMidiInput(), 0);
    EXPECT_EQ(std::pair(notices.shown, backend.openedPorts.empty()),
              std::pair(Texts{"status 2: No MIDI input devices found"}, true));

    backend.ports = {"Keys", "", "Pads"};
    settings.selectedDevice = 1;
    settings.channel = 17;  // out of range: reset to 1
    EXPECT_EQ(input.initMidiInput(), 2);
    EXPECT_EQ(
        std::tuple(input.deviceNames(), notices.shown, backend.openedPorts),
        std::tuple(Texts{"Keys", "Pads"},
                   Texts{"status 2: No MIDI input devices found", "MIDI input device error: unreadable port"},
                   std::vector<unsigned>{2}));  // position 1 is port 2
    EXPECT_EQ(std::tuple(settings.channel, input.isOpen()), std::tuple(1, true));

    settings.selectedDevice = 4;  // out of range: reset to the first device
    settings.channel = 16;
    input.initMidiInput();
    EXPECT_EQ(std::tuple(settings.selectedDevice, settings.channel), std::tuple(0, 16));

    const Texts names{"system:midi_capture_1", "keys:out", "pads:out"};
    EXPECT_EQ(std::tuple(findDeviceContaining(names, "out"), findDeviceContaining(names, "pads"),
                         findDeviceContaining(names, "drums")),
              std::tuple(1, 2, std::nullopt));
}

TEST_F(MidiInputTest, InputWhileOpeningIsIgnoredReopeningClosesFirstAndFailuresWarn) {
    backend.ports = {"Keys", "Pads"};
    settings.monitorInput = 1;
    ASSERT_EQ(input.initMidiInput(), 2);
    ASSERT_TRUE(input.isOpen());
    EXPECT_EQ(std::tuple(handler.heldNotes().empty(), queue.take().has_value(), settings.monitorInput),
              std::tuple(true, false, 1))
        << "the note sent while the port was opening";
    backend.callback(FakeBackend::kNoteOn);
    EXPECT_EQ(handler.heldNotes().count(), 1);

    settings.selectedDevice = 1;
    const int closesBefore = backend.closes;
    EXPECT_TRUE(input.openMidiInput());
    EXPECT_EQ(std::pair(backend.closes, backend.openedPorts),
              std::pair(closesBefore + 1, std::vector<unsigned>{0, 1}));
    settings.selectedDevice = -1;  // None closes only
    EXPECT_TRUE(input.openMidiInput());
    EXPECT_EQ(std::pair(input.isOpen(), backend.openedPorts.size()), std::pair(false, 2ul));

    backend.failOpen = true;
    settings.selectedDevice = 0;
    settings.monitorInput = 0;
    EXPECT_FALSE(input.openMidiInput());
    EXPECT_EQ(std::tuple(input.isOpen(), notices.shown, settings.monitorInput),
              std::tuple(false, Texts{"Error opening MIDI input device: port busy"}, 0));
}
}  // namespace
}  // namespace midi
