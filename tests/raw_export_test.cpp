// TE>Raw: the 16-bit samples of a greyscale source copied unchanged, and the sources it refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/file.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "support/tiff_builder.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

Bytes ramp(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + 1);
    return b;
}

TiffBuilder grey16(bool big, std::uint32_t w, std::uint32_t l, const Bytes& pixels) {
    TiffBuilder b = TiffBuilder::rgb(big, w, l, 16, 0, pixels);
    *b.find(258) = {258, kShortType, 1, {16}};
    b.find(262)->values = {1};
    b.find(277)->values = {1};
    return b;
}

TEST(RawExport, CopiesTheSamplesInTheSourceOrderWhateverSwapSays) {
    for (const bool big : {false, true}) {
        for (const bool swap : {false, true}) {
            SCOPED_TRACE(std::to_string(big) + std::to_string(swap));
            TempDir dir;
            const Bytes pixels = ramp(7 * 3 * 2);
            writeBytes(dir.file("in.tif"), grey16(big, 7, 3, pixels).build());
            Harness h;
            h.session.options.teRawMode = true;
            h.session.options.swapByteOrder = swap;
            ASSERT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.raw")}), 1);
            EXPECT_EQ(readBytes(dir.file("out.raw")), pixels);
            // No timing lines and no closing separator of a conversion: only the command's "=" line.
            const std::vector<std::string> tail(h.port.log.end() - 7, h.port.log.end());
            EXPECT_EQ(tail, (std::vector<std::string>{"", "Conversion to RAW concluded.", "Closed source file:",
                                                      dir.file("in.tif"), "Closed converted file:",
                                                      dir.file("out.raw"), std::string(72, '=')}));
            EXPECT_TRUE(h.port.positions.empty() || h.port.positions == std::vector<int>({0, 0}));
        }
    }
}

TEST(RawExport, OurOwnGreyTiffExportsItsDataFromOffset302) {
    TempDir dir;
    const Bytes rgb = ramp(9 * 5 * 6);
    writeBytes(dir.file("in.tif"), TiffBuilder::rgb(true, 9, 5, 16, 0, rgb).build());
    Harness h;
    ASSERT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("grey.tif")}), 1);
    h.session.options.teRawMode = true;
    ASSERT_EQ(h.run(ids::OpenTif, {dir.file("grey.tif"), dir.file("grey.raw")}), 1);
    const Bytes grey = readBytes(dir.file("grey.tif"));
    EXPECT_EQ(readBytes(dir.file("grey.raw")), Bytes(grey.begin() + 302, grey.end()));
}

TEST(RawExport, StripsAreCopiedInImageOrder) {
    TempDir dir;
    const Bytes pixels = ramp(4 * 4 * 2);
    TiffBuilder b = grey16(false, 4, 4, {});
    b.find(278)->values = {2};
    *b.find(273) = {273, kLongType, 2, {0, 0}};
    *b.find(279) = {279, kShortType, 2, {16, 16}};
    const std::uint32_t base = b.pixelOffset();
    b.find(273)->values = {base + 16, base};  // second half stored first
    b.pixels.insert(b.pixels.end(), pixels.begin() + 16, pixels.end());
    b.pixels.insert(b.pixels.end(), pixels.begin(), pixels.begin() + 16);
    writeBytes(dir.file("in.tif"), b.build());
    Harness h;
    h.session.options.teRawMode = true;
    ASSERT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.raw")}), 1);
    EXPECT_EQ(readBytes(dir.file("out.raw")), pixels);
}

TEST(RawExport, ColourSourceIsRefusedAndNoFileWritten) {
    TempDir dir;
    writeBytes(dir.file("in.tif"), TiffBuilder::rgb(false, 3, 3, 16, 0, ramp(54)).build());
    Harness h;
    h.session.options.teRawMode = true;
    EXPECT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.raw")}), 0);
    ASSERT_EQ(h.port.boxes.size(), 2u);
    EXPECT_EQ(h.port.boxes[0].caption, "KELVARIN - File issue.");
    EXPECT_NE(h.port.boxes[0].text.find("16-bit greyscale data only"), std::string::npos);
    EXPECT_NE(std::find(h.port.log.begin(), h.port.log.end(), ">>> Not a 16-bit greyscale source for TE>Raw. STOP!"),
              h.port.log.end());
    EXPECT_EQ(h.port.dialogs.size(), 1u);
    EXPECT_FALSE(exists(dir.file("out.raw")));
}

TEST(RawExport, OneBitsValueWithThreeSamplesIsNotGrey) {
    TempDir dir;
    TiffBuilder b = grey16(false, 3, 3, ramp(54));
    b.find(277)->values = {3};
    writeBytes(dir.file("in.tif"), b.build());
    Harness h;
    h.session.options.teRawMode = true;
    EXPECT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.raw")}), 0);
    ASSERT_FALSE(h.port.boxes.empty());
    EXPECT_NE(h.port.boxes[0].text.find("16-bit greyscale data only"), std::string::npos);
    EXPECT_FALSE(exists(dir.file("out.raw")));
}

TEST(RawExport, CancelledSaveShowsFileNotCreated) {
    TempDir dir;
    writeBytes(dir.file("in.tif"), grey16(false, 2, 2, ramp(8)).build());
    Harness h;
    h.session.options.teRawMode = true;
    EXPECT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), std::nullopt}), 0);
    const auto texts = h.port.boxTexts();
    const auto box = std::find(texts.begin(), texts.end(), "KELVARIN - Save Raw As: File not created.");
    ASSERT_NE(box, texts.end());
    EXPECT_EQ(h.port.boxes[static_cast<std::size_t>(box - texts.begin())].icon, MessageIcon::Exclamation);
    const std::vector<std::string> tail(h.port.log.end() - 4, h.port.log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Closed file:", dir.file("in.tif"), std::string(72, '-'),
                                              std::string(72, '=')}));
}

// The other kinds reach the export through their own readers; here the record is set by hand.
struct KindCase {
    const char* name;
    SourceKind kind;
    const char* pgmVariant;
    std::uint32_t dataOffset;
    std::uint32_t dataBytes;  // 0: the file size minus the offset
    bool exported;
};

class RawExportKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(RawExportKinds, ExportsOnlySixteenBitGreyInsideTheSource) {
    const KindCase& c = GetParam();
    TempDir dir;
    const Bytes content = ramp(64);
    writeBytes(dir.file("in.dat"), content);
    Harness h;
    h.session.files.source = diskFileSystem().open(dir.file("in.dat"), File::Mode::Read);
    h.session.files.sourcePath = dir.file("in.dat");
    JobContext job(h.session);
    job.image.kind = c.kind;
    job.image.pgmVariant = c.pgmVariant;
    job.image.dataOffset = c.dataOffset;
    job.image.outputDataBytes = c.dataBytes ? c.dataBytes : 64 - c.dataOffset;
    h.port.answers = {dir.file("out.raw")};
    EXPECT_EQ(exportRaw(job), c.exported);
    if (c.exported) {
        EXPECT_EQ(readBytes(dir.file("out.raw")), Bytes(content.begin() + c.dataOffset, content.end()));
    } else {
        EXPECT_FALSE(exists(dir.file("out.raw")));
        EXPECT_EQ(h.port.boxes.size(), 1u);
        EXPECT_EQ(h.port.log.back(), std::string(72, '-'));
    }
}

const KindCase kKinds[] = {
    {"Raw", SourceKind::Raw, "", 0, 0, true},
    {"PgmP5", SourceKind::Pgm, "P5", 14, 0, true},
    {"PgmP2", SourceKind::Pgm, "P2", 14, 0, false},
    {"Radiance", SourceKind::Rgbe, "", 0, 0, false},
    {"Bin", SourceKind::Bin, "", 0, 0, false},
    {"PgmP5Truncated", SourceKind::Pgm, "P5", 14, 60, false},
};

INSTANTIATE_TEST_SUITE_P(Kinds, RawExportKinds, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvarin::test
