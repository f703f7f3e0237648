// A replaced global operator new that counts the bytes alive, for the allocation-bound tests.
// Sanitizers replace operator new themselves, so this is never built into a sanitizer build.
#pragma once

#include <cstddef>

namespace kelvarin::test {

// Bytes allocated through operator new and not yet freed.
std::size_t liveBytes();
// The highest liveBytes() since the last resetPeak().
std::size_t peakBytes();
void resetPeak();

}  // namespace kelvarin::test
