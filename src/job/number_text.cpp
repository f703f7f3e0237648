#include "job/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kelvarin {

std::string numberText(std::int64_t value) {
    std::string text = value < 0 ? "" : " ";
    return text.append(std::to_string(value));
}

std::string numberText(double value, int significantDigits) {
    if (std::isnan(value)) return " NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : " Inf";
    const char* sign = std::signbit(value) && value != 0 ? "-" : " ";
    const double magnitude = std::fabs(value);
    if (magnitude < 1e15 && magnitude == std::floor(magnitude))
        return std::string(sign).append(std::to_string(static_cast<std::int64_t>(magnitude)));

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

    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string temporaries.
    std::string text = sign;
    if (exponent >= significantDigits || (exponent < 0 && digitCount - exponent - 1 > significantDigits)) {
        text.append(digits, 0, 1);
        if (digitCount > 1) text.append(1, '.').append(digits, 1);
        char exponentText[16];
        std::snprintf(exponentText, sizeof exponentText, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        text.append(exponentText);
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
