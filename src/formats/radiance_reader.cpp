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

std::uint64_t minimumRleBytes(std::uint64_t width, std::uint64_t length) {
    const std::uint64_t packets = (width + 127) / 128;
    return length * (4 + 4 * 2 * packets);
}

const char* rgbeDecodeMessage(RgbeDecodeStatus status) {
    switch (status) {
        case RgbeDecodeStatus::Ok: return "";
        case RgbeDecodeStatus::WrongCompression: return "Wrong compression type, old or none.";
        case RgbeDecodeStatus::HeaderError: return "RLE type 2 header error.";
        case RgbeDecodeStatus::Truncated: return ">>> Pixel data ends before the last scanline. STOP!";
    }
    return "";
}

namespace {

// The packets of one component of one scanline; with Store false only the input is walked.
template <bool Store>
bool walkRlePackets(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t* out, std::size_t room,
                    std::uint32_t width) {
    std::uint32_t x = 0;
    while (x < width) {
        if (in >= end) return false;
        const unsigned n = *in++;
        if (n > 128) {
            if (in >= end) return false;
            const std::uint8_t value = *in++;
            const unsigned count = n - 128;
            if constexpr (Store) {
                const std::size_t kept = count < room ? count : room;
                std::memset(out, value, kept);
                out += kept;
                room -= kept;
            }
            x += count;
        } else {
            if (static_cast<std::size_t>(end - in) < n) return false;
            if constexpr (Store) {
                const std::size_t kept = n < room ? n : room;
                std::memcpy(out, in, kept);
                out += kept;
                room -= kept;
            }
            in += n;
            x += n;
        }
    }
    return true;
}

}  // namespace

bool decodeRlePackets(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t* out, std::size_t room,
                      std::uint32_t width) {
    return walkRlePackets<true>(in, end, out, room, width);
}

RgbeScanlineWalk::RgbeScanlineWalk(const std::uint8_t* data, std::size_t size, std::uint32_t width,
                                   std::uint32_t length)
    : data_(data), in_(data), end_(data + size), width_(width), length_(length),
      starts_(static_cast<std::size_t>(length) + 1, 0) {}

RgbeDecodeStatus RgbeScanlineWalk::walkTo(std::uint32_t endRow) {
    endRow = std::min(endRow, length_);
    while (status_ == RgbeDecodeStatus::Ok && walked_ < endRow) {
        // The checks of decodeRgbeScanlines, in its order.
        const std::uint8_t* in = in_;
        if (end_ - in < 4) {
            status_ = RgbeDecodeStatus::Truncated;
        } else if (in[0] != 2 || in[1] != 2) {
            status_ = RgbeDecodeStatus::WrongCompression;
        } else if (in[2] == 0) {
            status_ = RgbeDecodeStatus::HeaderError;
        } else {
            in += 4;
            for (int component = 0; component < 4 && status_ == RgbeDecodeStatus::Ok; ++component)
                if (!walkRlePackets<false>(in, end_, nullptr, 0, width_)) status_ = RgbeDecodeStatus::Truncated;
        }
        if (status_ != RgbeDecodeStatus::Ok) break;
        in_ = in;
        ++walked_;
        starts_[walked_] = static_cast<std::size_t>(in_ - data_);
    }
    return status_;
}

RgbeDecodeStatus findRgbeScanlines(const std::uint8_t* data, std::size_t size, std::uint32_t width,
                                   std::uint32_t length, std::vector<std::size_t>& rowStarts) {
    RgbeScanlineWalk walk(data, size, width, length);
    const RgbeDecodeStatus status = walk.walkTo(length);
    rowStarts.assign(walk.starts().begin(), walk.starts().begin() + walk.rowsFound());
    return status;
}

bool decodeRgbeRows(const std::uint8_t* data, std::size_t size, const std::vector<std::size_t>& rowStarts,
                    std::uint32_t firstRow, std::uint32_t endRow, RgbeMap& map) {
    const std::uint32_t width = map.width();
    for (std::uint32_t r = firstRow; r < endRow; ++r) {
        const std::uint8_t* in = data + rowStarts[r] + 4;
        const std::uint8_t* const end = data + (r + 1 < rowStarts.size() ? rowStarts[r + 1] : size);
        const std::size_t rowStart = static_cast<std::size_t>(r) * width;
        for (int component = 0; component < 4; ++component)
            if (!walkRlePackets<true>(in, end, map.plane(component) + rowStart, width, width)) return false;
    }
    return true;
}

RgbeDecodeStatus decodeRgbeScanlines(const std::uint8_t* data, std::size_t size, RgbeMap& map,
                                     const std::function<void(std::uint32_t)>& rowDone) {
    const std::uint8_t* in = data;
    const std::uint8_t* const end = data + size;
    const std::uint32_t width = map.width();
    for (std::uint32_t r = 0; r < map.length(); ++r) {
        if (end - in < 4) return RgbeDecodeStatus::Truncated;
        if (in[0] != 2 || in[1] != 2) return RgbeDecodeStatus::WrongCompression;
        // The scanline's own width (bytes 3 and 4) is not compared with the header's.
        if (in[2] == 0) return RgbeDecodeStatus::HeaderError;
        in += 4;
        const std::size_t rowStart = static_cast<std::size_t>(r) * width;
        for (int component = 0; component < 4; ++component) {
            // Extra bytes of a packet that runs past the row would be overwritten by the next
            // scanline (or fall off the plane after the last), so only the row is kept.
            if (!decodeRlePackets(in, end, map.plane(component) + rowStart, width, width))
                return RgbeDecodeStatus::Truncated;
        }
        if (rowDone) rowDone(r);
    }
    return RgbeDecodeStatus::Ok;
}

void fillZeroExponents(RgbeMap& map) { fillZeroExponentsWithin(map, 0, map.pixels()); }

// Neither the first nor the last pixel of the image is filled.
void fillZeroExponentsWithin(RgbeMap& map, std::size_t begin, std::size_t end) {
    const std::size_t n = map.pixels();
    std::uint8_t* e = map.plane(3);
    // The part's first pixel keeps its exponent here: the one before belongs to another part.
    for (std::size_t i = std::max<std::size_t>(begin + 1, 1); i < end && i + 1 < n; ++i)
        if (e[i] == 0) e[i] = e[i - 1];
}

void fillZeroExponentsAtStart(RgbeMap& map, std::size_t begin, std::size_t end) {
    const std::size_t n = map.pixels();
    std::uint8_t* e = map.plane(3);
    // Filled within its part, a black pixel still black had none but black ones before it there.
    for (std::size_t i = std::max<std::size_t>(begin, 1); i < end && i + 1 < n && e[i] == 0; ++i) e[i] = e[i - 1];
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
    if (available < minimumRleBytes(width, length))
        return refused(header, "The file is too short for the image size in its header.",
                       {"Pixel data too short for the image size.", ">>> Cannot convert this file. STOP!"});

    header.width = width;
    header.length = length;
    header.dataOffset = static_cast<std::uint32_t>(scan.dataOffset);
    header.outputDataBytes = static_cast<std::uint32_t>(outputBytes);
    return header;
}

}  // namespace kelvarin
