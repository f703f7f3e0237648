// The guarantee checks that the sweeps, the hostile-input tables and the fuzzers rely on must
// themselves see every broken guarantee.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/grey_tiff_writer.h"
#include "formats/memory_file_system.h"
#include "support/job_check.h"

namespace kelvarin::test {
namespace {

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes greyTiff(ByteOrder order, std::uint32_t width, std::uint32_t length, std::size_t dataBytes) {
    const GreyTiffFields fields{
        order == ByteOrder::II ? toFourBytes(width, order) : Field4{static_cast<std::uint8_t>(width >> 8),
                                                                   static_cast<std::uint8_t>(width), 0, 0},
        order == ByteOrder::II ? toFourBytes(length, order) : Field4{static_cast<std::uint8_t>(length >> 8),
                                                                    static_cast<std::uint8_t>(length), 0, 0},
        order == ByteOrder::II ? toFourBytes(length, order) : Field4{static_cast<std::uint8_t>(length >> 8),
                                                                    static_cast<std::uint8_t>(length), 0, 0},
        toFourBytes(static_cast<std::uint32_t>(dataBytes), order)};
    const GreyTiffHeader header = buildGreyTiffHeader(order, fields, "2026:12:07 10:20:30");
    Bytes file(header.size() + dataBytes, 0x5A);
    std::copy(header.begin(), header.end(), file.begin());
    return file;
}

TEST(GreyTiffInfo, ReadsOurOwnHeaderInBothByteOrders) {
    for (ByteOrder order : {ByteOrder::II, ByteOrder::MM}) {
        const auto info = readGreyTiffInfo(greyTiff(order, 300, 7, 4200));
        ASSERT_TRUE(info);
        EXPECT_EQ(info->width, 300u);
        EXPECT_EQ(info->length, 7u);
        EXPECT_EQ(info->stripOffset, 302u);
        EXPECT_EQ(info->stripByteCounts, 4200u);
    }
    Bytes cut = greyTiff(ByteOrder::II, 3, 3, 18);
    cut.resize(40);
    EXPECT_FALSE(readGreyTiffInfo(cut)) << "an IFD running off the file";
    EXPECT_FALSE(readGreyTiffInfo(text("P5\n")));
}

struct Scene {
    TempDir dir;
    Harness h;
    JobCheck check;
    Scene() {
        check.sourcePath = dir.file("in.dat");
        check.sourceBytes = {1, 2, 3};
        check.destinationPath = dir.file("out.tif");
        writeBytes(check.sourcePath, check.sourceBytes);
    }
    void refusal() {
        h.port.boxes.push_back({"No.", "KELVARIN - PGM.", MessageIcon::Error});
        h.port.log.insert(h.port.log.end(), {">>> No. STOP!", "Closed file:", check.sourcePath});
    }
    void resultBox(bool success) {
        h.port.boxes.push_back(success ? noticeBox("TIF Conversion concluded.", "KELVARIN - Success.",
                                                   MessageIcon::Information)
                                       : noticeBox("There were errors.", "KELVARIN - Error.", MessageIcon::Error));
    }
    std::vector<std::string> outcome(int result) { return checkJobOutcome(h, result, check); }
};

TEST(JobOutcome, AcceptsACleanRefusalAndACompleteOutput) {
    Scene refused;
    refused.refusal();
    refused.resultBox(false);
    EXPECT_TRUE(refused.outcome(0).empty());

    Scene converted;
    writeBytes(converted.check.destinationPath, greyTiff(ByteOrder::MM, 3, 2, 12));
    converted.resultBox(true);
    EXPECT_TRUE(converted.outcome(1).empty());
}

TEST(JobOutcome, SeesEveryBrokenGuarantee) {
    const auto has = [](const std::vector<std::string>& broken, const std::string& what) {
        for (const auto& line : broken) {
            if (line.find(what) != std::string::npos) return true;
        }
        return false;
    };
    {
        Scene s;
        s.refusal();
        s.resultBox(false);
        writeBytes(s.check.destinationPath, Bytes(302));
        writeBytes(s.check.sourcePath, Bytes{1, 2});
        const auto broken = s.outcome(0);
        EXPECT_TRUE(has(broken, "left its destination behind"));
        EXPECT_TRUE(has(broken, "source file changed"));
    }
    {
        Scene s;
        s.resultBox(false);
        const auto broken = s.outcome(0);
        EXPECT_TRUE(has(broken, "no message box of its own"));
        EXPECT_TRUE(has(broken, "did not log \"Closed file:\""));
        EXPECT_TRUE(has(broken, "no \">>> ... STOP!\" line"));
    }
    {
        Scene s;
        s.refusal();
        s.refusal();
        s.resultBox(false);
        EXPECT_TRUE(has(s.outcome(0), "showed 2 message boxes"));
    }
    {
        Scene s;
        s.resultBox(true);
        writeBytes(s.check.destinationPath, greyTiff(ByteOrder::II, 3, 2, 10));
        EXPECT_TRUE(has(s.outcome(1), "10 data bytes for 3 x 2 pixels"));
    }
    {
        Scene s;
        s.resultBox(true);
        Bytes file = greyTiff(ByteOrder::II, 3, 2, 12);
        file.pop_back();
        writeBytes(s.check.destinationPath, file);
        EXPECT_TRUE(has(s.outcome(1), "but its header says 12"));
    }
    {
        Scene s;
        s.resultBox(true);
        EXPECT_TRUE(has(s.outcome(1), "wrote no destination"));
    }
    {
        Scene s;
        s.resultBox(true);
        s.h.session.files.source = diskFileSystem().open(s.check.sourcePath, File::Mode::Read);
        s.check.output = OutputKind::RawExport;
        s.check.exportBytes = 4;
        writeBytes(s.check.destinationPath, Bytes(3));
        const auto broken = s.outcome(1);
        EXPECT_TRUE(has(broken, "source is still open"));
        EXPECT_TRUE(has(broken, "holds 3 bytes, not 4"));
    }
}

// The fuzzers run jobs on files in memory: the same guarantees are read from there, and a
// destination still open or a file under another name is a half-written leftover.
TEST(JobOutcome, SeesBrokenGuaranteesOfFilesInMemory) {
    const auto scene = [](MemoryFileSystem& files, JobCheck& check, Harness& h) {
        check.memory = &files;
        check.sourcePath = "/m/in.dat";
        check.sourceBytes = {1, 2, 3};
        check.destinationPath = "/m/out.tif";
        files.put(check.sourcePath, check.sourceBytes);
        h.port.boxes.push_back({"No.", "KELVARIN - PGM.", MessageIcon::Error});
        h.port.log = {">>> No. STOP!", "Closed file:", check.sourcePath};
        h.port.boxes.push_back({"There were errors.", "KELVARIN - Error.", MessageIcon::Error});
    };
    struct Case {
        const char* name;
        void (*damage)(MemoryFileSystem&, std::unique_ptr<File>&);
        const char* broken;  // nothing: the job behaved
    };
    const Case cases[] = {
        {"clean refusal", [](MemoryFileSystem&, std::unique_ptr<File>&) {}, nullptr},
        {"source changed", [](MemoryFileSystem& f, std::unique_ptr<File>&) { f.put("/m/in.dat", {1, 2}); },
         "the source file changed"},
        {"destination left", [](MemoryFileSystem& f, std::unique_ptr<File>&) { f.put("/m/out.tif", Bytes(302)); },
         "left its destination behind"},
        {"destination open", [](MemoryFileSystem& f, std::unique_ptr<File>& open) {
             open = f.open("/m/out.tif", File::Mode::Replace);
         }, "left open, half-written"},
        {"stray file", [](MemoryFileSystem& f, std::unique_ptr<File>&) { f.put("/m/.out.tif.tmp", {0}); },
         "a stray file: /m/.out.tif.tmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem files;
        JobCheck check;
        Harness h(files);
        scene(files, check, h);
        std::unique_ptr<File> open;
        c.damage(files, open);
        const auto broken = checkJobOutcome(h, 0, check);
        if (!c.broken) {
            EXPECT_TRUE(broken.empty()) << broken.front();
            continue;
        }
        EXPECT_NE(std::find_if(broken.begin(), broken.end(),
                               [&](const std::string& line) { return line.find(c.broken) != std::string::npos; }),
                  broken.end());
    }
}

TEST(JobOutcome, LastLoggedNumberTakesTheLastMatchingLine) {
    const std::vector<std::string> log{" 256 ImageWidth = 5", "Width: 7", " 256 ImageWidth = 12", "Image size:  6"};
    EXPECT_EQ(lastLoggedNumber(log, " 256 ImageWidth ="), 12u);
    EXPECT_EQ(lastLoggedNumber(log, "Image size:"), 6u);
    EXPECT_FALSE(lastLoggedNumber(log, "Length:"));
}

}  // namespace
}  // namespace kelvarin::test
