// Runs against the private JACK server of the jack_server test fixture (dummy driver, 44100 Hz, 256 frames
// per period: it pulls a period every 256 / 44100 s).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/Engine.h"
#include "output/AlsaOutput.h"
#include "output/AudioSystem.h"
#include "output/PlayControl.h"
#include "output/RtAudioApi.h"
#include "platform/MessageQueue.h"
#include "sounds/SoundTable.h"

namespace output {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kRate = 44100;
constexpr unsigned kServerPeriod = 256;
constexpr auto kTimeout = std::chrono::seconds(5);

// Waits until done() holds or the timeout passes; returns whether it holds.
template <class F>
bool waitFor(F&& done) {
    for (const auto deadline = Clock::now() + kTimeout; !done() && Clock::now() < deadline;)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

struct SilentView : PlayView, UserWarnings {
    void setPlayButton(bool) override {}
    void showStatusMessage(const std::string&) override {}
    void showWarning(const std::string&, const std::string&) override {}
};

class JackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("JACK_NO_START_SERVER", "1", 1); }

    JackTest() {
        settings.sampleRate = kRate;
        settings.bufferFrames = 1024;  // JACK keeps its own period
    }

    std::ostringstream log;
    AudioSystem audio{RtAudioApi::create, log};
    SoundSettings settings;
    sounds::SoundTable sounds{kRate};
    engine::Engine engine{sounds, engine::OutputFormat{kRate, true, 256, 4}};
    platform::MessageQueue queue;
    AlsaOutput alsa{queue};
    AlsaDeviceTable alsaDevices;
    SilentView view;
    PlayControl control{
        engine, PlayControl::Devices{audio, alsa, alsaDevices, queue, log}, settings, view, view, nullptr};
};

TEST_F(JackTest, TheSystemDevicePlaysAtTheServersRateAndPeriodOnlyWhileStarted) {
    const DeviceList& list = audio.getDeviceList();
    ASSERT_GE(list.jackDeviceCount, 1u);
    EXPECT_EQ(list.entries[0].name, "(JACK0) system");
    EXPECT_EQ(list.entries[0].outputChannels, 2u);
    // The server runs at its own rate only.
    settings.sampleRate = 22050;
    EXPECT_FALSE(control.startPlay(0));
    EXPECT_EQ(audio.state(), AudioSystemState::kClosed);
    EXPECT_NE(log.str().find("AudioSystem::open(): RtAudio error "), std::string::npos) << log.str();
    // Play adopts the server's period: a ring made for another would play silence without counting it.
    settings.sampleRate = kRate;
    ASSERT_TRUE(control.startPlay(0)) << log.str();
    EXPECT_EQ(std::pair(settings.bufferFrames, audio.config().output.bufferFrames),
              std::pair(kServerPeriod, kServerPeriod));
    EXPECT_EQ(audio.state(), AudioSystemState::kRunning);
    EXPECT_TRUE(waitFor([&] { return engine.callbacksTotal() >= 20; }));
    // A stopped stream is asked for no period.
    audio.stop();
    EXPECT_EQ(audio.state(), AudioSystemState::kOpen);
    const std::uint32_t whenStopped = engine.callbacksTotal();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(engine.callbacksTotal(), whenStopped);
    // Started again, it is asked for periods again. (A soft stop on this server is checked through
    // `frisson play` and its Ctrl-C, which plays through the same play control.)
    audio.start();
    EXPECT_TRUE(waitFor([&] { return engine.callbacksTotal() >= whenStopped + 20; }));
    control.togglePlay(0);
    EXPECT_TRUE(engine.stopping());
}

// The direct ALSA path paced by a real clock: ALSA's jack plugin plays into the server, so every buffer
// comes back as a done message only when JACK has consumed it. ALSA reads ~/.asoundrc once, when this
// process first uses it: HOME points at a folder whose .asoundrc defines a PCM on the jack plugin before any
// test runs. The jack plugin takes float samples only; "plug" converts.
constexpr const char* kPcm = "frisson_jack";
const bool alsaConfigured = [] {
    const fs::path home = fs::path(FRISSON_TEST_TMP) / "alsa-home";
    fs::create_directories(home);
    std::ofstream(home / ".asoundrc")
        << "pcm." << kPcm << "_raw {\n  type jack\n  playback_ports {\n"
        << "    0 system:playback_1\n    1 system:playback_2\n  }\n}\n"
        << "pcm." << kPcm << " {\n  type plug\n  slave.pcm \"" << kPcm << "_raw\"\n}\n";
    return setenv("HOME", home.c_str(), 1) == 0;
}();

TEST(AlsaJackPacing, DoneMessagesComeAtTheServersPace) {
    ASSERT_TRUE(alsaConfigured);
    const char* folders[] = {"/usr/lib/x86_64-linux-gnu/alsa-lib", "/usr/lib/aarch64-linux-gnu/alsa-lib",
                             "/usr/lib/alsa-lib"};
    if (std::none_of(std::begin(folders), std::end(folders), [](const char* folder) {
            return fs::exists(fs::path(folder) / "libasound_module_pcm_jack.so");
        })) {
        GTEST_SKIP() << "ALSA's jack plugin (libasound2-plugins) is not installed";
    }
    constexpr int kSlots = 4;
    constexpr int kBuffers = 86;  // 0.5 s of sound
    platform::MessageQueue queue;
    AlsaOutput alsa(queue);
    std::vector<std::int16_t> buffers(kSlots * 2 * kServerPeriod, 1000);
    const AlsaStatus opened = alsa.open(kPcm, 2, kRate, kServerPeriod);
    ASSERT_TRUE(opened) << opened.error;
    for (int s = 0; s < kSlots; ++s)
        ASSERT_TRUE(alsa.write(s, buffers.data() + s * 2 * kServerPeriod, kServerPeriod, 0));
    const auto start = Clock::now();
    alsa.restart();
    for (int done = 0; done < kBuffers; ++done) {
        const auto message = queue.waitAndTake(std::chrono::seconds(2));
        ASSERT_TRUE(message.has_value()) << "after " << done << " buffers";
        const auto slot = static_cast<int>(message->first);
        ASSERT_TRUE(alsa.write(slot, buffers.data() + slot * 2 * kServerPeriod, kServerPeriod, 0));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // 86 buffers are 0.499 s; the first few fill ALSA's own buffer at once.
    EXPECT_GT(seconds, 0.4);
    EXPECT_LT(seconds, 5.0);  // a loaded machine runs the server late
    EXPECT_TRUE(alsa.release());
    EXPECT_TRUE(alsa.close());
}

}  // namespace
}  // namespace output
