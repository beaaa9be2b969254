#include "engine/Random.h"
#include "engine/Stream.h"
#include "engine/StreamClocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using engine::Stream;

std::vector<int> firingFrames(Stream& stream) {
    std::vector<int> frames;
    engine::fireGrainClock(stream, [&](int k) { frames.push_back(k); });
    return frames;
}

TEST(GrainClock, FiresAtTheFrameThePhaseReachesTheWholeSound) {
    Stream s;
    s.grainPhase = 0x10000000;
    s.grainPhaseInc = 0x01000000;  // 16 frames per grain
    EXPECT_EQ(firingFrames(s), std::vector<int>{0});
    EXPECT_EQ(s.grainPhase, 8u * 0x01000000);
    EXPECT_TRUE(firingFrames(s).empty()) << "phase 8/16 + 7 × 1/16 stays below a whole sound";
    EXPECT_EQ(s.grainPhase, 0x10000000u);
    EXPECT_EQ(firingFrames(s), std::vector<int>{0});
    s.grainPhase = 0x0F000000;
    EXPECT_EQ(firingFrames(s), std::vector<int>{1});
}

TEST(GrainClock, SkipsTheFrameTestWhenNoFiringIsPossible) {
    Stream s;
    s.grainPhase = 0;
    s.grainPhaseInc = 1000;
    EXPECT_TRUE(firingFrames(s).empty());
    EXPECT_EQ(s.grainPhase, 8000u);
}

TEST(GrainClock, AnIncrementOfAWholeSoundStartsOneGrainPerFrame) {
    Stream s;
    s.grainPhase = 0x10000000;
    s.grainPhaseInc = 0x10000000;
    EXPECT_EQ(firingFrames(s), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    s.grainPhaseInc = 0x30000000;  // more than a whole sound: still one per frame
    EXPECT_EQ(firingFrames(s), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(GrainClock, ANegativeIncrementFiresWhenThePhaseGoesBelowZero) {
    Stream s;
    s.grainPhase = 3;
    s.grainPhaseInc = -1;
    EXPECT_EQ(firingFrames(s), std::vector<int>{4});
}

TEST(LoopAdvance, WrapsForwardAndBackwardAndDrawsADeviation) {
    engine::Lcg rng;
    Stream s;
    s.loopLen = 1000;
    s.loopRate = 100;
    s.loopPos = 500;
    EXPECT_TRUE(engine::advanceLoop(s, rng));  // 1300 > 1000
    EXPECT_EQ(s.loopPos, 300);
    EXPECT_EQ(rng.state(), 381296920u) << "no draw without LengthRnd";

    s.loopRate = -50;
    EXPECT_TRUE(engine::advanceLoop(s, rng));  // 300 − 400 < 0
    EXPECT_EQ(s.loopPos, 900);
}

TEST(LoopAdvance, LengthRandomnessDrawsTheNextDeviation) {
    engine::Lcg rng;
    Stream s;
    s.param(engine::LengthRnd).target = 16;
    s.param(engine::LengthRnd).snap();
    s.loopLen = 1000;
    s.loopRate = 200;
    s.loopPos = 0;
    EXPECT_TRUE(engine::advanceLoop(s, rng));
    EXPECT_EQ(s.loopPos, 600);
    // ((−932564585 >> 8) × 16) / 16 = −3642831
    EXPECT_EQ(s.loopLenDev, -3642831);
}

TEST(LoopAdvance, HardSyncForcesAGrainAtEachWrapInBothDirections) {
    engine::Lcg rng;
    Stream s;
    s.hardSync = 1;
    s.loopLen = 1000;
    s.loopRate = -20;
    s.loopPos = 100;
    s.grainPhase = 5;
    EXPECT_TRUE(engine::advanceLoop(s, rng));
    EXPECT_EQ(s.loopPos, 940);
    EXPECT_EQ(s.grainPhase, 0x10000000u);
}

TEST(LoopAdvance, LengthZeroWrapsEveryBlockAndRunsOnAs32Bits) {
    engine::Lcg rng;
    Stream s;
    s.hardSync = 1;
    s.loopLen = 0;
    s.loopRate = 0x08000000;  // 8 × 2^27 = 2^30 per block
    s.loopPos = 0;
    std::vector<int32_t> positions;
    for (int b = 0; b < 3; ++b) {
        s.grainPhase = 0;
        EXPECT_TRUE(engine::advanceLoop(s, rng)) << b;
        EXPECT_EQ(s.grainPhase, 0x10000000u);
        positions.push_back(s.loopPos);
    }
    // 2^30, then 2^31 runs over to −2^31 (a wrap that adds 0), then −2^30.
    EXPECT_EQ(positions, (std::vector<int32_t>{0x40000000, INT32_MIN, -0x40000000}));
    s.grainPhase = 0;
    EXPECT_FALSE(engine::advanceLoop(s, rng))
        << "at 0 the loop position is neither past the length nor below 0";
    EXPECT_EQ(s.loopPos, 0);
    EXPECT_EQ(s.grainPhase, 0u);
}

TEST(LoopAdvance, RateZeroStandsStill) {
    engine::Lcg rng;
    Stream s;
    s.loopLen = 4096;
    s.loopRate = 0;
    s.loopPos = 77;
    EXPECT_FALSE(engine::advanceLoop(s, rng));
    EXPECT_EQ(s.loopPos, 77);
}

}  // namespace
