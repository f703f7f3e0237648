// The command-line reference (docs/manual/cli.md), built into the program for `help COMMAND`.
#pragma once

#include <string_view>

namespace kelvarin {

std::string_view cliReference();

}  // namespace kelvarin
