#include "formats/inflate.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "formats/adler32.h"
#include "formats/inflate_state.h"

namespace kelvarin {

using namespace inflate_codes;

// More input into the buffer, keeping the bytes the bit buffer may give back.
bool Inflate::State::pull() {
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

// Never 64 bits: the fast refill shifts its word by the bits there.
void Inflate::State::refill() {
    if (inEnd - in >= 8) {
        refillFrom(in, bitbuf, bitsleft);
        return;
    }
    while (bitsleft < 56) {
        if (in == inEnd && !pull()) {
            ++overread;
        } else {
            bitbuf |= std::uint64_t{*in++} << bitsleft;
        }
        bitsleft += 8;
    }
}

std::uint32_t Inflate::State::bits(unsigned n) {
    if (bitsleft < n) refill();
    const auto v = static_cast<std::uint32_t>(bitbuf & ((std::uint64_t{1} << n) - 1));
    bitbuf >>= n;
    bitsleft -= n;
    return v;
}

// To a byte boundary, and the whole bytes left in the bit buffer back to the input.
bool Inflate::State::toByteBoundary() {
    bits(bitsleft & 7);
    const unsigned bytes = bitsleft >> 3;
    if (bytes < overread) return false;
    in -= bytes - overread;
    overread = 0;
    bitbuf = 0;
    bitsleft = 0;
    return true;
}

bool Inflate::State::header() {
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

bool Inflate::State::block() {
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

bool Inflate::State::dynamicTables() {
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
        // The repeat's own bits come first: a stream cut inside them is cut short, as zlib says,
        // even where there is nothing to repeat.
        if (symbol == 16) {
            repeat = 3 + bits(2);
        } else if (symbol == 17) {
            repeat = 3 + bits(3);
        } else {
            repeat = 11 + bits(7);
        }
        if (short_()) return truncated();
        if (symbol == 16) {
            if (n == 0) return fail(InflateResult::Damaged, "invalid bit length repeat");
            value = lengths[n - 1];
        }
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
bool Inflate::State::stored() {
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

bool Inflate::State::check() {
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
void Inflate::State::run() {
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
void Inflate::State::slide() {
    adler = adler32Update(adler, checked, static_cast<std::size_t>(pos - checked));
    const std::size_t keep = std::min<std::size_t>(kWindow, static_cast<std::size_t>(pos - history));
    std::memmove(window.get(), pos - keep, keep);
    history = window.get();
    pos = given = checked = window.get() + keep;
    end = window.get() + kWindow + kSpan;
}

Inflate::Inflate() = default;
Inflate::~Inflate() = default;

// The buffers and tables are made at the first stream, not before: most owners of an inflate
// never inflate.
bool Inflate::ready() {
    if (s_) return true;
    try {
        s_ = std::make_unique<State>();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void Inflate::reset(InflateSource& source) {
    if (!ready()) return;
    s_->start(nullptr, 0);
    s_->source = &source;
}

const char* Inflate::failure() const { return s_ ? s_->why : ""; }

InflateResult Inflate::read(std::uint8_t* to, std::size_t room, std::size_t& made) {
    made = 0;
    if (!s_) return InflateResult::NoMemory;
    State& s = *s_;
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
    made = 0;
    if (!ready()) return InflateResult::NoMemory;
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
