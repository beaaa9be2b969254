// `frisson play` against the private JACK server of the jack_server fixture:
// what it records and what reaches JACK, compared with `frisson render`.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/AppTestSupport.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using apptest::run;

constexpr int kChannels = 2;
constexpr std::size_t kPeriod = 256;
// RtAudio hands JACK each 16-bit sample as value / 32768.
constexpr double kJackScale = 32768.0;

// A JACK client with two input ports that records what reaches them, and a
// watcher that connects them to a client's output ports as soon as those
// appear. Samples are kept as JACK delivers them (float).
class JackCapture {
  public:
    JackCapture(std::string sourcePrefix, std::size_t maxFrames)
        : prefix_(std::move(sourcePrefix)), left_(maxFrames), right_(maxFrames) {
        jack_status_t status{};
        client_ = jack_client_open("frisson_capture", JackNoStartServer, &status);
        if (client_ == nullptr)
            return;
        ports_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        ports_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &JackCapture::process, this);
        jack_activate(client_);
        watcher_ = std::thread([this] { connectWhenPresent(); });
    }

    ~JackCapture() {
        stopWatching_ = true;
        if (watcher_.joinable())
            watcher_.join();
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }

    bool ready() const { return client_ != nullptr; }
    bool connected() const { return connected_; }

    // The captured frames of one channel (0 or 1). Thread: after capturing stopped.
    std::vector<float> channel(int c) const {
        const std::vector<float>& source = c == 0 ? left_ : right_;
        return {source.begin(), source.begin() + static_cast<long>(frames_.load())};
    }

  private:
    static int process(jack_nframes_t frames, void* self) {
        auto* capture = static_cast<JackCapture*>(self);
        if (!capture->connected_)
            return 0;
        const auto* in1 = static_cast<const float*>(jack_port_get_buffer(capture->ports_[0], frames));
        const auto* in2 = static_cast<const float*>(jack_port_get_buffer(capture->ports_[1], frames));
        std::size_t at = capture->frames_.load();
        for (jack_nframes_t i = 0; i < frames && at < capture->left_.size(); ++i, ++at) {
            capture->left_[at] = in1[i];
            capture->right_[at] = in2[i];
        }
        capture->frames_.store(at);
        return 0;
    }

    // The source's ports can only be connected once its client is active, so
    // keep trying until both connections hold.
    void connectWhenPresent() {
        const std::string out0 = prefix_ + ":outport 0";
        const std::string out1 = prefix_ + ":outport 1";
        while (!stopWatching_) {
            if (jack_port_by_name(client_, out0.c_str()) != nullptr &&
                jack_port_by_name(client_, out1.c_str()) != nullptr) {
                jack_connect(client_, out0.c_str(), jack_port_name(ports_[0]));
                jack_connect(client_, out1.c_str(), jack_port_name(ports_[1]));
                if (jack_port_connected(ports_[0]) > 0 && jack_port_connected(ports_[1]) > 0) {
                    connected_ = true;
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    std::string prefix_;
    jack_client_t* client_ = nullptr;
    jack_port_t* ports_[2] = {nullptr, nullptr};
    std::vector<float> left_;
    std::vector<float> right_;
    std::atomic<std::size_t> frames_{0};
    std::atomic<bool> connected_{false};
    std::atomic<bool> stopWatching_{false};
    std::thread watcher_;
};

// What the sound card receives for a float sample: x × 32767.5 rounded half
// to even, within ±32767.
long expected16(float x) {
    return std::lrint(std::fmax(-32767.0, std::fmin(32767.0, x * 32767.5)));
}

class PlayCommandJackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("JACK_NO_START_SERVER", "1", 1); }

    const fs::path folder = apptest::scratch("play-jack");
};

TEST_F(PlayCommandJackTest, RecordsAndPlaysExactlyWhatRenderWrites) {
    const std::vector<std::string> streams{"--stream", "sound=sine,Pitch=40,GrainLen=300,PitchRnd=20",
                                           "--stream", "sound=sine,Pitch=-30,PanRnd=50"};
    const fs::path rendered = folder / "render.wav";
    const fs::path recorded = folder / "play.wav";
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), streams.begin(), streams.end());
        return args;
    };
    ASSERT_EQ(run("render", with({"-o", rendered.string(), "--seconds", "1"})), 0);

    JackCapture capture("RtApiJack", 44100 * 3);
    ASSERT_TRUE(capture.ready());
    ASSERT_EQ(
        run("play", with({"-o", recorded.string(), "--seconds", "1.5", "--record", "--device", "jack"})), 0);
    ASSERT_TRUE(capture.connected());

    // Render stops after ceil(1 × 44100 / 256) = 173 periods; play goes on past
    // them, so the first 173 periods are the same.
    const std::size_t compared = 173 * kPeriod * kChannels;
    const std::vector<float> offline = apptest::wavSamples(rendered);
    const std::vector<float> live = apptest::wavSamples(recorded);
    ASSERT_GE(offline.size(), compared);
    ASSERT_GE(live.size(), compared);
    for (std::size_t k = 0; k < compared; ++k)
        ASSERT_EQ(std::memcmp(&offline[k], &live[k], sizeof(float)), 0) << "sample " << k;

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
        for (std::size_t k = 0; k < kPeriod * kChannels; ++k)
            block.push_back(expected16(offline[p * kPeriod * kChannels + k]));
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
        if (!sounds)
            continue;
        const auto found = renderedPeriods.find(block);
        ASSERT_NE(found, renderedPeriods.end()) << "captured period at frame " << at << " was never rendered";
        ASSERT_GE(found->second, lastPeriod) << "captured period at frame " << at << " is out of order";
        lastPeriod = found->second;
        ++matched;
    }
    EXPECT_EQ(lastPeriod, periods - 1);
    EXPECT_GE(matched, periods * 9 / 10);
}

// Runs `frisson play` into `out` on the test's thread while another thread presses Ctrl-C `times`
// times, 20 ms apart, once play has been playing for half a second (its JACK ports exist only after
// it has taken over Ctrl-C); returns how long play took.
double secondsOfPlayWithCtrlC(int times, const fs::path& out) {
    std::thread presser([times] {
        jack_client_t* client = jack_client_open("frisson_ctrlc", JackNoStartServer, nullptr);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (client != nullptr && jack_port_by_name(client, "RtApiJack:outport 0") == nullptr &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (client != nullptr)
            jack_client_close(client);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        for (int k = 0; k < times; ++k) {
            std::raise(SIGINT);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    // Grains of 1 s (GrainLen 1024: 1024² × rate / 2^20 frames), so a soft stop fades them over
    // half a second.
    EXPECT_EQ(run("play", {"-o", out.string(), "--record", "--device", "jack", "--seconds", "30", "--stream",
                           "sound=sine,GrainLen=1024"}),
              0);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    presser.join();
    return took;
}

TEST_F(PlayCommandJackTest, CtrlCFadesOutAndASecondCtrlCStopsAtOnce) {
    const double faded = secondsOfPlayWithCtrlC(1, folder / "faded.wav");
    // Half a second of play, then the half-second fade and the ring.
    EXPECT_GT(faded, 0.9);
    EXPECT_LT(faded, 4.0);
    const std::vector<float> samples = apptest::wavSamples(folder / "faded.wav");
    ASSERT_GT(samples.size(), 1000u);
    const auto peakFrom = [&](std::size_t from) {
        return std::abs(*std::max_element(samples.begin() + static_cast<long>(from), samples.end(),
                                          [](float a, float b) { return std::fabs(a) < std::fabs(b); }));
    };
    // The last period is the end of the fade: near silence.
    EXPECT_LT(peakFrom(samples.size() - kPeriod * kChannels), 0.01f * peakFrom(0));
    EXPECT_LT(secondsOfPlayWithCtrlC(2, folder / "cut.wav") + 0.25, faded);  // no half-second fade
}

}  // namespace
}  // namespace app
