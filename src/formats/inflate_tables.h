// The look-up tables of inflate's Huffman codes: how an entry holds a symbol, and the tables of
// a block's code lengths and of the fixed codes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin::inflate_codes {

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

enum class CodeKind { Lengths, Literals, Distances };

// Builds the look-up table of the canonical code with these code lengths, in `table` of
// `capacity` entries; false when zlib would not take them: over-subscribed, or incomplete other
// than a single code of one bit (or none at all) for literals or distances. A code-lengths code
// without codes reads every length as 0.
bool buildTable(const std::uint8_t* lengths, unsigned count, CodeKind kind, unsigned root, std::uint32_t* table,
                std::size_t capacity);
// Root entries of one short literal followed by another become pairs.
void pairLiterals(std::uint32_t* table);

struct FixedTables {
    std::uint32_t literals[kLitEntries];
    std::uint32_t distances[kDistEntries];
    FixedTables();
};
const FixedTables& fixedTables();

}  // namespace kelvarin::inflate_codes
