#include "formats/output_format.h"

namespace kelvarin {

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char lower = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (lower != b[i]) return false;
    }
    return true;
}

}  // namespace

OutputFormat outputFormatFor(std::string_view path) {
    // Both separators: a Windows path may use either, and neither is part of an extension.
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return OutputFormat::Tiff;
    const std::string_view extension = name.substr(dot + 1);
    if (sameLetters(extension, "png")) return OutputFormat::Png;
    if (sameLetters(extension, "r16")) return OutputFormat::R16;
    return OutputFormat::Tiff;
}

}  // namespace kelvarin
