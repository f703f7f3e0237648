// How much memory the machine has, for budgets that grow with it.
#pragma once

#include <cstdint>

namespace kelvarin {

// The machine's memory in bytes; 0 when the system does not say.
std::uint64_t installedMemoryBytes();

}  // namespace kelvarin
