// 16-bit Portable Grey Maps (netpbm PGM, plain "P2" and raw "P5") wrapped into a greyscale TIFF.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/header_numbers.h"
#include "formats/grey_tiff_writer.h"
#include "formats/height_data.h"
#include "job/job_context.h"
#include "job/stages.h"

namespace kelvarin {

namespace {

// The whole header has to lie in the first 128 bytes of the file.
constexpr std::size_t kHeaderBufferSize = 128;

constexpr char kPgmCaption[] = "KELVARIN - PGM.";

// TAB, LF, VT, FF and CR end a token from the start; the blank only once the line after the
// magic number has been looked at (a comment line there is one token up to its line end).
bool isControlSeparator(std::uint8_t c) { return c >= 9 && c <= 13; }

constexpr std::array<bool, 256> kDataSeparators = [] {
    std::array<bool, 256> table{};
    for (int c = 9; c <= 13; ++c) table[static_cast<std::size_t>(c)] = true;
    table[' '] = true;
    return table;
}();

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

bool refusePgm(JobContext& job, std::string text, std::string_view line) {
    return job.refuse(errorBox(std::move(text), kPgmCaption), {line});
}

bool refuseCutShort(JobContext& job) {
    return refusePgm(job, "The PGM header is incomplete or longer than 128 bytes.",
                     ">>> Header does not fit PGM standard. STOP!");
}

bool refuseShortText(JobContext& job) {
    return refusePgm(job, "The PGM file holds fewer sample values than its header says.",
                     ">>> PGM data incomplete. STOP!");
}

std::string productText(std::int64_t width, std::int64_t length) {
    const std::int64_t limit = std::int64_t{1} << 31;
    if (width > -limit && width < limit && length > -limit && length < limit) return numberText(width * length);
    return numberText(static_cast<double>(width) * static_cast<double>(length));
}

// The common end of both variants: the source is closed already, the destination is closed here.
bool finishPgm(JobContext& job, ScaledProgress& progress, std::int64_t start) {
    progress.atEnd();
    job.log().appendLine("Conversion from PGM concluded.");
    job.log().appendLine("Closed source file:");
    job.log().appendLine(job.sourcePath());
    if (!job.closeDestination()) return false;
    job.log().appendLine("Closed converted file:");
    job.log().appendLine(job.destinationPath());
    logConversionTime(job, start);
    return true;
}

// P5: big-endian samples become little-endian ones, block by block.
bool convertBinaryPgm(JobContext& job, ScaledProgress& progress, std::int64_t start) {
    std::uint64_t remaining = job.image.outputDataBytes;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kHeightDataBlock)));
    std::uint64_t done = 0;
    while (remaining > 0) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
        if (!job.readSource(block.data(), count)) return stopAfterFailedRead(job);
        for (std::size_t i = 0; i + 1 < count; i += 2) std::swap(block[i], block[i + 1]);
        if (!job.writeOutput(block.data(), count)) return false;
        remaining -= count;
        done += count;
        progress.at(done);
    }
    job.closeSource();
    return finishPgm(job, progress, start);
}

// The running state of one P2 sample token; tokens may straddle two read blocks.
struct TextSample {
    std::uint32_t value = 0;
    bool digits = false;
    bool fraction = false;
    bool firstFractionDigit = true;
    bool roundUp = false;
    bool invalid = false;

    void take(std::uint8_t c) {
        if (c >= '0' && c <= '9') {
            digits = true;
            if (!fraction) {
                // Anything above 65535 is refused; stop growing long before overflow.
                if (value < 1000000) value = value * 10 + (c - '0');
            } else if (firstFractionDigit) {
                roundUp = c >= '5';
                firstFractionDigit = false;
            }
        } else if (c == '.' && !fraction) {
            fraction = true;
        } else {
            invalid = true;  // a sign, a letter or a comment: PGM samples are plain decimal numbers
        }
    }
    // The sample rounded to the nearest integer, or -1 when it is not a number from 0 to 65535.
    std::int32_t result() const {
        if (invalid || !digits) return -1;
        const std::uint32_t rounded = value + (roundUp ? 1 : 0);
        return rounded > 65535 ? -1 : static_cast<std::int32_t>(rounded);
    }
};

// P2: decimal samples, separated by TAB, LF, VT, FF, CR or blanks, become little-endian samples.
bool convertTextPgm(JobContext& job, std::int64_t start) {
    const std::uint64_t samples = std::uint64_t{job.image.width} * job.image.length;
    ScaledProgress progress(job.progress(), samples);
    const std::uint64_t textBytes = job.source().size() - std::min<std::uint64_t>(job.source().size(), job.image.dataOffset);

    std::vector<std::uint8_t> text(static_cast<std::size_t>(std::min<std::uint64_t>(textBytes, kHeightDataBlock)));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(std::min<std::uint64_t>(samples * 2, kHeightDataBlock)));
    std::size_t outFill = 0;
    std::uint64_t stored = 0;
    std::uint64_t textLeft = textBytes;
    TextSample sample;
    bool inToken = false;

    auto store = [&]() -> bool {
        const std::int32_t value = sample.result();
        if (value < 0) {
            refusePgm(job, "The PGM text holds a value that is not a whole number from 0 to 65535.",
                      ">>> Invalid PGM sample value. STOP!");
            return false;
        }
        out[outFill++] = static_cast<std::uint8_t>(value & 0xFF);
        out[outFill++] = static_cast<std::uint8_t>(value >> 8);
        ++stored;
        if (outFill == out.size()) {
            if (!job.writeOutput(out.data(), outFill)) return false;
            outFill = 0;
            progress.at(stored);
        }
        return true;
    };

    while (stored < samples && textLeft > 0) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(textLeft, text.size()));
        if (!job.readSource(text.data(), count)) return stopAfterFailedRead(job);
        textLeft -= count;
        for (std::size_t i = 0; i < count && stored < samples; ++i) {
            const std::uint8_t c = text[i];
            if (kDataSeparators[c]) {
                if (inToken && !store()) return false;
                inToken = false;
            } else {
                if (!inToken) sample = TextSample{};
                inToken = true;
                sample.take(c);
            }
        }
    }
    // The last token may run to the end of the file.
    if (inToken && stored < samples && !store()) return false;
    if (stored < samples) return refuseShortText(job);
    if (outFill > 0 && !job.writeOutput(out.data(), outFill)) return false;
    job.closeSource();
    return finishPgm(job, progress, start);
}

}  // namespace

bool pgmHeaderStep(JobContext& job) {
    SourceImage& image = job.image;
    StatusLog& log = job.log();

    // One byte more than the header may use: a CR closing the max value may have its LF there.
    std::array<std::uint8_t, kHeaderBufferSize + 1> bytes{};
    job.source().seek(0);
    const std::size_t got = job.source().read(bytes.data(), bytes.size());
    HeaderBuffer buffer(bytes.data(), std::min(got, kHeaderBufferSize));

    const Token magic = buffer.tokenFrom(0);
    const std::string_view magicText = magic.found && magic.start == 0 ? buffer.text(magic) : std::string_view{};
    if (!magic.terminated || (magicText != "P5" && magicText != "P2")) {
        return job.refuse(errorBox("Not a Portable Grey Map file.", kPgmCaption),
                          {"Header does not fit PGM standard.", ">>> Cannot interpret this file. STOP!"});
    }
    log.appendLine(magicText);
    image.pgmVariant = std::string(magicText);

    Token next = buffer.tokenFrom(magic.end + 1);
    if (!next.found) return refuseCutShort(job);
    Token widthToken;
    if (buffer.at(next.start) == '#') {
        // Comment lines right after the magic number: every line holding a "#" is skipped.
        std::string_view line;
        std::size_t lineStart = 0;
        buffer.lineFrom(next.start, line, lineStart);
        log.appendLine(line);
        std::size_t following = 0;
        while (buffer.lineFrom(lineStart, line, following) && line.find('#') != std::string_view::npos) {
            log.appendLine(line);
            lineStart = following;
        }
        buffer.addBlank();
        widthToken = buffer.tokenFrom(lineStart);
    } else {
        buffer.addBlank();
        widthToken = buffer.tokenFrom(next.start);
    }

    if (!widthToken.terminated) return refuseCutShort(job);
    const std::int64_t width = leadingInteger(buffer.text(widthToken));
    log.appendLine("Width: " + std::string(buffer.text(widthToken)));

    const Token lengthToken = buffer.tokenFrom(widthToken.end + 1);
    if (!lengthToken.terminated) return refuseCutShort(job);
    const std::int64_t length = leadingInteger(buffer.text(lengthToken));
    log.appendLine("Length: " + std::string(buffer.text(lengthToken)));

    const Token maxToken = buffer.tokenFrom(lengthToken.end + 1);
    if (!maxToken.terminated) return refuseCutShort(job);
    const std::int64_t maxValue = leadingInteger(buffer.text(maxToken));
    log.appendLine("Max value: " + std::string(buffer.text(maxToken)));
    log.appendLine("Image size: " + productText(width, length));

    if (maxValue < 256) {
        return job.refuse(errorBox("Not a 16-bit PGM file.", kPgmCaption), {">>> 8-bit file ignored. STOP!"});
    }
    if (maxValue > 65535) {
        return job.refuse(errorBox("Not a 16-bit PGM file.", kPgmCaption), {">>> Max value above 65535. STOP!"});
    }
    if (width < 1 || length < 1) {
        return refusePgm(job, "The PGM header gives no width or length.", ">>> Image has no pixels. STOP!");
    }
    if (width > kMaxSide || length > kMaxSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(length) * 2 > kMaxOutputDataBytes) {
        return refusePgm(job, "The PGM image is too large for a 16-bit TIFF of one strip.",
                         ">>> Image too large. STOP!");
    }

    // The data begin behind the separator that ends the max value (behind CR LF as a pair).
    std::size_t dataOffset = maxToken.end + 1;
    if (bytes[maxToken.end] == '\r' && dataOffset < got && bytes[dataOffset] == '\n') ++dataOffset;

    const std::uint64_t samples = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(length);
    const std::uint64_t fileSize = job.source().size();
    const std::uint64_t available = fileSize > dataOffset ? fileSize - dataOffset : 0;
    // Every P2 sample takes at least one character; every P5 sample two bytes.
    if (available < (magicText == "P5" ? samples * 2 : samples)) return refuseShortText(job);

    log.appendLine("DONE reading and interpreting Header.");
    log.appendLine("");

    image.width = static_cast<std::uint32_t>(width);
    image.length = static_cast<std::uint32_t>(length);
    image.pgmMaxValue = static_cast<std::int32_t>(maxValue);
    image.dataOffset = static_cast<std::uint32_t>(dataOffset);
    image.outputDataBytes = static_cast<std::uint32_t>(samples * 2);
    setLittleEndianDestination(image, image.outputDataBytes);
    return true;
}

bool pgmDataStep(JobContext& job) {
    const std::int64_t start = job.now();
    ScaledProgress byteProgress(job.progress(), job.image.outputDataBytes);
    return job.image.pgmVariant == "P5" ? convertBinaryPgm(job, byteProgress, start) : convertTextPgm(job, start);
}

}  // namespace kelvarin
