#include "formats/bin_reader.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/header_numbers.h"
#include "formats/height_data.h"

namespace kelvarin {

namespace {

constexpr char kBinCaption[] = "KELVARIN - BIN.";
constexpr std::size_t kHeaderLines = 13;
// Thirteen lines of "key = value" need far less; a longer file is not read beyond this.
constexpr std::size_t kHeaderReadLimit = 64 * 1024;

// The number a header line holds: the text after its first "=", or the whole line.
std::int64_t lineValue(std::string_view line) {
    const std::size_t equals = line.find('=');
    return leadingInteger(equals == std::string_view::npos ? line : line.substr(equals + 1));
}

// Splits the first `wanted` lines off the text; LF or CR LF end a line.
std::vector<std::string_view> firstLines(std::string_view text, std::size_t wanted) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (lines.size() < wanted && start < text.size()) {
        std::size_t feed = text.find('\n', start);
        const bool last = feed == std::string_view::npos;
        std::size_t end = last ? text.size() : feed;
        if (end > start && text[end - 1] == '\r') --end;
        lines.push_back(text.substr(start, end - start));
        start = last ? text.size() : feed + 1;
    }
    return lines;
}

Refusal binRefusal(std::string text, std::string line) { return {std::move(text), kBinCaption, {std::move(line)}}; }

}  // namespace

void signedToUnsigned(std::uint16_t* samples, std::size_t count, std::int16_t voidMarker, std::int16_t base) {
    const auto voidPattern = static_cast<std::uint16_t>(voidMarker);
    const auto offset = static_cast<std::uint16_t>(std::abs(static_cast<std::int32_t>(base)) + 1);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = samples[i] == voidPattern ? std::uint16_t{0} : static_cast<std::uint16_t>(samples[i] + offset);
}

Refusal binSizeMismatch() { return binRefusal("File size does not match image size", ">>> Cannot handle this file. STOP!"); }

BinHeader readBinHeader(ByteSource& headerFile) {
    BinHeader header;
    std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(headerFile.size(), kHeaderReadLimit)), '\0');
    text.resize(headerFile.readUpTo(0, text.data(), text.size()));
    const std::vector<std::string_view> lines = firstLines(text, kHeaderLines);
    for (std::string_view line : lines) header.text.say(std::string(line));
    if (lines.size() < kHeaderLines) {
        header.text.refuse(binRefusal("The BIN header file holds fewer than 13 lines.",
                                      ">>> Cannot interpret this header. STOP!"));
        return header;
    }
    const std::int64_t length = lineValue(lines[7]);
    const std::int64_t width = lineValue(lines[8]);
    const std::int64_t base = lineValue(lines[10]);
    const std::int64_t voidMarker = lineValue(lines[12]);

    if (width < 1 || length < 1 || width > kMaxSide || length > kMaxSide) {
        header.values.refuse(binRefusal("The BIN header gives a width or length outside 1 to 65535.",
                                        ">>> Cannot handle this file. STOP!"));
        return header;
    }
    const std::uint64_t dataBytes = 2 * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(length);
    if (dataBytes > kMaxOutputDataBytes) {
        header.values.refuse(binRefusal("The BIN image is too large for a 16-bit TIFF of one strip.",
                                        ">>> Cannot handle this file. STOP!"));
        return header;
    }
    if (base < -32768 || base > 32767 || voidMarker < -32768 || voidMarker > 32767) {
        header.values.refuse(binRefusal("The BIN header's base value or void marker is not a 16-bit number.",
                                        ">>> Cannot handle this file. STOP!"));
        return header;
    }
    header.width = static_cast<std::uint32_t>(width);
    header.length = static_cast<std::uint32_t>(length);
    header.base = static_cast<std::int16_t>(base);
    header.voidMarker = static_cast<std::int16_t>(voidMarker);
    header.dataBytes = static_cast<std::uint32_t>(dataBytes);
    return header;
}

}  // namespace kelvarin
