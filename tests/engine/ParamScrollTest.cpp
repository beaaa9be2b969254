#include "engine/ParamScroll.h"

#include <gtest/gtest.h>

#include "engine/ParamSpec.h"

using namespace engine;

namespace {

TEST(ParamScrollMapping, PositionsMirrorValuesAndClampToRange) {
    EXPECT_EQ(positionToValue(Rate, -8192), 8192);
    EXPECT_EQ(positionToValue(Rate, 8192), -8192);
    EXPECT_EQ(positionToValue(Freq, 25), 16384);
    EXPECT_EQ(positionToValue(Freq, 16394), 25) << "beyond the bottom stays at the minimum";
    EXPECT_EQ(valueToPosition(Amp, 461), 1024 - 461);
    EXPECT_EQ(resetPosition(Amp), 1024 - 461);
    EXPECT_EQ(positionToValue(Amp, resetPosition(Amp)), 461);
}

TEST(ParamScrollMapping, BarRangeAndPageSize) {
    const auto freq = scrollBarSetup(Freq);  // span 16359: /24 = 681 > 100, so /128
    EXPECT_EQ(freq.rangeMin, 17);
    EXPECT_EQ(freq.rangeMax, 16394);
    EXPECT_EQ(freq.pageSize, 127);
    EXPECT_EQ(scrollBarSetup(StartRnd).pageSize, 10);  // 256 / 24
    EXPECT_EQ(scrollBarSetup(AttackRnd).pageSize, 10);
}

TEST(ParamScrollAction, LinePageAndThumb) {
    const auto line = scrollAction(Amp, ScrollCode::LineDown, 100, 0, {}, 64);
    EXPECT_TRUE(line.changes);
    EXPECT_EQ(line.position, 101);
    EXPECT_EQ(line.value, 1024 - 101);
    EXPECT_EQ(line.changeTime, 64);
    EXPECT_EQ(scrollAction(Amp, ScrollCode::PageUp, 100, 0, {}, 64).position, 100 - 42);
    EXPECT_EQ(scrollAction(Rate, ScrollCode::ThumbTrack, 0, -300, {}, 64).value, 300);
    EXPECT_EQ(scrollAction(Rate, ScrollCode::Top, 123, 0, {}, 64).value, 8192);
    EXPECT_FALSE(scrollAction(Rate, ScrollCode::EndScroll, 123, 0, {}, 64).changes);
}

TEST(ParamScrollAction, DraggingPastTheEndsKeepsMinAndMax) {
    const auto above = scrollAction(Amp, ScrollCode::ThumbTrack, 0, -30, {}, 64);
    EXPECT_EQ(above.position, -8);
    EXPECT_EQ(above.value, 1024);
    const auto below = scrollAction(Amp, ScrollCode::ThumbTrack, 0, 2000, {}, 64);
    EXPECT_EQ(below.position, 1034);
    EXPECT_EQ(below.value, 0);
}

TEST(ParamScrollAction, ShiftRestoresDefaultAndCtrlGlidesQuickly) {
    const auto reset = scrollAction(Pitch, ScrollCode::LineUp, 500, 0, {.shift = true}, 64);
    EXPECT_EQ(reset.value, 6144);
    EXPECT_EQ(reset.changeTime, 64);
    const auto quick = scrollAction(Pitch, ScrollCode::LineUp, 500, 0, {.ctrl = true}, 64);
    EXPECT_EQ(quick.changeTime, 6);
    EXPECT_EQ(quick.value, -499);
}

}  // namespace
