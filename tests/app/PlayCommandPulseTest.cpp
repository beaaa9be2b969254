// `frisson devices` and `frisson play` as programs, against the private PulseAudio server of the
// pulse_server fixture (PULSE_SERVER): its null sink is listed and played to, and what it received is
// recorded from its monitor with parec. No JACK server is reachable from these tests.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using apptest::readBytes;
using Clock = std::chrono::steady_clock;

constexpr int kChannels = 2;
constexpr double kRate = 44100.0;
constexpr const char* kSinkText = "frisson_test_sink";
constexpr const char* kStream = "sound=sine,Pitch=20";

// The frames of 16-bit stereo samples that sound (a gap the server may leave when it is late does not
// count), their level and their peak.
struct Sound {
    std::size_t frames = 0;
    double rms = 0.0;
    int peak = 0;
};

Sound soundOf(const std::string& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / sizeof(std::int16_t));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(std::int16_t));
    Sound sound;
    double sum = 0.0;
    for (std::size_t at = 0; at + 1 < samples.size(); at += kChannels) {
        if (samples[at] == 0 && samples[at + 1] == 0)
            continue;
        ++sound.frames;
        for (const int value : {samples[at], samples[at + 1]}) {
            sum += static_cast<double>(value) * value;
            sound.peak = std::max(sound.peak, std::abs(value));
        }
    }
    sound.rms = sound.frames > 0 ? std::sqrt(sum / static_cast<double>(sound.frames * kChannels)) : 0.0;
    return sound;
}

class PulseCommands : public ::testing::Test {
  protected:
    // Runs frisson with `arguments` in a home of its own, with no JACK server to reach; keeps its stdout and
    // stderr. `environment` is put before it.
    int frisson(const std::string& arguments, const std::string& environment = "") {
        const std::string home = (dir_ / "home").string();
        const std::string command = "env HOME=" + home + " XDG_CONFIG_HOME=" + home +
                                    "/config XDG_DATA_HOME=" + home + "/data XDG_STATE_HOME=" + home +
                                    "/state JACK_NO_START_SERVER=1 " + "JACK_DEFAULT_SERVER=frisson_absent_" +
                                    std::to_string(getpid()) + " " + environment + " " + FRISSON_EXE + " " +
                                    arguments + " >" + (dir_ / "stdout").string() + " 2>" +
                                    (dir_ / "stderr").string();
        const int status = audio::test::run(command);
        out_ = readBytes(dir_ / "stdout");
        err_ = readBytes(dir_ / "stderr");
        return status;
    }

    const fs::path dir_ = apptest::scratch();
    std::string out_;
    std::string err_;
};

// With the server, its null sink is listed, PulseAudio devices first since JACK is absent; without
// any server, none is. Either way RtAudio's reports of refused connections stay off stderr.
TEST_F(PulseCommands, DevicesListsTheNullSinkWithoutLibraryNoise) {
    ASSERT_EQ(frisson("devices"), 0) << err_;
    EXPECT_NE(out_.find(std::string(") ") + kSinkText + "\n"), std::string::npos) << out_;
    EXPECT_EQ(std::pair(out_.starts_with("(PULSE"), err_), std::pair(true, std::string())) << out_;
    ASSERT_EQ(frisson("devices", "PULSE_SERVER=unix:" + (dir_ / "no-server").string()), 0) << err_;
    EXPECT_EQ(std::pair(out_.find("(PULSE"), err_), std::pair(std::string::npos, std::string())) << out_;
}

TEST_F(PulseCommands, PlayGivesTheSinkTheRenderedSound) {
    // What play must sound like: the render of the same stream, as 16-bit samples.
    const fs::path rendered = dir_ / "render.wav";
    ASSERT_EQ(frisson("render -o " + rendered.string() + " --seconds 1 --bits 16 --stream " + kStream), 0)
        << err_;
    const std::string wav = readBytes(rendered);
    ASSERT_GT(wav.size(), apptest::kWavHeaderBytes);
    ASSERT_EQ(wav.substr(apptest::kWavHeaderBytes - 8, 4), "data");
    const Sound expected = soundOf(wav.substr(apptest::kWavHeaderBytes));
    ASSERT_GT(expected.frames, 0u);

    // parec records the null sink's monitor as raw 16-bit stereo, from once the server lists its
    // record stream.
    const fs::path raw = dir_ / "monitor.raw";
    const pid_t parec = apptest::spawn({"parec", "--device=frisson_test.monitor", "--raw", "--format=s16le",
                                        "--rate=44100", "--channels=2", "--latency-msec=10"},
                                       raw, "/dev/null");
    ASSERT_GT(parec, 0);
    int tries = 0;
    while (std::system("pactl list short source-outputs 2>/dev/null | grep -q .") != 0 && ++tries < 100)
        std::this_thread::sleep_for(50ms);
    const auto start = Clock::now();
    const int status = frisson(std::string("play --device PULSE --seconds 1 --stream ") + kStream);
    // Everything the sink played until play ended, and half a second more (the monitor hands the
    // samples out in blocks, late), or what came in 10 seconds.
    const double wanted = std::chrono::duration<double>(Clock::now() - start + 500ms).count() * kRate;
    const auto deadline = Clock::now() + 10s;
    std::string monitored;
    do {
        std::this_thread::sleep_for(100ms);
        monitored = readBytes(raw);
    } while (static_cast<double>(monitored.size() / (2 * kChannels)) < wanted && Clock::now() < deadline);
    kill(parec, SIGINT);
    waitpid(parec, nullptr, 0);
    ASSERT_LT(tries, 100) << "parec never connected";
    ASSERT_EQ(status, 0) << err_;
    EXPECT_NE(err_.find(std::string("playing on (PULSE")), std::string::npos) << err_;
    const Sound played = soundOf(monitored);

    // The whole sound, its end included (within one 256-frame period), at the level it was rendered with.
    // Play stops by the clock, so on a loaded machine its loop may wake late and the sound may last up to a
    // tenth of a second longer.
    constexpr double kPeriod = 256.0;
    EXPECT_GE(static_cast<double>(played.frames), static_cast<double>(expected.frames) - kPeriod);
    EXPECT_LE(static_cast<double>(played.frames), static_cast<double>(expected.frames) + 0.1 * kRate);
    EXPECT_NEAR(played.rms, expected.rms, expected.rms * 0.02);
    EXPECT_NEAR(played.peak, expected.peak, 2);
}

}  // namespace
