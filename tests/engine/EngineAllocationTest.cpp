// Proves that steady-state rendering allocates nothing: this executable replaces the global
// operator new with a counting one and renders a thousand periods of eight dense streams.
#include "engine/Engine.h"
#include "sounds/SoundTable.h"
#include "tests/engine/TestSounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* countedAllocation(std::size_t size) {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
    return countedAllocation(size);
}
void* operator new[](std::size_t size) {
    return countedAllocation(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return countedAllocation(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace engine;

// The sanitizer build counts a tenth of the periods: instrumented rendering is slow, and the
// plain build counts the full thousand.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kCountedPeriods = 100;
#else
constexpr int kCountedPeriods = 1000;
#endif

class NullRecording : public RecordingSink {
  public:
    bool streamFileOpen(int) const override { return true; }
    void writePeriod(const RenderedPeriod& period) override { last = period.streams[0]; }
    const float* last = nullptr;
};

TEST(EngineAllocations, TheCounterSeesAllocations) {
    counting = true;
    auto probe = std::make_unique<std::vector<int>>(3);
    counting = false;
    EXPECT_EQ(allocations.exchange(0), 2) << "the vector object and its elements";
    EXPECT_EQ(probe->size(), 3u);
}

void expectSteadyStateAllocatesNothing(int threads) {
    // A low rate and short periods keep the test fast: the grain count per frame, which is what
    // could make the pool grow, is the same as at 44100 Hz.
    constexpr uint32_t kRate = 8000;
    constexpr int kFrames = 8;
    sounds::SoundTable table(kRate);
    sounds::Sound& sound = enginetest::makeSound(
        table, 0, 50000, 2, 44100, [](int32_t i, int c) { return c == 0 ? (i % 100) / 100.0f : 0.1f; });
    Engine engine(table, {.rate = kRate, .stereo = true, .framesPerBuffer = kFrames, .bufferCount = 4});
    NullRecording recording;
    engine.setRecordingSink(&recording);
    engine.setPerStreamOutput(true);
    for (int s = 0; s < kMaxStreams; ++s) {
        if (s > 0)
            engine.createStream();
        ++sound.refCount;
        engine.attachSound(s, sound);
        // About 2000 grains per second of 0.1 s each, with every kind of randomness.
        engine.setParameter(s, Freq, 16384);
        engine.setParameter(s, FreqRnd, 100);
        engine.setParameter(s, StartRnd, 50);
        engine.setParameter(s, GrainLenRnd, 20);
        engine.setParameter(s, PitchRnd, 30);
        engine.setParameter(s, PanRnd, 200);
        engine.setParameter(s, AttackRnd, 30);
        engine.setParameter(s, DecayRnd, 30);
        engine.setParameter(s, LengthRnd, 10);
    }
    engine.setInterpolation(Interpolation::Spline);
    engine.setStreamThreads(threads);
    engine.playStart();
    std::vector<int16_t> out(engine.samplesPerBuffer());
    const int warmUp = 2 * static_cast<int>(kRate) / 10 / kFrames;  // two grain lengths
    for (int p = 0; p < warmUp; ++p)
        engine.periodCallback(out.data());
    ASSERT_GT(engine.activeGrainCount(), 1200);
    ASSERT_EQ(engine.streamThreadsUsed(),
              std::min(threads, 1 + StreamWorkers::helpersForThisMachine(kMaxStreams - 1)));

    counting = true;
    for (int p = 0; p < kCountedPeriods; ++p)
        engine.periodCallback(out.data());
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_GT(engine.activeGrainCount(), 1200);
    EXPECT_NE(recording.last, nullptr);
}

TEST(EngineAllocations, SteadyStateRenderingAllocatesNothing) {
    // On the audio thread alone and with the streams spread over every helper thread.
    for (const int threads : {1, kMaxStreams}) {
        SCOPED_TRACE(threads);
        allocations = 0;
        expectSteadyStateAllocatesNothing(threads);
    }
}

}  // namespace
