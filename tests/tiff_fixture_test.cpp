// End-to-end: RGB TIFFs written by tifffile, libtiff's tiffcp and ImageMagick, converted by
// kelvarin-cli with many option sets, against greys computed independently in numpy
// (tests/tools/tiff_reference.py).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace kelvarin::test {
namespace {

const std::string kPython = "/usr/bin/python3";

std::string toolsDir() {
    const std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/')) + "/tools";
}

struct Case {
    std::string source, expected, options;
};

// The fixtures are made once for the whole suite.
class TiffFixtures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (runCommand(kPython + " -c 'import numpy, tifffile' >/dev/null 2>&1") != 0) return;
        dir_ = new TempDir;
        const int status =
            runCommand(kPython + " " + toolsDir() + "/tiff_reference.py " + dir_->path() + " >/dev/null 2>&1");
        if (status != 0) return;
        std::ifstream manifest(dir_->file("manifest.txt"));
        std::string line;
        while (std::getline(manifest, line)) {
            Case c;
            std::istringstream fields(line);
            std::getline(fields, c.source, '|');
            std::getline(fields, c.expected, '|');
            std::getline(fields, c.options);
            cases_.push_back(c);
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
        cases_.clear();
    }
    void SetUp() override {
        if (!dir_) GTEST_SKIP() << "python3 with numpy and tifffile is needed";
        ASSERT_FALSE(cases_.empty()) << "the reference script made no cases";
    }
    static std::string source(const std::string& name) { return dir_->file(name); }
    static int convert(const std::string& options, const std::string& from, const std::string& to) {
        return runCommand(std::string(KELVARIN_CLI_PATH) + " " + options + " tif " + from + " " + to +
                          " >" + to + ".log 2>" + to + ".err");
    }

    static TempDir* dir_;
    static std::vector<Case> cases_;
};

TempDir* TiffFixtures::dir_ = nullptr;
std::vector<Case> TiffFixtures::cases_;

TEST_F(TiffFixtures, EveryWriterAndOptionSetGivesTheReferenceGreys) {
    int index = 0;
    for (const Case& c : cases_) {
        SCOPED_TRACE(c.source + " [" + c.options + "]");
        const std::string out = dir_->file("out" + std::to_string(index++) + ".tif");
        ASSERT_EQ(convert(c.options, c.source, out), 0);
        const Bytes output = readBytes(out);
        const Bytes expected = readBytes(c.expected);
        ASSERT_EQ(output.size(), 302 + expected.size());
        // The destination keeps the source's order unless Swap is on.
        const bool sourceBig = readBytes(c.source).at(0) == 'M';
        const bool swap = c.options.find("--swap") != std::string::npos;
        const bool big = sourceBig != swap;
        ASSERT_EQ(output[0], big ? 'M' : 'I');
        int mismatches = 0;
        std::string first;
        for (std::size_t i = 0; i < expected.size() / 2; ++i) {
            const unsigned want = expected[2 * i] | (expected[2 * i + 1] << 8);
            const std::uint8_t* p = &output[302 + 2 * i];
            const unsigned got = big ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
            if (got != want && mismatches++ == 0)
                first = "pixel " + std::to_string(i) + ": " + std::to_string(got) + " != " + std::to_string(want);
        }
        EXPECT_EQ(mismatches, 0) << first;
    }
}

TEST_F(TiffFixtures, StripLayoutDoesNotChangeTheOutput) {
    const std::pair<const char*, const char*> pairs[] = {
        {"tf48_ii.tif", "tf48_ii_strips.tif"},
        {"tf48_ii.tif", "tc48_rows3.tif"},
        {"tf96f_ii.tif", "tf96f_ii_strips.tif"},
        {"tf24_ii.tif", "tc24_rows7.tif"},
    };
    for (const std::string options : {"", "--boost --posterise 5", "--weighting tv --invert"}) {
        for (const auto& [single, strips] : pairs) {
            SCOPED_TRACE(std::string(strips) + " [" + options + "]");
            if (!exists(source(strips))) continue;  // tiffcp missing
            ASSERT_EQ(convert(options, source(single), dir_->file("single.tif")), 0);
            ASSERT_EQ(convert(options, source(strips), dir_->file("strips.tif")), 0);
            EXPECT_EQ(withoutDateTime(readBytes(dir_->file("single.tif"))),
                      withoutDateTime(readBytes(dir_->file("strips.tif"))));
        }
    }
}

TEST_F(TiffFixtures, LibtiffReadsEveryOutputWithoutComplaint) {
    if (runCommand("which tiffinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "libtiff-tools missing";
    int index = 0;
    for (const char* name : {"tf24_ii.tif", "tf48_mm.tif", "tf96f_mm.tif", "tf96i_mm_strips.tif", "tc48_rows3.tif",
                             "im48.tif"}) {
        for (const std::string options : {"", "--swap --boost"}) {
            SCOPED_TRACE(std::string(name) + " [" + options + "]");
            if (!exists(source(name))) continue;
            const std::string out = dir_->file("lib" + std::to_string(index++) + ".tif");
            ASSERT_EQ(convert(options, source(name), out), 0);
            for (const std::string tool : {"tiffdump", "tiffinfo -D"}) {
                ASSERT_EQ(runCommand(tool + " " + out + " >" + out + ".txt 2>" + out + ".warn"), 0) << tool;
                std::ifstream warnings(out + ".warn");
                std::string line;
                while (std::getline(warnings, line))
                    EXPECT_NE(line.find("Unknown field with tag 309"), std::string::npos) << tool << ": " << line;
            }
            std::ifstream info(out + ".txt");  // what tiffinfo read
            const std::string text((std::istreambuf_iterator<char>(info)), std::istreambuf_iterator<char>());
            EXPECT_NE(text.find("Bits/Sample: 16"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace kelvarin::test
