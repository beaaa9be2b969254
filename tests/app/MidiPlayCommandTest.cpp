// `frisson play --midi PORT` against the JACK server of the test fixture, with
// a JACK MIDI client standing in for the keyboard.
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/CommandLine.h"
#include "tests/app/AppTestSupport.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Unique per process: tests of other processes may play their own keyboards at the same time.
const std::string kKeyboardClient = "FrissonCliKeys" + std::to_string(getpid());

int play(const std::vector<std::string>& args) {
    return apptest::run("play", args);
}

// Settings and banks in a scratch home, never the user's.
class MidiPlayCommandTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const fs::path home = fs::path(FRISSON_TEST_TMP) / ("midi-play-home-" + std::to_string(getpid()));
        fs::remove_all(home);
        fs::create_directories(home);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("FRISSON_MIDI_API", "jack", 1);
    }

    MidiPlayCommandTest() : keyboard(RtMidi::UNIX_JACK, kKeyboardClient) { keyboard.openVirtualPort("out"); }

    // Runs the command while `perform` plays the keyboard; returns its stderr.
    std::string playWhile(std::vector<std::string> args, int& status, const std::function<void()>& perform) {
        std::ostringstream captured;
        std::streambuf* const previous = std::cerr.rdbuf(captured.rdbuf());
        std::thread performer(perform);
        status = play(std::move(args));
        performer.join();
        std::cerr.rdbuf(previous);
        return captured.str();
    }

    void send(std::vector<unsigned char> bytes) { keyboard.sendMessage(&bytes); }

    RtMidiOut keyboard;
};

TEST_F(MidiPlayCommandTest, KeyboardMessagesReachThePlayingCommand) {
    int status = -1;
    const auto begin = std::chrono::steady_clock::now();
    const std::string text =
        playWhile({"--seconds", "1.5", "--device", "JACK", "--midi", kKeyboardClient + ":"}, status, [this] {
            std::this_thread::sleep_for(400ms);
            send({0x90, 72, 100});
            std::this_thread::sleep_for(150ms);
            send({0x80, 72, 0});  // the last note: play stops, the command goes on
            std::this_thread::sleep_for(150ms);
            send({0xB0, 7, 64});
            std::this_thread::sleep_for(150ms);
            send({0xFA});  // play again
        });
    EXPECT_EQ(status, kExitOk) << text;
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 1500ms);
    for (const std::string& line :
         {"MIDI from " + kKeyboardClient + ":out", std::string("MIDI input: Chn 1, Note on 72, 100"),
          std::string("MIDI input: Chn 1, Note off 72, 0"), std::string("MIDI input: Chn 1, Control 7, 64"),
          std::string("MIDI input: Chn 11, System 0, 0")})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}

TEST_F(MidiPlayCommandTest, UnknownSourceFailsAndAMissingPortIsAUsageError) {
    int status = -1;
    const std::string text =
        playWhile({"--seconds", "1", "--device", "JACK", "--midi", "NoSuchKeys"}, status, [] {});
    EXPECT_EQ(status, kExitFailure);
    EXPECT_NE(text.find("no MIDI source matches 'NoSuchKeys'"), std::string::npos) << text;
    EXPECT_THROW(play({"--midi"}), UsageError);
}

}  // namespace
}  // namespace app
