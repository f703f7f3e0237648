// The row decoders of the 16-bit height files: the samples each gives, in whatever runs of rows
// they are asked for, and the box each shows for data it cannot give.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "formats/byte_source.h"
#include "formats/height_rows.h"
#include "formats/pgm_reader.h"

namespace kelvarin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Make = std::function<std::unique_ptr<RowDecoder>(ByteSource&)>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct HeightRowsCase {
    const char* name;
    Bytes file;
    std::uint32_t width, length;
    Make make;
    std::vector<std::uint16_t> samples;  // top row first; empty when refused
    std::string refusal;                 // the box's text, when the rows cannot all be given
};

std::vector<HeightRowsCase> cases() {
    const auto stored = [](std::uint64_t offset, std::uint32_t w, std::uint32_t h, ByteOrder order) -> Make {
        return [=](ByteSource& s) { return storedSampleRows(s, offset, w, h, order); };
    };
    const auto plain = [](std::uint64_t offset, std::uint32_t w) -> Make {
        return [=](ByteSource& s) { return pgmTextRows(s, offset, w); };
    };
    const auto bin = [](std::uint32_t w, std::uint32_t h, std::int16_t base, std::int16_t voidMarker) -> Make {
        return [=](ByteSource& s) { return binRows(s, w, h, base, voidMarker); };
    };
    // 3 x 2 BIN: bottom row (-1, 0, void) first, then the top row (5, -5, 32767).
    const Bytes binFile = {0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 0x05, 0x00, 0xFB, 0xFF, 0xFF, 0x7F};
    const std::string truncated = "The source file ends before its image data is complete.";
    return {
        {"BigEndianBehindAHeader", {9, 9, 0x01, 0x02, 0xFF, 0x00, 0x00, 0x07, 0x80, 0x00}, 2, 2,
         stored(2, 2, 2, ByteOrder::MM), {0x0102, 0xFF00, 0x0007, 0x8000}, ""},
        {"LittleEndianFromTheStart", {0x01, 0x02, 0xFF, 0x00, 0x00, 0x07}, 3, 1, stored(0, 3, 1, ByteOrder::II),
         {0x0201, 0x00FF, 0x0700}, ""},
        {"StoredSamplesEndingEarly", {0x01, 0x02, 0xFF}, 2, 1, stored(0, 2, 1, ByteOrder::II), {}, truncated},
        {"PlainTextAnySeparatorAndRounding", text("P2 junk\n1\t2\r\n3.5  65535\v4.49\f0 trailing words"), 2, 3,
         plain(8, 2), {1, 2, 4, 65535, 4, 0}, ""},
        {"PlainTextLastSampleAtTheEnd", text("7 8 9"), 3, 1, plain(0, 3), {7, 8, 9}, ""},
        {"PlainTextTooShort", text("1 2 3"), 2, 2, plain(0, 2), {}, pgmShortText().text},
        {"PlainTextInvalidSample", text("1 2 -3 4"), 2, 2, plain(0, 2), {}, pgmInvalidSample().text},
        {"PlainTextAboveSixteenBits", text("1 65536"), 2, 1, plain(0, 2), {}, pgmInvalidSample().text},
        {"BinBottomRowFirstToHeights", binFile, 3, 2, bin(3, 2, -5, -32768), {11, 1, 32773, 5, 6, 0}, ""},
        {"BinShorterThanItsRows", Bytes(binFile.begin(), binFile.end() - 2), 3, 2, bin(3, 2, -5, -32768), {},
         truncated},
    };
}

class HeightRowsTest : public ::testing::TestWithParam<HeightRowsCase> {};

// Every run length gives the same rows, whether asked for at once or a few rows at a time; the
// plain-text decoder must resume its scan exactly behind the last sample of each run.
TEST_P(HeightRowsTest, GivesTheSamplesInAnyRunsOrRefusesWithItsBox) {
    const HeightRowsCase& c = GetParam();
    for (std::uint32_t run = 1; run <= c.length; ++run) {
        SCOPED_TRACE("runs of " + std::to_string(run) + " rows");
        MemoryBytes bytes(c.file.data(), c.file.size());
        const std::unique_ptr<RowDecoder> rows = c.make(bytes);
        std::vector<std::uint16_t> got(std::size_t{c.width} * c.length);
        bool ok = true;
        for (std::uint32_t first = 0; ok && first < c.length; first += run) {
            const std::uint32_t count = std::min(run, c.length - first);
            // Through an odd address: a decoder must not assume its buffer aligned.
            Bytes buffer(std::size_t{2} * c.width * count + 1);
            ok = rows->readRows(first, count, buffer.data() + 1);
            if (ok) std::memcpy(got.data() + std::size_t{first} * c.width, buffer.data() + 1, buffer.size() - 1);
        }
        if (c.refusal.empty()) {
            ASSERT_TRUE(ok) << rows->failure();
            EXPECT_EQ(got, c.samples);
        } else {
            ASSERT_FALSE(ok);
            ASSERT_NE(rows->refusal(), nullptr);
            EXPECT_EQ(rows->refusal()->text, c.refusal);
            EXPECT_EQ(rows->failure(), c.refusal);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HeightRowsTest, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvarin
