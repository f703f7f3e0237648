// The texts of the Qt windows: UTF-8 as the core writes them, turned into QStrings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "ui/wide_text.h"

namespace kelvarin::qt {

// Texts are UTF-8, but log lines and boxes may carry bytes taken over from a file (a PGM comment,
// a Radiance header line, a BIN header), which are Windows-1252 characters: the same decoding as
// the Win32 window, so both show the same characters.
inline QString uiText(std::string_view text) {
    const std::u16string wide = utf16FromUtf8(text);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

// Message texts join their lines with CR LF; Qt wants a bare LF.
inline QString boxText(const std::string& text) {
    QString result = uiText(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

}  // namespace kelvarin::qt
