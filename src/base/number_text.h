// The program's number text: how a number is appended to a log text.
#pragma once

#include <cstdint>
#include <string>

namespace kelvarin {

// A blank before a value that is not negative, a minus otherwise; integral values in full;
// others with at most `significantDigits` digits, no trailing zeros, no 0 before the point
// (" .25"), and an exponent (" 2.4325E-34") only where the fixed form would need more digits.
std::string numberText(double value, int significantDigits = 15);
std::string numberText(std::int64_t value);
inline std::string numberText(std::int32_t value) { return numberText(static_cast<std::int64_t>(value)); }
inline std::string numberText(std::uint32_t value) { return numberText(static_cast<std::int64_t>(value)); }
inline std::string numberText(std::uint16_t value) { return numberText(static_cast<std::int64_t>(value)); }
// Single-precision values keep 7 significant digits.
inline std::string numberText(float value) { return numberText(static_cast<double>(value), 7); }

}  // namespace kelvarin
