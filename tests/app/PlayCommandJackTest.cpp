// `frisson play` against the private JACK server of the jack_server fixture: what it records and what
// reaches JACK, compared with `frisson render`, Ctrl-C, and a JACK MIDI client standing in for the keyboard.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include "app/CommandLine.h"
#include "tests/app/AppTestSupport.h"
#include "tests/shell/TempHome.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using apptest::run;

constexpr int kChannels = 2;
constexpr std::size_t kPeriod = 256;
constexpr std::size_t kBlock = kPeriod * kChannels;  // the samples of a period
// RtAudio hands JACK each 16-bit sample as value / 32768.
constexpr double kJackScale = 32768.0;

// A JACK client with two input ports that keeps what reaches them (interleaved, as the float samples JACK
// delivers), and a watcher that connects them to the source's output ports as soon as those appear.
class JackCapture {
  public:
    JackCapture(const std::string& source, std::size_t maxFrames) : samples_(kChannels * maxFrames) {
        client_ = jack_client_open("frisson_capture", JackNoStartServer, nullptr);
        if (client_ == nullptr)
            return;
        for (int c = 0; c < kChannels; ++c)
            ports_[c] = jack_port_register(client_, ("in_" + std::to_string(c + 1)).c_str(),
                                           JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &JackCapture::process, this);
        jack_activate(client_);
        // The source's ports can only be connected once its client is active: keep trying until both hold.
        watcher_ = std::thread([this, source] {
            for (; !stopWatching_ && !connected_; std::this_thread::sleep_for(200us)) {
                for (int c = 0; c < kChannels; ++c) {
                    const std::string out = source + ":outport " + std::to_string(c);
                    if (jack_port_by_name(client_, out.c_str()) != nullptr)
                        jack_connect(client_, out.c_str(), jack_port_name(ports_[c]));
                }
                connected_ = jack_port_connected(ports_[0]) > 0 && jack_port_connected(ports_[1]) > 0;
            }
        });
    }
    ~JackCapture() {
        stopWatching_ = true;
        if (watcher_.joinable())
            watcher_.join();
        if (client_ != nullptr)
            jack_client_close(client_);
    }

    bool ready() const { return client_ != nullptr; }
    bool connected() const { return connected_; }
    // Thread: after capturing stopped.
    std::vector<float> samples() const { return {samples_.begin(), samples_.begin() + kChannels * frames_}; }

  private:
    static int process(jack_nframes_t frames, void* self) {
        auto& capture = *static_cast<JackCapture*>(self);
        if (!capture.connected_)
            return 0;
        const float* in[kChannels];
        for (int c = 0; c < kChannels; ++c)
            in[c] = static_cast<const float*>(jack_port_get_buffer(capture.ports_[c], frames));
        std::size_t at = capture.frames_.load();
        for (jack_nframes_t i = 0; i < frames && kChannels * at < capture.samples_.size(); ++i, ++at)
            for (int c = 0; c < kChannels; ++c)
                capture.samples_[kChannels * at + c] = in[c][i];
        capture.frames_.store(at);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* ports_[kChannels] = {nullptr, nullptr};
    std::vector<float> samples_;
    std::atomic<long> frames_{0};
    std::atomic<bool> connected_{false}, stopWatching_{false};
    std::thread watcher_;
};

// What the sound card receives for a float sample: x × 32767.5 rounded half to even, within ±32767.
long expected16(float x) {
    return std::lrint(std::fmax(-32767.0, std::fmin(32767.0, x * 32767.5)));
}

// Settings and banks in a scratch home, never the user's.
class PlayCommandJackTest : public shell::testing::TempHome {
  protected:
    void SetUp() override {
        TempHome::SetUp();
        setenv("FRISSON_MIDI_API", "jack", 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
    }
};

TEST_F(PlayCommandJackTest, RecordsAndPlaysExactlyWhatRenderWrites) {
    const fs::path rendered = root / "render.wav", recorded = root / "play.wav";
    const auto with = [](std::vector<std::string> args) {
        args.insert(args.end(), {"--stream", "sound=sine,Pitch=40,GrainLen=300,PitchRnd=20", "--stream",
                                 "sound=sine,Pitch=-30,PanRnd=50"});
        return args;
    };
    ASSERT_EQ(run("render", with({"-o", rendered.string(), "--seconds", "1"})), 0);
    JackCapture capture("RtApiJack", 44100 * 3);
    ASSERT_TRUE(capture.ready());
    ASSERT_EQ(
        run("play", with({"-o", recorded.string(), "--seconds", "1.5", "--record", "--device", "jack"})), 0);
    ASSERT_TRUE(capture.connected());

    // Render stops after ceil(1 × 44100 / 256) = 173 periods; play goes on past them, so the first 173
    // periods are the same.
    const std::size_t periods = 173;
    const std::vector<float> offline = apptest::wavSamples(rendered);
    const std::vector<float> live = apptest::wavSamples(recorded);
    ASSERT_GE(offline.size(), periods * kBlock);
    ASSERT_GE(live.size(), periods * kBlock);
    for (std::size_t k = 0; k < periods * kBlock; ++k)
        ASSERT_EQ(std::memcmp(&offline[k], &live[k], sizeof(float)), 0) << "sample " << k;

    // What JACK received, period by period (its cycles are our 256-frame periods, and the capture starts at
    // a cycle): every period that sounds must be the 16-bit conversion of one rendered period, in render
    // order. A cycle the loaded server ran late may repeat or drop one, never alter it.
    std::map<std::vector<long>, std::size_t> renderedPeriods;
    for (std::size_t p = 0; p < periods; ++p) {
        std::vector<long> block(kBlock);
        for (std::size_t k = 0; k < kBlock; ++k)
            block[k] = expected16(offline[p * kBlock + k]);
        renderedPeriods.emplace(std::move(block), p);
    }
    const std::vector<float> captured = capture.samples();
    std::size_t lastPeriod = 0;
    std::size_t matched = 0;
    for (std::size_t at = 0; at + kBlock <= captured.size() && lastPeriod + 1 < periods; at += kBlock) {
        std::vector<long> block(kBlock);
        for (std::size_t k = 0; k < kBlock; ++k) {
            const double value = captured[at + k] * kJackScale;
            ASSERT_EQ(value, std::nearbyint(value)) << "not a 16-bit value at sample " << at + k;
            block[k] = std::lrint(value);
        }
        if (std::all_of(block.begin(), block.end(), [](long v) { return v == 0; }))
            continue;
        const auto found = renderedPeriods.find(block);
        ASSERT_NE(found, renderedPeriods.end())
            << "captured period at sample " << at << " was never rendered";
        ASSERT_GE(found->second, lastPeriod) << "captured period at sample " << at << " is out of order";
        lastPeriod = found->second;
        ++matched;
    }
    EXPECT_EQ(lastPeriod, periods - 1);
    EXPECT_GE(matched, periods * 9 / 10);
}

// Runs `frisson play` into `out` on the test's thread while another thread presses Ctrl-C `times` times,
// 20 ms apart, once play has been playing for half a second (its JACK ports exist only after it has taken
// over Ctrl-C); returns how long play took.
double secondsOfPlayWithCtrlC(int times, const fs::path& out) {
    std::thread presser([times] {
        jack_client_t* client = jack_client_open("frisson_ctrlc", JackNoStartServer, nullptr);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (client != nullptr && jack_port_by_name(client, "RtApiJack:outport 0") == nullptr &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        if (client != nullptr)
            jack_client_close(client);
        std::this_thread::sleep_for(500ms);
        for (int k = 0; k < times; ++k, std::this_thread::sleep_for(20ms))
            std::raise(SIGINT);
    });
    const auto start = std::chrono::steady_clock::now();
    // Grains of 1 s (GrainLen 1024: 1024² × rate / 2^20 frames), so a soft stop fades them over half a
    // second.
    EXPECT_EQ(run("play", {"-o", out.string(), "--record", "--device", "jack", "--seconds", "30", "--stream",
                           "sound=sine,GrainLen=1024"}),
              0);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    presser.join();
    return took;
}

TEST_F(PlayCommandJackTest, CtrlCFadesOutAndASecondCtrlCStopsAtOnce) {
    const double faded = secondsOfPlayWithCtrlC(1, root / "faded.wav");
    // Half a second of play, then the half-second fade and the ring.
    EXPECT_GT(faded, 0.9);
    EXPECT_LT(faded, 4.0);
    const std::vector<float> samples = apptest::wavSamples(root / "faded.wav");
    ASSERT_GT(samples.size(), 1000u);
    const auto peakFrom = [&](std::size_t from) {
        float peak = 0.0f;
        for (std::size_t k = from; k < samples.size(); ++k)
            peak = std::max(peak, std::fabs(samples[k]));
        return peak;
    };
    // The last period is the end of the fade: near silence.
    EXPECT_LT(peakFrom(samples.size() - kBlock), 0.01f * peakFrom(0));
    EXPECT_LT(secondsOfPlayWithCtrlC(2, root / "cut.wav") + 0.25, faded);  // no half-second fade
}

// Unique per process: tests of other processes may play their own keyboards at the same time.
const std::string kKeyboardClient = "FrissonCliKeys" + std::to_string(getpid());

class MidiPlayCommandTest : public PlayCommandJackTest {
  protected:
    MidiPlayCommandTest() : keyboard(RtMidi::UNIX_JACK, kKeyboardClient) { keyboard.openVirtualPort("out"); }

    // Runs play with the arguments while `perform` plays the keyboard; returns its exit status and stderr.
    std::pair<int, std::string> playWhile(const std::vector<std::string>& args,
                                          const std::function<void()>& perform) {
        std::ostringstream captured;
        std::streambuf* const previous = std::cerr.rdbuf(captured.rdbuf());
        std::thread performer(perform);
        const int status = run("play", args);
        performer.join();
        std::cerr.rdbuf(previous);
        return {status, captured.str()};
    }
    using Bytes = std::vector<unsigned char>;

    RtMidiOut keyboard;
};

TEST_F(MidiPlayCommandTest, KeyboardMessagesReachThePlayingCommandAndAnUnknownSourceFails) {
    const auto begin = std::chrono::steady_clock::now();
    const auto [status, text] =
        playWhile({"--seconds", "1.5", "--device", "JACK", "--midi", kKeyboardClient + ":"}, [this] {
            // From 0.4 s, 150 ms apart: a note, its end (the last note: play stops, the command goes on),
            // a control, and a start (play again).
            std::this_thread::sleep_for(250ms);
            for (Bytes message : {Bytes{0x90, 72, 100}, {0x80, 72, 0}, {0xB0, 7, 64}, {0xFA}}) {
                std::this_thread::sleep_for(150ms);
                keyboard.sendMessage(&message);
            }
        });
    EXPECT_EQ(status, kExitOk) << text;
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 1500ms);
    for (const std::string& line :
         {"MIDI from " + kKeyboardClient + ":out", std::string("MIDI input: Chn 1, Note on 72, 100"),
          std::string("MIDI input: Chn 1, Note off 72, 0"), std::string("MIDI input: Chn 1, Control 7, 64"),
          std::string("MIDI input: Chn 11, System 0, 0")})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    const auto [failed, said] =
        playWhile({"--seconds", "1", "--device", "JACK", "--midi", "NoSuchKeys"}, [] {});
    EXPECT_EQ(failed, kExitFailure);
    EXPECT_NE(said.find("no MIDI source matches 'NoSuchKeys'"), std::string::npos) << said;
    EXPECT_THROW(run("play", {"--midi"}), UsageError);
}

}  // namespace
}  // namespace app
