#include <gtest/gtest.h>

#include <cmath>

#include "base/header_numbers.h"

namespace kelvarin {
namespace {

struct LeadingCase {
    const char* text;
    std::int64_t rounded;
    bool found;
};

TEST(HeaderNumbers, LeadingNumberIsRoundedToNearestInteger) {
    const LeadingCase cases[] = {
        {"256", 256, true},
        {" 256", 256, true},
        {"\t 17 rows", 17, true},
        {"255.5", 256, true},
        {"255.49", 255, true},
        {"-120", -120, true},
        {"-120.5", -121, true},
        {"+7", 7, true},
        {".6", 1, true},
        {"12abc", 12, true},
        {"1.5E3", 1500, true},
        {"2e-1", 0, true},
        {"1e", 1, true},
        {"abc", 0, false},
        {"", 0, false},
        {"-", 0, false},
        {".", 0, false},
        {"# comment", 0, false},
        {"000000000000000000000000000000042", 42, true},
        {"1234567890123456789012", 9007199254740992, true},
        {"-1e999999999999", -9007199254740992, true},
        {"1e-999999999999", 0, true},
    };
    for (const LeadingCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseLeadingNumber(c.text).found, c.found);
        EXPECT_EQ(leadingInteger(c.text), c.rounded);
    }
}

TEST(HeaderNumbers, LengthCoversOnlyTheNumber) {
    EXPECT_EQ(parseLeadingNumber("  42 x").length, 4u);
    EXPECT_EQ(parseLeadingNumber("3.25e2,").length, 6u);
    EXPECT_DOUBLE_EQ(parseLeadingNumber("3.25e2,").value, 325.0);
    // An exponent without digits is not part of the number.
    EXPECT_EQ(parseLeadingNumber("5e+").length, 1u);
}

TEST(HeaderNumbers, RoundingSaturatesInsteadOfOverflowing) {
    EXPECT_EQ(roundToInteger(1e300), 9007199254740992);
    EXPECT_EQ(roundToInteger(-1e300), -9007199254740992);
    EXPECT_EQ(roundToInteger(std::nan("")), 0);
    EXPECT_EQ(roundToInteger(-0.5), -1);
    EXPECT_EQ(roundToInteger(0.49), 0);
}

}  // namespace
}  // namespace kelvarin
