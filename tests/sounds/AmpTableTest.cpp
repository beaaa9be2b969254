#include "sounds/AmpTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>

namespace {

using sounds::Sound;

void makeConstant(Sound& sound, int32_t frames, int32_t rate, float value) {
    sound.frames = frames;
    sound.channels = 1;
    sound.sampleRate = rate;
    sound.data.assign(static_cast<size_t>(frames), value);
}

TEST(AmpTable, OneEntryPer100FramesAndAtLeast20AndLookupsPastTheEndUseTheLastEntry) {
    EXPECT_EQ(sounds::ampTableSize(0), 20);
    EXPECT_EQ(sounds::ampTableSize(1899), 20);
    EXPECT_EQ(sounds::ampTableSize(1900), 20);
    EXPECT_EQ(sounds::ampTableSize(2000), 21);
    EXPECT_EQ(sounds::ampTableSize(44100), 442);

    const std::vector<float> table{0.1f, 0.2f, 0.3f};
    EXPECT_EQ(sounds::ampAt(table, 0), 0.1f);
    EXPECT_EQ(sounds::ampAt(table, 2), 0.3f);
    EXPECT_EQ(sounds::ampAt(table, 3), 0.3f);
    EXPECT_EQ(sounds::ampAt(table, 1000), 0.3f);
}

TEST(AmpTableBuild, ConstantSoundFollowsTheFilterStepResponse) {
    // For a constant x the filter state after k frames is x²(1 − b^k). The
    // warm-up runs 19 entries (1900 frames) before the main pass, so main entry j
    // has seen 1900 + 100 (j + 1) frames.
    constexpr int32_t kRate = 8000;
    constexpr int32_t kFrames = 3000;
    Sound sound;
    makeConstant(sound, kFrames, kRate, 0.5f);
    ASSERT_TRUE(sounds::buildAmpTable(sound));
    const int n = sounds::ampTableSize(kFrames);
    ASSERT_EQ(sound.ampTable.size(), static_cast<size_t>(n));

    const double w = 2 * std::numbers::pi / kRate;
    const double k = 2 - std::cos(10 * w);
    const double b = k - std::sqrt(k * k - 1);
    auto level = [&](int framesSeen) { return std::sqrt(1 - std::pow(b, framesSeen)); };
    const double largest = level(1900 + 100 * (n - 1));
    for (int j = 0; j <= n - 2; ++j)
        EXPECT_NEAR(sound.ampTable[static_cast<size_t>(j)], level(1900 + 100 * (j + 1)) / largest, 2e-6) << j;
    EXPECT_FLOAT_EQ(sound.ampTable[static_cast<size_t>(n - 2)], 1.0f);
    EXPECT_FLOAT_EQ(sound.ampTable[static_cast<size_t>(n - 1)],
                    (sound.ampTable[static_cast<size_t>(n - 2)] + sound.ampTable[0]) / 2);
}

TEST(AmpTableBuild, LoudStartAndSilentEndDecays) {
    constexpr int32_t kFrames = 4000;
    Sound sound;
    makeConstant(sound, kFrames, 44100, 0.0f);
    for (int32_t i = 0; i < kFrames / 2; ++i)
        sound.data[static_cast<size_t>(i)] = (i % 2 == 0) ? 0.8f : -0.8f;
    ASSERT_TRUE(sounds::buildAmpTable(sound));
    const auto& t = sound.ampTable;
    EXPECT_FLOAT_EQ(*std::max_element(t.begin(), t.end()), 1.0f);
    EXPECT_GT(t[19], t[25]) << "the level falls once the sound goes silent";
    EXPECT_GT(t[25], t[35]);
}

TEST(AmpTableBuild, ShortOrSilentSoundsGetAFlatHalf) {
    for (const auto& [frames, value, entries] : {std::tuple(1899, 0.9f, 20), std::tuple(5000, 0.0f, 51)}) {
        Sound sound;
        makeConstant(sound, frames, 44100, value);
        ASSERT_TRUE(sounds::buildAmpTable(sound));
        EXPECT_EQ(sound.ampTable, std::vector<float>(static_cast<size_t>(entries), 0.5f)) << frames;
    }
}

}  // namespace
