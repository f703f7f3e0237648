// Reference formulas the tests compare the converters with, written straight from the rules:
// extended precision, the single-precision coefficients, the terms summed green, red, blue.
#pragma once

#include <cctype>
#include <string>

#include "base/conversion_options.h"

namespace kelvarin::test {

inline long double referenceWeightedSum(ColourWeighting w, long double r, long double g, long double b) {
    switch (w) {
        case ColourWeighting::Average: return (g + r + b) / 3;
        case ColourWeighting::TV:
            return static_cast<long double>(0.587f) * g + static_cast<long double>(0.299f) * r +
                   static_cast<long double>(0.114f) * b;
        case ColourWeighting::HDTV:
            return static_cast<long double>(0.7152f) * g + static_cast<long double>(0.2126f) * r +
                   static_cast<long double>(0.0722f) * b;
        case ColourWeighting::Red: return r;
        case ColourWeighting::Green: return g;
        case ColourWeighting::Blue: return b;
    }
    return 0;
}

// A case name as GoogleTest accepts it in a parameterised test's name.
inline std::string testNameFrom(std::string name) {
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

}  // namespace kelvarin::test
