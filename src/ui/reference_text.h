// The command-line reference is one Markdown page (docs/manual/cli.md), which is also the manual
// page; `kelvarin-cli help COMMAND` prints one of its sections as plain text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

// The section whose heading (## or ###) starts with `name`, up to the next heading, as plain
// text: the heading without its marks, code marks and fences dropped, line feeds, no blank line
// at the end. Nothing when no heading starts with that word.
std::optional<std::string> referenceSection(std::string_view markdown, std::string_view name);

// The first words of the headings `name` may be, in page order (for the list a wrong name gets).
std::vector<std::string> referenceTopics(std::string_view markdown);

}  // namespace kelvarin
