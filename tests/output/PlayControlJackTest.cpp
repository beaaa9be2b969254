// Play control against the private JACK server of the jack_server fixture
// (dummy driver: it pulls a period every 256 / 44100 s).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "engine/Engine.h"
#include "output/PlayControl.h"
#include "output/RtAudioApi.h"
#include "platform/MessageQueue.h"
#include "sounds/SoundTable.h"

namespace output {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr auto kEndTimeout = std::chrono::seconds(5);

struct SilentView : PlayView, UserWarnings {
    std::vector<std::string> statusMessages;
    void setPlayButton(bool) override {}
    void showStatusMessage(const std::string& text) override { statusMessages.push_back(text); }
    void showWarning(const std::string&, const std::string&) override {}
};

class PlayControlJackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("JACK_NO_START_SERVER", "1", 1); }

    PlayControlJackTest() {
        settings.sampleRate = kRate;
        settings.bufferFrames = 1024;  // the server keeps its 256
        settings.deviceSelection = kRtDeviceBase;
        EXPECT_FALSE(control.allocateBuffers().has_value());
    }

    // Runs the main loop until play ends or the timeout passes.
    bool pumpUntilStopped() {
        const auto deadline = std::chrono::steady_clock::now() + kEndTimeout;
        while (control.playing() && std::chrono::steady_clock::now() < deadline) {
            if (const auto message = queue.waitAndTake(std::chrono::milliseconds(10))) {
                if (message->number == platform::kMsgBufferDone) {
                    control.onBufferDone(message->first, message->second);
                }
            }
        }
        return !control.playing();
    }

    void waitForPeriods(std::uint32_t periods) {
        const auto deadline = std::chrono::steady_clock::now() + kEndTimeout;
        while (engine.callbacksTotal() < periods && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    sounds::SoundTable sounds{kRate};
    engine::Engine engine{sounds, engine::OutputFormat{kRate, true, 256, 4}};
    std::ostringstream log;
    AudioSystem audio{RtAudioApi::create, log};
    platform::MessageQueue queue;
    AlsaOutput alsa{queue};
    AlsaDeviceTable alsaDevices;
    SoundSettings settings;
    SilentView view;
    PlayControl control{
        engine, PlayControl::Devices{audio, alsa, alsaDevices, queue, log}, settings, view, view, nullptr};
};

TEST_F(PlayControlJackTest, StartAdoptsTheServersPeriodAndFillsTheRing) {
    ASSERT_TRUE(control.startPlay(0)) << log.str();
    EXPECT_EQ(settings.bufferFrames, 256u);
    EXPECT_EQ(engine.outputFormat().framesPerBuffer, 256);
    waitForPeriods(20);
    EXPECT_GE(engine.callbacksTotal(), 20u);
    EXPECT_EQ(audio.state(), AudioSystemState::kRunning);
    control.stopPlay();
    EXPECT_EQ(audio.state(), AudioSystemState::kClosed);
}

TEST_F(PlayControlJackTest, SoftStopEndsWhenTheRingHasDrained) {
    control.togglePlay(0);
    waitForPeriods(10);
    control.togglePlay(0);
    ASSERT_TRUE(engine.stopping());
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(pumpUntilStopped());
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    // At most the half-second fade and the ring, with room for a slow machine.
    EXPECT_LT(took, 4.0);
    EXPECT_FALSE(engine.anyGrainActive());
    EXPECT_EQ(audio.state(), AudioSystemState::kClosed);
}

TEST_F(PlayControlJackTest, PlayDuringASoftStopKeepsTheStreamRunning) {
    control.togglePlay(0);
    waitForPeriods(10);
    control.togglePlay(0);
    control.togglePlay(0);
    EXPECT_TRUE(control.playing());
    EXPECT_FALSE(engine.stopping());
    EXPECT_EQ(audio.state(), AudioSystemState::kRunning);
    const std::uint32_t before = engine.callbacksTotal();
    waitForPeriods(before + 100);  // well past the time a fade would take
    // The restarted play goes on: stop messages of the faded play were ignored.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (std::chrono::steady_clock::now() < deadline) {
        if (const auto message = queue.waitAndTake(std::chrono::milliseconds(5))) {
            control.onBufferDone(message->first, message->second);
        }
    }
    EXPECT_TRUE(control.playing());
    control.stopPlay();
}

}  // namespace
}  // namespace output
