// What a level stands for in the source's units: an elevation source's heights, a step the user
// gave, a void, or nothing known.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ui/preview_view.h"
#include "ui/sample_height.h"

namespace kelvarin {
namespace {

HeightReport withHeights(double low, double high, std::string unit) {
    HeightReport report;
    HeightSummary heights;
    heights.used = {low, high};
    heights.unit = std::move(unit);
    report.source.heights = heights;
    return report;
}

HeightReport withStep(double metresPerStep) {
    HeightReport report;
    report.vertical = verticalScale(metresPerStep);
    return report;
}

struct HeightCase {
    const char* name;
    HeightReport report;
    double level;
    std::optional<double> expected;  // nothing: no height known
    const char* text;
};

class SampleHeightOfLevel : public ::testing::TestWithParam<HeightCase> {};

TEST_P(SampleHeightOfLevel, GivesTheSourceUnits) {
    const HeightCase& c = GetParam();
    const std::optional<SampleHeight> height = sampleHeight(c.report, c.level);
    ASSERT_EQ(height.has_value(), c.expected.has_value());
    if (c.expected) {
        EXPECT_NEAR(height->value, *c.expected, 1e-9);
    }
    EXPECT_EQ(sampleHeightText(c.report, c.level), c.text);
}

// Level 1 is the lowest height used and 65535 the highest; a step of 0.05 m puts level 40000 at
// 2000 m above level 0.
INSTANTIATE_TEST_SUITE_P(
    Levels, SampleHeightOfLevel,
    ::testing::Values(
        HeightCase{"LowestHeight", withHeights(-120, 4810.5, "m"), 1, -120.0, "height -120 m"},
        HeightCase{"HighestHeight", withHeights(-120, 4810.5, "m"), 65535, 4810.5, "height 4810.5 m"},
        HeightCase{"MiddleLevel", withHeights(0, 65534, ""), 32768, 32767.0, "height 32767"},
        HeightCase{"OneHeightFile", withHeights(412, 412, "m"), 1, 412.0, "height 412 m"},
        HeightCase{"Void", withHeights(-120, 4810.5, "m"), 0, 0.0, "a void"},
        HeightCase{"GivenStep", withStep(0.05), 40000, 2000.0, "2000 m above level 0"},
        HeightCase{"GivenStepAtZero", withStep(0.05), 0, 0.0, "0 m above level 0"},
        HeightCase{"NothingKnown", HeightReport{}, 40000, std::nullopt, ""},
        // The file's heights are absolute: they win over a step the user gave as well.
        HeightCase{"HeightsBeforeStep",
                   [] {
                       HeightReport report = withHeights(100, 65634, "m");
                       report.vertical = verticalScale(0.05);
                       return report;
                   }(),
                   11, 110.0, "height 110 m"}),
    [](const ::testing::TestParamInfo<HeightCase>& info) { return std::string(info.param.name); });

// The readout under the cursor ends with the height where the report knows one.
TEST(SampleHeightReadout, FollowsTheLevel) {
    HeightReport report = withHeights(-120, 4810.5, "m");
    report.width = 4;
    report.length = 2;
    const PreviewLevels levels{4, 2, {0, 1, 30, 40, 50, 60, 70, 65535}};
    EXPECT_EQ(readoutText(report, levels, 0, 0), "x 0, y 0: 0, a void");
    EXPECT_EQ(readoutText(report, levels, 1, 0), "x 1, y 0: 1, height -120 m");
    EXPECT_EQ(readoutText(report, levels, 3, 1), "x 3, y 1: 65535, height 4810.5 m");
}

}  // namespace
}  // namespace kelvarin
