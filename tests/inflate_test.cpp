// Our inflate against zlib's on the streams zlib's own deflate makes, whole and damaged: the same
// bytes, the same verdict (ended, cut short, damaged) and the same words for a damage, however
// the input arrives and however the output is asked for.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "formats/adler32.h"
#include "formats/inflate.h"
#include "support/png_builder.h"

namespace kelvarin {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    InflateResult result = InflateResult::End;
    Bytes bytes;
    std::string why;
};

Outcome zlibInflate(const Bytes& stream, std::size_t room) {
    Outcome o;
    o.bytes.resize(room);
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<std::uint8_t*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = o.bytes.data();
    z.avail_out = static_cast<uInt>(room);
    const int status = inflate(&z, Z_NO_FLUSH);
    o.bytes.resize(room - z.avail_out);
    if (status == Z_STREAM_END) {
        o.result = InflateResult::End;
    } else if (status == Z_DATA_ERROR || status == Z_NEED_DICT) {
        o.result = InflateResult::Damaged;
        o.why = z.msg ? z.msg : "needs a preset dictionary";
    } else {
        o.result = InflateResult::Truncated;
    }
    // All that was asked for came, as ours says, whatever zlib found after it.
    if (z.avail_out == 0) {
        o.result = InflateResult::Full;
        o.why.clear();
    }
    inflateEnd(&z);
    return o;
}

// Hands the stream over in pieces of `piece` bytes.
class Pieces final : public InflateSource {
public:
    Pieces(const Bytes& data, std::size_t piece) : data_(data), piece_(piece) {}
    std::size_t pull(std::uint8_t* to, std::size_t room) override {
        const std::size_t step = std::min({room, piece_, data_.size() - at_});
        std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(at_), step, to);
        at_ += step;
        return step;
    }

private:
    const Bytes& data_;
    std::size_t piece_;
    std::size_t at_ = 0;
};

// Ours, the input pulled in pieces of `piece` bytes (0: the whole stream in memory) and the
// output asked for `ask` bytes at a time, up to `room` in all.
Outcome ourInflate(const Bytes& stream, std::size_t room, std::size_t piece, std::size_t ask) {
    Outcome o;
    Inflate inflate;
    o.bytes.resize(room);
    std::size_t made = 0;
    if (piece == 0) {
        o.result = inflate.whole(stream.data(), stream.size(), o.bytes.data(), room, made);
    } else {
        Pieces pieces(stream, piece);
        inflate.reset(pieces);
        o.result = InflateResult::Full;
        while (o.result == InflateResult::Full && made < room) {
            std::size_t got = 0;
            o.result = inflate.read(o.bytes.data() + made, std::min(ask, room - made), got);
            made += got;
        }
    }
    o.bytes.resize(made);
    if (o.result == InflateResult::Damaged) o.why = inflate.failure();
    return o;
}

Bytes made(std::size_t size, unsigned seed, const std::function<std::uint8_t(std::size_t, std::mt19937&)>& byte) {
    std::mt19937 random(seed);
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = byte(i, random);
    return data;
}

std::string describe(const Outcome& o) {
    static const char* const names[] = {"full", "end", "truncated", "damaged"};
    return std::string(names[static_cast<int>(o.result)]) + " after " + std::to_string(o.bytes.size()) + " bytes " + o.why;
}

void expectAlike(const Bytes& stream, std::size_t room, const std::string& what) {
    const Outcome theirs = zlibInflate(stream, room);
    for (const std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{65536}}) {
        for (const std::size_t ask : {std::size_t{997}, room}) {
            if (piece == 0 && ask != room) continue;
            const Outcome ours = ourInflate(stream, room, piece, ask);
            ASSERT_EQ(describe(ours), describe(theirs)) << what << ", pieces of " << piece << ", asked " << ask;
            ASSERT_TRUE(ours.bytes == theirs.bytes) << what << ", pieces of " << piece << ", asked " << ask;
        }
    }
}

TEST(Inflate, ReadsEveryStreamAndEveryDamageAsZlibDoes) {
    struct Kind {
        const char* name;
        std::size_t size;
        std::function<std::uint8_t(std::size_t, std::mt19937&)> byte;
    };
    const std::vector<Kind> kinds = {
        {"empty", 0, [](std::size_t, std::mt19937&) -> std::uint8_t { return 0; }},
        {"noise", 40000, [](std::size_t, std::mt19937& r) { return static_cast<std::uint8_t>(r()); }},
        {"smooth rows", 60000,
         [](std::size_t i, std::mt19937& r) {
             return static_cast<std::uint8_t>(i % 2 == 0 ? (i / 600) % 256 : r() % 5);
         }},
        {"short patterns", 50000,
         [](std::size_t i, std::mt19937& r) { return static_cast<std::uint8_t>(i % (3 + (i / 5000) % 6) + r() % 2 * (i % 31 == 0)); }},
        {"long runs", 70000, [](std::size_t i, std::mt19937&) { return static_cast<std::uint8_t>(i / 1000 % 3); }},
        {"text-like", 30000, [](std::size_t, std::mt19937& r) { return static_cast<std::uint8_t>("abcde fghij\n"[r() % 12]); }},
        // More than the span the inflater hands out from, so that its window slides.
        {"large and mixed", 700000,
         [](std::size_t i, std::mt19937& r) {
             return static_cast<std::uint8_t>(i / 20000 % 2 == 0 ? r() % 64 : (i * 7) % 253);
         }},
    };
    const std::vector<std::pair<int, int>> settings = {
        {0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY}, {6, Z_DEFAULT_STRATEGY}, {9, Z_DEFAULT_STRATEGY},
        {6, Z_HUFFMAN_ONLY},     {6, Z_RLE},              {6, Z_FIXED}};
    std::mt19937 random(2024);
    for (const Kind& kind : kinds) {
        const Bytes raw = made(kind.size, static_cast<unsigned>(kind.size), kind.byte);
        for (const auto& [level, strategy] : settings) {
            const Bytes stream = test::zlibStream(raw, level, strategy);
            const std::string what = std::string(kind.name) + " at level " + std::to_string(level) + " strategy " +
                                     std::to_string(strategy);
            expectAlike(stream, raw.size() + 100, what);
            ASSERT_EQ(ourInflate(stream, raw.size() + 100, 0, 0).bytes, raw) << what;
            // Exactly the bytes, and fewer: the stream's end is not needed for them.
            expectAlike(stream, raw.size(), what + ", exact room");
            if (raw.size() > 10) expectAlike(stream, raw.size() / 3, what + ", a third");
            if (kind.size > 100000) continue;  // its damages are the smaller kinds' damages
            for (int flip = 0; flip < 24; ++flip) {
                Bytes damaged = stream;
                // Half the flips in the first bytes, where the block headers and code tables are.
                const std::size_t reach = flip % 2 == 0 ? std::min<std::size_t>(damaged.size(), 80) : damaged.size();
                const std::size_t at = random() % reach;
                damaged[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
                expectAlike(damaged, raw.size() + 100, what + ", bit flipped at " + std::to_string(at));
            }
            for (int cut = 0; cut < 8; ++cut) {
                const std::size_t at = random() % stream.size();
                expectAlike(Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(at)), raw.size() + 100,
                            what + ", cut at " + std::to_string(at));
            }
        }
    }
}

// Streams no deflate makes but a hostile file can: each is refused as zlib refuses it.
TEST(Inflate, RefusesWhatZlibRefuses) {
    struct Case {
        const char* name;
        Bytes stream;
    };
    const std::vector<Case> cases = {
        {"header check", {0x78, 0x9d, 0x03, 0x00}},
        {"method", {0x79, 0x18, 0x03, 0x00}},
        {"window", {0x88, 0x98, 0x03, 0x00}},
        {"dictionary", {0x78, 0xbb, 0, 0, 0, 1, 0x03, 0x00}},
        {"block type 3", {0x78, 0x9c, 0x07, 0x00}},
        {"stored lengths", {0x78, 0x9c, 0x01, 0x05, 0x00, 0xfa, 0xfe, 1, 2, 3, 4, 5}},
        // A fixed block whose first symbol is a match: nothing to reach back to.
        {"too far back", {0x78, 0x9c, 0x03, 0x02, 0x00}},
        // A dynamic block claiming 30 + 257 literal/length codes.
        {"too many symbols", {0x78, 0x9c, 0xf5, 0x00, 0x00}},
        {"cut after the header", {0x78, 0x9c}},
        // A dynamic block cut inside the repeat bits of a first code length that repeats the one
        // before: cut short, though nothing came before (found by fuzz_png).
        {"cut inside a repeat with nothing before", {0x78, 0x01, 0x05, 0x6e, 0x94, 0x72, 0x76}},
        {"check value", {0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x02}},
    };
    for (const Case& c : cases) {
        const Outcome theirs = zlibInflate(c.stream, 1000);
        EXPECT_NE(theirs.result, InflateResult::End) << c.name << ": " << describe(theirs);
        expectAlike(c.stream, 1000, c.name);
    }
}

// The check value over every length around the sixteen-byte steps and the reductions, of bytes
// that make the sums largest and of any bytes, from any starting value, in one call or in pieces.
TEST(Inflate, AdlerChecksumsAsZlib) {
    std::mt19937 random(7);
    Bytes noise(200000);
    for (auto& b : noise) b = static_cast<std::uint8_t>(random());
    const Bytes highest(200000, 0xff);
    for (const Bytes* data : std::initializer_list<const Bytes*>{&noise, &highest}) {
        for (const std::size_t size : {0, 1, 15, 16, 17, 31, 33, 5552, 5553, 65535, 65536, 65537, 200000}) {
            for (const std::uint32_t start : {1u, 0xfff0fff0u, 0x12345678u % 65521u}) {
                const auto expected =
                    static_cast<std::uint32_t>(adler32(start, data->data(), static_cast<uInt>(size)));
                EXPECT_EQ(adler32Update(start, data->data(), size), expected) << size << " from " << start;
                const std::size_t cut = size / 3;
                EXPECT_EQ(adler32Update(adler32Update(start, data->data(), cut), data->data() + cut, size - cut), expected)
                    << size << " in two from " << start;
            }
        }
    }
}

}  // namespace
}  // namespace kelvarin
