// The 302-byte greyscale TIFF header, byte by byte as TIFF 6.0 readers will see it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/grey_tiff_writer.h"

namespace kelvarin {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

Bytes slice(const GreyTiffHeader& h, std::size_t at, std::size_t n) { return Bytes(h.begin() + at, h.begin() + at + n); }

TEST(GreyTiffHeader, LittleEndian640x480MatchesEveryByte) {
    const GreyTiffHeader h =
        buildGreyTiffHeader(ByteOrder::II, littleEndianFields(640, 480, 640 * 480 * 2), "2026:12:07 10:20:30");
    const Bytes expected = hex(
        "49 49 2A 00 08 00 00 00 11 00"
        "FE 00 04 00 01 00 00 00 00 00 00 00"
        "00 01 03 00 01 00 00 00 80 02 00 00"
        "01 01 03 00 01 00 00 00 E0 01 00 00"
        "02 01 03 00 01 00 00 00 10 00 00 00"
        "03 01 03 00 01 00 00 00 01 00 00 00"
        "06 01 03 00 01 00 00 00 01 00 00 00"
        "11 01 04 00 01 00 00 00 2E 01 00 00"
        "12 01 03 00 01 00 00 00 01 00 00 00"
        "15 01 03 00 01 00 00 00 01 00 00 00"
        "16 01 03 00 01 00 00 00 E0 01 00 00"
        "17 01 04 00 01 00 00 00 00 60 09 00"
        "1A 01 05 00 01 00 00 00 DA 00 00 00"
        "1B 01 05 00 01 00 00 00 DA 00 00 00"
        "28 01 03 00 01 00 00 00 02 00 00 00"
        "31 01 02 00 30 00 00 00 FE 00 00 00"
        "32 01 02 00 14 00 00 00 EA 00 00 00"
        "35 01 03 00 03 00 00 00 E2 00 00 00"
        "00 00 00 00"
        "80 FC 0A 00 10 27 00 00"
        "01 00 01 00 01 00 01 00");
    ASSERT_EQ(expected.size(), 234u);
    EXPECT_EQ(slice(h, 0, 234), expected);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[234]), 20), std::string("2026:12:07 10:20:30") + '\0');
    EXPECT_EQ(h[301], 0);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(&h[254])), 47u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[254]), 47), std::string(kSoftwareText));
}

TEST(GreyTiffHeader, BigEndianUsesTheDocumentedBytes) {
    // Fields as the TIFF reader prepares them for an "MM" source: left-justified SHORTs.
    const GreyTiffFields fields{{0x02, 0x80, 0, 0}, {0x01, 0xE0, 0, 0}, {0x01, 0xE0, 0, 0}, toFourBytes(614400, ByteOrder::MM)};
    const GreyTiffHeader h = buildGreyTiffHeader(ByteOrder::MM, fields, "2026:12:07 10:20:30");
    EXPECT_EQ(slice(h, 0, 10), hex("4D 4D 00 2A 00 00 00 08 00 11"));
    EXPECT_EQ(slice(h, 10 + 12 * 1, 12), hex("01 00 00 03 00 00 00 01 02 80 00 00"));
    EXPECT_EQ(slice(h, 10 + 12 * 3, 12), hex("01 02 00 03 00 00 00 01 00 10 00 00"));
    EXPECT_EQ(slice(h, 10 + 12 * 6, 12), hex("01 11 00 04 00 00 00 01 00 00 01 2E"));
    EXPECT_EQ(slice(h, 10 + 12 * 10, 12), hex("01 17 00 04 00 00 00 01 00 09 60 00"));
    EXPECT_EQ(slice(h, 10 + 12 * 16, 12), hex("01 35 00 03 00 00 00 03 00 00 00 E2"));
    EXPECT_EQ(slice(h, 214, 4), hex("00 00 00 00"));
    EXPECT_EQ(slice(h, 218, 8), hex("00 0A FC 80 00 00 27 10"));
    EXPECT_EQ(slice(h, 226, 8), hex("00 01 00 01 00 01 00 01"));
    EXPECT_EQ(h[253], 0);
}

TEST(GreyTiffHeader, FieldHelpers) {
    EXPECT_EQ(toFourBytes(0x01020304, ByteOrder::II), (Field4{4, 3, 2, 1}));
    EXPECT_EQ(toFourBytes(0x01020304, ByteOrder::MM), (Field4{1, 2, 3, 4}));
    EXPECT_EQ(swapShortField({0x04, 0x00, 0x77, 0x88}), (Field4{0x00, 0x04, 0, 0}));
    EXPECT_EQ(reverseFourBytes({1, 2, 3, 4}), (Field4{4, 3, 2, 1}));
}

}  // namespace
}  // namespace kelvarin
