#include "formats/inflate.h"

#include "formats/adler32.h"
#include "formats/inflate_tables.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

namespace kelvarin {

using namespace inflate_codes;

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

std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

}  // namespace

struct Inflate::State {
    enum class Mode { Header, Block, Stored, Codes, Check, Done, Failed };

    // Buffers and tables are not cleared: nothing is read from them before it is written.
    State() {}

    InflateSource* source = nullptr;
    std::unique_ptr<std::uint8_t[]> input{new std::uint8_t[kLookBehind + kInputBlock]};
    const std::uint8_t* in = nullptr;
    const std::uint8_t* inEnd = nullptr;
    const std::uint8_t* inStart = nullptr;
    unsigned overread = 0;  // zero bytes put in the bit buffer past the input's end
    std::uint64_t bitbuf = 0;
    unsigned bitsleft = 0;

    std::unique_ptr<std::uint8_t[]> window{new std::uint8_t[kWindow + kSpan + kCopySlack]};
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
        history = pos = given = checked = window.get();
        end = window.get() + kWindow + kSpan;
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
        if (keep > 0) std::memmove(input.get(), in - keep, keep);
        const std::size_t got = source->pull(input.get() + keep, kInputBlock);
        inStart = input.get();
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
        std::memmove(window.get(), pos - keep, keep);
        history = window.get();
        pos = given = checked = window.get() + keep;
        end = window.get() + kWindow + kSpan;
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
    // Careful: near the input's end, where a refill may have to pull more or run past the end;
    // else every refill is a fast one, and no bit taken can lie past the end.
    const auto refillNow = [&](auto careful) __attribute__((always_inline)) {
        if (!decltype(careful)::value || next < fastEnd) [[likely]] {
            buf |= load64(next) << left;
            next += (63 - left) >> 3;
            left |= 56;
        } else {
            refillSlowly();
        }
    };
    // Past the input's end: bits were taken that are not there.
    const auto overIf = [&](auto careful) __attribute__((always_inline)) {
        return decltype(careful)::value && overreadBytes != 0 && left < overreadBytes * 8;
    };
    // The value of an entry that takes extra bits: its base and those bits.
    const auto withExtra = [&](std::uint32_t e) {
        return valueOf(e) + static_cast<std::size_t>((buf & ((std::uint64_t{1} << (e & 0xff)) - 1)) >> extraOf(e));
    };
    bool ok = true;
    refillNow(std::true_type{});
    std::uint32_t e = lit[buf & ((1u << kLitBits) - 1)];
    // One symbol, or up to three literals, and the refill for what follows; false at the block's
    // end or a fault. A fast step needs at most one refill, so it needs eight bytes of input.
    const auto step = [&](auto careful) __attribute__((always_inline)) -> bool {
        const auto over = [&] { return overIf(careful); };
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
            if (!ok) return false;
            // A refill adds bits above those the entry came from: it stays as it is.
            refillNow(careful);
            return true;
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
            return false;
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
            return false;
        }
        const std::size_t distance = withExtra(d);
        take(d & 0xff);
        if (over()) {
            ok = truncated();
            return false;
        }
        if (distance > static_cast<std::size_t>(out - history)) {
            ok = fail(InflateResult::Damaged, "invalid distance too far back");
            return false;
        }
        if (left >= kLitBits) {
            e = lit[buf & ((1u << kLitBits) - 1)];
            refillNow(careful);
        } else {
            refillNow(careful);
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
            const std::size_t stride = 8 - 8 % distance;
            std::uint8_t* to = out;
            do {
                std::memcpy(to, pattern, 8);
                to += stride;
            } while (to < end);
        }
        out = end;
        return true;
    };
    while (out < stop) {
        const bool more = next < fastEnd && overreadBytes == 0 ? step(std::false_type{}) : step(std::true_type{});
        if (!more) break;
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
