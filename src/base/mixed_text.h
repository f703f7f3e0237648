// Text that is UTF-8 where it is well formed and Windows-1252 elsewhere: program texts are UTF-8,
// but paths and log lines may carry single bytes taken over from a file or an old system. Both
// windows show such bytes as their Windows-1252 characters; the report's JSON writes them the same
// way, so every output is valid UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvarin {

// The character at text[i] and the number of bytes it takes (at least 1): a well-formed UTF-8
// sequence (no overlong forms, surrogates or values past U+10FFFF), or else the one byte taken as
// a Windows-1252 character (the five bytes that code page leaves undefined map to themselves).
std::size_t decodeMixed(std::string_view text, std::size_t i, char32_t& c);

// Appends the UTF-8 form of c (a surrogate becomes U+FFFD).
void appendUtf8(std::string& out, char32_t c);

// The text as valid UTF-8, every character decoded as above.
std::string utf8FromMixed(std::string_view text);

}  // namespace kelvarin
