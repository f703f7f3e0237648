// File > Open... converts a file of any newer kind exactly as the uncompressed RGB TIFF with the
// same samples converts through File > Open TIF, with every option: the rule that ties the new
// sources to the existing path is the test. The pairs come from tests/tools/equivalent_sources.py.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/scripted_port.h"
#include "support/source_decode.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

struct OptionSet {
    const char* name;
    ConversionOptions options;
};

std::vector<OptionSet> optionSets() {
    ConversionOptions boost;
    boost.boostContrast = true;
    boost.colourWeighting = ColourWeighting::HDTV;
    ConversionOptions invert;
    invert.invert = true;
    invert.fStopX4 = true;
    invert.colourWeighting = ColourWeighting::Red;
    ConversionOptions posterise;
    posterise.posteriseSteps = 8;
    posterise.colourWeighting = ColourWeighting::TV;
    ConversionOptions swap;
    swap.swapByteOrder = true;
    swap.fStopX2 = true;
    return {{"plain", {}}, {"boost-hdtv", boost}, {"invert-x4-red", invert}, {"posterise8-tv", posterise},
            {"swap-x2", swap}};
}

class OpenEquivalence : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Not a skip: the test command installs what the script needs, and too few cases fail.
        dir_ = makeReferenceFolder("true", "equivalent_sources.py");
        if (!dir_) return;
        std::ifstream manifest(dir_->file("manifest.txt"));
        for (std::string name; manifest >> name;) sources_.push_back(name);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
        sources_.clear();
    }

    // The destination's bytes after a job with `options`, or nothing when the job failed. The
    // analysis may keep `heldGreyBytes` of greys for the conversion (the default: all of these).
    static Bytes convert(int command, const std::string& source, const ConversionOptions& options,
                         const std::string& destination, unsigned threads = 0, std::uint64_t chunkBytes = 0,
                         std::optional<std::uint64_t> heldGreyBytes = std::nullopt) {
        Harness h;
        h.session.options = options;
        h.session.conversionThreads = threads;
        if (chunkBytes != 0) h.session.conversionChunkBytes = chunkBytes;
        if (heldGreyBytes) h.session.heldGreyBytes = *heldGreyBytes;
        if (h.run(command, {dir_->file(source), dir_->file(destination)}) != 1) return {};
        return readBytes(dir_->file(destination));
    }

    static TempDir* dir_;
    static std::vector<std::string> sources_;
};

TempDir* OpenEquivalence::dir_ = nullptr;
std::vector<std::string> OpenEquivalence::sources_;

TEST_F(OpenEquivalence, EveryKindConvertsAsItsRgbTiffWithEveryOption) {
    // PNG x 4, TIFF x 5, PNM x 3, PFM, OpenEXR x 2: a missing tool or binding shows as too few.
    ASSERT_EQ(sources_.size(), 15u) << "the script made too few cases (python3-png, tifffile, tiffcp, OpenImageIO)";
    for (const OptionSet& set : optionSets()) {
        for (const std::string& source : sources_) {
            SCOPED_TRACE(source + " with " + set.name);
            const std::string stem = source.substr(0, source.rfind('.'));
            const Bytes opened = convert(ids::OpenImage, source, set.options, "opened.tif");
            // The reference reads its pixels again for the conversion.
            const Bytes reference = convert(ids::OpenTif, stem + ".ref.tif", set.options, "reference.tif", 0, 0, 0);
            ASSERT_FALSE(reference.empty());
            ASSERT_FALSE(opened.empty());
            // The whole file: the header (byte order, Swap, the fixed clock's date) and every sample.
            EXPECT_TRUE(opened == reference);
            // Bands of a row or a piece, decoded on one thread or on three (TIFF strips and tiles
            // each on a thread of their own), the greys of the last bands kept by the analysis or
            // none: the same bytes.
            EXPECT_TRUE(convert(ids::OpenImage, source, set.options, "one-thread.tif", 1, 64, 200) == reference);
            EXPECT_TRUE(convert(ids::OpenImage, source, set.options, "three-threads.tif", 3, 64, 0) == reference);
            EXPECT_TRUE(convert(ids::OpenImage, source, set.options, "three-threads.tif", 3, 64, 200) == reference);
        }
    }
}

}  // namespace
}  // namespace kelvarin::test
