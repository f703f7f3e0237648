// The rounding rules of the pixel maths, each in one place: round half to even, and when a result
// computed in double is the single that extended precision would give.
//
// The conversions are defined in extended precision with single-precision results. The pixel
// code computes in double, which vectorises, and proves per value that the single is the same:
// - One operation (a sum, difference, product or quotient of two singles, or a square root)
//   rounded to double or to extended and then to single gives the single nearest to the exact
//   result, as a plain single operation does: double rounding is innocuous for one operation
//   when the wider format has at least 2 x 24 + 2 bits (S. A. Figueroa, "When is double rounding
//   innocuous?", 1995). Such steps need no check.
// - A longer computation lands within a few units of the double's last place of the exact value;
//   it rounds to the extended result's single unless it lies near a point halfway between two
//   singles. settlesFloat and unsettledSingle below decide that; what they leave in doubt is
//   redone in extended precision next to the fast path (weighFloatsExtended, gammaExtended,
//   productSingle).
#pragma once

#include <cstdint>
#include <cstring>

namespace kelvarin::kernels {

inline std::uint32_t floatBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// A float keeps the top 24 of a double's 53 mantissa bits; the low 29 bits decide the rounding,
// and only a value whose low bits lie near one half (the rounding boundary) can round differently
// from the exact value. When the double is within a few units of its last place of the exact value
// (one or a few roundings), a distance of more than 64 units from the boundary settles the float:
// the exact value and its extended-precision evaluation round to the same single. Zeros that are
// exact, values outside the normal float range and values near a boundary are left to the caller.
// This is the check of the per-pixel functions, whose error is a fixed number of units of d.
inline bool settlesFloat(double d, float& out) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    const auto exponent = static_cast<std::uint32_t>(bits >> 52) & 0x7FFu;
    const auto low = static_cast<std::uint32_t>(bits) & 0x1FFFFFFFu;
    // 2^-126 <= |d| < 2^127, and low bits more than 64 away from 0x10000000.
    out = static_cast<float>(d);
    return exponent - 897u < 253u && low - (0x10000000u - 64u) >= 128u;
}

// A single rounding (a difference, product or quotient of exact inputs): an exact zero is zero.
inline bool settlesSingleRounding(double d, float& out) {
    if (d == 0.0) {
        out = static_cast<float>(d);
        return true;
    }
    return settlesFloat(d, out);
}

// The same question for the slice loops, where the error bound t depends on more than d (the
// magnitude of a sum's terms) and the test must not branch: nonzero when some value within t of
// d could round to another single than d does. When d - t and d + t round to the same single
// (compared bit for bit, so +0 and -0 differ), every value between them does too, the extended
// one included.
inline std::uint32_t unsettledSingle(double d, double t) {
    return floatBits(static_cast<float>(d - t)) ^ floatBits(static_cast<float>(d + t));
}

// Round half to even, the rounding of every conversion to an integer.

// The nearest integer of a value known to lie in [0, 2^22], ties to even: 1.5 x 2^23 pushes the
// fraction out of a float's mantissa, and the addition itself rounds to nearest, ties to even.
// (Through int32, which vectorises; the samples need 16 bits.)
inline std::int32_t nearestSmall(float value) {
    const float shifted = value + 12582912.0f;
    return static_cast<std::int32_t>(shifted - 12582912.0f);
}

// sum / 2^Bits rounded to the nearest integer, ties to even: the weighted sums of integer samples,
// held exactly in units of 2^-Bits.
template <unsigned Bits>
inline std::uint64_t roundShifted(std::uint64_t sum) {
    const std::uint64_t whole = sum >> Bits;
    const std::uint64_t rest = sum & ((std::uint64_t{1} << Bits) - 1);
    constexpr std::uint64_t half = std::uint64_t{1} << (Bits - 1);
    return whole + ((rest > half || (rest == half && (whole & 1))) ? 1 : 0);
}

}  // namespace kelvarin::kernels
