#include "engine/Engine.h"
#include "sounds/SoundTable.h"
#include "tests/engine/TestSounds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <future>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace engine;

constexpr int kPeriod = 64;
constexpr int kBuffers = 4;

class RenderCycle : public ::testing::Test {
  protected:
    RenderCycle() {
        engine.setRecordingSink(&sink);
        engine.setBufferDoneHandler([this](int slot) { doneSlots.push_back(slot); });
    }
    sounds::SoundTable table{44100};
    Engine engine{table,
                  {.rate = 44100, .stereo = true, .framesPerBuffer = kPeriod, .bufferCount = kBuffers}};
    enginetest::CapturingSink sink;
    std::vector<int> doneSlots;
    std::vector<int16_t> out = std::vector<int16_t>(2 * kPeriod);
};

TEST(UnderrunReport, NeedsMoreThanTwoUnderruns) {
    EXPECT_FALSE(underrunReport(2, 10).has_value());
    EXPECT_FALSE(underrunReport(5, 0).has_value());
    EXPECT_EQ(underrunReport(3, 1000).value(), "3 buffer underruns in performance (0.3 %)");
    // 3000 / 7 = 428 per mille
    EXPECT_EQ(underrunReport(3, 7).value(), "3 buffer underruns in performance (42.8 %)");
    EXPECT_EQ(underrunReport(40, 40).value(), "40 buffer underruns in performance (100.0 %)");
}

TEST_F(RenderCycle, PlayStartFillsTheRingWithNPeriodsAndCanStopAtOnce) {
    engine.playStart();
    EXPECT_EQ(std::tuple(engine.filled(), engine.writeIndex(), engine.frameClock()),
              std::tuple(kBuffers, 0, kBuffers * kPeriod));
    EXPECT_EQ(sink.mix.size(), static_cast<size_t>(kBuffers * 2 * kPeriod));
    engine.renderStep();  // the ring is full: nothing happens
    EXPECT_EQ(engine.frameClock(), kBuffers * kPeriod);
    EXPECT_EQ(engine.stopRequest(), StopAction::StopNow) << "a stop before any card period is immediate";
}

TEST_F(RenderCycle, EachCardPeriodConsumesTheOldestSlotAndRendersOneMore) {
    engine.playStart();
    ASSERT_EQ(engine.periodCallback(out.data()), 0);
    EXPECT_EQ(std::tuple(engine.filled(), engine.writeIndex(), engine.underruns(), engine.callbacksTotal()),
              std::tuple(kBuffers, 1, 0u, 1u));
    // The built-in sine at full scale would exceed 16 bits; the converted values match the first
    // rendered period: round(x × 32767.5), at most ±32767.
    for (size_t k = 0; k < out.size(); ++k) {
        const double scaled = sink.mix[k] * 32767.5;
        ASSERT_NEAR(out[k], scaled, 0.5) << k;
        ASSERT_LE(std::abs(out[k]), 32767);
    }
}

TEST_F(RenderCycle, FullScaleConvertsTo32767) {
    enginetest::makeSound(table, 0, 4096, 1, 44100, [](int32_t, int) { return -1.0f; });
    engine.attachSound(0, table.record(0));
    enginetest::flatGrains(engine, 0);
    engine.setParameter(0, Amp, 1024);
    engine.playStart();
    engine.periodCallback(out.data());
    EXPECT_EQ(std::tuple(out[0], out[1]), std::tuple(-32767, -32767));
}

TEST_F(RenderCycle, UnderrunsReplayTheLeastRecentlyRenderedSlotAndAreReported) {
    engine.playStart();
    engine.setQuitKeyHeld(true);  // every period asks to stop and renders nothing more
    for (int k = 0; k < 7; ++k)
        engine.periodCallback(out.data());
    EXPECT_EQ(doneSlots, (std::vector<int>{0, 1, 2, 3, 0, 0, 0}));
    EXPECT_EQ(engine.underruns(), 3u);
    EXPECT_EQ(engine.stopPlay().value(), "3 buffer underruns in performance (42.8 %)");
    EXPECT_EQ(std::pair(engine.underruns(), engine.callbacksTotal()), std::pair(0u, 0u));
}

TEST_F(RenderCycle, ASoftStopEndsOnceTheGrainsAndTheRingHaveDrained) {
    engine.playStart();
    engine.periodCallback(out.data());
    ASSERT_EQ(engine.stopRequest(), StopAction::FadingOut);
    int periods = 0;
    while (doneSlots.empty() && periods < 10000) {
        engine.periodCallback(out.data());
        ++periods;
    }
    ASSERT_EQ(doneSlots.size(), 1u);
    EXPECT_FALSE(engine.anyGrainActive());
    EXPECT_EQ(std::pair(engine.filled(), engine.underruns()), std::pair(0, 0u));
}

TEST_F(RenderCycle, EmptyPlayListLeavesSilenceAndTheClockStill) {
    engine.setStreamState(0, Empty);
    engine.playStart();
    EXPECT_EQ(engine.frameClock(), 0);
    EXPECT_EQ(sink.mix, std::vector<float>(sink.mix.size(), 0.0f));
}

TEST_F(RenderCycle, RejectsFormatsItCannotRender) {
    EXPECT_TRUE(
        engine.setOutputFormat({.rate = 44100, .stereo = true, .framesPerBuffer = 100, .bufferCount = 4}));
    EXPECT_TRUE(
        engine.setOutputFormat({.rate = 44100, .stereo = true, .framesPerBuffer = 256, .bufferCount = 8}));
    EXPECT_FALSE(
        engine.setOutputFormat({.rate = 48000, .stereo = false, .framesPerBuffer = 512, .bufferCount = 7}));
    EXPECT_EQ(engine.samplesPerBuffer(), 512u);
    EXPECT_EQ(table.builtin().clockUnit, 268435456 / 48000);
}

TEST_F(RenderCycle, ACallbackThatFindsTheLockTakenPlaysOnAndCatchesUpLater) {
    engine.playStart();
    // Another thread holds the engine lock, as the main thread does while it exchanges a sound.
    std::promise<void> held;
    std::promise<void> release;
    std::thread holder([&] {
        const std::lock_guard engineLock(engine.lock());
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    // Two periods play from the ring without a render (each counted as an underrun).
    ASSERT_EQ(engine.periodCallback(out.data()), 0);
    ASSERT_EQ(engine.periodCallback(out.data()), 0);
    EXPECT_EQ(std::tuple(engine.filled(), engine.underruns(), engine.frameClock()),
              std::tuple(kBuffers - 2, 2u, kBuffers * kPeriod));
    release.set_value();
    holder.join();
    // The next period renders the missed ones and its own: the ring is full again, in order.
    ASSERT_EQ(engine.periodCallback(out.data()), 0);
    EXPECT_EQ(std::pair(engine.filled(), engine.frameClock()), std::pair(kBuffers, (kBuffers + 3) * kPeriod));
    EXPECT_EQ(sink.mix.size(), static_cast<size_t>((kBuffers + 3) * 2 * kPeriod));
}

// Drives the render cycle on one thread while another moves parameters, mutes and solos streams and
// exchanges sounds, as the audio and user-interface threads do. Run it under ThreadSanitizer
// (-DFRISSON_SANITIZE=thread) to check the engine's thread contract.
TEST(EngineThreads, RenderingWhileParametersAndSoundsChange) {
    constexpr uint32_t kRate = 22050;
    constexpr int kPeriods = 300;
    sounds::SoundTable table(kRate);
    // Two sounds the test itself holds a reference to, so exchanging never frees them.
    sounds::Sound& mono = enginetest::makeSound(table, 0, 20000, 1, 44100,
                                                [](int32_t i, int) { return std::sin(i * 0.01f) * 0.5f; });
    sounds::Sound& stereo = enginetest::makeSound(
        table, 1, 30000, 2, 22050, [](int32_t i, int c) { return c == 0 ? 0.3f : -0.2f * (i % 7); });
    Engine engine(table, {.rate = kRate, .stereo = true, .framesPerBuffer = 128, .bufferCount = 4});
    for (int s = 1; s < 4; ++s)
        engine.createStream();
    for (int s = 0; s < 4; ++s)
        engine.setParameter(s, Freq, 14000, 1.0);  // dense: hundreds of grains per second
    engine.playStart();

    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<int16_t> out(engine.samplesPerBuffer());
        for (int p = 0; p < kPeriods; ++p)
            engine.periodCallback(out.data());
        done = true;
    });

    int round = 0;
    while (!done) {
        const int s = round % 4;
        engine.setParameter(s, Pitch, 2000 + 97 * (round % 100));
        engine.setParameter(s, PanRnd, round % 256, 6.4);
        engine.setParameter(s, ChangeTime, 1 + round % 64);
        sounds::Sound* next = (round % 3 == 0) ? &mono : &stereo;
        if (round % 5 == 4) {
            engine.useTestTone(s);
        } else {
            ASSERT_EQ(table.findOrAllocate(next->path), next);  // count the new user
            engine.attachSound(s, *next);
        }
        if (round % 7 == 0)
            engine.soloStream(s);
        else if (round % 7 == 3)
            for (int k = 0; k < 4; ++k)
                engine.setStreamState(k, Active);
        else if (round % 11 == 0)
            engine.setStreamState(s, Muted);
        ++round;
        std::this_thread::yield();
    }
    audio.join();
    EXPECT_GT(round, 0);
    EXPECT_EQ(engine.callbacksTotal(), static_cast<uint32_t>(kPeriods));
    EXPECT_GT(mono.refCount + stereo.refCount, 2) << "the test's own references remain";
}

}  // namespace
