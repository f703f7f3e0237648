#include "formats/inflate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvarin {

namespace {

constexpr std::size_t kWindow = 32768;
constexpr std::size_t kSpan = 256 * 1024;
constexpr std::size_t kLongestMatch = 258;
// A match is copied in moves of eight or sixteen bytes, which may write up to 31 bytes past its end.
constexpr std::size_t kCopySlack = 40;
constexpr std::size_t kInputBlock = 64 * 1024;
// A whole stream inflated into a buffer at least this large goes straight into it.
constexpr std::size_t kDirectAtLeast = 4096;
// Bytes kept before the next input byte when more is pulled: the whole bytes still in the bit
// buffer, which a stored block takes back.
constexpr std::size_t kLookBehind = 8;

// Table roots: a code of up to this many bits is found in one look-up, a longer one in two. The
// sizes hold a root table and a subtable for every code longer than the root.
constexpr unsigned kLitBits = 12, kDistBits = 8, kLengthsBits = 7;
constexpr std::size_t kLitEntries = (1u << kLitBits) + 286 * (1u << (15 - kLitBits));
constexpr std::size_t kDistEntries = (1u << kDistBits) + 30 * (1u << (15 - kDistBits));

// A table entry: the bits it takes (bits 0-7), a value (12-27: literal, base of a length or
// distance, start of a subtable) and flags. A length or distance takes its code and its extra
// bits at once, the code's own bits in bits 8-11 (where the extra bits begin); a subtable's
// pointer has the subtable's index bits there. Two literals whose codes fit in the root together
// are one entry: the first in the value's low byte, the second in its high byte, the first's
// bits in bits 8-11.
constexpr std::uint32_t kLiteral = 1u << 31, kExceptional = 1u << 30, kEndOfBlock = 1u << 29, kSubtable = 1u << 28;
constexpr std::uint32_t kPair = kEndOfBlock;  // with kLiteral
constexpr std::uint32_t kInvalid = kExceptional | 1;

constexpr std::uint32_t entry(std::uint32_t value, unsigned extra) { return value << 12 | extra << 8; }
constexpr std::uint32_t valueOf(std::uint32_t e) { return e >> 12 & 0xffff; }
constexpr unsigned extraOf(std::uint32_t e) { return e >> 8 & 15; }
// The entry of a symbol whose code has `len` bits.
constexpr std::uint32_t sized(std::uint32_t e, unsigned len) {
    if (e & (kLiteral | kExceptional)) return e | len;
    return (e & ~0xfffu) | len << 8 | (len + extraOf(e));
}

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                         193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

enum class CodeKind { Lengths, Literals, Distances };

std::uint32_t entryFor(CodeKind kind, unsigned symbol) {
    switch (kind) {
        case CodeKind::Lengths: return kLiteral | entry(symbol, 0);
        case CodeKind::Literals:
            if (symbol < 256) return kLiteral | entry(symbol, 0);
            if (symbol == 256) return kExceptional | kEndOfBlock;
            if (symbol < 286) return entry(kLengthBase[symbol - 257], kLengthExtra[symbol - 257]);
            return kExceptional;  // 286 and 287, which only the fixed code has
        case CodeKind::Distances:
            if (symbol < 30) return entry(kDistBase[symbol], kDistExtra[symbol]);
            return kExceptional;  // 30 and 31, likewise
    }
    return kExceptional;
}

// Builds the look-up table of the canonical code with these code lengths; false when zlib would
// not take them: over-subscribed, or incomplete other than a single code of one bit (or none at
// all) for literals or distances. A code-lengths code without codes reads every length as 0.
bool buildTable(const std::uint8_t* lengths, unsigned count, CodeKind kind, unsigned root, std::uint32_t* table,
                std::size_t capacity) {
    unsigned counts[16] = {};
    for (unsigned s = 0; s < count; ++s) ++counts[lengths[s]];
    counts[0] = 0;
    unsigned longest = 15;
    while (longest > 0 && counts[longest] == 0) --longest;
    const std::size_t rootSize = std::size_t{1} << root;
    if (longest == 0) {
        std::fill(table, table + rootSize, kind == CodeKind::Lengths ? (kLiteral | 1) : kInvalid);
        return true;
    }
    int left = 1;
    for (unsigned len = 1; len <= 15; ++len) {
        left = (left << 1) - static_cast<int>(counts[len]);
        if (left < 0) return false;
    }
    if (left > 0 && (kind == CodeKind::Lengths || longest != 1)) return false;

    unsigned offsets[17] = {};
    for (unsigned len = 1; len <= 15; ++len) offsets[len + 1] = offsets[len] + counts[len];
    unsigned sorted[288];
    for (unsigned s = 0; s < count; ++s)
        if (lengths[s] != 0) sorted[offsets[lengths[s]]++] = s;

    std::fill(table, table + rootSize, kInvalid);
    unsigned code = 0, codeLength = 0, placed = 0;
    std::size_t next = rootSize, subStart = 0;
    unsigned subBits = 0, prefix = ~0u;
    unsigned remaining[16];
    std::copy(counts, counts + 16, remaining);
    for (unsigned len = 1; len <= longest; ++len) {
        for (unsigned k = 0; k < counts[len]; ++k, ++placed) {
            const unsigned symbol = sorted[placed];
            code <<= len - codeLength;
            codeLength = len;
            unsigned reversed = 0;
            for (unsigned b = 0; b < len; ++b) reversed |= (code >> b & 1u) << (len - 1 - b);
            const std::uint32_t e = entryFor(kind, symbol);
            if (len <= root) {
                for (std::size_t i = reversed; i < rootSize; i += std::size_t{1} << len) table[i] = sized(e, len);
            } else {
                if ((reversed & (rootSize - 1)) != prefix) {
                    prefix = reversed & static_cast<unsigned>(rootSize - 1);
                    subBits = len - root;
                    int room = 1 << subBits;
                    while (subBits + root < longest) {
                        room -= static_cast<int>(remaining[subBits + root]);
                        if (room <= 0) break;
                        ++subBits;
                        room <<= 1;
                    }
                    subStart = next;
                    next += std::size_t{1} << subBits;
                    if (next > capacity) return false;  // cannot happen for a code that passed above
                    table[prefix] = kExceptional | kSubtable | entry(static_cast<std::uint32_t>(subStart), subBits) | root;
                }
                for (std::size_t i = reversed >> root; i < (std::size_t{1} << subBits); i += std::size_t{1} << (len - root))
                    table[subStart + i] = sized(e, len - root);
            }
            --remaining[len];
            ++code;
        }
    }
    return true;
}

// Root entries of one short literal followed by another become pairs.
void pairLiterals(std::uint32_t* table) {
    std::uint32_t single[1u << kLitBits];
    std::copy(table, table + (1u << kLitBits), single);
    for (unsigned i = 0; i < (1u << kLitBits); ++i) {
        const std::uint32_t first = single[i];
        const unsigned firstBits = first & 0xff;
        if (!(first & kLiteral) || firstBits >= kLitBits) continue;
        // The entry of the bits after the first code: whole when its code is short enough.
        const std::uint32_t second = single[i >> firstBits];
        if (!(second & kLiteral) || firstBits + (second & 0xff) > kLitBits) continue;
        table[i] = kLiteral | kPair | entry(valueOf(first) | valueOf(second) << 8, firstBits) | (firstBits + (second & 0xff));
    }
}

struct FixedTables {
    std::uint32_t literals[kLitEntries];
    std::uint32_t distances[kDistEntries];
    FixedTables() {
        std::uint8_t lengths[288];
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + 288, 8);
        buildTable(lengths, 288, CodeKind::Literals, kLitBits, literals, kLitEntries);
        pairLiterals(literals);
        std::fill(lengths, lengths + 32, 5);
        buildTable(lengths, 32, CodeKind::Distances, kDistBits, distances, kDistEntries);
    }
};

const FixedTables& fixedTables() {
    static const FixedTables tables;
    return tables;
}

}  // namespace

std::uint32_t adler32Update(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
    constexpr std::uint32_t kBase = 65521;
    std::uint64_t s1 = adler & 0xffff, s2 = adler >> 16;
#if defined(__SSE2__)
    // Sixteen bytes at a time: s1 gains their sum, s2 gains 16 times s1 before them and the
    // bytes weighted 16 down to 1. Sums of up to 64 KiB stay in 64 bits, and are reduced after.
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i lastWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    while (size >= 16) {
        std::size_t chunks = std::min<std::size_t>(size / 16, 4096);
        size -= chunks * 16;
        s2 += s1 * chunks * 16;
        __m128i sums = zero, sumsBefore = zero, weighted = zero;
        do {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
            sumsBefore = _mm_add_epi64(sumsBefore, sums);
            sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, zero));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), firstWeights));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), lastWeights));
            data += 16;
        } while (--chunks != 0);
        std::uint64_t lanes[2], before[2];
        std::uint32_t parts[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sums);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(before), sumsBefore);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(parts), weighted);
        s2 = (s2 + 16 * (before[0] + before[1]) + parts[0] + parts[1] + parts[2] + parts[3]) % kBase;
        s1 = (s1 + lanes[0] + lanes[1]) % kBase;
    }
#endif
    while (size > 0) {
        const std::size_t step = std::min<std::size_t>(size, 5552);
        for (std::size_t i = 0; i < step; ++i) {
            s1 += data[i];
            s2 += s1;
        }
        data += step;
        size -= step;
        s1 %= kBase;
        s2 %= kBase;
    }
    return static_cast<std::uint32_t>(s2 << 16 | s1);
}

namespace {

std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

}  // namespace

struct Inflate::State {
    enum class Mode { Header, Block, Stored, Codes, Check, Done, Failed };

    InflateSource* source = nullptr;
    std::vector<std::uint8_t> input = std::vector<std::uint8_t>(kLookBehind + kInputBlock);
    const std::uint8_t* in = nullptr;
    const std::uint8_t* inEnd = nullptr;
    const std::uint8_t* inStart = nullptr;
    unsigned overread = 0;  // zero bytes put in the bit buffer past the input's end
    std::uint64_t bitbuf = 0;
    unsigned bitsleft = 0;

    std::vector<std::uint8_t> window = std::vector<std::uint8_t>(kWindow + kSpan + kCopySlack);
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
    std::uint32_t literals[kLitEntries];
    std::uint32_t distances[kDistEntries];

    // Where the span ends: in the window, or, inflating a whole stream, near the end of the
    // caller's buffer, which is then written straight (the rest follows through the window).
    std::uint8_t* end = nullptr;
    std::uint8_t* limit() { return end; }
    // Past this, a longest match and a few literals may not fit: the span is full.
    std::uint8_t* stop() { return limit() - kLongestMatch - 8; }

    void start(const std::uint8_t* data, std::size_t size) {
        in = inStart = data;
        inEnd = data + size;
        overread = 0;
        bitbuf = 0;
        bitsleft = 0;
        history = pos = given = checked = window.data();
        end = window.data() + kWindow + kSpan;
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
    // Bits were taken from past the input's end.
    bool short_() const { return overread != 0 && bitsleft < overread * 8; }
    bool truncated() { return fail(InflateResult::Truncated, "the stream ends early"); }

    // More input into the buffer, keeping the bytes the bit buffer may give back.
    bool pull() {
        if (source == nullptr) return false;
        const std::size_t keep = std::min<std::size_t>(kLookBehind, static_cast<std::size_t>(in - inStart));
        if (keep > 0) std::memmove(input.data(), in - keep, keep);
        const std::size_t got = source->pull(input.data() + keep, kInputBlock);
        inStart = input.data();
        in = inStart + keep;
        inEnd = in + got;
        if (got == 0) source = nullptr;
        return got != 0;
    }

    // At least 57 bits in the buffer; past the input's end they are zeros, counted.
    void refill() {
        if (inEnd - in >= 8) {
            bitbuf |= load64(in) << bitsleft;
            in += (63 - bitsleft) >> 3;
            bitsleft |= 56;
            return;
        }
        while (bitsleft <= 56) {
            if (in == inEnd && !pull()) {
                ++overread;
            } else {
                bitbuf |= std::uint64_t{*in++} << bitsleft;
            }
            bitsleft += 8;
        }
    }

    std::uint32_t bits(unsigned n) {
        if (bitsleft < n) refill();
        const auto v = static_cast<std::uint32_t>(bitbuf & ((std::uint64_t{1} << n) - 1));
        bitbuf >>= n;
        bitsleft -= n;
        return v;
    }

    // To a byte boundary, and the whole bytes left in the bit buffer back to the input.
    bool toByteBoundary() {
        bits(bitsleft & 7);
        const unsigned bytes = bitsleft >> 3;
        if (bytes < overread) return false;
        in -= bytes - overread;
        overread = 0;
        bitbuf = 0;
        bitsleft = 0;
        return true;
    }

    bool header() {
        const std::uint32_t cmf = bits(8), flg = bits(8);
        if (short_()) return truncated();
        if ((cmf << 8 | flg) % 31 != 0) return fail(InflateResult::Damaged, "incorrect header check");
        if ((cmf & 15) != 8) return fail(InflateResult::Damaged, "unknown compression method");
        if ((cmf >> 4) > 7) return fail(InflateResult::Damaged, "invalid window size");
        if (flg & 0x20) {
            bits(16);
            bits(16);  // the dictionary's check value
            return short_() ? truncated() : fail(InflateResult::Damaged, "needs a preset dictionary");
        }
        mode = Mode::Block;
        return true;
    }

    bool block() {
        if (lastBlock) {
            mode = Mode::Check;
            return true;
        }
        lastBlock = bits(1) != 0;
        const std::uint32_t type = bits(2);
        if (short_()) return truncated();
        if (type == 0) {
            if (!toByteBoundary()) return truncated();
            const std::uint32_t length = bits(16), inverse = bits(16);
            if (short_()) return truncated();
            if (length != (~inverse & 0xffff)) return fail(InflateResult::Damaged, "invalid stored block lengths");
            if (!toByteBoundary()) return truncated();
            storedLeft = length;
            mode = Mode::Stored;
        } else if (type == 1) {
            litTable = fixedTables().literals;
            distTable = fixedTables().distances;
            mode = Mode::Codes;
        } else if (type == 2) {
            if (!dynamicTables()) return false;
            mode = Mode::Codes;
        } else {
            return fail(InflateResult::Damaged, "invalid block type");
        }
        return true;
    }

    bool dynamicTables() {
        static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        const unsigned literalCount = bits(5) + 257, distanceCount = bits(5) + 1, lengthCount = bits(4) + 4;
        if (short_()) return truncated();
        if (literalCount > 286 || distanceCount > 30)
            return fail(InflateResult::Damaged, "too many length or distance symbols");
        std::uint8_t lengths[286 + 30] = {};
        for (unsigned i = 0; i < lengthCount; ++i) lengths[kOrder[i]] = static_cast<std::uint8_t>(bits(3));
        if (short_()) return truncated();
        std::uint32_t lengthsTable[1 << kLengthsBits];
        if (!buildTable(lengths, 19, CodeKind::Lengths, kLengthsBits, lengthsTable, 1u << kLengthsBits))
            return fail(InflateResult::Damaged, "invalid code lengths set");
        const unsigned total = literalCount + distanceCount;
        std::fill(lengths, lengths + 19, 0);
        for (unsigned n = 0; n < total;) {
            if (bitsleft < kLengthsBits + 7) refill();
            const std::uint32_t e = lengthsTable[bitbuf & ((1u << kLengthsBits) - 1)];
            bitbuf >>= e & 0xff;
            bitsleft -= e & 0xff;
            const unsigned symbol = valueOf(e);
            if (symbol < 16) {
                if (short_()) return truncated();
                lengths[n++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint8_t value = 0;
            unsigned repeat;
            if (symbol == 16) {
                if (n == 0) return short_() ? truncated() : fail(InflateResult::Damaged, "invalid bit length repeat");
                value = lengths[n - 1];
                repeat = 3 + bits(2);
            } else if (symbol == 17) {
                repeat = 3 + bits(3);
            } else {
                repeat = 11 + bits(7);
            }
            if (short_()) return truncated();
            if (n + repeat > total) return fail(InflateResult::Damaged, "invalid bit length repeat");
            std::fill(lengths + n, lengths + n + repeat, value);
            n += repeat;
        }
        if (lengths[256] == 0) return fail(InflateResult::Damaged, "invalid code -- missing end-of-block");
        if (!buildTable(lengths, literalCount, CodeKind::Literals, kLitBits, literals, kLitEntries))
            return fail(InflateResult::Damaged, "invalid literal/lengths set");
        pairLiterals(literals);
        if (!buildTable(lengths + literalCount, distanceCount, CodeKind::Distances, kDistBits, distances, kDistEntries))
            return fail(InflateResult::Damaged, "invalid distances set");
        litTable = literals;
        distTable = distances;
        return true;
    }

    // Copies a stored block's bytes while there is room.
    bool stored() {
        while (storedLeft > 0 && pos < limit()) {
            if (in == inEnd && !pull()) return truncated();
            const std::size_t step = std::min<std::size_t>(
                {storedLeft, static_cast<std::size_t>(inEnd - in), static_cast<std::size_t>(limit() - pos)});
            std::memcpy(pos, in, step);
            pos += step;
            in += step;
            storedLeft -= static_cast<std::uint32_t>(step);
        }
        if (storedLeft == 0) mode = Mode::Block;
        return true;
    }

    bool codes();

    bool check() {
        adler = adler32Update(adler, checked, static_cast<std::size_t>(pos - checked));
        checked = pos;
        if (!toByteBoundary()) return truncated();
        std::uint32_t stored = 0;
        for (int i = 0; i < 4; ++i) stored = stored << 8 | bits(8);
        if (short_()) return truncated();
        if (stored != adler) return fail(InflateResult::Damaged, "incorrect data check");
        mode = Mode::Done;
        return true;
    }

    // Inflates until the span is full, the stream ends, or a fault.
    void run() {
        for (;;) {
            bool ok = true;
            switch (mode) {
                case Mode::Header: ok = header(); break;
                case Mode::Block: ok = block(); break;
                case Mode::Stored:
                    ok = stored();
                    if (ok && mode == Mode::Stored) return;
                    break;
                case Mode::Codes:
                    ok = codes();
                    if (ok && mode == Mode::Codes) return;
                    break;
                case Mode::Check: ok = check(); break;
                case Mode::Done:
                case Mode::Failed: return;
            }
            if (!ok) return;
        }
    }

    // Room for more: the last 32 KiB stay as the window, once everything is handed out.
    void slide() {
        adler = adler32Update(adler, checked, static_cast<std::size_t>(pos - checked));
        const std::size_t keep = std::min<std::size_t>(kWindow, static_cast<std::size_t>(pos - history));
        std::memmove(window.data(), pos - keep, keep);
        history = window.data();
        pos = given = checked = window.data() + keep;
        end = window.data() + kWindow + kSpan;
    }
};

// Copies a match of distance `Step` or more from `from` to `to`, `Step` bytes at a time, the first
// `Ahead` moves whatever its length; writes up to Step * Ahead - 1 bytes past `end`.
template <std::size_t Step, int Ahead>
inline void copyAhead(std::uint8_t* to, const std::uint8_t* from, const std::uint8_t* end) {
    for (int i = 0; i < Ahead; ++i) std::memcpy(to + i * Step, from + i * Step, Step);
    to += Step * Ahead;
    from += Step * Ahead;
    while (to < end) {
        std::memcpy(to, from, Step);
        to += Step;
        from += Step;
    }
}

// The symbols of a Huffman-coded block, until it ends or the span has no room for a longest
// match. One refill gives the bits of a whole literal/length code, its extra bits, a distance
// code and its extra bits (15 + 5 + 15 + 13 bits). The bit buffer lives in locals here: every
// byte written could otherwise alias the members, which would be read again after each. The
// next symbol's entry is looked up before a match is copied, so the two overlap.
bool Inflate::State::codes() {
    std::uint8_t* out = pos;
    std::uint8_t* const stop = this->stop();
    const std::uint32_t* const lit = litTable;
    const std::uint32_t* const dist = distTable;
    const std::uint8_t* next = in;
    // The fast refill reads eight bytes, which must all be there.
    const auto fastEndOf = [this] { return inEnd - std::min<std::ptrdiff_t>(inEnd - in, 8); };
    const std::uint8_t* fastEnd = fastEndOf();
    std::uint64_t buf = bitbuf;
    unsigned left = bitsleft;
    unsigned overreadBytes = overread;
    const auto take = [&](unsigned n) {
        buf >>= n;
        left -= n;
    };
    // The slow refill, near the input's end, works on the members.
    const auto refillSlowly = [&]() __attribute__((noinline)) {
        in = next;
        bitbuf = buf;
        bitsleft = left;
        refill();
        next = in;
        buf = bitbuf;
        left = bitsleft;
        overreadBytes = overread;
        fastEnd = fastEndOf();
    };
    const auto refillNow = [&]() __attribute__((always_inline)) {
        if (next < fastEnd) [[likely]] {
            buf |= load64(next) << left;
            next += (63 - left) >> 3;
            left |= 56;
        } else {
            refillSlowly();
        }
    };
    // Past the input's end: bits were taken that are not there.
    const auto over = [&] { return overreadBytes != 0 && left < overreadBytes * 8; };
    // The value of an entry that takes extra bits: its base and those bits.
    const auto withExtra = [&](std::uint32_t e) {
        return valueOf(e) + static_cast<std::size_t>((buf & ((std::uint64_t{1} << (e & 0xff)) - 1)) >> extraOf(e));
    };
    bool ok = true;
    refillNow();
    std::uint32_t e = lit[buf & ((1u << kLitBits) - 1)];
    while (out < stop) {
        if (e & kSubtable) {
            take(kLitBits);
            e = lit[valueOf(e) + (buf & ((1u << extraOf(e)) - 1))];
        }
        if (e & kLiteral) {
            // Up to two more root literals need no refill: 56 bits hold 15 + 12 + 12 and the
            // next entry's 12.
            for (int more = 0;; ++more) {
                take(e & 0xff);
                const std::uint32_t v = valueOf(e);
                if (over()) {
                    // The first of a pair may be all there.
                    if ((e & kPair) && left + (e & 0xff) - extraOf(e) >= overreadBytes * 8)
                        *out++ = static_cast<std::uint8_t>(v);
                    ok = truncated();
                    break;
                }
                out[0] = static_cast<std::uint8_t>(v);
                out[1] = static_cast<std::uint8_t>(v >> 8);
                out += (e & kPair) ? 2 : 1;
                // At least 17 bits are left: the next entry is whole.
                e = lit[buf & ((1u << kLitBits) - 1)];
                if (more == 2 || !(e & kLiteral)) break;
            }
            if (!ok) break;
            // A refill adds bits above those the entry came from: it stays as it is.
            refillNow();
            continue;
        }
        if (e & kExceptional) {
            take(e & 0xff);
            if (over()) {
                ok = truncated();
            } else if (e & kEndOfBlock) {
                mode = Mode::Block;
            } else {
                ok = fail(InflateResult::Damaged, "invalid literal/length code");
            }
            break;
        }
        const std::size_t length = withExtra(e);
        take(e & 0xff);
        std::uint32_t d = dist[buf & ((1u << kDistBits) - 1)];
        if (d & kSubtable) {
            take(kDistBits);
            d = dist[valueOf(d) + (buf & ((1u << extraOf(d)) - 1))];
        }
        if (d & kExceptional) {
            take(d & 0xff);
            ok = over() ? truncated() : fail(InflateResult::Damaged, "invalid distance code");
            break;
        }
        const std::size_t distance = withExtra(d);
        take(d & 0xff);
        if (over()) {
            ok = truncated();
            break;
        }
        if (distance > static_cast<std::size_t>(out - history)) {
            ok = fail(InflateResult::Damaged, "invalid distance too far back");
            break;
        }
        if (left >= kLitBits) {
            e = lit[buf & ((1u << kLitBits) - 1)];
            refillNow();
        } else {
            refillNow();
            e = lit[buf & ((1u << kLitBits) - 1)];
        }
        std::uint8_t* const end = out + length;
        const std::uint8_t* const from = out - distance;
        // Most matches are short: their first moves are made without asking, and the loop, with
        // its hard-to-guess end, only runs for a long one.
        if (distance >= 16) {
            copyAhead<16, 2>(out, from, end);
        } else if (distance >= 8) {
            copyAhead<8, 3>(out, from, end);
        } else {
            // The pattern of `distance` bytes repeated over eight, stored as far as it repeats.
            std::uint8_t pattern[8];
            for (std::size_t i = 0; i < 8; ++i) pattern[i] = from[i % distance];
            const std::size_t step = 8 - 8 % distance;
            std::uint8_t* to = out;
            do {
                std::memcpy(to, pattern, 8);
                to += step;
            } while (to < end);
        }
        out = end;
    }
    in = next;
    bitbuf = buf;
    bitsleft = left;
    pos = out;
    return ok;
}

Inflate::Inflate() : s_(std::make_unique<State>()) {}
Inflate::~Inflate() = default;

void Inflate::reset(InflateSource& source) {
    s_->start(nullptr, 0);
    s_->source = &source;
}

const char* Inflate::failure() const { return s_->why; }

InflateResult Inflate::read(std::uint8_t* to, std::size_t room, std::size_t& made) {
    State& s = *s_;
    made = 0;
    for (;;) {
        const std::size_t step = std::min(room - made, static_cast<std::size_t>(s.pos - s.given));
        if (step > 0) {
            if (s.given != to + made) std::memcpy(to + made, s.given, step);
            s.given += step;
            made += step;
        }
        if (made == room) return InflateResult::Full;
        if (s.mode == State::Mode::Done) return InflateResult::End;
        if (s.mode == State::Mode::Failed) return s.fault;
        if (s.pos >= s.stop()) s.slide();
        s.run();
    }
}

InflateResult Inflate::whole(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room,
                             std::size_t& made) {
    State& s = *s_;
    s.start(in, size);
    s.source = nullptr;
    if (room >= kDirectAtLeast) {
        s.history = s.pos = s.given = s.checked = out;
        s.end = out + room - kCopySlack;
    }
    return read(out, room, made);
}

}  // namespace kelvarin
