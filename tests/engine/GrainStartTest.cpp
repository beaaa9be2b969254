#include "engine/GrainStart.h"
#include "engine/ParamSpec.h"
#include "engine/ShapeTables.h"
#include "engine/Stream.h"
#include "sounds/SoundTable.h"
#include "tests/engine/TestSounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using namespace engine;

constexpr uint32_t kRate = 44100;

class GrainStart : public ::testing::Test {
  protected:
    GrainStart() {
        // 65536 frames at the output rate: unitsPerFrame 4096, rateRatio 2048.
        sound =
            &enginetest::makeSound(table, 0, 65536, 1, kRate, [](int32_t i, int) { return i / 65536.0f; });
        sounds::setOutputRate(*sound, kRate);
        stream.sound = sound;
        for (int p = 0; p < kParamCount; ++p)
            set(p, paramSpec(p).defaultValue);
        stream.loopLen = static_cast<int32_t>(sounds::kWholeSound);
    }
    void set(int p, int32_t v) {
        stream.param(p).target = v;
        stream.param(p).snap();
    }
    Grain shape() {
        Grain grain;
        shapeGrain(grain, stream, *sound, rng, kRate);
        return grain;
    }
    // How many draws were made since the start of the test.
    int drawsMade() const {
        Lcg fresh;
        for (int n = 0; n < 20; ++n) {
            if (fresh.state() == rng.state())
                return n;
            fresh.draw();
        }
        return -1;
    }

    sounds::SoundTable table{kRate};
    sounds::Sound* sound = nullptr;
    Stream stream;
    Lcg rng;
};

TEST_F(GrainStart, DefaultGrainHasNaturalSpeedAndHalfEnvelopes) {
    const Grain g = shape();
    EXPECT_EQ(g.speed, 4096u) << "one sound frame per output frame";
    EXPECT_EQ(g.speedSlope, 0.0f);
    // GrainLen 324: 324² × 44100 / 2^20 = 4414.98 frames.
    EXPECT_EQ(g.remaining, 4415);
    EXPECT_TRUE(g.fixedGain);
    // Attack and Decay 128: half the grain each, 4415 × 128 / 256 = 2207 frames.
    EXPECT_EQ(g.attackPhase, 0);
    EXPECT_EQ(g.attackInc, 268435456 / 2207);
    EXPECT_EQ(g.decayLen, 2207);
    EXPECT_EQ(g.decayDec, 268435456 / 2207);
    EXPECT_EQ(g.decayPhase, 0x0FFFFFFF);
    // Centre pan, Amp 461: sin(π/4) × 461 / 512.
    const auto centre = static_cast<float>(std::sin(std::numbers::pi / 4));
    EXPECT_FLOAT_EQ(g.gainL, centre * 461 / 512);
    EXPECT_FLOAT_EQ(g.gainR, centre * 461 / 512);
    EXPECT_FLOAT_EQ(g.silenceLevel, 1.0f / (32768 * centre));
    EXPECT_EQ(drawsMade(), 5) << "pan, pitch, glissando, attack, decay";
}

TEST_F(GrainStart, WithoutEnvelopeOnlyPanPitchAndGlissandoDraw) {
    set(Attack, 0);
    set(Decay, 0);
    const Grain g = shape();
    EXPECT_EQ(g.attackPhase, 0x10000000);
    EXPECT_EQ(g.decayLen, 0);
    EXPECT_EQ(drawsMade(), 3);
}

TEST_F(GrainStart, PitchSetsSpeedDirectionAndOctaves) {
    set(Pitch, 16384);
    EXPECT_EQ(shape().speed, 32u * 4096) << "five octaves up";
    set(Pitch, -6144);
    // trunc(−4096 + 0.5) = −4095 (toward zero), modulo the sound.
    EXPECT_EQ(shape().speed, 0x10000000u - 4095) << "backwards at natural speed";
    set(Pitch, 0);
    EXPECT_EQ(shape().speed, 0u);
}

TEST_F(GrainStart, SpeedIsConvertedToTheOutputRate) {
    sound->sampleRate = 22050;
    sounds::setOutputRate(*sound, kRate);  // rateRatio 4096
    EXPECT_EQ(shape().speed, 2048u) << "half a sound frame per output frame";
}

TEST_F(GrainStart, StartPositionFollowsStartAndTheLoop) {
    set(Start, 1024);
    stream.loopPos = 3 * 4096;
    // Start 1024 × 65536 = a quarter of the sound, plus the loop position.
    EXPECT_EQ(shape().pos, 0x04000000u + 3 * 4096);
}

TEST_F(GrainStart, StartRandomnessDrawsFirstAndWrapsBelowZero) {
    set(StartRnd, 256);
    // First draw −932564585: d = −932564585 >> 8 = −3642831 (loop length is the whole sound);
    // ((d × 256) >> 8) × 256 >> 4 = −58285296, masked to 28 bits.
    EXPECT_EQ(shape().pos, 210150160u);
    EXPECT_EQ(drawsMade(), 6);
}

TEST_F(GrainStart, LengthRandomnessAddsUpToLfTimesQOver96) {
    set(GrainLenRnd, 96);
    // u = 3362402711, D = trunc(2^32 / 4414.98) = 972817, u / D × 96 / 96 = 3456; plus 4415.
    EXPECT_EQ(shape().remaining, 7871);
}

TEST_F(GrainStart, PanRandomnessUsesTheDrawAfterTheLength) {
    set(PanRnd, 64);
    set(Attack, 0);
    set(Decay, 0);
    // First draw 3362402711: (3362402711 >> 18) − 8192 = 4634; × 64 / 256 = 1158.
    const Grain g = shape();
    const double pi = std::numbers::pi;
    EXPECT_FLOAT_EQ(g.gainL, static_cast<float>(std::sin((4096 + 1158) * pi / 16384)) * 461 / 512);
    EXPECT_FLOAT_EQ(g.gainR, static_cast<float>(std::sin((4096 - 1158) * pi / 16384)) * 461 / 512);
}

TEST_F(GrainStart, PanPositionIsClampedInsideTheTable) {
    set(PanPos, 256);  // 256 × 16 = 4096: clamped to 4095
    const Grain g = shape();
    EXPECT_FLOAT_EQ(g.gainR, engine::panTable()[1] * 461.0f / 512);
    EXPECT_FLOAT_EQ(g.gainL, engine::panTable()[8191] * 461.0f / 512);
}

TEST_F(GrainStart, LongGrainsKeepBaseGainsForTheAmpFollower) {
    set(GrainLen, 2048);  // 2048² × 44100 / 2^20 = 176400 frames: 4 s
    const Grain g = shape();
    EXPECT_EQ(g.remaining, 176400);
    EXPECT_FALSE(g.fixedGain);
    const auto centre = static_cast<float>(std::sin(std::numbers::pi / 4));
    EXPECT_FLOAT_EQ(g.baseGainL, centre);
    EXPECT_FLOAT_EQ(g.gainL, centre) << "until the next control update";
}

TEST_F(GrainStart, AmpFollowingScalesTheGainsByTheLoudnessAtTheGrain) {
    // f = (|M| × w + (512 − |M|)) / 512 with w = a for M ≥ 0 and 1 − a below; Amp 512 is unity gain,
    // so a short grain's gains are the centre pan gain times f.
    const auto centre = static_cast<float>(std::sin(std::numbers::pi / 4));
    struct Case {
        float loudness;
        int32_t depth;
        double factor;
    };
    const Case cases[] = {
        {0.25f, 0, 1.0},                                // no following
        {0.25f, 512, 0.25},                             // f = a
        {0.25f, -512, 0.75},                            // f = 1 − a
        {0.8f, 256, 256 * 0.8 / 512 + 0.5},             // half following: 0.9
        {0.25f, -300, 300 * 0.75 / 512 + 212.0 / 512},  // a bank's -300: 0.8535...
        {1.0f, 512, 1.0},                               // the loudest place plays at full level
    };
    set(Amp, 512);
    for (const Case& c : cases) {
        sound->ampTable.assign(sound->ampTable.size(), c.loudness);
        set(AmpAM, c.depth);
        const Grain g = shape();
        ASSERT_TRUE(g.fixedGain);
        EXPECT_NEAR(g.gainL, centre * c.factor, 1e-6) << "a " << c.loudness << ", AmpAM " << c.depth;
        EXPECT_NEAR(g.gainR, centre * c.factor, 1e-6) << "a " << c.loudness << ", AmpAM " << c.depth;
    }
}

TEST_F(GrainStart, NegativeLengthModulationReplacesTheLength) {
    sound->ampTable.assign(sound->ampTable.size(), 0.25f);
    set(GrainLenAM, -512);
    // z = (1 − 0.25) × 4415 × 512 / 512 = 3311.25
    EXPECT_EQ(shape().remaining, 3311);
    set(GrainLenAM, -1);  // 0.75 × 4415 / 512 = 6.5: at least 10 frames
    EXPECT_EQ(shape().remaining, 10);
    set(GrainLenAM, 64);  // + round(0.25 × 4414.98 × 64 / 64) = 1104
    EXPECT_EQ(shape().remaining, 4415 + 1104);
}

TEST_F(GrainStart, GlissandoReachesTheEndSpeedOverTheGrain) {
    set(Gliss, 512);  // (512 × 2) / 1024 = one octave up over the grain
    const Grain g = shape();
    EXPECT_EQ(g.speed, 4096u);
    EXPECT_FLOAT_EQ(g.speedSlope, 4096.0f / 4415);
}

}  // namespace
