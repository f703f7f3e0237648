// Numbers in the text headers of PGM and BIN sources: the leading decimal number of a text,
// read without the C locale and without trusting its length.
#pragma once

#include <cstdint>
#include <string_view>

namespace kelvarin {

struct LeadingNumber {
    bool found = false;  // false: the text does not begin with a number (its value is 0)
    double value = 0.0;
    std::size_t length = 0;  // characters taken by the number, leading blanks included
};

// Skips leading blanks and TABs, then reads an optional sign, digits, an optional fraction and
// an optional exponent ("1.5E3"). Digits beyond the 18th only scale the value; huge exponents
// saturate instead of overflowing.
LeadingNumber parseLeadingNumber(std::string_view text);

// Rounds to the nearest integer, halves away from zero, saturating at +-2^53.
std::int64_t roundToInteger(double value);

// The leading number of a text rounded to the nearest integer; 0 when there is none.
std::int64_t leadingInteger(std::string_view text);

}  // namespace kelvarin
