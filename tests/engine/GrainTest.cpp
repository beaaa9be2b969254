// What a grain is made of: the interpolation kernels, the envelope and pan tables, the shaping of a new
// grain from its stream's parameters and the random sequence, and the grain and loop clocks.
#include "engine/GrainStart.h"
#include "engine/Kernels.h"
#include "engine/ParamSpec.h"
#include "engine/Random.h"
#include "engine/ShapeTables.h"
#include "engine/Stream.h"
#include "engine/StreamClocks.h"
#include "sounds/SoundTable.h"
#include "tests/engine/TestSounds.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <numbers>
#include <optional>
#include <tuple>
#include <vector>

namespace {

using namespace engine;

constexpr uint32_t kRate = 44100;
const auto kCentre = static_cast<float>(std::sin(std::numbers::pi / 4));

// Six samples with no simple relation, interleaved with a second channel that must not be read.
constexpr std::array<float, 12> kSamples{0.31f, 9.f, -0.72f, 9.f, 0.05f, 9.f,
                                         0.88f, 9.f, -0.4f,  9.f, 0.19f, 9.f};

TEST(Kernels, LinearCubicAndSplineInterpolateTheirPolynomials) {
    const long double s0 = kSamples[0], s1 = kSamples[2], s2 = kSamples[4], s3 = kSamples[6],
                      s4 = kSamples[8], s5 = kSamples[10];
    // The cubic runs from s1 to s2, the spline is the six-point fifth-order polynomial through s2 and s3.
    const long double a0 = s3 - s2 - s0 + s1, a1 = s0 - s1 - a0, a2 = s2 - s0;
    const auto spline = [&](long double t) {
        return s2 +
               (t / 24.0L) * (16 * (s3 - s1) + 2 * (s0 - s4) +
                              t * ((16 * (s3 + s1) - s0 - 30 * s2 - s4) +
                                   t * ((66 * s3 - 70 * s2 - 33 * s4 + 39 * s1 + 7 * s5 - 9 * s0) +
                                        t * ((126 * s2 - 124 * s3 + 61 * s4 - 64 * s1 - 12 * s5 + 13 * s0) +
                                             t * (50 * (s3 - s2) + 25 * (s1 - s4) + 5 * (s5 - s0))))));
    };
    struct Case {
        const char* name;
        float (*at)(const float*, size_t, float);
        std::function<long double(long double)> expected;
        float onRamp;  // at t = 0.5 on frames holding n / 8: exact on linear data
    };
    const Case cases[] = {
        {"linear", &LinearKernel::at, [&](long double t) { return s0 + (s1 - s0) * t; }, 0.0625f},
        {"cubic", &CubicKernel::at, [&](long double t) { return ((a0 * t + a1) * t + a2) * t + s1; },
         0.1875f},
        {"spline", &SplineKernel::at, spline, 0.3125f},
    };
    const std::array<float, 6> ramp{0, 0.125f, 0.25f, 0.375f, 0.5f, 0.625f};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (float t : {0.0f, 0.1f, 0.25f, 0.5f, 0.75f, 0.8125f, 0.99999f})
            EXPECT_NEAR(c.at(kSamples.data(), 2, t), static_cast<double>(c.expected(t)), 1e-6) << t;
        EXPECT_FLOAT_EQ(c.at(ramp.data(), 1, 0.5f), c.onRamp);
    }
}

// (The middle of the envelope and the centre of the pan are read by every rendered grain: flat grains play
// at sin(π/4), and a soft stop's fade passes entry 4096.)
TEST(ShapeTables, EnvelopeIsARaisedCosineRiseThenOnesAndPanAQuarterSine) {
    const auto& env = envelopeTable();
    const auto& pan = panTable();
    ASSERT_EQ(std::tuple(env.size(), pan.size()), std::tuple(8292u, 8192u));
    EXPECT_EQ(std::pair(env[0], pan[0]), std::pair(0.0f, 0.0f));
    EXPECT_NEAR(env[2048], 0.5 - 0.5 * std::cos(std::numbers::pi / 4), 1e-7);
    EXPECT_TRUE(env[8191] < 1.0f && env[8191] > 0.9999999f);
    EXPECT_EQ(std::vector(env.begin() + 8192, env.end()), std::vector(env.size() - 8192, 1.0f));
    EXPECT_NEAR(pan[8191], 1.0, 1e-7);
    // Equal power: left² + right² = 1 for mirrored indices.
    for (size_t p : {1, 700, 2000, 4095})
        EXPECT_NEAR(pan[4096 + p] * pan[4096 + p] + pan[4096 - p] * pan[4096 - p], 1.0, 1e-6) << p;
}

class GrainStart : public ::testing::Test {
  protected:
    GrainStart() {
        // 65536 frames at the output rate: unitsPerFrame 4096, rateRatio 2048.
        sound =
            &enginetest::makeSound(table, 0, 65536, 1, kRate, [](int32_t i, int) { return i / 65536.0f; });
        sounds::setOutputRate(*sound, kRate);
        stream.sound = sound;
        stream.loopLen = static_cast<int32_t>(sounds::kWholeSound);
    }
    // A grain of the default parameters changed by `settings`, from a fresh random sequence.
    Grain shape(std::initializer_list<std::pair<int, int32_t>> settings = {}) {
        for (int p = 0; p < kParamCount; ++p)
            set(p, paramSpec(p).defaultValue);
        for (const auto& [param, value] : settings)
            set(param, value);
        rng = Lcg();
        Grain grain;
        shapeGrain(grain, stream, *sound, rng, kRate);
        return grain;
    }
    void set(int p, int32_t v) {
        stream.param(p).target = v;
        stream.param(p).snap();
    }
    // How many draws the last grain made.
    int drawsMade() const {
        Lcg fresh;
        for (int n = 0; n < 20; ++n, fresh.draw())
            if (fresh.state() == rng.state())
                return n;
        return -1;
    }

    sounds::SoundTable table{kRate};
    sounds::Sound* sound = nullptr;
    Stream stream;
    Lcg rng;
};

TEST_F(GrainStart, DefaultGrainHasNaturalSpeedAndHalfEnvelopesAndPitchGlissandoStartAndLengthChangeIt) {
    const Grain g = shape();
    // One sound frame per output frame; GrainLen 324: 324² × 44100 / 2^20 = 4414.98 frames.
    EXPECT_EQ(std::tuple(g.speed, g.speedSlope, g.remaining, g.fixedGain),
              std::tuple(4096u, 0.0f, 4415, true));
    // Attack and Decay 128: half the grain each, 4415 × 128 / 256 = 2207 frames.
    EXPECT_EQ(std::pair(g.attackPhase, g.attackInc), std::pair(0, 268435456 / 2207));
    EXPECT_EQ(std::tuple(g.decayLen, g.decayDec, g.decayPhase),
              std::tuple(2207, 268435456 / 2207, 0x0FFFFFFF));
    // Centre pan, Amp 461: sin(π/4) × 461 / 512.
    EXPECT_FLOAT_EQ(g.gainL, kCentre * 461 / 512);
    EXPECT_FLOAT_EQ(g.gainR, kCentre * 461 / 512);
    EXPECT_FLOAT_EQ(g.silenceLevel, 1.0f / (32768 * kCentre));
    EXPECT_EQ(drawsMade(), 5) << "pan, pitch, glissando, attack, decay";

    const Grain flat = shape({{Attack, 0}, {Decay, 0}});
    EXPECT_EQ(std::pair(flat.attackPhase, flat.decayLen), std::pair(0x10000000, 0));
    EXPECT_EQ(drawsMade(), 3) << "without envelope only pan, pitch and glissando draw";

    EXPECT_EQ(shape({{Pitch, 16384}}).speed, 32u * 4096) << "five octaves up";
    // trunc(−4096 + 0.5) = −4095 (toward zero), modulo the sound.
    EXPECT_EQ(shape({{Pitch, -6144}}).speed, 0x10000000u - 4095) << "backwards at natural speed";
    EXPECT_EQ(shape({{Pitch, 0}}).speed, 0u);
    const Grain gliss = shape({{Gliss, 512}});  // (512 × 2) / 1024 = one octave up over the grain
    EXPECT_EQ(std::tuple(gliss.speed, gliss.speedSlope), std::tuple(4096u, 4096.0f / 4415));

    // First draw −932564585: d = −932564585 >> 8 = −3642831 (loop length is the whole sound);
    // ((d × 256) >> 8) × 256 >> 4 = −58285296, masked to 28 bits.
    EXPECT_EQ(shape({{StartRnd, 256}}).pos, 210150160u) << "start randomness draws first, wraps below zero";
    EXPECT_EQ(drawsMade(), 6);
    // u = 3362402711, D = trunc(2^32 / 4414.98) = 972817, u / D × 96 / 96 = 3456; plus 4415.
    EXPECT_EQ(shape({{GrainLenRnd, 96}}).remaining, 7871);

    const Grain longGrain = shape({{GrainLen, 2048}});  // 2048² × 44100 / 2^20 = 176400 frames: 4 s
    // Long grains keep base gains for the Amp follower, and use them until the next control update.
    EXPECT_EQ(std::tuple(longGrain.remaining, longGrain.fixedGain, longGrain.baseGainL, longGrain.gainL),
              std::tuple(176400, false, kCentre, kCentre));

    stream.loopPos = 3 * 4096;
    // Start 1024 × 65536 = a quarter of the sound, plus the loop position.
    EXPECT_EQ(shape({{Start, 1024}}).pos, 0x04000000u + 3 * 4096);

    sound->sampleRate = 22050;
    sounds::setOutputRate(*sound, kRate);  // rateRatio 4096
    EXPECT_EQ(shape().speed, 2048u) << "half a sound frame per output frame";
}

TEST_F(GrainStart, PanIsRandomisedClampedInsideTheTableAndAmpAndLengthFollowTheLoudness) {
    // First draw 3362402711: (3362402711 >> 18) − 8192 = 4634; × 64 / 256 = 1158.
    const Grain g = shape({{PanRnd, 64}, {Attack, 0}, {Decay, 0}});
    const double pi = std::numbers::pi;
    EXPECT_FLOAT_EQ(g.gainL, static_cast<float>(std::sin((4096 + 1158) * pi / 16384)) * 461 / 512);
    EXPECT_FLOAT_EQ(g.gainR, static_cast<float>(std::sin((4096 - 1158) * pi / 16384)) * 461 / 512);

    const Grain right = shape({{PanPos, 256}});  // 256 × 16 = 4096: clamped to 4095
    EXPECT_FLOAT_EQ(right.gainR, panTable()[1] * 461.0f / 512);
    EXPECT_FLOAT_EQ(right.gainL, panTable()[8191] * 461.0f / 512);

    // f = (|M| × w + (512 − |M|)) / 512 with w = a for M ≥ 0 and 1 − a below; Amp 512 is unity gain,
    // so a short grain's gains are the centre pan gain times f.
    const std::tuple<float, int32_t, double> cases[] = {
        // loudness a, AmpAM M, factor f
        {0.25f, 0, 1.0},                                // no following
        {0.8f, 256, 256 * 0.8 / 512 + 0.5},             // half following: 0.9
        {0.25f, -300, 300 * 0.75 / 512 + 212.0 / 512},  // a bank's -300: 0.8535...
        {1.0f, 512, 1.0},                               // the loudest place plays at full level
    };
    for (const auto& [loudness, depth, factor] : cases) {
        sound->ampTable.assign(sound->ampTable.size(), loudness);
        const Grain g = shape({{Amp, 512}, {AmpAM, depth}});
        ASSERT_TRUE(g.fixedGain);
        EXPECT_NEAR(g.gainL, kCentre * factor, 1e-6) << "a " << loudness << ", AmpAM " << depth;
        EXPECT_NEAR(g.gainR, kCentre * factor, 1e-6) << "a " << loudness << ", AmpAM " << depth;
    }
    // A negative length modulation replaces the length: (1 − 0.25) × 4415 × 512 / 512 = 3311.25.
    sound->ampTable.assign(sound->ampTable.size(), 0.25f);
    EXPECT_EQ(shape({{GrainLenAM, -512}}).remaining, 3311);
    EXPECT_EQ(shape({{GrainLenAM, -1}}).remaining, 10) << "0.75 × 4415 / 512 = 6.5: at least 10 frames";
    EXPECT_EQ(shape({{GrainLenAM, 64}}).remaining, 4415 + 1104) << "+ round(0.25 × 4414.98 × 64 / 64)";
}

TEST(GrainClock, FiresAtEachFrameThePhaseReachesAWholeSound) {
    struct Case {
        uint32_t phase;
        int32_t increment;
        std::vector<int> firings;
        std::optional<uint32_t> phaseAfter;  // after the block of 8 frames
    };
    const Case cases[] = {
        {0x10000000, 0x01000000, {0}, 8u * 0x01000000},  // 16 frames per grain
        {8u * 0x01000000, 0x01000000, {}, 0x10000000},   // 8/16 + 7 × 1/16 stays below a whole sound
        {0x10000000, 0x10000000, {0, 1, 2, 3, 4, 5, 6, 7}, std::nullopt},  // a whole sound: one per frame
        {3, -1, {4}, std::nullopt},  // a negative increment fires when the phase goes below zero
    };
    for (const Case& c : cases) {
        Stream s;
        s.grainPhase = c.phase;
        s.grainPhaseInc = c.increment;
        std::vector<int> frames;
        fireGrainClock(s, [&](int k) { frames.push_back(k); });
        EXPECT_EQ(std::pair(frames, s.grainPhase), std::pair(c.firings, c.phaseAfter.value_or(s.grainPhase)))
            << std::hex << c.phase << " + " << c.increment;
    }
}

TEST(LoopAdvance, WrapsForwardAndBackwardDrawsADeviationAndForcesHardSyncGrains) {
    struct Case {
        const char* what;
        int32_t length, rate, pos, lengthRnd;
        bool hardSync, wrapped;
        int32_t posAfter, deviation;
        uint32_t grainPhaseAfter, rngState;  // the grain phase from 5
    };
    // A block is 8 frames; ((−932564585 >> 8) × 16) / 16 = −3642831.
    const Case cases[] = {
        {"forward past the end", 1000, 100, 500, 0, false, true, 300, 0, 5, Lcg::kSeed},  // no draw
        {"backward below zero", 1000, -50, 300, 0, false, true, 900, 0, 5, Lcg::kSeed},
        {"length randomness", 1000, 200, 0, 16, false, true, 600, -3642831, 5, 3362402711u},
        {"hard sync", 1000, -20, 100, 0, true, true, 940, 0, 0x10000000, Lcg::kSeed},
        {"rate zero stands still", 4096, 0, 77, 0, true, false, 77, 0, 5, Lcg::kSeed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Lcg rng;
        Stream s;
        s.param(LengthRnd).target = c.lengthRnd;
        s.param(LengthRnd).snap();
        std::tie(s.hardSync, s.loopLen, s.loopRate, s.loopPos, s.grainPhase) =
            std::tuple(c.hardSync, c.length, c.rate, c.pos, 5u);
        const bool wrapped = advanceLoop(s, rng);
        EXPECT_EQ(std::tuple(wrapped, s.loopPos, s.grainPhase, s.loopLenDev, rng.state()),
                  std::tuple(c.wrapped, c.posAfter, c.grainPhaseAfter, c.deviation, c.rngState));
    }

    // Length zero (a new stream's) wraps every block, and the position runs on as 32 bits: 2^30, then 2^31
    // runs over to −2^31 (a wrap that adds 0), then −2^30; at 0 it is neither past the length nor below 0.
    Lcg rng;
    Stream s;
    s.hardSync = 1;
    s.loopRate = 0x08000000;  // 8 × 2^27 = 2^30 per block
    for (const int32_t after : {0x40000000, INT32_MIN, -0x40000000, 0}) {
        s.grainPhase = 0;
        const bool wrapped = advanceLoop(s, rng);
        EXPECT_EQ(std::tuple(wrapped, s.loopPos, s.grainPhase),
                  std::tuple(after != 0, after, after != 0 ? 0x10000000u : 0u))
            << after;
    }
}

}  // namespace
