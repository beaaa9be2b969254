// The wide (SIMD) grain renderer against the frame-by-frame reference, and its instruction sets
// against each other: dense randomised grains over every kernel, mono and stereo output, mono and
// stereo sounds, forward, backward and gliding grains, sounds whose length divides 2^28 and sounds
// whose length does not; and the streams rendered on one thread against several.
#include "engine/Engine.h"
#include "engine/GrainBlocks.h"
#include "sounds/SoundTable.h"
#include "tests/engine/TestSounds.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using namespace engine;

constexpr uint32_t kRate = 44100;
constexpr int kPeriod = 256;
constexpr int kPeriods = 120;

struct Case {
    Interpolation kind;
    bool stereoOut;
    int channels;    // of the sound
    int32_t frames;  // 65536 divides 2^28; 30011 leaves units per frame of 8945
};

struct Render {
    std::vector<float> out;
    std::vector<uint32_t> positions;
    int grains = 0;
    int threadsUsed = 0;
};

// Eight streams of short dense grains with every kind of randomness, some backward, some gliding,
// some with loop wrap-around from a fast loop rate.
Render render(const Case& c, bool wide, int threads = 1) {
    sounds::SoundTable table(kRate);
    Engine engine(table,
                  {.rate = kRate, .stereo = c.stereoOut, .framesPerBuffer = kPeriod, .bufferCount = 4});
    engine.setWideRendering(wide);
    engine.setStreamThreads(threads);
    sounds::Sound& sound = enginetest::makeSound(
        table, 0, c.frames, c.channels, kRate,
        [](int32_t i, int ch) { return static_cast<float>(std::sin(0.37 * i + ch) * 0.8); });
    const int32_t pitches[] = {6144, 6500, -3000, 9000, 100, -8000, 7000, 6144};
    for (int s = 0; s < 8; ++s) {
        if (s > 0)
            engine.createStream();
        engine.attachSound(s, sound);
        engine.stream(s).channelSelect.store(c.channels == 2 ? s % 3 + 1 : LeftChannel);
        const int32_t gliss = s % 3 == 0 ? 0 : s * 300 - 1000, rate = s == 5 ? 8000 : 4000 + s;
        const std::pair<int, int32_t> settings[] = {
            {Freq, 12000 + 500 * s}, {GrainLen, 60 + 40 * s}, {Pitch, pitches[s]}, {PanRnd, 128},
            {PitchRnd, s * 20},      {Gliss, gliss},          {AttackRnd, s * 30}, {DecayRnd, s * 30},
            {Attack, s * 30},        {Decay, 256 - s * 30},   {Rate, rate}};
        for (const auto& [param, value] : settings)
            engine.setParameter(s, param, value);
        engine.snapParameters(s);
    }
    engine.setInterpolation(c.kind);
    engine.playStart(true, false);
    Render r;
    const size_t values = static_cast<size_t>(kPeriod) * (c.stereoOut ? 2 : 1);
    for (int p = 0; p < kPeriods; ++p) {
        engine.renderOfflinePeriod();
        const float* slot = engine.ringSlot(p % 4);
        r.out.insert(r.out.end(), slot, slot + values);
        r.threadsUsed = std::max(r.threadsUsed, engine.streamThreadsUsed());
    }
    r.positions.resize(Engine::kPublishedGrains);
    r.positions.resize(static_cast<size_t>(engine.grainPositions(r.positions)));
    r.grains = engine.activeGrainCount();
    return r;
}

class WideRender : public ::testing::TestWithParam<Case> {};

TEST_P(WideRender, AgreesWithTheReferenceAndIsTheSameOnEveryInstructionSetAndThreadCount) {
    const Case& c = GetParam();
    const Render reference = render(c, false);
    const auto targets = hwy::SupportedAndGeneratedTargets();
    ASSERT_FALSE(targets.empty());
    std::vector<float> first;
    for (int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        ASSERT_STREQ(wideRendererTarget(), hwy::TargetName(target));
        const Render wide = render(c, true);
        const Render threaded = render(c, true, kMaxStreams);
        hwy::SetSupportedTargetsForTest(0);
        SCOPED_TRACE(hwy::TargetName(target));

        EXPECT_EQ(std::pair(wide.positions, wide.grains), std::pair(reference.positions, reference.grains))
            << "positions advance exactly";
        ASSERT_EQ(wide.out.size(), reference.out.size());
        // Single-precision kernels and mixing: float rounding of a sum of a few dozen grains.
        for (size_t k = 0; k < wide.out.size(); ++k)
            ASSERT_NEAR(wide.out[k], reference.out[k], 2e-5) << "sample " << k;
        if (first.empty())
            first = wide.out;
        else
            EXPECT_EQ(std::memcmp(first.data(), wide.out.data(), first.size() * sizeof(float)), 0)
                << "every instruction set renders the same bytes";

        EXPECT_TRUE(std::thread::hardware_concurrency() < 2 || threaded.threadsUsed > 1);
        EXPECT_EQ(std::pair(threaded.positions, threaded.grains), std::pair(wide.positions, wide.grains));
        ASSERT_EQ(threaded.out.size(), wide.out.size());
        EXPECT_EQ(std::memcmp(threaded.out.data(), wide.out.data(), wide.out.size() * sizeof(float)), 0)
            << "streams rendered side by side on " << threaded.threadsUsed << " threads give the same bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(KernelsOutputsAndSounds, WideRender,
                         ::testing::Values(Case{Interpolation::Linear, true, 1, 65536},
                                           Case{Interpolation::Cubic, true, 2, 30011},
                                           Case{Interpolation::Spline, true, 1, 30011},
                                           Case{Interpolation::Spline, false, 2, 65536},
                                           Case{Interpolation::Linear, false, 2, 30011},
                                           Case{Interpolation::Cubic, false, 1, 65536}));

}  // namespace
