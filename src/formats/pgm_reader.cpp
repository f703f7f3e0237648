#include "formats/pgm_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/header_numbers.h"
#include "base/number_text.h"
#include "formats/height_data.h"

namespace kelvarin {

namespace {

// The whole header has to lie in the first 128 bytes of the file.
constexpr std::size_t kHeaderBufferSize = 128;

constexpr char kPgmCaption[] = "KELVARIN - PGM.";

// TAB, LF, VT, FF and CR end a token from the start; the blank only once the line after the
// magic number has been looked at (a comment line there is one token up to its line end).
bool isControlSeparator(std::uint8_t c) { return c >= 9 && c <= 13; }

struct Token {
    std::size_t start = 0;
    std::size_t end = 0;      // position of the separator behind it, or the end of the buffer
    bool terminated = false;  // false: no separator behind it inside the buffer
    bool found = false;
};

class HeaderBuffer {
public:
    HeaderBuffer(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

    void addBlank() { blank_ = true; }
    bool isSeparator(std::uint8_t c) const { return isControlSeparator(c) || (blank_ && c == ' '); }

    // The token at or after `from`, skipping empty candidates.
    Token tokenFrom(std::size_t from) const {
        Token token;
        std::size_t p = from;
        while (p < size_ && isSeparator(bytes_[p])) ++p;
        if (p >= size_) return token;
        token.found = true;
        token.start = p;
        while (p < size_ && !isSeparator(bytes_[p])) ++p;
        token.end = p;
        token.terminated = p < size_;
        return token;
    }

    // The line that starts at `from`: its text without the line end, and where the next begins.
    bool lineFrom(std::size_t from, std::string_view& text, std::size_t& next) const {
        if (from >= size_) return false;
        const auto* begin = bytes_ + from;
        const auto* feed = static_cast<const std::uint8_t*>(std::memchr(begin, '\n', size_ - from));
        std::size_t end = feed ? static_cast<std::size_t>(feed - bytes_) : size_;
        next = feed ? end + 1 : size_;
        if (end > from && bytes_[end - 1] == '\r') --end;
        text = std::string_view(reinterpret_cast<const char*>(begin), end - from);
        return true;
    }

    std::string_view text(const Token& token) const {
        return {reinterpret_cast<const char*>(bytes_ + token.start), token.end - token.start};
    }
    std::uint8_t at(std::size_t p) const { return bytes_[p]; }
    std::size_t size() const { return size_; }

private:
    const std::uint8_t* bytes_;
    std::size_t size_;
    bool blank_ = false;
};

Refusal pgmRefusal(std::string text, std::string line) { return {std::move(text), kPgmCaption, {std::move(line)}}; }

Refusal cutShort() {
    return pgmRefusal("The PGM header is incomplete or longer than 128 bytes.",
                      ">>> Header does not fit PGM standard. STOP!");
}

PgmHeader refused(PgmHeader& header, Refusal why) {
    header.report.refuse(std::move(why));
    return std::move(header);
}

std::string productText(std::int64_t width, std::int64_t length) {
    const std::int64_t limit = std::int64_t{1} << 31;
    if (width > -limit && width < limit && length > -limit && length < limit) return numberText(width * length);
    return numberText(static_cast<double>(width) * static_cast<double>(length));
}

}  // namespace

Refusal pgmShortText() {
    return pgmRefusal("The PGM file holds fewer sample values than its header says.", ">>> PGM data incomplete. STOP!");
}

Refusal pgmInvalidSample() {
    return pgmRefusal("The PGM text holds a value that is not a whole number from 0 to 65535.",
                      ">>> Invalid PGM sample value. STOP!");
}

PgmHeader readPgmHeader(ByteSource& source) {
    PgmHeader header;
    ReaderReport& report = header.report;

    // One byte more than the header may use: a CR closing the max value may have its LF there.
    std::array<std::uint8_t, kHeaderBufferSize + 1> bytes{};
    const std::size_t got = source.readUpTo(0, bytes.data(), bytes.size());
    HeaderBuffer buffer(bytes.data(), std::min(got, kHeaderBufferSize));

    const Token magic = buffer.tokenFrom(0);
    const std::string_view magicText = magic.found && magic.start == 0 ? buffer.text(magic) : std::string_view{};
    if (!magic.terminated || (magicText != "P5" && magicText != "P2")) {
        report.refuse({"Not a Portable Grey Map file.", kPgmCaption,
                       {"Header does not fit PGM standard.", ">>> Cannot interpret this file. STOP!"}});
        return header;
    }
    report.say(std::string(magicText));
    header.variant = std::string(magicText);

    Token next = buffer.tokenFrom(magic.end + 1);
    if (!next.found) return refused(header, cutShort());
    Token widthToken;
    if (buffer.at(next.start) == '#') {
        // Comment lines right after the magic number: every line holding a "#" is skipped.
        std::string_view line;
        std::size_t lineStart = 0;
        buffer.lineFrom(next.start, line, lineStart);
        report.say(std::string(line));
        std::size_t following = 0;
        while (buffer.lineFrom(lineStart, line, following) && line.find('#') != std::string_view::npos) {
            report.say(std::string(line));
            lineStart = following;
        }
        buffer.addBlank();
        widthToken = buffer.tokenFrom(lineStart);
    } else {
        buffer.addBlank();
        widthToken = buffer.tokenFrom(next.start);
    }

    if (!widthToken.terminated) return refused(header, cutShort());
    const std::int64_t width = leadingInteger(buffer.text(widthToken));
    report.say("Width: " + std::string(buffer.text(widthToken)));

    const Token lengthToken = buffer.tokenFrom(widthToken.end + 1);
    if (!lengthToken.terminated) return refused(header, cutShort());
    const std::int64_t length = leadingInteger(buffer.text(lengthToken));
    report.say("Length: " + std::string(buffer.text(lengthToken)));

    const Token maxToken = buffer.tokenFrom(lengthToken.end + 1);
    if (!maxToken.terminated) return refused(header, cutShort());
    header.maxValue = leadingInteger(buffer.text(maxToken));
    report.say("Max value: " + std::string(buffer.text(maxToken)));
    report.say("Image size: " + productText(width, length));

    if (header.maxValue < 256) return refused(header, pgmRefusal("Not a 16-bit PGM file.", ">>> 8-bit file ignored. STOP!"));
    if (header.maxValue > 65535)
        return refused(header, pgmRefusal("Not a 16-bit PGM file.", ">>> Max value above 65535. STOP!"));
    if (width < 1 || length < 1)
        return refused(header, pgmRefusal("The PGM header gives no width or length.", ">>> Image has no pixels. STOP!"));
    if (width > kMaxSide || length > kMaxSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(length) * 2 > kMaxOutputDataBytes) {
        return refused(header, pgmRefusal("The PGM image is too large for a 16-bit TIFF of one strip.",
                                          ">>> Image too large. STOP!"));
    }

    // The data begin behind the separator that ends the max value (behind CR LF as a pair).
    std::size_t dataOffset = maxToken.end + 1;
    if (bytes[maxToken.end] == '\r' && dataOffset < got && bytes[dataOffset] == '\n') ++dataOffset;

    const std::uint64_t samples = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(length);
    const std::uint64_t fileSize = source.size();
    const std::uint64_t available = fileSize > dataOffset ? fileSize - dataOffset : 0;
    // Every P2 sample takes at least one character; every P5 sample two bytes.
    if (available < (header.binary() ? samples * 2 : samples)) return refused(header, pgmShortText());

    report.say("DONE reading and interpreting Header.");
    report.say("");

    header.width = static_cast<std::uint32_t>(width);
    header.length = static_cast<std::uint32_t>(length);
    header.dataOffset = static_cast<std::uint32_t>(dataOffset);
    header.outputDataBytes = static_cast<std::uint32_t>(samples * 2);
    return header;
}


}  // namespace kelvarin
