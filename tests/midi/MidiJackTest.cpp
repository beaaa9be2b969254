// MIDI from a real JACK MIDI client (the dummy-driver server of the test
// fixture) reaching the engine, the play control and the patch panel.
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <thread>

#include "engine/ParamSpec.h"
#include "midi/EngineMidiTarget.h"
#include "midi/MidiInput.h"
#include "midi/RtMidiInputBackend.h"
#include "patches/EnginePatchStreams.h"
#include "patches/PatchPanel.h"
#include "tests/patches/FakePanel.h"
#include "tests/shell/CoreTestSupport.h"

namespace midi {
namespace {

using namespace std::chrono_literals;

// Any warning of the MIDI input fails the test.
struct FailingNotices : MidiNotices {
    void showStatus(int, std::string_view) override {}
    void showWarning(std::string_view caption, std::string_view text) override {
        ADD_FAILURE() << caption << ": " << text;
    }
};

class MidiJackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("FRISSON_MIDI_API", "jack", 1); }

    MidiJackTest() {
        EXPECT_FALSE(rig.control.allocateBuffers().has_value());
        panel.start(engine::defaultParamSet());
        settings.setOptions(decodeOptions(kDefaultResponseOptions));
        // A JACK connection carries data only from a later graph cycle on, later still on a loaded
        // server, and on a loaded machine one made while other clients come and go now and then
        // never carries at all: the keyboard sends a controller nothing responds to until one
        // arrives, and when none does, a new keyboard is plugged in and chosen from a fresh list, as a
        // performer would. The client name is unique per process and attempt: tests of other
        // processes may play their own keyboards at the same time.
        bool carried = false;
        std::string graph;
        for (int attempt = 0; attempt < 3 && !carried; ++attempt) {
            const std::string client =
                "FrissonTestKeys" + std::to_string(getpid()) + "x" + std::to_string(attempt);
            keyboard.emplace(RtMidi::UNIX_JACK, client);
            keyboard->openVirtualPort("out");
            input.initMidiInput();
            const auto port = findDeviceContaining(input.deviceNames(), client + ":");
            if (!port) {
                ADD_FAILURE() << "the keyboard's port is not among the MIDI sources";
                return;
            }
            settings.selectedDevice = *port;
            EXPECT_TRUE(input.openMidiInput());
            carried = pumpUntil(
                [&] {
                    send({0xB0, 0, 0});
                    std::this_thread::sleep_for(10ms);
                    return !monitorLines.empty();
                },
                3s);
            if (!carried)
                graph += "attempt " + std::to_string(attempt + 1) + ":\n" + jackGraph();
        }
        EXPECT_TRUE(carried) << "the keyboard's connection never carried a message; the JACK graph:\n"
                             << graph;
        if (carried && !graph.empty())
            std::cerr << "the keyboard was plugged in again; the JACK graph before:\n" << graph;
        monitorLines.clear();
    }

    void send(std::vector<unsigned char> bytes) { keyboard->sendMessage(&bytes); }

    // The server's ports and their connections as jack_lsp lists them, to tell a lost connection
    // from a client that stopped.
    static std::string jackGraph() {
        std::string text;
        if (FILE* lsp = popen("jack_lsp -c 2>&1", "r")) {
            char line[256];
            while (fgets(line, sizeof line, lsp) != nullptr)
                text += line;
            pclose(lsp);
        }
        return text;
    }

    // Runs the main thread's part until `done` holds, by default for at most 5 s (a JACK period is
    // 6 ms; this allows for a loaded machine); false when it never did.
    template <typename Done>
    bool pumpUntil(Done done, std::chrono::seconds patience = 5s) {
        for (const auto end = std::chrono::steady_clock::now() + patience;
             std::chrono::steady_clock::now() < end;) {
            while (const auto message = rig.queue.take())
                dispatch(*message);
            if (done())
                return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    void dispatch(const platform::Message& message) {
        if (message.number == platform::kMsgMidiPlayStart || message.number == platform::kMsgMidiPlayStop)
            rig.control.togglePlay(output::PlayControl::kMidiMode);
        else if (message.number == platform::kMsgProgramChange)
            panel.programChange(static_cast<int>(message.first), static_cast<int>(message.second));
        else if (message.number == platform::kMsgBufferDone)
            rig.control.onBufferDone(message.first, message.second);
        else if (message.number == platform::kMsgMidiMonitor)
            monitorLines.push_back(message.first);
        else if (platform::isMoveScrollBarMessage(message.number))
            scrollPositions[static_cast<int>(message.number - platform::kMsgMoveScrollBar)] = message.first;
    }

    int32_t targetOf(int param) const { return engine.stream(0).param(param).targetValue(); }

    // Play control over a manual sound server whose JACK device "system" is selected.
    shell::testing::PlayRig rig{44100};
    engine::Engine& engine = rig.engine;
    patches::EnginePatchStreams patchStreams{engine};
    patches::testing::FakeView panelView;
    patches::PatchPanel panel{patchStreams, panelView};

    MidiControlSettings settings;
    EngineMidiTarget midiTarget{engine, rig.control, nullptr};
    MidiInputHandler handler{settings, midiTarget, rig.queue};
    RtMidiInputBackend backend;
    FailingNotices notices;
    MidiInput input{settings, handler, backend, notices};
    std::optional<RtMidiOut> keyboard;

    std::vector<int64_t> monitorLines;
    std::map<int, int64_t> scrollPositions;
};

TEST_F(MidiJackTest, KeyboardPlaysPitchesMovesParametersAndRecallsPatchesUntilTheInputShutsDown) {
    ASSERT_TRUE(input.isOpen());

    send({0x90, 72, 100});
    ASSERT_TRUE(pumpUntil([&] { return engine.playing(); })) << "a note did not start play";
    EXPECT_EQ(std::tuple(targetOf(engine::Pitch), scrollPositions[engine::Pitch]), std::tuple(9830, -9830));

    send({0xB0, 7, 64});  // LengthRnd: 2 * 65
    ASSERT_TRUE(pumpUntil([&] { return targetOf(engine::LengthRnd) == 130; }));

    send({0xE0, 0, 95});  // bend 8192 of 7 semitones: 9830 + 8192 * (11371 - 9830) / 16384
    EXPECT_TRUE(pumpUntil([&] { return targetOf(engine::Pitch) == 10600; }));

    patches::Patch& stored = panel.bank(0).slot(3);
    stored.values = engine::defaultParamSet();
    stored.values[engine::Amp] = 700;
    stored.values[engine::GrainLen] = 1000;
    stored.setSoundPath(patches::kSinePath);
    stored.flags = patches::kPatchOccupied;
    send({0xC0, 3});
    EXPECT_TRUE(
        pumpUntil([&] { return targetOf(engine::Amp) == 700 && targetOf(engine::GrainLen) == 1000; }));

    send({0x80, 72, 0});  // the last held note: play stops
    EXPECT_TRUE(pumpUntil([&] { return !engine.playing(); })) << "releasing the note did not stop play";
    send({0xFA});
    EXPECT_TRUE(pumpUntil([&] { return engine.playing(); })) << "system Start did not start play";
    send({0xFC});
    EXPECT_TRUE(pumpUntil([&] { return !engine.playing(); })) << "system Stop did not stop play";

    // Every message differed from the one before: at least the first line was shown.
    ASSERT_FALSE(monitorLines.empty());
    EXPECT_EQ(monitorLines.front(), 0x644890);

    // Nothing arrives after the input shuts down.
    input.shutDown();
    send({0x90, 60, 100});
    std::this_thread::sleep_for(200ms);  // many JACK periods
    while (const auto message = rig.queue.take())
        dispatch(*message);
    EXPECT_EQ(std::tuple(handler.heldNotes().empty(), engine.playing(), panelView.warnings.empty()),
              std::tuple(true, false, true));
}

}  // namespace
}  // namespace midi
