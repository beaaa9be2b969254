// Runs against the private JACK server of the jack_server test fixture
// (dummy driver, 44100 Hz, 256 frames per period).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "output/AudioSystem.h"
#include "output/RtAudioApi.h"

namespace output {
namespace {

constexpr std::uint32_t kServerRate = 44100;
constexpr unsigned kServerPeriod = 256;
constexpr auto kPlayTimeout = std::chrono::seconds(5);

struct PeriodCounter {
    std::atomic<int> calls{0};
    std::atomic<unsigned> frames{0};
};

int countPeriod(void* context, std::int16_t* output, unsigned frames) {
    auto* counter = static_cast<PeriodCounter*>(context);
    std::fill(output, output + 2 * frames, std::int16_t{0});
    counter->frames.store(frames, std::memory_order_relaxed);
    counter->calls.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

class AudioSystemJackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { setenv("JACK_NO_START_SERVER", "1", 1); }

    SoundSettings jackSettings() const {
        SoundSettings settings;
        settings.sampleRate = kServerRate;
        settings.stereo = true;
        settings.bufferFrames = 512;  // JACK keeps its own period
        settings.bufferCount = 4;
        settings.deviceSelection = kRtDeviceBase;
        return settings;
    }

    std::ostringstream log;
    AudioSystem system{RtAudioApi::create, log};
};

TEST_F(AudioSystemJackTest, ListsTheServersSystemDeviceFirst) {
    const DeviceList& list = system.getDeviceList();
    ASSERT_GE(list.jackDeviceCount, 1u);
    EXPECT_EQ(list.entries[0].name, "(JACK0) system");
    EXPECT_EQ(list.entries[0].outputChannels, 2u);
    EXPECT_TRUE(system.selectDeviceByName("System"));
    EXPECT_EQ(system.currentApi(), AudioApiId::kJack);
    EXPECT_EQ(system.config().output.device, 0);
}

TEST_F(AudioSystemJackTest, PlaysPeriodsOfTheGrantedSizeThroughTheStateMachine) {
    PeriodCounter counter;
    ASSERT_TRUE(system.openPlaybackStream(jackSettings(), countPeriod, &counter)) << log.str();
    EXPECT_EQ(system.state(), AudioSystemState::kOpen);
    EXPECT_EQ(system.config().output.bufferFrames, kServerPeriod);
    system.start();
    ASSERT_EQ(system.state(), AudioSystemState::kRunning);
    const auto deadline = std::chrono::steady_clock::now() + kPlayTimeout;
    while (counter.calls.load() < 8 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(counter.calls.load(), 8);
    EXPECT_EQ(counter.frames.load(), kServerPeriod);
    system.stop();
    EXPECT_EQ(system.state(), AudioSystemState::kOpen);
    const int callsWhenStopped = counter.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(counter.calls.load(), callsWhenStopped);
    system.close();
    EXPECT_EQ(system.state(), AudioSystemState::kClosed);
}

TEST_F(AudioSystemJackTest, ARateTheServerRefusesOpensNothingAndIsLogged) {
    SoundSettings settings = jackSettings();
    settings.sampleRate = 22050;
    PeriodCounter counter;
    EXPECT_FALSE(system.openPlaybackStream(settings, countPeriod, &counter));
    EXPECT_EQ(system.state(), AudioSystemState::kClosed);
    EXPECT_NE(log.str().find("AudioSystem::open(): RtAudio error "), std::string::npos) << log.str();
}

}  // namespace
}  // namespace output
