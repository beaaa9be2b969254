#include <gtest/gtest.h>

#include "midi/ResponseRowFields.h"
#include "midi/ResponseTables.h"

namespace midi {
namespace {

// Source index 1 (Velocity, flags 0x4000000), target 12 (Output amp), From 20, To 90.
constexpr ResponseRow kVelocityToAmp = 0x14000000u | 0x000C0000u | (20u << 8) | 90u;

TEST(ResponseRowFields, ReadsEachField) {
    EXPECT_EQ(responseTo(kVelocityToAmp), 90);
    EXPECT_EQ(responseFrom(kVelocityToAmp), 20);
    EXPECT_EQ(responseTargetIndex(kVelocityToAmp), 12u);
    EXPECT_EQ(responseSourceFlags(kVelocityToAmp), kSourceVelocity);
    EXPECT_EQ(responseSourceIndex(kVelocityToAmp), 1u);
    EXPECT_EQ(responseTargetParam(kVelocityToAmp), 23);
}

TEST(ResponseRowFields, WritersReplaceOneFieldAndClampPercentages) {
    ResponseRow row = 0;
    row = withSourceIndex(row, 5);  // Note/Pbend
    EXPECT_EQ(row, 0x53000000u);
    row = withTargetIndex(row, 3);
    row = withFrom(row, 150);
    row = withTo(row, -4);
    EXPECT_EQ(row, 0x53000000u | 0x30000u | (100u << 8) | 0u);
    row = withSourceIndex(row, 0);
    EXPECT_EQ(responseSourceFlags(row), 0u);
    EXPECT_EQ(responseTargetIndex(row), 3u);
}

TEST(ResponseRowFields, TargetsWithoutAParameter) {
    EXPECT_FALSE(responseTargetParam(withTargetIndex(kVelocityToAmp, 0)));
    EXPECT_FALSE(responseTargetParam(withTargetIndex(kVelocityToAmp, 13)));
    EXPECT_FALSE(responseTargetParam(withTargetIndex(kVelocityToAmp, 15)));
    EXPECT_EQ(responseTargetParam(withTargetIndex(kVelocityToAmp, 1)), 4);
}

TEST(ResponseRowFields, CompactionDropsIncompleteRowsAndMovesTheRestUp) {
    const ResponseRow noSource = withSourceIndex(kVelocityToAmp, 0);
    const ResponseRow noTarget = withTargetIndex(kVelocityToAmp, 0);
    const ResponseRow noSpan = withTo(kVelocityToAmp, 20);
    const ResponseRow bend = withSourceIndex(withTargetIndex(kVelocityToAmp, 7), 4);
    const auto kept = compactRows({noSource, kVelocityToAmp, noTarget, noSpan, 0, bend});
    const std::array<ResponseRow, kResponseRowCount> expected{kVelocityToAmp, bend, 0, 0, 0, 0};
    EXPECT_EQ(kept, expected);
}

}  // namespace
}  // namespace midi
