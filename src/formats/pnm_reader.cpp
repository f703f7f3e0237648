#include "formats/pnm_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/image_size.h"

namespace kelvarin {

namespace {

bool blank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The file's bytes one at a time from a buffer of 64 KiB: the header and the plain formats' text.
class TextCursor {
public:
    explicit TextCursor(ByteSource& source) : source_(source) {}
    void seek(std::uint64_t offset) {
        offset_ = offset;
        begin_ = end_ = 0;
    }
    std::uint64_t offset() const { return offset_ + begin_; }
    // The next byte, or -1 at the end of the file.
    int next() {
        if (begin_ == end_ && !refill()) return -1;
        return buffer_[begin_++];
    }
    int peek() {
        if (begin_ == end_ && !refill()) return -1;
        return buffer_[begin_];
    }
    // The next byte that is neither blank nor in a comment ("#" to the end of the line).
    int nextWord() {
        for (;;) {
            int c = next();
            if (c == '#') {
                while (c != '\n' && c != '\r' && c != -1) c = next();
            }
            if (c == -1 || !blank(c)) return c;
        }
    }

private:
    bool refill() {
        offset_ += end_;
        begin_ = 0;
        end_ = source_.readUpTo(offset_, buffer_.data(), buffer_.size());
        return end_ != 0;
    }

    ByteSource& source_;
    std::array<std::uint8_t, 64 * 1024> buffer_{};
    std::uint64_t offset_ = 0;
    std::size_t begin_ = 0, end_ = 0;
};

// An unsigned decimal starting with `c`, digits to the first other byte (consumed, as netpbm
// does); -1 when `c` is no digit, values past `cap` are held at cap + 1.
std::int64_t number(TextCursor& text, int c, std::int64_t cap, int& after) {
    if (c < '0' || c > '9') return -1;
    std::int64_t value = 0;
    for (; c >= '0' && c <= '9'; c = text.next()) value = std::min(value * 10 + (c - '0'), cap + 1);
    after = c;
    return value;
}

struct Pnm {
    char variant = '0';  // '1' to '6'
    std::uint32_t width = 0, length = 0, channels = 1, maxval = 1;
    std::uint64_t dataOffset = 0;
    bool plain() const { return variant <= '3'; }
    bool bitmap() const { return variant == '1' || variant == '4'; }
    std::size_t sampleBytes() const { return maxval < 256 ? 1 : 2; }
    std::size_t outRowBytes() const { return std::size_t{width} * channels * sampleBytes(); }
    std::size_t rawRowBytes() const { return bitmap() ? (width + 7) / 8 : outRowBytes(); }
};

class PnmRows final : public RowDecoder {
public:
    PnmRows(ByteSource& source, const Pnm& pnm) : source_(source), text_(source), pnm_(pnm) {
        if (!pnm.plain()) raw_.resize(pnm.rawRowBytes());
    }

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override {
        if (first == 0) text_.seek(pnm_.dataOffset);
        for (std::uint32_t y = first; y < first + count; ++y) {
            std::uint8_t* row = out + static_cast<std::size_t>(y - first) * pnm_.outRowBytes();
            if (y >= pnm_.length || !(pnm_.plain() ? plainRow(y, row) : rawRow(y, row))) return false;
        }
        return true;
    }

private:
    // Raw rows lie at fixed places: each is read where it is.
    bool rawRow(std::uint32_t y, std::uint8_t* row) {
        if (!source_.readAt(pnm_.dataOffset + std::uint64_t{y} * raw_.size(), raw_.data(), raw_.size()))
            return fail("The file ends in row " + std::to_string(y) + ".");
        if (pnm_.bitmap()) {
            // In a PBM, 1 is black: the level is the bit's complement.
            for (std::uint32_t x = 0; x < pnm_.width; ++x) row[x] = ((raw_[x / 8] >> (7 - x % 8)) & 1) ^ 1;
        } else if (pnm_.sampleBytes() == 1) {
            std::copy(raw_.begin(), raw_.end(), row);
        } else {
            for (std::size_t i = 0; i < raw_.size() / 2; ++i) {
                const auto sample = static_cast<std::uint16_t>(raw_[2 * i] << 8 | raw_[2 * i + 1]);
                std::memcpy(row + 2 * i, &sample, 2);
            }
        }
        return true;
    }

    // Plain rows are read in order through the text.
    bool plainRow(std::uint32_t y, std::uint8_t* row) {
        const std::size_t samples = std::size_t{pnm_.width} * pnm_.channels;
        const std::int64_t largest = pnm_.sampleBytes() == 1 ? 255 : 65535;
        for (std::size_t i = 0; i < samples; ++i) {
            const int c = text_.nextWord();
            if (c == -1) return fail("The file ends in row " + std::to_string(y) + ".");
            std::int64_t value;
            if (pnm_.bitmap()) {
                if (c != '0' && c != '1') return fail(junk(y));
                value = c == '0' ? 1 : 0;
            } else {
                int after = 0;
                value = number(text_, c, largest, after);
                if (value < 0 || (after != -1 && !blank(after) && after != '#')) return fail(junk(y));
                if (after == '#') skipComment();
                if (value > largest)
                    return fail("A sample in row " + std::to_string(y) + " is larger than " + std::to_string(largest) + ".");
            }
            if (pnm_.sampleBytes() == 1) {
                row[i] = static_cast<std::uint8_t>(value);
            } else {
                const auto sample = static_cast<std::uint16_t>(value);
                std::memcpy(row + 2 * i, &sample, 2);
            }
        }
        return true;
    }
    void skipComment() {
        for (int c = text_.next(); c != '\n' && c != '\r' && c != -1;) c = text_.next();
    }
    static std::string junk(std::uint32_t y) {
        return "Row " + std::to_string(y) + " holds something other than a sample.";
    }

    ByteSource& source_;
    TextCursor text_;
    Pnm pnm_;
    std::vector<std::uint8_t> raw_;
};

const char* kindOf(char variant) {
    switch (variant) {
        case '1': case '4': return "PBM";
        case '2': case '5': return "PGM";
        default: return "PPM";
    }
}

}  // namespace

bool sniffPnm(std::span<const std::uint8_t> head) {
    return head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6' && (blank(head[2]) || head[2] == '#');
}

OpenedSource openPnm(ByteSource& source) {
    OpenedSource opened;
    Pnm pnm;
    std::array<std::uint8_t, 2> magic{};
    if (!source.readAt(0, magic.data(), magic.size()) || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6') {
        opened.kind = "PNM";
        opened.report.refuse(unreadableSource("PNM", "Not a PBM, PGM or PPM file."));
        return opened;
    }
    pnm.variant = static_cast<char>(magic[1]);
    opened.kind = kindOf(pnm.variant);
    const auto refuse = [&](const std::string& what) {
        opened.report.refuse(unreadableSource(opened.kind, what));
        return std::move(opened);
    };

    // Width, height and (but in a PBM) maxval: decimal numbers between blanks and comments.
    TextCursor text(source);
    text.seek(2);
    std::int64_t values[3] = {0, 0, 1};
    const int count = pnm.bitmap() ? 2 : 3;
    int after = ' ';
    for (int i = 0; i < count; ++i) {
        if (!blank(after) && after != '#') return refuse("The header is damaged.");
        if (after == '#')
            while (after != '\n' && after != '\r' && after != -1) after = text.next();
        values[i] = number(text, text.nextWord(), 65535, after);
        if (values[i] < 0 || text.offset() > kPnmHeaderLimit) return refuse("The header is damaged.");
    }
    // One byte, blank or the start of a comment, ends the header.
    if (after == '#')
        while (after != '\n' && after != '\r' && after != -1) after = text.next();
    else if (after != -1 && !blank(after))
        return refuse("The header is damaged.");
    if (values[0] < 1 || values[0] > kLargestImageSide || values[1] < 1 || values[1] > kLargestImageSide)
        return refuse("Image size not supported: width and length must be 1 to 65535 pixels.");
    if (values[2] < 1 || values[2] > 65535)
        return refuse("Maxval " + std::to_string(values[2]) + " is not 1 to 65535.");
    pnm.width = static_cast<std::uint32_t>(values[0]);
    pnm.length = static_cast<std::uint32_t>(values[1]);
    pnm.maxval = static_cast<std::uint32_t>(values[2]);
    pnm.channels = pnm.variant == '3' || pnm.variant == '6' ? 3 : 1;
    pnm.dataOffset = text.offset();

    // Raw rows must all be there; plain text needs a byte a bit, and a digit and a blank a
    // sample (the last one may end the file).
    const std::uint64_t rest = source.size() - std::min(source.size(), pnm.dataOffset);
    const std::uint64_t samples = std::uint64_t{pnm.width} * pnm.length * pnm.channels;
    const std::uint64_t needed = !pnm.plain()   ? std::uint64_t{pnm.length} * pnm.rawRowBytes()
                                 : pnm.bitmap() ? samples
                                                : 2 * samples - 1;
    if (rest < needed) return refuse("The file is too short for the image size in its header.");

    opened.report.say(std::string(opened.kind) + " image: " + std::to_string(pnm.width) + " x " +
                      std::to_string(pnm.length) + " pixels");
    const std::string form = std::string(pnm.plain() ? "plain" : "raw") + " (P" + pnm.variant + ")";
    if (pnm.bitmap()) {
        opened.report.say("Black and white, " + form);
    } else {
        opened.report.say(std::string(pnm.channels == 3 ? "RGB" : "Grey") + ", maxval " + std::to_string(pnm.maxval) +
                          ", " + form);
    }
    opened.width = pnm.width;
    opened.length = pnm.length;
    opened.layout = PixelLayout{pnm.channels, false, SampleType::Unsigned,
                                static_cast<std::uint32_t>(pnm.sampleBytes() * 8), pnm.maxval};
    opened.rows = std::make_unique<PnmRows>(source, pnm);
    return opened;
}

}  // namespace kelvarin
