// The loop over a Huffman-coded block's symbols: where inflating spends its time.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "formats/inflate_state.h"

namespace kelvarin {

using namespace inflate_codes;

namespace {

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

}  // namespace

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
    // The slow refill, near the input's end, works on the members. The locals go to it and
    // come back by value: a call that held their addresses would keep them in memory for the
    // whole loop, not in registers.
    struct Bits {
        const std::uint8_t* next;
        std::uint64_t buf;
        unsigned left;
    };
    const auto refillSlowly = [this](Bits bits) __attribute__((noinline)) {
        in = bits.next;
        bitbuf = bits.buf;
        bitsleft = bits.left;
        refill();
        return Bits{in, bitbuf, bitsleft};
    };
    // Careful: near the input's end, where a refill may have to pull more or run past the end;
    // else every refill is a fast one, and no bit taken can lie past the end.
    const auto refillNow = [&](auto careful) __attribute__((always_inline)) {
        if (!decltype(careful)::value || next < fastEnd) [[likely]] {
            refillFrom(next, buf, left);
        } else {
            const Bits bits = refillSlowly(Bits{next, buf, left});
            next = bits.next;
            buf = bits.buf;
            left = bits.left;
            overreadBytes = overread;
            fastEnd = fastEndOf();
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

}  // namespace kelvarin
