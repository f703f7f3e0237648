// Text as the Windows API and Qt want it: UTF-16. Inside the program text is UTF-8; log lines may
// also carry single bytes taken over from a file (a PGM comment, a BIN header), which both windows
// show as Windows-1252 rather than dropped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "job/port.h"

namespace kelvarin {

// Valid UTF-8 sequences are decoded; every byte that does not start or continue one is taken
// as a Windows-1252 character (decodeMixed, base/mixed_text.h).
std::u16string utf16FromUtf8(std::string_view text);

// Unpaired surrogates become U+FFFD.
std::string utf8FromUtf16(std::u16string_view text);

// The filter list of the common file dialogs: description and pattern of each entry, each ended
// by a NUL, and one more NUL after the last entry; empty when there are no entries.
std::u16string fileDialogFilter(const std::vector<FileFilter>& filters);

}  // namespace kelvarin
