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

void* countedAllocation(std::size_t size) noexcept {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

// Every form: under a sanitizer a form left out would go to the sanitizer's allocator uncounted.
void* operator new(std::size_t size) {
    if (void* p = countedAllocation(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return countedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return countedAllocation(size);
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
    // About 2000 grains per second of 0.1 s each, with every kind of randomness.
    const std::pair<int, int32_t> settings[] = {{Freq, 16384},     {FreqRnd, 100}, {StartRnd, 50},
                                                {GrainLenRnd, 20}, {PitchRnd, 30}, {PanRnd, 200},
                                                {AttackRnd, 30},   {DecayRnd, 30}, {LengthRnd, 10}};
    for (int s = 0; s < kMaxStreams; ++s) {
        if (s > 0)
            engine.createStream();
        ++sound.refCount;
        engine.attachSound(s, sound);
        for (const auto& [param, value] : settings)
            engine.setParameter(s, param, value);
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

    allocations = 0;
    counting = true;
    for (int p = 0; p < kCountedPeriods; ++p)
        engine.periodCallback(out.data());
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_GT(engine.activeGrainCount(), 1200);
    EXPECT_NE(recording.last, nullptr);
}

TEST(EngineAllocations, SteadyStateRenderingAllocatesNothing) {
    counting = true;
    auto probe = std::make_unique<std::vector<int>>(3);
    counting = false;
    ASSERT_EQ(allocations.exchange(0), 2) << "the counter sees the vector object and its elements";
    // On the audio thread alone and with the streams spread over every helper thread.
    for (const int threads : {1, kMaxStreams}) {
        SCOPED_TRACE(threads);
        expectSteadyStateAllocatesNothing(threads);
    }
}

}  // namespace
