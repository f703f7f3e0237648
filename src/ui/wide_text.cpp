#include "ui/wide_text.h"

#include <cstdint>

#include "base/mixed_text.h"

namespace kelvarin {

namespace {

void appendCodePoint(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

}  // namespace

std::u16string utf16FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        i += decodeMixed(text, i, c);
        appendCodePoint(out, c);
    }
    return out;
}

std::string utf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);  // an unpaired surrogate becomes U+FFFD
    }
    return out;
}

std::u16string fileDialogFilter(const std::vector<FileFilter>& filters) {
    std::u16string out;
    if (filters.empty()) return out;  // no list at all rather than an empty one
    for (const FileFilter& filter : filters) {
        out += utf16FromUtf8(filter.description);
        out += u'\0';
        out += utf16FromUtf8(filter.pattern);
        out += u'\0';
    }
    out += u'\0';
    return out;
}

}  // namespace kelvarin
