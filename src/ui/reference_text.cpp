#include "ui/reference_text.h"

#include <cctype>

namespace kelvarin {

namespace {

// A heading of the reference's sections: "## " or "### " (the page's own "# " title is none).
std::optional<std::string_view> headingText(std::string_view line) {
    for (std::string_view marks : {"### ", "## "})
        if (line.substr(0, marks.size()) == marks) return line.substr(marks.size());
    return std::nullopt;
}

// The word a topic is asked by, lower case: "Options" for "## Options", "open" for
// "### open SOURCE DEST".
std::string topicWord(std::string_view heading) {
    std::string word;
    for (char c : heading.substr(0, heading.find(' ')))
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

std::string withoutCodeMarks(std::string_view line) {
    std::string text;
    for (char c : line)
        if (c != '`') text += c;
    return text;
}

template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!visit(line)) return;
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + 1);
    }
}

}  // namespace

std::optional<std::string> referenceSection(std::string_view markdown, std::string_view name) {
    std::optional<std::string> section;
    if (name.empty()) return section;
    const std::string wanted = topicWord(name);
    forEachLine(markdown, [&](std::string_view line) {
        const auto heading = headingText(line);
        if (section) {
            if (heading) return false;
            if (line.substr(0, 3) != "```") section->append(withoutCodeMarks(line)).append("\n");
        } else if (heading && topicWord(*heading) == wanted) {
            section = std::string(*heading).append("\n");
        }
        return true;
    });
    while (section && section->size() > 1 && section->ends_with("\n\n")) section->pop_back();
    return section;
}

std::vector<std::string> referenceTopics(std::string_view markdown) {
    std::vector<std::string> topics;
    forEachLine(markdown, [&](std::string_view line) {
        if (const auto heading = headingText(line)) topics.push_back(topicWord(*heading));
        return true;
    });
    return topics;
}

}  // namespace kelvarin
