#include "engine/ParamSpec.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(ParamSpecTable, DefaultsAndHomesLieInTheirRanges) {
    for (const auto& spec : engine::paramSpecs()) {
        SCOPED_TRACE(std::string(spec.name));
        EXPECT_LT(spec.min, spec.max);
        EXPECT_GE(spec.defaultValue, spec.min);
        EXPECT_LE(spec.defaultValue, spec.max);
        EXPECT_GE(spec.home, 0);
        EXPECT_LE(spec.home, 127);
        EXPECT_FALSE(spec.tooltip.empty());
    }
}

TEST(ParamSpecTable, NamesAreUniqueAndFoundByName) {
    std::set<std::string_view> names;
    for (int p = 0; p < engine::kParamCount; ++p) {
        const auto& spec = engine::paramSpec(p);
        EXPECT_TRUE(names.insert(spec.name).second) << spec.name;
        EXPECT_EQ(engine::findParam(spec.name), p);
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
