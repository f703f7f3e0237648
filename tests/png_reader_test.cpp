// The PNG reader against pypng (tests/tools/png_reference.py): every colour type and bit depth,
// interlaced or not, every filter, as written by pypng, re-filtered in the script and re-encoded
// by ImageMagick. Then files damaged one way each, and every cut of a small file.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/byte_source.h"
#include "formats/png_reader.h"
#include "support/png_builder.h"
#include "support/test_files.h"

namespace kelvarin {
namespace {

using test::Bytes;
using test::pngChunk;
using test::pngFile;
using test::pngHeaderData;
using test::zlibStream;

std::string toolsDir() {
    const std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/')) + "/tools";
}

// Decodes every row in the runs given (row counts), or says why it could not.
struct Decoded {
    OpenedSource opened;
    Bytes pixels;
    std::string failure;
};

bool decodeRuns(OpenedSource& opened, const std::vector<std::uint32_t>& runs, Bytes& pixels, std::string& failure) {
    const std::size_t rowBytes = std::size_t{opened.width} * opened.layout.bytesPerPixel();
    pixels.assign(rowBytes * opened.length, 0xCD);
    std::uint32_t row = 0;
    for (std::uint32_t run : runs) {
        if (!opened.rows->readRows(row, run, pixels.data() + row * rowBytes)) {
            failure = opened.rows->failure();
            return false;
        }
        row += run;
    }
    return true;
}

Decoded decode(const Bytes& file) {
    MemoryBytes source(file.data(), file.size());
    Decoded d{openPng(source), {}, {}};
    if (!d.opened.report.refused()) {
        EXPECT_TRUE(d.opened.rows);
        if (!decodeRuns(d.opened, {d.opened.length}, d.pixels, d.failure)) d.pixels.clear();
    }
    d.opened.rows.reset();  // it reads from `source`, which ends here
    return d;
}

struct Reference {
    std::string name;
    std::uint32_t width = 0, height = 0, channels = 0, alpha = 0, bits = 0;
    std::uint64_t maxValue = 0;
};

class PngReference : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        if (test::runCommand("/usr/bin/python3 " + toolsDir() + "/png_reference.py " + dir_->path()) != 0) return;
        std::ifstream manifest(dir_->file("manifest.txt"));
        Reference r;
        while (manifest >> r.name >> r.width >> r.height >> r.channels >> r.alpha >> r.bits >> r.maxValue)
            cases_.push_back(r);
    }
    static void TearDownTestSuite() {
        delete dir_;
        cases_.clear();
    }
    void SetUp() override { ASSERT_GT(cases_.size(), 400u) << "the reference script made too few cases"; }

    // The reference samples in the machine's byte order.
    static Bytes expected(const Reference& r) {
        Bytes bytes = test::readBytes(dir_->file(r.name + ".ref"));
        if (r.bits == 16 && std::endian::native == std::endian::big)
            for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
        return bytes;
    }
    static Bytes source(const std::string& name) { return test::readBytes(dir_->file(name + ".png")); }

    static test::TempDir* dir_;
    static std::vector<Reference> cases_;
};

test::TempDir* PngReference::dir_ = nullptr;
std::vector<Reference> PngReference::cases_;

TEST_F(PngReference, EveryCaseDecodesToPypngsSamplesAgainAfterRewinding) {
    for (const Reference& r : cases_) {
        SCOPED_TRACE(r.name);
        const Bytes file = source(r.name);
        MemoryBytes bytes(file.data(), file.size());
        ASSERT_EQ(sniffSourceFormat(bytes), &sourceFormats()[0]);
        OpenedSource opened = openPng(bytes);
        ASSERT_FALSE(opened.report.refused()) << opened.report.refusal->text;
        EXPECT_EQ(opened.width, r.width);
        EXPECT_EQ(opened.length, r.height);
        EXPECT_EQ(opened.layout.channels, r.channels);
        EXPECT_EQ(opened.layout.alpha, r.alpha == 1);
        EXPECT_EQ(opened.layout.bits, r.bits);
        EXPECT_EQ(opened.layout.maxValue, r.maxValue);
        const Bytes want = expected(r);
        Bytes got;
        std::string failure;
        // A first pass in runs of one row and the rest, then a whole second pass from row 0.
        std::vector<std::uint32_t> runs{1};
        if (r.height > 1) runs.push_back(r.height - 1);
        ASSERT_TRUE(decodeRuns(opened, runs, got, failure)) << failure;
        ASSERT_EQ(got, want);
        ASSERT_TRUE(decodeRuns(opened, {r.height}, got, failure)) << failure;
        ASSERT_EQ(got, want);
    }
}

TEST_F(PngReference, RowsAskedFromTheMiddleAreThoseOfAWholePass) {
    for (const char* name : {"filtered_c2_d16_33x17", "filtered_c0_d2_33x17_i", "magick_rgb16_plasma"}) {
        SCOPED_TRACE(name);
        const Bytes file = source(name);
        MemoryBytes bytes(file.data(), file.size());
        OpenedSource opened = openPng(bytes);
        ASSERT_TRUE(opened.rows);
        const std::size_t rowBytes = std::size_t{opened.width} * opened.layout.bytesPerPixel();
        Bytes whole(rowBytes * opened.length), part(rowBytes * 3);
        ASSERT_TRUE(opened.rows->readRows(0, opened.length, whole.data()));
        ASSERT_TRUE(opened.rows->readRows(5, 3, part.data())) << opened.rows->failure();
        EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + 5 * rowBytes));
    }
}

TEST_F(PngReference, ReportNamesSizeFormatAndTheChunksNotApplied) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases{
        {"pypng_c0_d16_33x17", {"PNG image: 33 x 17 pixels", "16-bit grey, Deflate"}},
        {"filtered_c4_d8_3x7_i",
         {"PNG image: 3 x 7 pixels", "8-bit grey + alpha, Deflate, Adam7 interlaced",
          "Carries a gamma value (gAMA): not applied, samples are taken as stored."}},
        {"magick_c6_d16_f5_PNG", {"PNG image: 33 x 17 pixels", "16-bit RGBA, Deflate, Adam7 interlaced"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(source(c.name));
        ASSERT_GE(d.opened.report.lines.size(), c.lines.size());
        for (std::size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(d.opened.report.lines[i], c.lines[i]);
    }
    // pypng's palettes have as many colours as the script drew.
    const Decoded palette = decode(source("pypng_c3_d4_33x17"));
    EXPECT_NE(palette.opened.report.lines.at(1).find("4-bit palette of "), std::string::npos);
}

}  // namespace
}  // namespace kelvarin
