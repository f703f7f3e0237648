// What an inflate keeps between calls: the input and its bit buffer, the window and span of
// output, the block being read and its code tables. Shared by the stream's own steps and by the
// loop over a block's symbols, which lives in a file of its own.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "formats/inflate.h"
#include "formats/inflate_tables.h"

namespace kelvarin {

namespace inflate_codes {

inline constexpr std::size_t kWindow = 32768;
inline constexpr std::size_t kSpan = 256 * 1024;
inline constexpr std::size_t kLongestMatch = 258;
// A match is copied in moves of eight or sixteen bytes, which may write up to 31 bytes past its end.
inline constexpr std::size_t kCopySlack = 40;
inline constexpr std::size_t kInputBlock = 64 * 1024;
// A whole stream inflated into a buffer at least this large goes straight into it.
inline constexpr std::size_t kDirectAtLeast = 4096;
// Bytes kept before the next input byte when more is pulled: the whole bytes still in the bit
// buffer, which a stored block takes back.
inline constexpr std::size_t kLookBehind = 8;

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

// Eight bytes at `next` (all of them must be there) into the bit buffer, up to 56 to 63 bits.
inline void refillFrom(const std::uint8_t*& next, std::uint64_t& buf, unsigned& left) {
    buf |= load64(next) << left;
    next += (63 - left) >> 3;
    left |= 56;
}

}  // namespace inflate_codes

struct Inflate::State {
    enum class Mode { Header, Block, Stored, Codes, Check, Done, Failed };

    // Buffers and tables are not cleared: nothing is read from them before it is written.
    State() {}

    InflateSource* source = nullptr;
    std::unique_ptr<std::uint8_t[]> input{new std::uint8_t[inflate_codes::kLookBehind + inflate_codes::kInputBlock]};
    const std::uint8_t* in = nullptr;
    const std::uint8_t* inEnd = nullptr;
    const std::uint8_t* inStart = nullptr;
    unsigned overread = 0;  // zero bytes put in the bit buffer past the input's end
    std::uint64_t bitbuf = 0;
    unsigned bitsleft = 0;

    std::unique_ptr<std::uint8_t[]> window{
        new std::uint8_t[inflate_codes::kWindow + inflate_codes::kSpan + inflate_codes::kCopySlack]};
    std::uint8_t* history = nullptr;  // the first byte a match may reach back to
    std::uint8_t* pos = nullptr;      // where the next byte goes
    std::uint8_t* given = nullptr;    // the first byte not handed out yet
    std::uint8_t* checked = nullptr;  // the first byte not in the check value yet
    std::uint32_t adler = 1;

    Mode mode = Mode::Done;
    bool lastBlock = false;
    std::uint32_t storedLeft = 0;
    InflateResult fault = InflateResult::End;
    const char* why = "";
    const std::uint32_t* litTable = nullptr;
    const std::uint32_t* distTable = nullptr;
    std::uint32_t literals[inflate_codes::kLitEntries];
    std::uint32_t distances[inflate_codes::kDistEntries];

    // Where the span ends: in the window, or, inflating a whole stream, near the end of the
    // caller's buffer, which is then written straight (the rest follows through the window).
    std::uint8_t* end = nullptr;
    std::uint8_t* limit() { return end; }
    // Past this, a longest match and a few literals may not fit: the span is full.
    std::uint8_t* stop() { return limit() - inflate_codes::kLongestMatch - 8; }

    // Bits were taken from past the input's end.
    bool short_() const { return overread != 0 && bitsleft < overread * 8; }
    bool truncated() { return fail(InflateResult::Truncated, "the stream ends early"); }

    void start(const std::uint8_t* data, std::size_t size) {
        in = inStart = data;
        inEnd = data + size;
        overread = 0;
        bitbuf = 0;
        bitsleft = 0;
        history = pos = given = checked = window.get();
        end = window.get() + inflate_codes::kWindow + inflate_codes::kSpan;
        adler = 1;
        mode = Mode::Header;
        lastBlock = false;
        why = "";
    }

    bool fail(InflateResult result, const char* reason) {
        fault = result;
        why = reason;
        mode = Mode::Failed;
        return false;
    }

    // More input into the buffer, keeping the bytes the bit buffer may give back.
    bool pull();
    // 56 to 63 bits in the buffer; past the input's end they are zeros, counted.
    void refill();
    std::uint32_t bits(unsigned n);
    // To a byte boundary, and the whole bytes left in the bit buffer back to the input.
    bool toByteBoundary();
    bool header();
    bool block();
    bool dynamicTables();
    // Copies a stored block's bytes while there is room.
    bool stored();
    bool check();
    // Inflates until the span is full, the stream ends, or a fault.
    void run();
    // Room for more: the last 32 KiB stay as the window, once everything is handed out.
    void slide();
    // The symbols of a Huffman-coded block.
    bool codes();
};

}  // namespace kelvarin
