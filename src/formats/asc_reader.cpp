#include "formats/asc_reader.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "base/image_size.h"

namespace kelvarin {

namespace {

constexpr std::size_t kHeaderBytes = 4096;
// Text is read in pieces of this size; no number is longer than kLongestNumber characters.
constexpr std::size_t kTextPiece = 1 << 16;
constexpr std::size_t kLongestNumber = 64;

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower(c);
    return out;
}

// A decimal number, the whole text: optional sign, digits, fraction, exponent; "nan" and "inf"
// too, as some writers put them.
bool number(std::string_view text, double& value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

constexpr std::array<std::string_view, 10> kKeys{"ncols",    "nrows",     "xllcorner", "xllcenter",   "yllcorner",
                                                  "yllcenter", "cellsize", "nodata_value", "dx", "dy"};

int keyIndex(std::string_view word) {
    const std::string key = lowered(word);
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        if (kKeys[i] == key) return static_cast<int>(i);
    return -1;
}

// Whitespace-separated numbers from `start` on, parsed as the rows are asked for: asking for
// row 0 starts again at the first number.
class AscRows final : public RowDecoder {
public:
    AscRows(ByteSource& source, std::uint64_t start, std::uint32_t width, std::uint32_t length)
        : source_(source), start_(start), width_(width), length_(length) {}

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override {
        if (first == 0) rewind();
        if (first != nextRow_) return fail("The grid's rows were asked for out of order.");
        for (std::size_t i = 0; i < std::size_t{count} * width_; ++i) {
            std::string_view token;
            if (!nextToken(token))
                return fail("The grid ends after " + std::to_string(std::uint64_t{first} * width_ + i) +
                            " values; its header asks for " + std::to_string(width_) + " x " +
                            std::to_string(length_) + ".");
            double v = 0;
            if (!number(token, v))
                return fail("Value " + std::to_string(std::uint64_t{first} * width_ + i + 1) + " of the grid, \"" +
                            std::string(token.substr(0, 24)) + "\", is not a number.");
            std::memcpy(out + 8 * i, &v, 8);
        }
        nextRow_ = first + count;
        std::string_view more;
        if (nextRow_ == length_ && nextToken(more))
            return fail("The grid holds more values than its header's " + std::to_string(width_) + " x " +
                        std::to_string(length_) + ".");
        return true;
    }

private:
    void rewind() {
        at_ = start_;
        begin_ = end_ = 0;
        nextRow_ = 0;
    }
    // Keeps at least kLongestNumber + 1 characters ahead in the buffer where the file has them.
    void fill() {
        if (end_ - begin_ > kLongestNumber) return;
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        const std::size_t got = source_.readUpTo(at_, buffer_.data() + end_, buffer_.size() - end_);
        at_ += got;
        end_ += got;
    }
    bool nextToken(std::string_view& token) {
        for (;;) {
            fill();
            while (begin_ < end_ && blank(buffer_[begin_])) ++begin_;
            if (begin_ < end_) break;
            if (at_ >= source_.size()) return false;
        }
        fill();
        std::size_t stop = begin_;
        while (stop < end_ && !blank(buffer_[stop])) ++stop;
        token = std::string_view(buffer_.data() + begin_, stop - begin_);
        begin_ = stop;
        return true;
    }

    ByteSource& source_;
    std::uint64_t start_;
    std::uint32_t width_, length_;
    std::uint32_t nextRow_ = 0;
    std::uint64_t at_ = 0;
    std::array<char, kTextPiece> buffer_{};
    std::size_t begin_ = 0, end_ = 0;
};

struct AscHeader {
    std::array<std::optional<double>, kKeys.size()> values;
    std::uint64_t dataStart = 0;
};

enum Key { kNcols, kNrows, kXllCorner, kXllCenter, kYllCorner, kYllCenter, kCellSize, kNoData, kDx, kDy };

// The header's "key value" lines up to the first word that is no key; an empty string, or what
// is wrong.
std::string readHeader(ByteSource& source, AscHeader& header) {
    std::string text(kHeaderBytes, '\0');
    text.resize(source.readUpTo(0, text.data(), text.size()));
    std::size_t at = 0;
    const auto word = [&]() {
        while (at < text.size() && blank(text[at])) ++at;
        const std::size_t start = at;
        while (at < text.size() && !blank(text[at])) ++at;
        return std::string_view(text).substr(start, at - start);
    };
    for (;;) {
        const std::size_t lineStart = at;
        const std::string_view key = word();
        const int index = keyIndex(key);
        if (index < 0) {
            if (key.empty()) return "The header is followed by no values.";
            if (at >= text.size() && text.size() == kHeaderBytes)
                return "The header does not end within the file's first 4096 bytes.";
            header.dataStart = lineStart;
            return "";
        }
        const std::string_view value = word();
        double v = 0;
        if (!number(value, v)) return "The header's " + std::string(key) + " value \"" + std::string(value.substr(0, 24)) + "\" is not a number.";
        if (header.values[static_cast<std::size_t>(index)]) return "The header gives " + std::string(key) + " twice.";
        header.values[static_cast<std::size_t>(index)] = v;
    }
}

bool side(const std::optional<double>& v, std::uint32_t& out) {
    if (!v || !(*v >= 1) || *v > kLargestImageSide || std::floor(*v) != *v) return false;
    out = static_cast<std::uint32_t>(*v);
    return true;
}

}  // namespace

bool sniffAsc(std::span<const std::uint8_t> head) {
    std::size_t at = 0;
    while (at < head.size() && blank(static_cast<char>(head[at]))) ++at;
    const std::size_t start = at;
    while (at < head.size() && !blank(static_cast<char>(head[at]))) ++at;
    if (at >= head.size()) return false;  // the word must end within the head
    const std::string_view first(reinterpret_cast<const char*>(head.data()) + start, at - start);
    const int index = keyIndex(first);
    return index >= 0 && index != kDx && index != kDy;
}

OpenedSource openAsc(ByteSource& source) {
    OpenedSource opened;
    opened.kind = "ASCII grid";
    const auto refuse = [&](const std::string& what) {
        opened.report.refuse(unreadableSource("ASCII grid", what));
        return std::move(opened);
    };
    AscHeader header;
    if (const std::string error = readHeader(source, header); !error.empty()) return refuse(error);
    const auto& v = header.values;
    std::uint32_t width = 0, length = 0;
    if (!v[kNcols] || !v[kNrows]) return refuse("The header has no ncols or no nrows.");
    if (!side(v[kNcols], width) || !side(v[kNrows], length))
        return refuse("ncols and nrows must be whole numbers from 1 to 65535.");
    if (v[kXllCorner] && v[kXllCenter]) return refuse("The header gives both xllcorner and xllcenter.");
    if (v[kYllCorner] && v[kYllCenter]) return refuse("The header gives both yllcorner and yllcenter.");
    if (!v[kXllCorner] && !v[kXllCenter]) return refuse("The header has no xllcorner or xllcenter.");
    if (!v[kYllCorner] && !v[kYllCenter]) return refuse("The header has no yllcorner or yllcenter.");
    if (v[kCellSize] && (v[kDx] || v[kDy])) return refuse("The header gives both cellsize and dx or dy.");
    if (!v[kCellSize] && !(v[kDx] && v[kDy])) return refuse("The header has no cellsize (nor dx and dy).");
    const double dx = v[kCellSize] ? *v[kCellSize] : *v[kDx], dy = v[kCellSize] ? *v[kCellSize] : *v[kDy];
    if (!(dx > 0) || !(dy > 0) || !std::isfinite(dx) || !std::isfinite(dy))
        return refuse("The cell size must be a number above 0.");
    // At least "0 " a value: a file far too short for its grid is refused before any pass.
    if (source.size() - header.dataStart < std::uint64_t{width} * length)
        return refuse("The file is too short for the " + std::to_string(width) + " x " + std::to_string(length) +
                      " values its header asks for.");

    GroundPlacement p;
    p.pixelWidth = dx;
    p.pixelHeight = dy;
    p.originX = v[kXllCorner] ? *v[kXllCorner] : *v[kXllCenter] - dx / 2;
    p.originY = (v[kYllCorner] ? *v[kYllCorner] : *v[kYllCenter] - dy / 2) + dy * length;
    if (std::isfinite(p.originX) && std::isfinite(p.originY)) opened.heights.placement = p;
    opened.heights.noData = v[kNoData];
    opened.report.say("ASCII grid: " + std::to_string(width) + " x " + std::to_string(length) + " values");
    opened.width = width;
    opened.length = length;
    opened.layout = PixelLayout{1, false, SampleType::Float, 64, 0};
    opened.rows = std::make_unique<AscRows>(source, header.dataStart, width, length);
    return opened;
}

}  // namespace kelvarin
