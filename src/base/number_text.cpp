#include "base/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kelvarin {

// Digits come from std::to_chars, never from printf: the Qt window sets the C library's locale
// from the environment, and a comma-decimal one would put commas into its log (and upset the
// parsing below) while the CLI, in the "C" locale, writes points.

std::string numberText(std::int64_t value) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    std::string text = value < 0 ? "" : " ";
    return text.append(digits, written.ptr);
}

std::string numberText(double value, int significantDigits) {
    if (std::isnan(value)) return " NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : " Inf";
    const char* sign = std::signbit(value) && value != 0 ? "-" : " ";
    const double magnitude = std::fabs(value);
    if (magnitude < 1e15 && magnitude == std::floor(magnitude))
        return std::string(sign).append(numberText(static_cast<std::int64_t>(magnitude)), 1);

    // Round to the digits we may show ("d.ddde+XX"); the exponent decides between fixed and
    // exponent form.
    char buffer[64];
    const int precision = significantDigits > 1 ? (significantDigits < 40 ? significantDigits - 1 : 39) : 0;
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, precision);
    const std::string_view scientific(buffer, static_cast<std::size_t>(written.ptr - buffer));
    const std::size_t e = scientific.find('e');
    int exponent = 0;
    std::from_chars(scientific.data() + e + 2, scientific.data() + scientific.size(), exponent);
    if (scientific[e + 1] == '-') exponent = -exponent;
    std::string digits;
    for (char c : scientific.substr(0, e))
        if (c != '.') digits += c;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int digitCount = static_cast<int>(digits.size());

    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string temporaries.
    std::string text = sign;
    if (exponent >= significantDigits || (exponent < 0 && digitCount - exponent - 1 > significantDigits)) {
        text.append(digits, 0, 1);
        if (digitCount > 1) text.append(1, '.').append(digits, 1);
        text.append(1, 'E').append(1, exponent < 0 ? '-' : '+');
        if (std::abs(exponent) < 10) text.append(1, '0');
        text.append(numberText(std::int64_t{std::abs(exponent)}), 1);
    } else if (exponent < 0) {
        text.append(1, '.').append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    } else {
        const auto integerDigits = static_cast<std::size_t>(exponent + 1);
        if (digits.size() <= integerDigits) {
            text.append(digits).append(integerDigits - digits.size(), '0');
        } else {
            text.append(digits, 0, integerDigits).append(1, '.').append(digits, integerDigits);
        }
    }
    return text;
}

}  // namespace kelvarin
