#include "engine/Kernels.h"
#include "engine/Random.h"
#include "engine/ShapeTables.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

namespace {

// Six samples with no simple relation, interleaved with a second channel that must not be read.
constexpr std::array<float, 12> kSamples{0.31f, 9.f, -0.72f, 9.f, 0.05f, 9.f,
                                         0.88f, 9.f, -0.4f,  9.f, 0.19f, 9.f};
constexpr size_t kStride = 2;

long double s(int n) {
    return kSamples[static_cast<size_t>(n) * kStride];
}

TEST(Kernels, LinearIsAStraightLineFromS0ToS1) {
    for (float t : {0.0f, 0.25f, 0.5f, 0.8125f}) {
        const long double expected = s(0) + (s(1) - s(0)) * t;
        EXPECT_NEAR(engine::LinearKernel::at(kSamples.data(), kStride, t), static_cast<double>(expected),
                    1e-6)
            << t;
    }
}

TEST(Kernels, CubicPassesThroughS1AndS2) {
    EXPECT_FLOAT_EQ(engine::CubicKernel::at(kSamples.data(), kStride, 0.0f), kSamples[2]);
    for (float t : {0.125f, 0.5f, 0.9f}) {
        const long double a0 = s(3) - s(2) - s(0) + s(1);
        const long double a1 = s(0) - s(1) - a0;
        const long double a2 = s(2) - s(0);
        const long double expected = ((a0 * t + a1) * t + a2) * t + s(1);
        EXPECT_NEAR(engine::CubicKernel::at(kSamples.data(), kStride, t), static_cast<double>(expected), 1e-6)
            << t;
    }
    // Near t = 1 it approaches s2.
    EXPECT_NEAR(engine::CubicKernel::at(kSamples.data(), kStride, 0.99999f), kSamples[4], 1e-4);
}

TEST(Kernels, SplineIsTheSixPointFifthOrderPolynomial) {
    EXPECT_FLOAT_EQ(engine::SplineKernel::at(kSamples.data(), kStride, 0.0f), kSamples[4]);
    for (float t : {0.1f, 0.5f, 0.75f}) {
        const long double s0 = s(0), s1 = s(1), s2 = s(2), s3 = s(3), s4 = s(4), s5 = s(5);
        const long double expected =
            s2 + (t / 24.0L) * (16 * (s3 - s1) + 2 * (s0 - s4) +
                                t * ((16 * (s3 + s1) - s0 - 30 * s2 - s4) +
                                     t * ((66 * s3 - 70 * s2 - 33 * s4 + 39 * s1 + 7 * s5 - 9 * s0) +
                                          t * ((126 * s2 - 124 * s3 + 61 * s4 - 64 * s1 - 12 * s5 + 13 * s0) +
                                               t * (50 * (s3 - s2) + 25 * (s1 - s4) + 5 * (s5 - s0))))));
        EXPECT_NEAR(engine::SplineKernel::at(kSamples.data(), kStride, t), static_cast<double>(expected),
                    1e-6)
            << t;
    }
    EXPECT_NEAR(engine::SplineKernel::at(kSamples.data(), kStride, 0.99999f), kSamples[6], 1e-4);
}

TEST(Kernels, ReproduceAStraightLineExactly) {
    // All three kernels are exact on linear data: frame n holds n / 8.
    std::array<float, 6> ramp{};
    for (size_t n = 0; n < ramp.size(); ++n)
        ramp[n] = static_cast<float>(n) / 8;
    EXPECT_FLOAT_EQ(engine::LinearKernel::at(ramp.data(), 1, 0.5f), 0.0625f);
    EXPECT_FLOAT_EQ(engine::CubicKernel::at(ramp.data(), 1, 0.5f), 0.1875f);
    EXPECT_FLOAT_EQ(engine::SplineKernel::at(ramp.data(), 1, 0.5f), 0.3125f);
}

TEST(ShapeTables, EnvelopeIsARaisedCosineRiseThenOnes) {
    const auto& env = engine::envelopeTable();
    ASSERT_EQ(env.size(), 8292u);
    EXPECT_EQ(env[0], 0.0f);
    EXPECT_FLOAT_EQ(env[4096], 0.5f);
    EXPECT_NEAR(env[2048], 0.5 - 0.5 * std::cos(std::numbers::pi / 4), 1e-7);
    EXPECT_LT(env[8191], 1.0f);
    EXPECT_GT(env[8191], 0.9999999f);
    for (size_t i = 8192; i < env.size(); ++i)
        ASSERT_EQ(env[i], 1.0f);
}

TEST(ShapeTables, PanIsAQuarterSineWithTheCentreAtSinPiOver4) {
    const auto& pan = engine::panTable();
    ASSERT_EQ(pan.size(), 8192u);
    EXPECT_EQ(pan[0], 0.0f);
    EXPECT_FLOAT_EQ(pan[4096], static_cast<float>(std::sqrt(0.5)));
    EXPECT_NEAR(pan[8191], 1.0, 1e-7);
    // Equal power: left² + right² = 1 for mirrored indices.
    for (int p : {1, 700, 2000, 4095})
        EXPECT_NEAR(pan[static_cast<size_t>(4096 + p)] * pan[static_cast<size_t>(4096 + p)] +
                        pan[static_cast<size_t>(4096 - p)] * pan[static_cast<size_t>(4096 - p)],
                    1.0, 1e-6);
}

TEST(Random, LinearCongruentialSequenceFromTheSeed) {
    engine::Lcg rng;
    EXPECT_EQ(rng.state(), 381296920u);
    // 381296920 × 1664525 + 1013904223 mod 2^32, and so on.
    EXPECT_EQ(static_cast<uint32_t>(rng.draw()), 3362402711u);
    EXPECT_EQ(static_cast<uint32_t>(rng.draw()), 2438242826u);
    EXPECT_EQ(rng.draw(), 692398561);
    EXPECT_EQ(rng.draw(), -90523188) << "draws read as signed values";
}

}  // namespace
