// 16-bit Portable Grey Maps (netpbm PGM, plain "P2" and raw "P5"): the header, and the sample
// text of the plain variant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/byte_source.h"
#include "formats/reader_report.h"

namespace kelvarin {

struct PgmHeader {
    ReaderReport report;
    std::string variant;  // "P2" or "P5"
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::int64_t maxValue = 0;
    std::uint32_t dataOffset = 0;  // where the samples begin
    std::uint32_t outputDataBytes = 0;
    bool binary() const { return variant == "P5"; }
};

// The whole header has to lie in the first 128 bytes. It is checked against the file's size:
// there is room for every sample it announces.
PgmHeader readPgmHeader(ByteSource& source);

// A P2 file whose text ends before its last sample.
Refusal pgmShortText();
// A P2 sample that is not a whole number from 0 to 65535.
Refusal pgmInvalidSample();

// The samples of a P2 file's text, read piece by piece: a sample may straddle two pieces.
// Samples are separated by TAB, LF, VT, FF, CR or blanks; each is a plain decimal number,
// rounded to the nearest integer when it has a fraction.
class PgmTextSamples {
public:
    // Scans the next piece of text and hands every sample that ends in it to `take(value)`,
    // until `take` returns false. False at the first sample that is not a whole number from 0 to
    // 65535 (`invalid()` tells) or when `take` said stop.
    template <typename Take>
    bool scan(const std::uint8_t* text, std::size_t count, Take&& take);
    // The end of the text: a sample running up to it is handed over too.
    template <typename Take>
    bool end(Take&& take);
    bool invalid() const { return invalid_; }
    // How much of the last scan's text was looked at: all of it, or up to and with the separator
    // after the sample `take` stopped at (the next scan goes on from there).
    std::size_t scanned() const { return scanned_; }

private:
    // The running state of one sample token.
    struct Token {
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

    static constexpr std::array<bool, 256> kSeparators = [] {
        std::array<bool, 256> table{};
        for (int c = 9; c <= 13; ++c) table[static_cast<std::size_t>(c)] = true;
        table[' '] = true;
        return table;
    }();

    template <typename Take>
    bool handOver(Take& take) {
        const std::int32_t value = token_.result();
        if (value < 0) {
            invalid_ = true;
            return false;
        }
        return take(static_cast<std::uint16_t>(value));
    }

    Token token_;
    bool inToken_ = false;
    bool invalid_ = false;
    std::size_t scanned_ = 0;
};

template <typename Take>
bool PgmTextSamples::scan(const std::uint8_t* text, std::size_t count, Take&& take) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t c = text[i];
        if (kSeparators[c]) {
            if (inToken_) {
                inToken_ = false;
                if (!handOver(take)) {
                    scanned_ = i + 1;
                    return false;
                }
            }
        } else {
            if (!inToken_) token_ = Token{};
            inToken_ = true;
            token_.take(c);
        }
    }
    scanned_ = count;
    return true;
}

template <typename Take>
bool PgmTextSamples::end(Take&& take) {
    if (!inToken_) return true;
    inToken_ = false;
    return handOver(take);
}

}  // namespace kelvarin
