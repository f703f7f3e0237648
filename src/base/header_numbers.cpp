#include "base/header_numbers.h"

#include <cmath>

namespace kelvarin {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

constexpr double kIntegerLimit = 9007199254740992.0;  // 2^53

}  // namespace

LeadingNumber parseLeadingNumber(std::string_view text) {
    LeadingNumber result;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Up to 18 significant digits are exact in 64 bits; later ones only move the decimal exponent.
    std::uint64_t mantissa = 0;
    int significant = 0;
    std::int64_t exponent10 = 0;
    bool digits = false;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        digits = true;
        if (significant < 18) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(text[i] - '0');
            if (mantissa != 0) ++significant;
        } else if (exponent10 < 100000) {
            ++exponent10;
        }
    }
    if (i < text.size() && text[i] == '.') {
        std::size_t j = i + 1;
        bool fraction = false;
        for (; j < text.size() && isDigit(text[j]); ++j) {
            fraction = true;
            if (significant < 18) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(text[j] - '0');
                if (mantissa != 0) ++significant;
                --exponent10;
            }
        }
        if (digits || fraction) {
            digits = true;
            i = j;
        }
    }
    if (!digits) return result;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        if (j < text.size() && isDigit(text[j])) {
            std::int64_t written = 0;
            for (; j < text.size() && isDigit(text[j]); ++j)
                if (written < 100000) written = written * 10 + (text[j] - '0');
            exponent10 += negativeExponent ? -written : written;
            i = j;
        }
    }
    double value = static_cast<double>(mantissa);
    if (mantissa != 0 && exponent10 != 0) {
        // Beyond these the result is 0 or infinite anyway; clamping keeps pow in range.
        if (exponent10 > 400) exponent10 = 400;
        if (exponent10 < -400) exponent10 = -400;
        value *= std::pow(10.0, static_cast<double>(exponent10));
    }
    result.found = true;
    result.value = negative ? -value : value;
    result.length = i;
    return result;
}

std::int64_t roundToInteger(double value) {
    if (std::isnan(value)) return 0;
    if (value >= kIntegerLimit) return static_cast<std::int64_t>(kIntegerLimit);
    if (value <= -kIntegerLimit) return -static_cast<std::int64_t>(kIntegerLimit);
    return static_cast<std::int64_t>(std::round(value));
}

std::int64_t leadingInteger(std::string_view text) {
    const LeadingNumber number = parseLeadingNumber(text);
    return number.found ? roundToInteger(number.value) : 0;
}

}  // namespace kelvarin
