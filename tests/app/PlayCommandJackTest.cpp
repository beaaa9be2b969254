// `frisson play` against the private JACK server of the jack_server fixture:
// what it records and what reaches JACK, compared with `frisson render`.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "JackCapture.h"
#include "app/Commands.h"

namespace app {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kWavHeaderBytes = 44;
constexpr int kChannels = 2;
constexpr std::size_t kPeriod = 256;
// RtAudio hands JACK each 16-bit sample as value / 32768.
constexpr double kJackScale = 32768.0;

int runCommand(const std::string& name, const std::vector<std::string>& args) {
    for (const auto& command : commands()) {
        if (name == command.name) {
            return command.run(Args(args));
        }
    }
    ADD_FAILURE() << "no command " << name;
    return -1;
}

// The float samples of a 32-bit float WAV file as the recorder writes it.
std::vector<float> floatSamples(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_GT(bytes.size(), kWavHeaderBytes) << path;
    std::vector<float> samples((bytes.size() - kWavHeaderBytes) / sizeof(float));
    std::memcpy(samples.data(), bytes.data() + kWavHeaderBytes, samples.size() * sizeof(float));
    return samples;
}

// What the sound card receives for a float sample: x × 32767.5 rounded half
// to even, within ±32767.
long expected16(float x) {
    return std::lrint(std::fmax(-32767.0, std::fmin(32767.0, x * 32767.5)));
}

class PlayCommandJackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("JACK_NO_START_SERVER", "1", 1); }

    fs::path folder() {
        const fs::path dir = fs::path(FRISSON_TEST_TMP) / "play-jack";
        fs::create_directories(dir);
        return dir;
    }
};

TEST_F(PlayCommandJackTest, RecordsAndPlaysExactlyWhatRenderWrites) {
    const std::vector<std::string> streams{"--stream", "sound=sine,Pitch=40,GrainLen=300,PitchRnd=20",
                                           "--stream", "sound=sine,Pitch=-30,PanRnd=50"};
    const fs::path rendered = folder() / "render.wav";
    const fs::path recorded = folder() / "play.wav";
    std::vector<std::string> renderArgs{"-o", rendered.string(), "--seconds", "1"};
    renderArgs.insert(renderArgs.end(), streams.begin(), streams.end());
    ASSERT_EQ(runCommand("render", renderArgs), 0);

    apptest::JackCapture capture("RtApiJack", 44100 * 3);
    ASSERT_TRUE(capture.ready());
    std::vector<std::string> playArgs{"-o",       recorded.string(), "--seconds", "1.5",
                                      "--record", "--device",        "jack"};
    playArgs.insert(playArgs.end(), streams.begin(), streams.end());
    ASSERT_EQ(runCommand("play", playArgs), 0);
    ASSERT_TRUE(capture.connected());

    // Render stops after ceil(1 × 44100 / 256) = 173 periods; play goes on past
    // them, so the first 173 periods are the same.
    const std::size_t compared = 173 * kPeriod * kChannels;
    const std::vector<float> offline = floatSamples(rendered);
    const std::vector<float> live = floatSamples(recorded);
    ASSERT_GE(offline.size(), compared);
    ASSERT_GE(live.size(), compared);
    for (std::size_t k = 0; k < compared; ++k) {
        ASSERT_EQ(std::memcmp(&offline[k], &live[k], sizeof(float)), 0) << "sample " << k;
    }

    // What JACK received, period by period (its cycles are our 256-frame
    // periods, and the capture starts at a cycle): every period that sounds
    // must be the 16-bit conversion of one rendered period, in render order.
    // A cycle the loaded server ran late may repeat or drop one, never alter it.
    const std::vector<float> left = capture.channel(0);
    const std::vector<float> right = capture.channel(1);
    using Block = std::vector<long>;
    std::map<Block, std::size_t> renderedPeriods;
    const std::size_t periods = compared / kChannels / kPeriod;
    for (std::size_t p = 0; p < periods; ++p) {
        Block block;
        for (std::size_t k = 0; k < kPeriod * kChannels; ++k) {
            block.push_back(expected16(offline[p * kPeriod * kChannels + k]));
        }
        renderedPeriods.emplace(std::move(block), p);
    }
    std::size_t lastPeriod = 0;
    std::size_t matched = 0;
    for (std::size_t at = 0; at + kPeriod <= left.size() && lastPeriod + 1 < periods; at += kPeriod) {
        Block block;
        bool sounds = false;
        for (std::size_t i = at; i < at + kPeriod; ++i) {
            for (const float sample : {left[i], right[i]}) {
                const double value = sample * kJackScale;
                ASSERT_EQ(value, std::nearbyint(value)) << "not a 16-bit value at frame " << i;
                block.push_back(std::lrint(value));
                sounds = sounds || block.back() != 0;
            }
        }
        if (!sounds) {
            continue;
        }
        const auto found = renderedPeriods.find(block);
        ASSERT_NE(found, renderedPeriods.end()) << "captured period at frame " << at << " was never rendered";
        ASSERT_GE(found->second, lastPeriod) << "captured period at frame " << at << " is out of order";
        lastPeriod = found->second;
        ++matched;
    }
    EXPECT_EQ(lastPeriod, periods - 1);
    EXPECT_GE(matched, periods * 9 / 10);
}

// Presses Ctrl-C `times` times, 20 ms apart, once `frisson play` has been
// playing for `after` (its JACK ports exist only after it has taken over
// Ctrl-C), while the command runs on the test's thread.
class CtrlC {
  public:
    CtrlC(int times, std::chrono::milliseconds after)
        : thread_([times, after] {
              jack_client_t* client = jack_client_open("frisson_ctrlc", JackNoStartServer, nullptr);
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
              while (client != nullptr && jack_port_by_name(client, "RtApiJack:outport 0") == nullptr &&
                     std::chrono::steady_clock::now() < deadline) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
              if (client != nullptr) {
                  jack_client_close(client);
              }
              std::this_thread::sleep_for(after);
              for (int k = 0; k < times; ++k) {
                  std::raise(SIGINT);
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          }) {}
    ~CtrlC() { thread_.join(); }

  private:
    std::thread thread_;
};

double secondsOfPlay(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(runCommand("play", args), 0);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(PlayCommandJackTest, CtrlCFadesOutAndASecondCtrlCStopsAtOnce) {
    // Grains of 1 s (GrainLen 1024: 1024² × rate / 2^20 frames), so a soft
    // stop fades them over half a second.
    const fs::path faded = folder() / "faded.wav";
    double took = 0;
    double fadedTook = 0;
    {
        CtrlC press(1, std::chrono::milliseconds(500));
        took = secondsOfPlay({"-o", faded.string(), "--record", "--device", "jack", "--seconds", "30",
                              "--stream", "sound=sine,GrainLen=1024"});
    }
    // Half a second of play, then the half-second fade and the ring.
    EXPECT_GT(took, 0.9);
    EXPECT_LT(took, 4.0);
    const std::vector<float> samples = floatSamples(faded);
    ASSERT_GT(samples.size(), 1000u);
    const auto peakOf = [&](std::size_t from) {
        float peak = 0;
        for (std::size_t k = from; k < samples.size(); ++k) {
            peak = std::max(peak, std::fabs(samples[k]));
        }
        return peak;
    };
    // The last period is the end of the fade: near silence.
    EXPECT_LT(peakOf(samples.size() - 256 * kChannels), 0.01f * peakOf(0));
    fadedTook = took;

    const fs::path cut = folder() / "cut.wav";
    {
        CtrlC press(2, std::chrono::milliseconds(500));
        took = secondsOfPlay({"-o", cut.string(), "--record", "--device", "jack", "--seconds", "30",
                              "--stream", "sound=sine,GrainLen=1024"});
    }
    EXPECT_LT(took + 0.25, fadedTook);  // no half-second fade
}

}  // namespace
}  // namespace app
