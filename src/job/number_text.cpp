#include "job/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kelvarin {

std::string numberText(std::int64_t value) {
    std::string digits = std::to_string(value);
    return value < 0 ? digits : " " + digits;
}

std::string numberText(double value, int significantDigits) {
    if (std::isnan(value)) return " NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : " Inf";
    const std::string sign = std::signbit(value) && value != 0 ? "-" : " ";
    const double magnitude = std::fabs(value);
    if (magnitude < 1e15 && magnitude == std::floor(magnitude))
        return sign + std::to_string(static_cast<std::int64_t>(magnitude));

    // Round to the digits we may show; the exponent decides between fixed and exponent form.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", significantDigits - 1, magnitude);
    std::string mantissa(buffer, std::strchr(buffer, 'e'));
    const int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
    std::string digits;
    for (char c : mantissa)
        if (c != '.') digits += c;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int digitCount = static_cast<int>(digits.size());

    std::string text;
    if (exponent >= significantDigits || (exponent < 0 && digitCount - exponent - 1 > significantDigits)) {
        text = digits.substr(0, 1);
        if (digitCount > 1) text.append(".").append(digits, 1);
        char exponentText[16];
        std::snprintf(exponentText, sizeof exponentText, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        text += exponentText;
    } else if (exponent < 0) {
        // Built by appends: the "literal" + string&& form trips a false -Wrestrict in GCC 12.
        text.assign(".").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    } else {
        const auto integerDigits = static_cast<std::size_t>(exponent + 1);
        if (digits.size() <= integerDigits) {
            text = digits + std::string(integerDigits - digits.size(), '0');
        } else {
            text = digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
        }
    }
    return sign + text;
}

}  // namespace kelvarin
