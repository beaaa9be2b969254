#include "engine/ParamSpec.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(ParamSpecTable, DefaultsAndHomesLieInTheirRanges) {
    for (const auto& row : engine::paramSpecs()) {
        SCOPED_TRACE(std::string(row.name));
        EXPECT_LT(row.min, row.max);
        EXPECT_GE(row.defaultValue, row.min);
        EXPECT_LE(row.defaultValue, row.max);
        EXPECT_GE(row.home, 0);
        EXPECT_LE(row.home, 127);
        EXPECT_FALSE(row.tooltip.empty());
    }
}

TEST(ParamSpecTable, NamesAreUniqueAndFoundByName) {
    std::set<std::string_view> names;
    for (int p = 0; p < engine::kParamCount; ++p) {
        const auto& row = engine::paramSpec(p);
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_EQ(engine::findParam(row.name), p);
    }
    EXPECT_FALSE(engine::findParam("grainlen").has_value()) << "lookup is case-sensitive";
    EXPECT_FALSE(engine::findParam("").has_value());
}

TEST(ParamSpecTable, ScrollIdsFollowParameterOrder) {
    EXPECT_EQ(engine::scrollIdOf(engine::Start), 1500);
    EXPECT_EQ(engine::scrollIdOf(engine::ChangeTime), 1528);
    EXPECT_EQ(engine::defaultParamSet()[engine::Freq], 6062);
}

}  // namespace
