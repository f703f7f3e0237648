// The runs-only deflate of PNG bands, read back by zlib's inflate: every kind of input, cut into
// pieces anywhere, joins into one stream that inflates to the input, no larger than the bound
// and, where zlib's own Z_RLE finds the same matches, about as small.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "formats/run_deflate.h"

namespace kelvarin {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The pieces deflated one after the other into one zlib stream, as the PNG writer joins its bands.
Bytes zlibStream(const Bytes& data, const std::vector<std::size_t>& cuts) {
    Bytes out{0x78, 0x01};
    std::size_t from = 0;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::size_t to = i < cuts.size() ? cuts[i] : data.size();
        const std::size_t at = out.size();
        out.resize(at + runDeflateBound(to - from));
        const std::size_t made = deflateRuns(std::span(data.data() + from, to - from), i == cuts.size(), out.data() + at);
        EXPECT_LE(made, runDeflateBound(to - from));
        out.resize(at + made);
        from = to;
    }
    const uLong adler = adler32(1, data.data(), static_cast<uInt>(data.size()));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(adler >> shift));
    return out;
}

// zlib's inflate over the whole stream: the bytes, or nothing when it is not one valid stream
// that ends exactly at its end.
std::optional<Bytes> inflated(const Bytes& stream, std::size_t expected) {
    Bytes out(expected + 1);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    const bool whole = status == Z_STREAM_END && z.avail_in == 0;
    out.resize(out.size() - z.avail_out);
    inflateEnd(&z);
    if (!whole) return std::nullopt;
    return out;
}

std::size_t zlibRunsSize(const Bytes& data) {
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_RLE);
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    const std::size_t size = out.size() - z.avail_out;
    deflateEnd(&z);
    return size;
}

Bytes made(std::size_t size, const std::function<std::uint8_t(std::size_t, std::mt19937&)>& byte) {
    std::mt19937 random(static_cast<unsigned>(size));
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = byte(i, random);
    return data;
}

TEST(RunDeflate, EveryInputCutAnywhereInflatesToItself) {
    // The 16-bit differences an Up filter leaves on a smooth map with a little noise.
    const auto smoothRows = [](std::size_t i, std::mt19937& r) -> std::uint8_t {
        return i % 2 == 0 ? (r() % 16 == 0 ? 0xFF : 0) : static_cast<std::uint8_t>(r() % 7 - 3);
    };
    struct Case {
        const char* name;
        Bytes data;
        // At most this many compressed bytes for each byte of zlib's own Z_RLE stream.
        double ofZlib;
    };
    const std::vector<Case> cases{
        {"empty", {}, 1.0},
        {"one byte", {7}, 1.0},
        {"two alike", {7, 7}, 1.0},
        {"shortest run", {9, 9, 9, 9}, 1.0},
        {"zeros", Bytes(300000, 0), 1.05},
        {"random", made(200000, [](std::size_t, std::mt19937& r) { return static_cast<std::uint8_t>(r()); }), 1.01},
        {"one of two values", made(100000, [](std::size_t, std::mt19937& r) { return static_cast<std::uint8_t>(r() % 2); }), 1.05},
        {"runs of every length",
         made(150000, [](std::size_t i, std::mt19937&) { return static_cast<std::uint8_t>((i * i / 4099) % 5); }), 1.1},
        {"runs across 258", made(120000, [](std::size_t i, std::mt19937&) { return static_cast<std::uint8_t>(i / 259 % 3); }), 1.1},
        {"smooth map differences", made(400000, smoothRows), 1.05},
        {"skewed (long codes)", made(250000, [](std::size_t i, std::mt19937& r) {
             const unsigned v = r();
             return static_cast<std::uint8_t>(v % 1000 == 0 ? (i * 31 + v) % 256 : v % 3);
         }), 1.05},
    };
    for (const Case& c : cases) {
        const std::size_t n = c.data.size();
        // Halves, a one-byte piece and an empty one, and a cut on each side of a block's end.
        const std::vector<std::vector<std::size_t>> cutsOf{
            {}, {n / 2}, {n / 3, n / 3 + 1, n / 3 + 1, 2 * n / 3}, {32767, 32769}};
        for (auto cuts : cutsOf) {
            for (std::size_t& cut : cuts) cut = std::min(cut, n);
            std::sort(cuts.begin(), cuts.end());
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(cuts.size()) + " cuts");
            const Bytes stream = zlibStream(c.data, cuts);
            const std::optional<Bytes> back = inflated(stream, n);
            ASSERT_TRUE(back.has_value());
            EXPECT_TRUE(*back == c.data);
            if (cuts.empty()) {
                // Blocks of their own size, each with its code: a few dozen bytes a block more.
                const double blocks = static_cast<double>(n / 32768 + 1);
                EXPECT_LE(static_cast<double>(stream.size()), c.ofZlib * static_cast<double>(zlibRunsSize(c.data)) + 32 * blocks);
            }
        }
    }
}

TEST(RunDeflate, RandomPiecesOfRandomRunsInflateToThemselves) {
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        const std::size_t size = random() % 70000;
        const unsigned values = 1 + random() % 256, runChance = random() % 100;
        Bytes data(size);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = i > 0 && random() % 100 < runChance ? data[i - 1] : static_cast<std::uint8_t>(random() % values);
        std::vector<std::size_t> cuts;
        for (unsigned k = random() % 4; k > 0 && size > 0; --k) cuts.push_back(random() % size);
        std::sort(cuts.begin(), cuts.end());
        SCOPED_TRACE("round " + std::to_string(round));
        const std::optional<Bytes> back = inflated(zlibStream(data, cuts), size);
        ASSERT_TRUE(back.has_value());
        EXPECT_TRUE(*back == data);
    }
}

}  // namespace
}  // namespace kelvarin
