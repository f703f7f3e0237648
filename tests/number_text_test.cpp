#include <gtest/gtest.h>

#include <cmath>

#include "base/number_text.h"

namespace kelvarin {
namespace {

struct NumberCase {
    double value;
    int digits;
    const char* text;
};

TEST(NumberText, FormatsLikeTheLog) {
    const NumberCase cases[] = {
        {0.25, 15, " .25"},
        {-0.25, 15, "-.25"},
        {0.5, 15, " .5"},
        {100, 15, " 100"},
        {0, 15, " 0"},
        {-5, 15, "-5"},
        {2.5, 15, " 2.5"},
        {123456789012345.0, 15, " 123456789012345"},
        {65535.0 / 3.0, 15, " 21845"},
        {65535.0 / 7.0, 15, " 9362.14285714286"},
        {1.0 / 3.0, 15, " .333333333333333"},
        {0.001234, 15, " .001234"},
        {1e15, 15, " 1E+15"},
        {1.5e20, 15, " 1.5E+20"},
        {2.4325e-34, 7, " 2.4325E-34"},
        {static_cast<double>(0.1f), 7, " .1"},
        {static_cast<double>(4.69617e18f), 7, " 4.69617E+18"},
        {-1234.5678, 7, "-1234.568"},
        {1.0e-7, 7, " .0000001"},
        {1.0e-8, 7, " 1E-08"},
        {std::nan(""), 15, " NaN"},
    };
    for (const auto& c : cases) EXPECT_EQ(numberText(c.value, c.digits), c.text) << c.value;
}

TEST(NumberText, IntegersAndSinglePrecision) {
    EXPECT_EQ(numberText(std::int32_t{512}), " 512");
    EXPECT_EQ(numberText(std::int32_t{-120}), "-120");
    EXPECT_EQ(numberText(std::uint32_t{4294967295u}), " 4294967295");
    EXPECT_EQ(numberText(0.625f), " .625");
    // Integral singles are written in full, not cut to 7 digits.
    EXPECT_EQ(numberText(16777216.0f), " 16777216");
    EXPECT_EQ(numberText(3.14159265f), " 3.141593");
}

}  // namespace
}  // namespace kelvarin
