// `frisson play --record` as a program on a JACK server of the test's own, which is killed (kill -9) in the
// middle of the take: play ends with a message, and the recording is a valid file of everything written up
// to then.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>

#include "output/Recorder.h"
#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using apptest::kWavHeaderBytes;
using apptest::readBytes;
using audio::test::le32At;
using audio::test::readFile;

constexpr double kRate = 44100.0;
constexpr std::size_t kFrameBytes = 2 * 2;  // stereo, 16-bit

class PlayCommandDeviceLostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("JACK_DEFAULT_SERVER", server_.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        ASSERT_EQ(server("start"), 0);
    }
    void TearDown() override { server("stop"); }

    int server(const std::string& action) const {
        return std::system(
            (script_ + " " + action + " " + server_ + " " + state_.string() + " >/dev/null").c_str());
    }

    // A server killed with -9 keeps its slot in JACK's registry of servers, which holds only a few, until a
    // server of the same name starts again: one name per build folder, so that runs do not fill it and
    // builds side by side do not meet.
    const std::string server_ =
        "frisson_lost_" + std::to_string(std::hash<std::string>{}(FRISSON_TEST_TMP) % 100000);
    const fs::path state_ = apptest::scratch();
    const std::string script_ = std::string(FRISSON_SOURCE_DIR) + "/scripts/jack-test-server.sh";
};

TEST_F(PlayCommandDeviceLostTest, AServerKilledDuringARecordingEndsItWithAValidFile) {
    const fs::path take = state_ / "take.wav", errors = state_ / "play.err";
    const pid_t play =
        apptest::spawn({FRISSON_EXE, "play", "--device", "JACK", "--record", "-o", take, "--seconds", "30",
                        "--bits", "16", "--stream", "sound=sine,Freq=16000,PanRnd=40"},
                       "/dev/null", errors);
    ASSERT_GT(play, 0);
    // A second of the take in the file, as its header counts it (a loaded machine may take a while to start
    // play; the file itself is grown ahead of the data), then the server goes.
    const auto startDeadline = std::chrono::steady_clock::now() + 20s;
    auto countedBytes = [&] {
        const audio::test::Bytes header = readFile(take);
        return header.size() >= kWavHeaderBytes ? le32At(header, 40) : 0u;
    };
    while (countedBytes() < static_cast<uint32_t>(kRate) * kFrameBytes) {
        ASSERT_LT(std::chrono::steady_clock::now(), startDeadline) << "the take never reached a second";
        std::this_thread::sleep_for(20ms);
    }
    const long jackd = std::atol(readBytes(state_ / ("jackd-" + server_ + ".pid")).c_str());
    ASSERT_EQ(kill(static_cast<pid_t>(jackd), SIGKILL), 0);
    int status = 0;
    for (int waited = 0; waited < 150 && waitpid(play, &status, WNOHANG) == 0; ++waited)
        std::this_thread::sleep_for(100ms);
    if (waitpid(play, &status, WNOHANG) == 0) {
        kill(play, SIGKILL);
        waitpid(play, &status, 0);
        FAIL() << "play went on for 15 s after its server was killed";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << ": " << readBytes(errors);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string said = readBytes(errors);
    EXPECT_NE(said.find(output::kDeviceLostText), std::string::npos) << said;
    EXPECT_NE(said.find("the output device went away during play"), std::string::npos) << said;
    // A whole file: the header counts exactly the data on disk, whole frames of it, and they are at least the
    // second seen before the kill (and no more than was played until play noticed).
    const audio::test::Bytes bytes = readFile(take);
    ASSERT_GE(bytes.size(), kWavHeaderBytes);
    const uint32_t dataBytes = le32At(bytes, 40);
    EXPECT_EQ(std::tuple(std::string(bytes.begin(), bytes.begin() + 4), le32At(bytes, 4), dataBytes,
                         dataBytes % kFrameBytes),
              std::tuple("RIFF", bytes.size() - 8, bytes.size() - kWavHeaderBytes, 0u));
    const double seconds = static_cast<double>(dataBytes / kFrameBytes) / kRate;
    EXPECT_GE(seconds, 1.0);
    EXPECT_LT(seconds, 20.0 + 15.0);
    std::size_t sounding = 0;
    for (std::size_t at = kWavHeaderBytes; at + 1 < bytes.size(); at += 2)
        sounding += bytes[at] != 0 || bytes[at + 1] != 0 ? 1 : 0;
    EXPECT_GT(static_cast<double>(sounding), 0.5 * (bytes.size() - kWavHeaderBytes) / 2);
}

}  // namespace
