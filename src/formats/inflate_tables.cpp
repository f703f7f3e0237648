#include "formats/inflate_tables.h"

#include <algorithm>

namespace kelvarin::inflate_codes {

namespace {

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                         33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

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

// The low `len` bits of `code`, most significant first: how the stream holds a code.
unsigned reversedBits(unsigned code, unsigned len) {
    code = (code & 0x5555u) << 1 | (code >> 1 & 0x5555u);
    code = (code & 0x3333u) << 2 | (code >> 2 & 0x3333u);
    code = (code & 0x0f0fu) << 4 | (code >> 4 & 0x0f0fu);
    code = (code & 0x00ffu) << 8 | (code >> 8 & 0x00ffu);
    return code >> (16 - len);
}

}  // namespace

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

    // A complete code fills the root table a length at a time: the table so far, as wide as the
    // codes before, is doubled, and each code of the new length is placed once. An incomplete
    // code (one code of one bit) is placed at every entry it fills, the rest invalid.
    const bool complete = left == 0;
    if (!complete) std::fill(table, table + rootSize, kInvalid);
    table[0] = kInvalid;  // what the first doubling copies, for a code with no code of one bit
    std::size_t width = 1;
    unsigned code = 0, codeLength = 0, placed = 0;
    std::size_t next = rootSize, subStart = 0;
    unsigned subBits = 0, prefix = ~0u;
    unsigned remaining[16];
    std::copy(counts, counts + 16, remaining);
    for (unsigned len = 1; len <= longest; ++len) {
        if (complete && len <= root) {
            std::copy(table, table + width, table + width);
            width *= 2;
        }
        for (unsigned k = 0; k < counts[len]; ++k, ++placed) {
            const unsigned symbol = sorted[placed];
            code <<= len - codeLength;
            codeLength = len;
            const unsigned reversed = reversedBits(code, len);
            const std::uint32_t e = entryFor(kind, symbol);
            if (len <= root && complete) {
                table[reversed] = sized(e, len);
            } else if (len <= root) {
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
                    table[prefix] =
                        kExceptional | kSubtable | entry(static_cast<std::uint32_t>(subStart), subBits) | root;
                }
                const std::size_t stride = std::size_t{1} << (len - root);
                for (std::size_t i = reversed >> root; i < (std::size_t{1} << subBits); i += stride)
                    table[subStart + i] = sized(e, len - root);
            }
            --remaining[len];
            ++code;
        }
    }
    // A code shorter than the root: the table so far, doubled up to the root.
    for (; complete && width < rootSize; width *= 2) std::copy(table, table + width, table + width);
    return true;
}

void pairLiterals(std::uint32_t* table) {
    // Downwards: the entry of the bits after a code lies lower, so it is still a single one when
    // it is read. Without branches, since whether an entry pairs is as good as random.
    for (unsigned i = 1u << kLitBits; i-- > 0;) {
        const std::uint32_t first = table[i];
        const unsigned firstBits = first & 0xff;
        const std::uint32_t second = table[i >> (firstBits & 31)];
        const unsigned bits = firstBits + (second & 0xff);
        const bool pair = (first & second & kLiteral) && firstBits < kLitBits && bits <= kLitBits;
        const std::uint32_t paired = kLiteral | kPair | entry(valueOf(first) | valueOf(second) << 8, firstBits) | bits;
        table[i] = pair ? paired : first;
    }
}

FixedTables::FixedTables() {
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

const FixedTables& fixedTables() {
    static const FixedTables tables;
    return tables;
}

}  // namespace kelvarin::inflate_codes
