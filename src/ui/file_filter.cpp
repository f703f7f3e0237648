#include "ui/file_filter.h"

namespace kelvarin {

std::string filterExtension(const FileFilter& filter) {
    const std::string& pattern = filter.pattern;
    if (pattern.size() < 3 || pattern.compare(0, 2, "*.") != 0) return {};
    const std::string extension = pattern.substr(2);
    if (extension.find_first_of("*?;.") != std::string::npos) return {};
    return extension;
}

std::string withFilterExtension(const std::string& path, const FileFilter& filter) {
    const std::string extension = filterExtension(filter);
    const std::size_t nameStart = path.find_last_of("/\\:");
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (nameStart == std::string::npos || dot > nameStart);
    if (extension.empty() || hasExtension || path.empty()) return path;
    return path + "." + extension;
}

}  // namespace kelvarin
