// The image data stream read with and without the thread that inflates ahead: the same bytes,
// and the same first fault at the same place, for a whole stream and for streams damaged in
// each of the ways a file can be.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "formats/byte_source.h"
#include "formats/png_inflate.h"
#include "support/png_builder.h"

namespace kelvarin {
namespace {

using test::PngBytes;

// Several blocks of the thread's size, so the wait for a free block is met too.
constexpr std::size_t kRowBytes = 1 + 3000;
constexpr std::size_t kRows = 2500;
constexpr std::size_t kChunkData = 8192;

PngBytes rawImage() {
    PngBytes raw(kRowBytes * kRows);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        state = state * 1103515245u + 12345u;
        raw[i] = static_cast<std::uint8_t>((i % 97) + ((state >> 16) & 7));
    }
    return raw;
}

// A file whose image data is `stream` cut into IDAT chunks; `damage` changes the chunks
// before they are put together.
PngBytes fileOf(const PngBytes& stream, const std::function<void(std::vector<PngBytes>&)>& damage = {},
                std::size_t chunkData = kChunkData) {
    std::vector<PngBytes> chunks;
    for (std::size_t at = 0; at < stream.size(); at += chunkData) {
        const std::size_t end = std::min(stream.size(), at + chunkData);
        chunks.push_back(test::pngChunk("IDAT", PngBytes(stream.begin() + at, stream.begin() + end)));
    }
    if (damage) damage(chunks);
    return test::pngFile(test::pngHeaderData(1500, kRows, 16, 0), chunks);
}

// What a reader of rows met: the bytes of the rows it got, and the fault that stopped it.
struct Outcome {
    PngBytes bytes;
    std::string fault;
    bool finished = false;
};

Outcome readAll(const PngBytes& file, bool ahead, std::size_t rowBytes = kRowBytes, std::size_t rows = kRows) {
    MemoryBytes source(file.data(), file.size());
    PngInflate stream(source, 33, rowBytes * rows, ahead);
    Outcome outcome;
    if (!stream.restart()) return {{}, stream.failure(), false};
    // Two passes, as the job's analysis and conversion make; the second one is what counts.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1 && !stream.restart()) return {{}, stream.failure(), false};
        outcome = Outcome{};
        PngBytes row(rowBytes);
        std::size_t r = 0;
        for (; r < rows && stream.read(row.data(), row.size()); ++r)
            outcome.bytes.insert(outcome.bytes.end(), row.begin(), row.end());
        if (r < rows) {
            outcome.fault = stream.failure();
            continue;
        }
        outcome.finished = stream.finish();
        if (!outcome.finished) outcome.fault = stream.failure();
    }
    return outcome;
}

struct Damage {
    const char* name;
    std::function<PngBytes(const PngBytes& raw)> file;
    const char* fault;  // empty: the stream is whole
};

PngBytes withTail(PngBytes raw, std::size_t extra) {
    raw.resize(raw.size() + extra, 0);
    return raw;
}

void expectSame(const Outcome& got, const Outcome& reference) {
    EXPECT_EQ(got.fault, reference.fault);
    EXPECT_EQ(got.finished, reference.finished);
    EXPECT_TRUE(got.bytes == reference.bytes) << got.bytes.size() << " against " << reference.bytes.size();
}

TEST(PngInflate, AheadAndInPlaceMeetTheSameBytesAndTheSameFirstFault) {
    const PngBytes raw = rawImage();
    const PngBytes stream = test::zlibStream(raw);
    const std::vector<Damage> damages{
        {"whole", [&](const PngBytes&) { return fileOf(stream); }, ""},
        {"padded within the allowance", [&](const PngBytes& r) { return fileOf(test::zlibStream(withTail(r, 1000))); },
         ""},
        {"bad CRC late", [&](const PngBytes&) { return fileOf(stream, [](auto& c) { c[c.size() / 2].back() ^= 1; }); },
         "Bad CRC in chunk IDAT."},
        {"bad CRC in the last chunk",
         [&](const PngBytes&) { return fileOf(stream, [](auto& c) { c.back().back() ^= 1; }); }, "Bad CRC in chunk IDAT."},
        {"short stream",
         [&](const PngBytes& r) { return fileOf(test::zlibStream(PngBytes(r.begin(), r.end() - 5 * kRowBytes))); },
         "The image data inflates to fewer bytes than the image needs."},
        {"long stream", [&](const PngBytes& r) { return fileOf(test::zlibStream(withTail(r, 200000))); },
         "The image data inflates to more bytes than the image needs."},
        {"chunks missing at the end",
         [&](const PngBytes&) { return fileOf(stream, [](auto& c) { c.resize(c.size() * 3 / 4); }); },
         "The image data ends before the image does."},
        {"damaged deflate data",
         [&](const PngBytes&) {
             PngBytes bad = stream;
             for (std::size_t i = bad.size() / 3; i < bad.size() / 3 + 64; ++i) bad[i] = 0xFF;
             return fileOf(bad);
         },
         "The image data is damaged ("},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        const PngBytes file = damage.file(raw);
        const Outcome inPlace = readAll(file, false);
        expectSame(readAll(file, true), inPlace);
        if (*damage.fault == '\0') {
            EXPECT_TRUE(inPlace.finished) << inPlace.fault;
            EXPECT_TRUE(inPlace.bytes == raw);
        } else {
            EXPECT_EQ(inPlace.fault.rfind(damage.fault, 0), 0u) << inPlace.fault;
        }
    }
}

// Streams of every kind of block, damaged at random in their block headers and their codes,
// cut short, or with a bad check value, read in rows of two sizes, in place and ahead: the same
// bytes and the same fault. A bad check value comes with the stream's last bytes: they are read,
// and the fault stops the stream's end. A stream cut inside a match still gives the bytes of
// the match it has, in place as ahead.
TEST(PngInflate, RandomlyDamagedStreamsReadAlikeInPlaceAndAhead) {
    constexpr std::size_t rowBytes = 401, rows = 300;
    PngBytes raw(rowBytes * rows);
    std::mt19937 random(7);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i / 7 % 50 + random() % 4);
    struct Kind {
        const char* name;
        int level, strategy;
    };
    const Kind kinds[] = {{"stored", 0, Z_DEFAULT_STRATEGY},
                          {"fixed codes", 6, Z_FIXED},
                          {"dynamic codes", 9, Z_DEFAULT_STRATEGY},
                          {"runs only", 6, Z_RLE},
                          {"literals only", 6, Z_HUFFMAN_ONLY}};
    const auto compare = [&](const PngBytes& stream, std::size_t chunkData) {
        const PngBytes file = fileOf(stream, {}, chunkData);
        const Outcome inPlace = readAll(file, false, rowBytes, rows);
        expectSame(readAll(file, true, rowBytes, rows), inPlace);
        // Rows of one byte, inflate asked again and again with its input used up: the same
        // whole rows before the same fault.
        Outcome bytewise = readAll(file, false, 1, rowBytes * rows);
        bytewise.bytes.resize(bytewise.bytes.size() / rowBytes * rowBytes);
        expectSame(bytewise, inPlace);
        return inPlace.finished;
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const PngBytes stream = test::zlibStream(raw, kind.level, kind.strategy);
        EXPECT_TRUE(compare(stream, 8192));
        int whole = 0;
        for (int trial = 0; trial < 60; ++trial) {
            SCOPED_TRACE("trial " + std::to_string(trial));
            PngBytes bad = stream;
            // Most damage lands in the first bytes, where the block headers and code tables are.
            const std::size_t span = trial % 2 == 0 ? std::min<std::size_t>(bad.size(), 300) : bad.size();
            for (int flips = 1 + trial % 3; flips > 0; --flips) bad[2 + random() % (span - 2)] ^= 1u << (random() % 8);
            if (trial % 5 == 0) bad.resize(2 + random() % (bad.size() - 2));
            whole += compare(bad, trial % 4 == 0 ? 1 : 997) ? 1 : 0;
        }
        EXPECT_LT(whole, 60) << "no damage was met";
    }
}

// A reader that gives up part way (a row's bad filter, a stopped job) and is destroyed, or
// starts again, leaves the thread behind cleanly.
TEST(PngInflate, AbandonedAndRestartedStreamsEndTheirThread) {
    const PngBytes raw = rawImage();
    const PngBytes file = fileOf(test::zlibStream(raw));
    MemoryBytes source(file.data(), file.size());
    for (const std::size_t rowsRead : {std::size_t{0}, std::size_t{1}, kRows / 2}) {
        PngInflate stream(source, 33, kRowBytes * kRows, true);
        ASSERT_TRUE(stream.restart());
        PngBytes row(kRowBytes);
        for (std::size_t r = 0; r < rowsRead; ++r) ASSERT_TRUE(stream.read(row.data(), row.size()));
        ASSERT_TRUE(stream.restart());
        ASSERT_TRUE(stream.read(row.data(), row.size()));
        EXPECT_EQ(0, std::memcmp(row.data(), raw.data(), row.size()));
    }
}

}  // namespace
}  // namespace kelvarin
