#include "formats/radiance_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>

#include "base/header_numbers.h"
#include "base/number_text.h"

namespace kelvarin {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The leading number of a text, as far as its characters can belong to one (blanks first are
// skipped); 0 when there is none. Read with std::from_chars, which never follows the C library's
// locale: "EXPOSURE=0.5" must give .5 in every locale, as it does in "C".
double leadingNumber(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    std::string digits;
    for (std::size_t i = start; i < text.size() && digits.size() < 64; ++i) {
        const char c = text[i];
        if ((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E') {
            digits += c;
        } else {
            break;
        }
    }
    // from_chars takes no plus sign; a second sign behind it is no number at all.
    std::string_view number = digits;
    if (!number.empty() && number.front() == '+') {
        number.remove_prefix(1);
        if (!number.empty() && (number.front() == '+' || number.front() == '-')) return 0;
    }
    double value = 0;
    const auto read = std::from_chars(number.data(), number.data() + number.size(), value);
    if (read.ec == std::errc::result_out_of_range) {
        // Beyond the range of a double: infinite when too large, zero when too small.
        const double magnitude = std::fabs(parseLeadingNumber(number).value) >= 1 ? HUGE_VAL : 0.0;
        return std::copysign(magnitude, number.front() == '-' ? -1.0 : 1.0);
    }
    return read.ec == std::errc() ? value : 0;
}

RadianceHeader refused(RadianceHeader& header, std::string text, std::vector<std::string> lines) {
    header.report.refuse({std::move(text), "KELVARIN - RGBE.", std::move(lines)});
    return std::move(header);
}

}  // namespace

RadianceHeaderScan scanRadianceHeader(std::string_view block) {
    RadianceHeaderScan scan;
    if (block.size() > kRadianceHeaderBlock) block = block.substr(0, kRadianceHeaderBlock);

    const std::size_t firstFeed = block.find('\n');
    if (firstFeed == npos || block.substr(0, firstFeed) != "#?RADIANCE") return scan;
    scan.signatureOk = true;
    scan.logLines.emplace_back(block.substr(0, firstFeed));

    // The scan may go back to the start of the block (after the width, or after a line that runs
    // to the end of the block). If it comes back without having recognised a line since the last
    // time, it would go round forever: it ends there instead.
    std::size_t p = firstFeed + 1;
    int recognised = 0;
    int recognisedAtLastRestart = -1;
    for (;;) {
        const std::size_t feed = p < block.size() ? block.find('\n', p) : npos;
        const std::string_view line = p < block.size() ? block.substr(p, feed == npos ? npos : feed - p) : "";
        const std::size_t next = feed == npos ? 0 : feed + 1;
        const std::string_view key = line.substr(0, 3);

        if (key == "FOR") {
            ++recognised;
            scan.logLines.emplace_back(line);
            p = next;
        } else if (key == "EXP") {
            ++recognised;
            const float exposure = static_cast<float>(leadingNumber(line.size() > 9 ? line.substr(9) : ""));
            scan.logLines.push_back("EXPOSURE =" + numberText(exposure));
            p = next;
        } else if (key == "-Y ") {
            ++recognised;
            const std::size_t from = p + 3;
            const std::size_t space = block.find(' ', from);
            const double length = std::nearbyint(leadingNumber(block.substr(from, space == npos ? npos : space - from)));
            scan.length = length;
            scan.lengthFound = true;
            scan.logLines.push_back("Image Length =" + numberText(length));
            p = space == npos ? 0 : space + 1;
        } else if (key == "+X ") {
            ++recognised;
            const double width = std::nearbyint(leadingNumber(line.substr(3)));
            scan.width = width;
            scan.widthFound = true;
            scan.logLines.push_back("Image Width =" + numberText(width));
            p = 0;
        } else {
            scan.logLines.emplace_back(line);
            p = next;
        }

        if (recognised == 4) break;
        if (p > 999) break;
        if (p == 0) {
            if (recognised == recognisedAtLastRestart) {
                scan.scanStalled = true;
                break;
            }
            recognisedAtLastRestart = recognised;
        }
    }

    // The pixel data follows the line feed that ends the resolution line ("... +X width").
    const std::size_t x = block.find("X ");
    const std::size_t feed = x == npos ? block.find('\n') : block.find('\n', x + 1);
    if (feed != npos) {
        scan.dataOffsetFound = true;
        scan.dataOffset = feed + 1;
    }
    return scan;
}

RadianceHeader readRadianceHeader(ByteSource& source) {
    RadianceHeader header;
    ReaderReport& report = header.report;
    std::string block(kRadianceHeaderBlock, '\0');
    block.resize(source.readUpTo(0, block.data(), block.size()));

    const RadianceHeaderScan scan = scanRadianceHeader(block);
    if (!scan.signatureOk)
        return refused(header, "Not a Radiance RGBE file.",
                       {"Wrapper does not fit RGBE standard.", ">>> Cannot interpret this file. STOP!"});
    report.lines = scan.logLines;

    if (!scan.widthFound || !scan.lengthFound)
        return refused(header,
                       "The resolution line of this file is missing or not in the standard orientation (-Y length "
                       "+X width).",
                       {"No -Y length +X width resolution line found.", ">>> Cannot interpret this file. STOP!"});
    if (!scan.dataOffsetFound)
        return refused(header, "No pixel data follows the header of this file.",
                       {"No end of the header found.", ">>> Cannot interpret this file. STOP!"});
    if (!(scan.width >= 1 && scan.width <= kRadianceMaxSide && scan.length >= 1 && scan.length <= kRadianceMaxSide))
        return refused(header, "Image size not supported: width and length must be 1 to 65535 pixels.",
                       {"Image size out of range.", ">>> Cannot convert this file. STOP!"});

    const auto width = static_cast<std::uint32_t>(scan.width);
    const auto length = static_cast<std::uint32_t>(scan.length);
    const std::uint64_t outputBytes = 2ull * width * length;
    if (outputBytes > 0xFFFFFFFFull)
        return refused(header, "Image too large for a 16-bit TIFF file (4 GB limit).",
                       {"Image size out of range.", ">>> Cannot convert this file. STOP!"});
    // A file that cannot hold even the smallest encoding of its scanlines would make us allocate
    // planes for data that is not there; refusing it also bounds the memory by the file size.
    const std::uint64_t available = source.size() > scan.dataOffset ? source.size() - scan.dataOffset : 0;
    // Old run-length rows repeat pixels without end: a few bytes can claim gigabytes of picture,
    // which is held whole while it converts. Beyond 16 MiB of pixels the data must be at least a
    // 64th of the picture, as new run-length rows always are.
    const std::uint64_t pictureBytes = 4ull * width * length;
    if (available < minimumScanlineBytes(width, length) || pictureBytes > (std::uint64_t{16} << 20) + 64 * available)
        return refused(header, "The file is too short for the image size in its header.",
                       {"Pixel data too short for the image size.", ">>> Cannot convert this file. STOP!"});

    header.width = width;
    header.length = length;
    header.dataOffset = static_cast<std::uint32_t>(scan.dataOffset);
    header.outputDataBytes = static_cast<std::uint32_t>(outputBytes);
    return header;
}

}  // namespace kelvarin
