#include <gtest/gtest.h>

#include <algorithm>

#include <vector>

#include "formats/radiance_reader.h"
#include "support/rgbe_encoding.h"

namespace kelvarin {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct PacketCase {
    const char* name;
    Bytes input;
    std::uint32_t width;
    bool complete;
    Bytes kept;          // what lands in the row
    std::size_t consumed;
};

Bytes literal(std::uint8_t n, std::uint8_t first) {
    Bytes b{n};
    for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(first + i));
    return b;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes sequence(std::size_t n, std::uint8_t first) {
    Bytes b;
    for (std::size_t i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(first + i));
    return b;
}

TEST(RadianceRle, PacketsFillOneComponent) {
    const PacketCase cases[] = {
        {"literal 128 copies 128 bytes", literal(128, 1), 128, true, sequence(128, 1), 129},
        {"129 is a run of one", {129, 7, 3, 8, 9, 10}, 4, true, {7, 8, 9, 10}, 6},
        {"255 is a run of 127", {255, 5, 1, 6}, 128, true, join({Bytes(127, 5), {6}}), 4},
        {"packet 0 writes nothing", {0, 0, 2, 4, 5}, 2, true, {4, 5}, 5},
        {"a run past the row keeps only the row", {130, 1, 140, 9}, 5, true, {1, 1, 9, 9, 9}, 4},
        {"a literal past the row still consumes its bytes", {3, 1, 2, 3, 130, 4}, 2, true, {1, 2}, 4},
        {"input ends inside a literal", {5, 1, 2}, 5, false, {}, 0},
        {"input ends before a run's value", {1, 9, 130}, 3, false, {}, 0},
        {"input ends before the component is complete", {130, 1}, 3, false, {}, 0},
        {"no input at all", {}, 1, false, {}, 0},
        {"zeros only never complete", {0, 0, 0}, 1, false, {}, 0},
    };
    for (const PacketCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes row(c.width, 0xEE);
        const std::uint8_t* in = c.input.data();
        const bool done = decodeRlePackets(in, c.input.data() + c.input.size(), row.data(), row.size(), c.width);
        EXPECT_EQ(done, c.complete);
        if (!c.complete) continue;
        EXPECT_EQ(row, c.kept);
        EXPECT_EQ(static_cast<std::size_t>(in - c.input.data()), c.consumed);
    }
}

TEST(RadianceRle, NeverWritesPastTheRoom) {
    // A run and a literal that run far beyond the row of 2: the guard bytes stay untouched.
    const Bytes input = {255, 3, 128};
    Bytes literalInput = input;
    for (int i = 0; i < 128; ++i) literalInput.push_back(1);
    Bytes buffer(4, 0xEE);
    const std::uint8_t* in = input.data();
    EXPECT_TRUE(decodeRlePackets(in, input.data() + 2, buffer.data(), 2, 2));
    EXPECT_EQ(buffer, (Bytes{3, 3, 0xEE, 0xEE}));
    in = literalInput.data() + 2;
    Bytes second(4, 0xEE);
    EXPECT_TRUE(decodeRlePackets(in, literalInput.data() + literalInput.size(), second.data(), 2, 2));
    EXPECT_EQ(second, (Bytes{1, 1, 0xEE, 0xEE}));
}

struct ScanlineCase {
    const char* name;
    Bytes data;
    RgbeDecodeStatus status;
    std::uint32_t rowsDone;
};

TEST(RadianceRle, ScanlineHeadersAndTruncation) {
    const Bytes good = test::uniformScanline(300, {1, 2, 3, 130});
    Bytes truncated = join({good, good});
    truncated.resize(truncated.size() - 1);
    Bytes oldRle = join({good, good});
    oldRle[good.size()] = 1;
    oldRle[good.size() + 1] = 1;
    Bytes narrow = join({good, good});
    narrow[good.size() + 2] = 0;
    const ScanlineCase cases[] = {
        {"two complete rows", join({good, good}), RgbeDecodeStatus::Ok, 2},
        // Rows that do not start 2 2 are read pixel by pixel: 300 pixels need more than is left.
        {"old RLE row 1 1 x y cut short", oldRle, RgbeDecodeStatus::Truncated, 1},
        {"flat row of one pixel only", join({good, {128, 128, 128, 129}}), RgbeDecodeStatus::Truncated, 1},
        {"width below 256", narrow, RgbeDecodeStatus::HeaderError, 1},
        {"last byte missing", truncated, RgbeDecodeStatus::Truncated, 1},
        {"only a partial header", join({good, {2, 2}}), RgbeDecodeStatus::Truncated, 1},
        {"no data", {}, RgbeDecodeStatus::Truncated, 0},
    };
    for (const ScanlineCase& c : cases) {
        SCOPED_TRACE(c.name);
        RgbeMap map(300, 2);
        std::uint32_t rows = 0;
        const RgbeDecodeStatus status =
            decodeRgbeScanlines(c.data.data(), c.data.size(), map, [&rows](std::uint32_t r) { rows = r + 1; });
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(rows, c.rowsDone);
        EXPECT_NE(std::string(rgbeDecodeMessage(status)).empty(), status != RgbeDecodeStatus::Ok);
        // The two-step decode finds the same status, and on success the same planes, rows in
        // reverse order.
        // A failed walk keeps the starts of the rows the one-step decode completed (the progress
        // bar moves through them).
        std::vector<std::size_t> starts;
        ASSERT_EQ(findRgbeScanlines(c.data.data(), c.data.size(), 300, 2, starts), c.status);
        EXPECT_EQ(starts.size(), c.rowsDone);
        // Walked a row at a time, as the bands are: the same status, rows and starts.
        RgbeScanlineWalk walk(c.data.data(), c.data.size(), 300, 2);
        (void)walk.walkTo(1);
        EXPECT_EQ(walk.walkTo(2), c.status);
        EXPECT_EQ(walk.rowsFound(), c.rowsDone);
        EXPECT_TRUE(std::equal(starts.begin(), starts.end(), walk.starts().begin()));
        if (c.status != RgbeDecodeStatus::Ok) continue;
        RgbeMap rows2(300, 2);
        EXPECT_TRUE(decodeRgbeRows(c.data.data(), c.data.size(), starts, 1, 2, rows2));
        EXPECT_TRUE(decodeRgbeRows(c.data.data(), c.data.size(), starts, 0, 1, rows2));
        EXPECT_TRUE(std::equal(map.plane(0), map.plane(0) + 4 * map.pixels(), rows2.plane(0)));
    }
}

TEST(RadianceRle, RowsChangedAfterTheWalkStayInTheirBytes) {
    // A source shortened while mapped reads as zeros after the walk: a row of zeros fails within
    // its own bytes instead of taking the next rows' packets for its own (and walking on to the
    // end of the data for every row).
    const Bytes first = test::uniformScanline(300, {1, 2, 3, 130});
    Bytes data = first;
    for (std::uint8_t row = 1; row < 12; ++row)
        data = join({data, test::uniformScanline(300, {row, 5, 6, static_cast<std::uint8_t>(130 + row)})});
    std::vector<std::size_t> starts;
    ASSERT_EQ(findRgbeScanlines(data.data(), data.size(), 300, 12, starts), RgbeDecodeStatus::Ok);
    std::fill(data.begin() + 4, data.begin() + static_cast<std::ptrdiff_t>(first.size()), std::uint8_t{0});
    RgbeMap map(300, 12);
    EXPECT_FALSE(decodeRgbeRows(data.data(), data.size(), starts, 0, 1, map));
    EXPECT_TRUE(decodeRgbeRows(data.data(), data.size(), starts, 1, 12, map));
}

TEST(RadianceRle, RowsLandInTheirPlanes) {
    const Bytes data = join({test::uniformScanline(256, {10, 20, 30, 128}), test::uniformScanline(256, {11, 21, 31, 129})});
    RgbeMap map(256, 2);
    ASSERT_EQ(decodeRgbeScanlines(data.data(), data.size(), map, nullptr), RgbeDecodeStatus::Ok);
    for (std::size_t i = 0; i < 512; ++i) {
        const std::uint8_t row = i < 256 ? 0 : 1;
        EXPECT_EQ(map.plane(0)[i], 10 + row);
        EXPECT_EQ(map.plane(1)[i], 20 + row);
        EXPECT_EQ(map.plane(2)[i], 30 + row);
        EXPECT_EQ(map.plane(3)[i], 128 + row);
    }
}

struct FillCase {
    const char* name;
    Bytes exponents;
    Bytes filled;
};

TEST(RadianceRle, ZeroExponentsTakeTheOneBefore) {
    const FillCase cases[] = {
        {"middle black pixel", {130, 131, 0, 140, 141}, {130, 131, 131, 140, 141}},
        {"runs of black pixels chain", {130, 0, 0, 0, 141}, {130, 130, 130, 130, 141}},
        {"later pixels keep their own exponents", {130, 0, 150, 0, 160, 170}, {130, 130, 150, 150, 160, 170}},
        {"the first pixel stays black", {0, 0, 131, 132}, {0, 0, 131, 132}},
        {"the last pixel is never changed", {130, 131, 132, 0}, {130, 131, 132, 0}},
        {"no black pixel", {1, 2, 3}, {1, 2, 3}},
        {"black pixels take a carry across several", {0, 130, 0, 0, 0, 0, 140}, {0, 130, 130, 130, 130, 130, 140}},
    };
    for (const FillCase& c : cases) {
        SCOPED_TRACE(c.name);
        RgbeMap map(static_cast<std::uint32_t>(c.exponents.size()), 1);
        for (int plane = 0; plane < 3; ++plane)
            for (std::size_t i = 0; i < c.exponents.size(); ++i) map.plane(plane)[i] = static_cast<std::uint8_t>(i);
        std::copy(c.exponents.begin(), c.exponents.end(), map.plane(3));
        fillZeroExponents(map);
        EXPECT_EQ(Bytes(map.plane(3), map.plane(3) + c.exponents.size()), c.filled);
        for (int plane = 0; plane < 3; ++plane)
            for (std::size_t i = 0; i < c.exponents.size(); ++i) EXPECT_EQ(map.plane(plane)[i], i);
        // Filled in parts, as the bands are, for every way to cut the pixels: each part within
        // itself, the last part first, then the parts' starts in order.
        const std::size_t n = c.exponents.size();
        for (unsigned cuts = 0; cuts < 1u << (n - 1); ++cuts) {
            std::vector<std::size_t> bounds = {0};
            for (std::size_t i = 1; i < n; ++i)
                if (cuts >> (i - 1) & 1) bounds.push_back(i);
            bounds.push_back(n);
            std::copy(c.exponents.begin(), c.exponents.end(), map.plane(3));
            for (std::size_t part = bounds.size() - 1; part-- > 0;) fillZeroExponentsWithin(map, bounds[part], bounds[part + 1]);
            for (std::size_t part = 0; part + 1 < bounds.size(); ++part)
                fillZeroExponentsAtStart(map, bounds[part], bounds[part + 1]);
            EXPECT_EQ(Bytes(map.plane(3), map.plane(3) + n), c.filled) << "cuts " << cuts;
        }
    }
}

}  // namespace
}  // namespace kelvarin
