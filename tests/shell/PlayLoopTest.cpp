#include "shell/PlayLoop.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/shell/CoreTestSupport.h"

namespace shell {
namespace {

using namespace std::chrono_literals;

// Play on a manual sound server whose periods a thread of its own pulls, as a
// device's driver would, while the test's thread runs the message loop.
class PlayLoopTest : public ::testing::Test, public testing::PlayRig {
  protected:
    PlayLoopTest() : PlayRig(44100) { EXPECT_FALSE(control.allocateBuffers().has_value()); }
    ~PlayLoopTest() override {
        driverRunning = false;
        if (driver.joinable())
            driver.join();
    }

    void startDriver() {
        driver = std::thread([this] {
            while (driverRunning)
                if (server.runPeriod().empty())
                    std::this_thread::sleep_for(200us);
        });
    }
    void hardStops() {
        sound.softStop = false;
        engine.setSoftStop(false);
    }
    void dispatch(uint32_t message) {
        queue.post(message);
        messages.dispatchWaiting();
    }

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
    loop.run(PlayLoop::Clock::now() + 50ms, interrupts, [&] { ++ticks; });
    EXPECT_FALSE(control.playing());
    EXPECT_FALSE(loop.interrupted());
    EXPECT_FALSE(engine.anyGrainActive());  // faded out, not cut
    EXPECT_GT(ticks, 0);
}

TEST_F(PlayLoopTest, ASecondInterruptStopsAtOnceAndAFirstAsksForAStop) {
    ASSERT_TRUE(control.startPlay(0));
    // Without a driver the ring never drains: only the second Ctrl-C ends play.
    interrupts = 2;
    loop.run(PlayLoop::Clock::now() + 1h, interrupts, {});
    EXPECT_EQ(std::tuple(control.playing(), loop.interrupted(), server.streamState()),
              std::tuple(false, true, output::StreamState::kClosed));

    ASSERT_TRUE(control.startPlay(0));
    startDriver();
    interrupts = 1;
    PlayLoop again{messages, control};
    again.run(PlayLoop::Clock::now() + 1h, interrupts, {});
    EXPECT_EQ(std::pair(control.playing(), again.interrupted()), std::pair(false, true));
}

// MIDI's play toggles reach the play toggle; the messages the loop does not handle go to the other
// handler, in order.
TEST_F(PlayLoopTest, MidiPlayTogglesReachThePlayToggleAndOtherMessagesTheOtherHandler) {
    std::vector<uint32_t> others;
    messages.setOtherMessages([&](const platform::Message& message) { others.push_back(message.number); });
    ASSERT_TRUE(control.startPlay(0));
    hardStops();
    server.runPeriod();
    dispatch(platform::kMsgMidiPlayStop);
    EXPECT_FALSE(control.playing());
    queue.post(platform::kMsgProgramChange, 1403, 0);
    queue.post(platform::kMsgMidiMonitor, 0x644890);
    dispatch(platform::kMsgMidiPlayStart);
    EXPECT_TRUE(control.playing());
    EXPECT_EQ(others, (std::vector<uint32_t>{platform::kMsgProgramChange, platform::kMsgMidiMonitor}));
    control.stopPlay();
}

TEST_F(PlayLoopTest, WithMidiTheLoopOutlastsAStopAndPlayMayStartAgain) {
    hardStops();
    ASSERT_TRUE(control.startPlay(0));
    startDriver();
    dispatch(platform::kMsgMidiPlayStop);
    ASSERT_FALSE(control.playing());

    loop.setRunWhileStopped(true);
    std::thread keyboard([this] {
        std::this_thread::sleep_for(30ms);
        queue.post(platform::kMsgMidiPlayStart);
    });
    int ticksWhilePlaying = 0;
    const auto begin = PlayLoop::Clock::now();
    loop.run(begin + 100ms, interrupts, [&] { ++ticksWhilePlaying; });
    keyboard.join();
    EXPECT_GE(PlayLoop::Clock::now() - begin, 100ms);
    EXPECT_GT(ticksWhilePlaying, 0);  // play started again inside the loop
    EXPECT_FALSE(control.playing());
    EXPECT_FALSE(loop.interrupted());
}

}  // namespace
}  // namespace shell
