#include "formats/run_deflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace kelvarin {

namespace {

// The input of one block. Smaller blocks follow the bytes' statistics more closely, larger ones
// spend less on code tables; a stored block holds at most 65535 bytes.
constexpr std::size_t kBlockBytes = std::size_t{1} << 14;
constexpr int kMinRun = 3;
constexpr int kMaxRun = 258;
constexpr int kEndOfBlock = 256;
constexpr int kLiteralLengthCodes = 286;
constexpr int kCodeLengthCodes = 19;
constexpr int kLongestCode = 15;
constexpr int kLongestCodeLengthCode = 7;
// The order the code-length code's lengths are sent in.
constexpr std::array<std::uint8_t, kCodeLengthCodes> kCodeLengthOrder{16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                                      11, 4, 12, 3, 13, 2, 14, 1, 15};

// A match length's code (257 to 285) and the extra bits that follow it.
struct LengthCode {
    std::uint16_t symbol = 0;
    std::uint8_t extraBits = 0;
    std::uint8_t extra = 0;
};

constexpr std::array<LengthCode, kMaxRun + 1> makeLengthCodes() {
    constexpr std::array<int, 29> base{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    constexpr std::array<int, 29> extraBits{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::array<LengthCode, kMaxRun + 1> codes{};
    for (int length = kMinRun; length <= kMaxRun; ++length) {
        int c = 28;
        while (base[c] > length) --c;
        codes[length] = {static_cast<std::uint16_t>(257 + c), static_cast<std::uint8_t>(extraBits[c]),
                         static_cast<std::uint8_t>(length - base[c])};
    }
    return codes;
}

constexpr std::array<LengthCode, kMaxRun + 1> kLengthCodes = makeLengthCodes();

// Bits leave least significant first, as deflate packs them.
class BitWriter {
public:
    explicit BitWriter(std::uint8_t* out) : out_(out) {}
    // `count` (up to 32) bits of `value`, whose higher bits are zero.
    void put(std::uint32_t value, int count) {
        bits_ |= std::uint64_t{value} << filled_;
        filled_ += count;
        if (filled_ >= 32) {
            for (int i = 0; i < 4; ++i) *out_++ = static_cast<std::uint8_t>(bits_ >> (8 * i));
            bits_ >>= 32;
            filled_ -= 32;
        }
    }
    // Pads to a byte boundary with zeros and writes out every bit held.
    void align() {
        while (filled_ > 0) {
            *out_++ = static_cast<std::uint8_t>(bits_);
            bits_ >>= 8;
            filled_ -= 8;
        }
        bits_ = 0;
        filled_ = 0;
    }
    void bytes(const std::uint8_t* data, std::size_t count) {
        std::memcpy(out_, data, count);
        out_ += count;
    }
    std::uint8_t* position() const { return out_; }

private:
    std::uint8_t* out_;
    std::uint64_t bits_ = 0;
    int filled_ = 0;
};

// The lengths of a Huffman code for `frequency` no longer than `longest` bits, 0 for a symbol
// that never occurs. Where fewer than two symbols occur, two get a length of 1, so that every
// code sent is complete (zlib refuses an incomplete code-length code).
void codeLengths(const std::uint32_t* frequency, int symbols, int longest, std::uint8_t* lengths) {
    // The symbols that occur, lightest first, ties in symbol order (so the code is the same
    // everywhere): sorted by their weights' two bytes in turn, each pass keeping the order of the
    // one before. A weight counts symbols of one block, a code length's those of 288 lengths.
    static_assert(kBlockBytes < (std::size_t{1} << 16), "weights of two bytes");
    std::array<std::uint16_t, kLiteralLengthCodes> order, sorted;
    int used = 0;
    for (int s = 0; s < symbols; ++s) {
        lengths[s] = 0;
        if (frequency[s] != 0) order[used++] = static_cast<std::uint16_t>(s);
    }
    if (used < 2) {
        const int first = used == 1 ? order[0] : 0;
        lengths[first] = 1;
        lengths[first == 0 ? 1 : 0] = 1;
        return;
    }
    for (int shift = 0; shift < 16; shift += 8) {
        std::array<int, 257> start{};
        for (int i = 0; i < used; ++i) ++start[((frequency[order[i]] >> shift) & 0xFF) + 1];
        for (int b = 0; b < 256; ++b) start[b + 1] += start[b];
        for (int i = 0; i < used; ++i) sorted[start[(frequency[order[i]] >> shift) & 0xFF]++] = order[i];
        order = sorted;
    }
    // The depths of an optimal code, in place over the sorted weights (Moffat and Katajainen,
    // "In-place calculation of minimum-redundancy codes"): A[i] ends as the depth of the i-th
    // lightest symbol.
    std::array<std::uint32_t, kLiteralLengthCodes> A;
    for (int i = 0; i < used; ++i) A[i] = frequency[order[i]];
    const int n = used;
    A[0] += A[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < n - 1; ++next) {
        if (leaf >= n || A[root] < A[leaf]) {
            A[next] = A[root];
            A[root++] = static_cast<std::uint32_t>(next);
        } else {
            A[next] = A[leaf++];
        }
        if (leaf >= n || (root < next && A[root] < A[leaf])) {
            A[next] += A[root];
            A[root++] = static_cast<std::uint32_t>(next);
        } else {
            A[next] += A[leaf++];
        }
    }
    A[n - 2] = 0;
    for (int next = n - 3; next >= 0; --next) A[next] = A[A[next]] + 1;
    int available = 1, taken = 0, depth = 0;
    root = n - 2;
    int next = n - 1;
    while (available > 0) {
        while (root >= 0 && A[root] == static_cast<std::uint32_t>(depth)) {
            ++taken;
            --root;
        }
        while (available > taken) {
            A[next--] = static_cast<std::uint32_t>(depth);
            --available;
        }
        available = 2 * taken;
        ++depth;
        taken = 0;
    }
    // Codes longer than allowed: a pair of the deepest leaves becomes one leaf a level up, and a
    // shallower leaf becomes the parent of the other and itself (JPEG's Annex K.3); the code
    // stays complete.
    std::array<int, kLiteralLengthCodes + 1> count{};
    for (int i = 0; i < n; ++i) ++count[A[i]];
    for (int bits = n; bits > longest; --bits) {
        while (count[bits] > 0) {
            int shallower = bits - 2;
            while (count[shallower] == 0) --shallower;
            count[bits] -= 2;
            count[bits - 1] += 1;
            count[shallower + 1] += 2;
            count[shallower] -= 1;
        }
    }
    // The longest codes to the rarest symbols.
    int i = 0;
    for (int bits = longest; bits >= 1; --bits)
        for (int k = 0; k < count[bits]; ++k) lengths[order[i++]] = static_cast<std::uint8_t>(bits);
}

constexpr std::array<std::uint8_t, 256> makeReversedBytes() {
    std::array<std::uint8_t, 256> reversed{};
    for (int b = 0; b < 256; ++b)
        for (int bit = 0; bit < 8; ++bit)
            if (b & (1 << bit)) reversed[b] = static_cast<std::uint8_t>(reversed[b] | (0x80 >> bit));
    return reversed;
}

constexpr std::array<std::uint8_t, 256> kReversedBytes = makeReversedBytes();

// The canonical codes of `lengths` (RFC 1951, 3.2.2), bit-reversed as deflate sends them.
void canonicalCodes(const std::uint8_t* lengths, int symbols, std::uint16_t* codes) {
    std::array<std::uint16_t, kLongestCode + 2> count{}, next{};
    for (int s = 0; s < symbols; ++s) ++count[lengths[s]];
    count[0] = 0;
    for (int bits = 1, code = 0; bits <= kLongestCode; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = static_cast<std::uint16_t>(code);
    }
    for (int s = 0; s < symbols; ++s) {
        const int bits = lengths[s];
        if (bits == 0) continue;
        const std::uint32_t code = next[bits]++;
        const std::uint32_t reversed = std::uint32_t{kReversedBytes[code & 0xFF]} << 8 | kReversedBytes[code >> 8];
        codes[s] = static_cast<std::uint16_t>(reversed >> (16 - bits));
    }
}

// The code lengths of a block as the code-length code sends them: a symbol 0 to 18 each, with
// the repeat count of 16, 17 and 18 in `extra`.
struct LengthRuns {
    std::array<std::uint8_t, kLiteralLengthCodes + 32> symbol{}, extra{};
    int count = 0;
    std::array<std::uint32_t, kCodeLengthCodes> frequency{};

    void add(int s, int e) {
        symbol[count] = static_cast<std::uint8_t>(s);
        extra[count++] = static_cast<std::uint8_t>(e);
        ++frequency[s];
    }
    explicit LengthRuns(const std::uint8_t* lengths, int total) {
        for (int i = 0; i < total;) {
            const int value = lengths[i];
            int run = 1;
            while (i + run < total && lengths[i + run] == value) ++run;
            i += run;
            if (value == 0) {
                for (; run >= 11; run -= std::min(run, 138)) add(18, std::min(run, 138) - 11);
                if (run >= 3) {
                    add(17, run - 3);
                    run = 0;
                }
            } else {
                add(value, 0);
                --run;
                for (; run >= 3; run -= std::min(run, 6)) add(16, std::min(run, 6) - 3);
            }
            for (; run > 0; --run) add(value, 0);
        }
    }
};

// A stored block of `size` bytes (at most 65535; none for the empty block that only ends on a
// byte boundary).
void writeStored(BitWriter& out, const std::uint8_t* data, std::size_t size, bool final) {
    out.put(final ? 1 : 0, 3);
    out.align();
    const std::uint8_t head[4] = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                  static_cast<std::uint8_t>(~size), static_cast<std::uint8_t>(~size >> 8)};
    out.bytes(head, sizeof head);
    if (size != 0) out.bytes(data, size);
}

constexpr int extraBitsOf(int codeLengthSymbol) {
    return codeLengthSymbol == 16 ? 2 : codeLengthSymbol == 17 ? 3 : codeLengthSymbol == 18 ? 7 : 0;
}

// One block: `data` as literals and runs, in `tokens` (a literal's byte, or 256 + length - 3).
void writeBlock(BitWriter& out, const std::uint8_t* data, std::size_t size, const std::uint8_t* before, bool final,
                std::uint16_t* tokens) {
    std::array<std::uint32_t, kLiteralLengthCodes> frequency{};
    std::uint64_t extraBits = 0;
    std::size_t matches = 0, count = 0;
    // The byte before the block (none before a piece's first: no match reaches back past it).
    int previous = before != nullptr ? *before : -1;
    for (std::size_t i = 0; i < size; previous = data[i - 1]) {
        const std::uint8_t byte = data[i];
        if (previous == byte) {
            const std::size_t limit = std::min<std::size_t>(kMaxRun, size - i);
            std::size_t run = 1;
            while (run < limit && data[i + run] == byte) ++run;
            if (run >= kMinRun) {
                const LengthCode& code = kLengthCodes[run];
                ++frequency[code.symbol];
                extraBits += code.extraBits;
                ++matches;
                tokens[count++] = static_cast<std::uint16_t>(256 + run - kMinRun);
                i += run;
                continue;
            }
        }
        ++frequency[byte];
        tokens[count++] = byte;
        ++i;
    }
    frequency[kEndOfBlock] = 1;

    std::array<std::uint8_t, kLiteralLengthCodes> lengths{};
    codeLengths(frequency.data(), kLiteralLengthCodes, kLongestCode, lengths.data());
    int literalCodes = kLiteralLengthCodes;
    while (literalCodes > 257 && lengths[literalCodes - 1] == 0) --literalCodes;
    // The lengths sent: the literal and length codes', then two distance codes of one bit (only
    // distance 1, code 0, is used, and a complete code reads alike in every decoder).
    std::array<std::uint8_t, kLiteralLengthCodes + 2> sent{};
    std::copy(lengths.begin(), lengths.begin() + literalCodes, sent.begin());
    sent[literalCodes] = 1;
    sent[literalCodes + 1] = 1;
    const LengthRuns runs(sent.data(), literalCodes + 2);
    std::array<std::uint8_t, kCodeLengthCodes> runLengths{};
    codeLengths(runs.frequency.data(), kCodeLengthCodes, kLongestCodeLengthCode, runLengths.data());
    int sentLengths = kCodeLengthCodes;
    while (sentLengths > 4 && runLengths[kCodeLengthOrder[sentLengths - 1]] == 0) --sentLengths;

    std::uint64_t bits = 3 + 5 + 5 + 4 + 3 * static_cast<std::uint64_t>(sentLengths) + extraBits + matches;
    for (int s = 0; s < kCodeLengthCodes; ++s)
        bits += std::uint64_t{runs.frequency[s]} * (runLengths[s] + static_cast<unsigned>(extraBitsOf(s)));
    for (int s = 0; s < kLiteralLengthCodes; ++s) bits += std::uint64_t{frequency[s]} * lengths[s];
    if (bits >= 3 + 7 + 32 + 8 * std::uint64_t{size}) return writeStored(out, data, size, final);

    out.put((final ? 1 : 0) | (2 << 1), 3);  // dynamic Huffman codes
    out.put(static_cast<std::uint32_t>(literalCodes - 257), 5);
    out.put(2 - 1, 5);
    out.put(static_cast<std::uint32_t>(sentLengths - 4), 4);
    for (int i = 0; i < sentLengths; ++i) out.put(runLengths[kCodeLengthOrder[i]], 3);
    std::array<std::uint16_t, kCodeLengthCodes> runCodes{};
    canonicalCodes(runLengths.data(), kCodeLengthCodes, runCodes.data());
    for (int i = 0; i < runs.count; ++i) {
        const int s = runs.symbol[i];
        out.put(runCodes[s], runLengths[s]);
        if (extraBitsOf(s) != 0) out.put(runs.extra[i], extraBitsOf(s));
    }

    std::array<std::uint16_t, kLiteralLengthCodes> codes;  // those of the symbols that occur
    canonicalCodes(lengths.data(), kLiteralLengthCodes, codes.data());
    // A run's whole code at once (for the run lengths that occur): its length code, the extra
    // bits, and distance code 0 (one 0 bit).
    std::array<std::uint32_t, kMaxRun - kMinRun + 1> runCode;
    std::array<std::uint8_t, kMaxRun - kMinRun + 1> runBits;
    for (int run = kMinRun; run <= kMaxRun; ++run) {
        const LengthCode& code = kLengthCodes[run];
        if (frequency[code.symbol] == 0) continue;
        runCode[run - kMinRun] = codes[code.symbol] | (std::uint32_t{code.extra} << lengths[code.symbol]);
        runBits[run - kMinRun] = static_cast<std::uint8_t>(lengths[code.symbol] + code.extraBits + 1);
    }
    // A copy of the writer that nothing else can reach stays in registers: writes through the
    // output bytes could otherwise be the writer's own fields, for all the compiler knows.
    BitWriter writer = out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t token = tokens[i];
        if (token < 256)
            writer.put(codes[token], lengths[token]);
        else
            writer.put(runCode[token - 256], runBits[token - 256]);
    }
    writer.put(codes[kEndOfBlock], lengths[kEndOfBlock]);
    out = writer;
}

}  // namespace

std::size_t runDeflateBound(std::size_t size) {
    // Each block no larger than stored, and the empty stored block that ends a piece.
    const std::size_t blocks = std::max<std::size_t>(1, (size + kBlockBytes - 1) / kBlockBytes);
    return size + 5 * blocks + 16;
}

std::size_t deflateRuns(std::span<const std::uint8_t> data, bool last, std::uint8_t* out) {
    BitWriter bits(out);
    if (!data.empty()) {
        const auto tokens = std::make_unique_for_overwrite<std::uint16_t[]>(std::min(kBlockBytes, data.size()));
        for (std::size_t at = 0; at < data.size(); at += kBlockBytes) {
            const std::size_t size = std::min(kBlockBytes, data.size() - at);
            writeBlock(bits, data.data() + at, size, at == 0 ? nullptr : data.data() + at - 1,
                       last && at + size == data.size(), tokens.get());
        }
    }
    // An empty stored block: final for an empty stream, else the byte boundary to go on from.
    if (data.empty() || !last) writeStored(bits, nullptr, 0, last);
    bits.align();
    return static_cast<std::size_t>(bits.position() - out);
}

}  // namespace kelvarin
