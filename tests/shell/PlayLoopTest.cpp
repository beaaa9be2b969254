#include "shell/PlayLoop.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "engine/Engine.h"
#include "output/ManualAudioApi.h"
#include "output/PlayControl.h"
#include "sounds/SoundTable.h"

namespace shell {
namespace {

constexpr std::uint32_t kRate = 44100;

struct QuietView : output::PlayView, output::UserWarnings {
    int buttonUpdates = 0;
    void setPlayButton(bool) override { ++buttonUpdates; }
    void showStatusMessage(const std::string&) override {}
    void showWarning(const std::string&, const std::string&) override {}
};

// A manual sound server whose periods a thread of its own pulls, as a
// device's driver would, while the test's thread runs the message loop.
class PlayLoopTest : public ::testing::Test {
  protected:
    PlayLoopTest() {
        output::DeviceInfo device;
        device.probed = true;
        device.name = "system";
        device.outputChannels = 2;
        server.devices[output::AudioApiId::kJack] = {device};
        settings.sampleRate = kRate;
        settings.deviceSelection = output::kRtDeviceBase;
        EXPECT_FALSE(control.allocateBuffers().has_value());
    }
    ~PlayLoopTest() override {
        driverRunning = false;
        if (driver.joinable()) {
            driver.join();
        }
    }

    void startDriver() {
        driver = std::thread([this] {
            while (driverRunning) {
                if (server.runPeriod().empty()) {
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
            }
        });
    }

    sounds::SoundTable sounds{kRate};
    engine::Engine engine{sounds, engine::OutputFormat{kRate, true, 256, 4}};
    output::ManualAudioServer server;
    std::ostringstream log;
    output::AudioSystem audio{server.factory(), log};
    platform::MessageQueue queue;
    output::AlsaOutput alsa{queue};
    output::AlsaDeviceTable alsaDevices;
    output::SoundSettings settings;
    QuietView view;
    output::PlayControl control{engine, {audio, alsa, alsaDevices, queue, log}, settings, view, view,
                                nullptr};
    MessageLoop messages{queue, control, nullptr};
    PlayLoop loop{messages, control};
    std::atomic<int> interrupts{0};
    std::atomic<bool> driverRunning{true};
    std::thread driver;
};

TEST_F(PlayLoopTest, AtTheEndTimeASoftStopLetsTheGrainsFadeThenPlayEnds) {
    ASSERT_TRUE(control.startPlay(0));
    startDriver();
    int ticks = 0;
    loop.run(PlayLoop::Clock::now() + std::chrono::milliseconds(50), interrupts, [&] { ++ticks; });
    EXPECT_FALSE(control.playing());
    EXPECT_FALSE(loop.interrupted());
    EXPECT_FALSE(engine.anyGrainActive());  // faded out, not cut
    EXPECT_GT(ticks, 0);
}

TEST_F(PlayLoopTest, ASecondInterruptStopsAtOnce) {
    ASSERT_TRUE(control.startPlay(0));
    // Without a driver the ring never drains: only the second Ctrl-C ends play.
    interrupts = 2;
    loop.run(PlayLoop::Clock::now() + std::chrono::hours(1), interrupts, {});
    EXPECT_FALSE(control.playing());
    EXPECT_TRUE(loop.interrupted());
    EXPECT_EQ(server.streamState(), output::StreamState::kClosed);
}

TEST_F(PlayLoopTest, AFirstInterruptAsksForAStop) {
    ASSERT_TRUE(control.startPlay(0));
    startDriver();
    interrupts = 1;
    loop.run(PlayLoop::Clock::now() + std::chrono::hours(1), interrupts, {});
    EXPECT_FALSE(control.playing());
    EXPECT_TRUE(loop.interrupted());
}

TEST_F(PlayLoopTest, MidiPlayTogglesReachThePlayToggle) {
    ASSERT_TRUE(control.startPlay(0));
    settings.softStop = false;
    engine.setSoftStop(false);
    server.runPeriod();
    queue.post(platform::kMsgMidiPlayStop);
    messages.dispatchWaiting();
    EXPECT_FALSE(control.playing());
    queue.post(platform::kMsgMidiPlayStart);
    messages.dispatchWaiting();
    EXPECT_TRUE(control.playing());
    control.stopPlay();
}

TEST_F(PlayLoopTest, WithMidiTheLoopOutlastsAStopAndPlayMayStartAgain) {
    settings.softStop = false;
    engine.setSoftStop(false);
    ASSERT_TRUE(control.startPlay(0));
    startDriver();
    queue.post(platform::kMsgMidiPlayStop);
    messages.dispatchWaiting();
    ASSERT_FALSE(control.playing());

    loop.setRunWhileStopped(true);
    std::thread keyboard([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        queue.post(platform::kMsgMidiPlayStart);
    });
    int ticksWhilePlaying = 0;
    const auto begin = PlayLoop::Clock::now();
    loop.run(begin + std::chrono::milliseconds(100), interrupts, [&] { ++ticksWhilePlaying; });
    keyboard.join();
    EXPECT_GE(PlayLoop::Clock::now() - begin, std::chrono::milliseconds(100));
    EXPECT_GT(ticksWhilePlaying, 0);  // play started again inside the loop
    EXPECT_FALSE(control.playing());
    EXPECT_FALSE(loop.interrupted());
}

TEST_F(PlayLoopTest, MessagesTheLoopDoesNotHandleGoToTheOtherHandler) {
    std::vector<uint32_t> others;
    messages.setOtherMessages([&](const platform::Message& message) { others.push_back(message.number); });
    queue.post(platform::kMsgProgramChange, 1403, 0);
    queue.post(platform::kMsgMidiMonitor, 0x644890);
    queue.post(platform::kMsgMidiPlayStart);
    messages.dispatchWaiting();
    EXPECT_EQ(others, (std::vector<uint32_t>{platform::kMsgProgramChange, platform::kMsgMidiMonitor}));
    EXPECT_TRUE(control.playing());
    control.stopPlay();
}

}  // namespace
}  // namespace shell
