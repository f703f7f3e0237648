// The job's spine through the scripted port: log services, format detection, dialog logic.
#include <gtest/gtest.h>

#include "job/conversion_job.h"
#include "job/file_dialogs.h"
#include "job/job_context.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kDashes(72, '-');
const std::string kEquals(72, '=');

TEST(StatusLog, CountsLinesAndKeepsThemAcrossJobs) {
    Harness h;
    EXPECT_EQ(h.session.log.lineCounter(), 1);
    h.session.log.appendLine("first");
    h.session.log.appendLine("");
    EXPECT_EQ(h.session.log.lineCounter(), 3);
    h.session.setBusy();
    EXPECT_FALSE(h.port.commandsEnabled);
    h.session.setBusy();  // a second call changes nothing
    EXPECT_EQ(h.port.enableCalls, (std::vector<bool>{true, false}));
    h.session.log.endOfJob();
    EXPECT_TRUE(h.port.commandsEnabled);
    EXPECT_EQ(h.session.progress.position(), 0);
    EXPECT_EQ(h.port.log, (Lines{"first", "", kEquals}));
    h.handler.resetWindow();
    EXPECT_TRUE(h.port.log.empty());
    EXPECT_EQ(h.session.log.lineCounter(), 1);
    EXPECT_EQ(h.session.progress.maximum(), 1);
}

TEST(StatusLog, ClosedSourceLinesCloseTheFile) {
    TempDir dir;
    writeText(dir.file("a.tif"), "II*");
    Harness h;
    h.session.files.sourcePath = dir.file("a.tif");
    h.session.files.source = diskFileSystem().open(h.session.files.sourcePath, File::Mode::Read);
    ASSERT_TRUE(h.session.files.source);
    h.session.log.logClosedSource();
    EXPECT_EQ(h.session.files.source, nullptr);
    EXPECT_EQ(h.port.log, (Lines{"Closed file:", dir.file("a.tif"), kDashes}));
}

struct DetectionCase {
    const char* name;
    std::string bytes;
    bool swap;
    SourceKind requested;
    bool accepted;
    SourceKind kind;
    ByteOrder order, outputOrder;
    Lines lines;
};

TEST(FormatDetection, FirstTwoBytesDecide) {
    const DetectionCase cases[] = {
        {"intel", "II*\0", false, SourceKind::Tif, true, SourceKind::Tif, ByteOrder::II, ByteOrder::II,
         {"Source data type big endian (Intel) 1"}},
        {"intel swapped", "II*\0", true, SourceKind::Tif, true, SourceKind::Tif, ByteOrder::II, ByteOrder::MM,
         {"Source data type big endian (Intel) 1", "Dest data type little endian (Motorola) - converting."}},
        {"motorola", "MM\0*", false, SourceKind::Tif, true, SourceKind::Tif, ByteOrder::MM, ByteOrder::MM,
         {"Data type little endian (Motorola) 0"}},
        {"motorola swapped", "MM\0*", true, SourceKind::Tif, true, SourceKind::Tif, ByteOrder::MM, ByteOrder::II,
         {"Data type little endian (Motorola) 0", "Dest data type big endian (Intel) - converting."}},
        {"tiff through the PGM command keeps the kind", "II*\0", false, SourceKind::Pgm, true, SourceKind::Pgm,
         ByteOrder::II, ByteOrder::II, {"Source data type big endian (Intel) 1"}},
        {"plain pgm", "P2\n", false, SourceKind::Tif, true, SourceKind::Pgm, ByteOrder::MM, ByteOrder::MM,
         {"P2 Text Portable Grey Map."}},
        {"binary pgm", "P5\n", false, SourceKind::Tif, true, SourceKind::Pgm, ByteOrder::MM, ByteOrder::MM,
         {"P5 16-bit Portable Grey Map."}},
        {"radiance", "#?RADIANCE\n", false, SourceKind::Tif, true, SourceKind::Rgbe, ByteOrder::MM, ByteOrder::MM,
         {"96-bit RGBE HDRI."}},
        {"text", "hello", false, SourceKind::Tif, false, SourceKind::Tif, ByteOrder::MM, ByteOrder::MM,
         {"STOP - No Job!", "Closed file:", "", kDashes}},
        {"one byte", "I", false, SourceKind::Tif, false, SourceKind::Tif, ByteOrder::MM, ByteOrder::MM,
         {"STOP - No Job!", "Closed file:", "", kDashes}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("source");
        writeText(path, c.bytes);
        Harness h;
        h.session.options.swapByteOrder = c.swap;
        h.session.request = {c.requested};
        h.session.files.sourcePath = path;
        h.session.files.source = diskFileSystem().open(path, File::Mode::Read);
        JobContext job(h.session);
        job.image.reset(c.requested);
        EXPECT_EQ(detectFormat(job), c.accepted);
        EXPECT_EQ(job.image.kind, c.kind);
        EXPECT_EQ(job.image.byteOrder, c.order);
        EXPECT_EQ(job.image.outputByteOrder, c.outputOrder);
        Lines expected = c.lines;
        for (auto& line : expected)
            if (line.empty()) line = path;
        EXPECT_EQ(h.port.log, expected);
        if (!c.accepted) {
            EXPECT_EQ(h.port.boxTexts(), (Lines{"KELVARIN - File|Open: Not a TIF, PGM or RGBE file."}));
            EXPECT_EQ(h.port.boxes[0].icon, MessageIcon::Error);
        }
    }
}

TEST(ConversionCommand, UnrecognisedSourceStopsTheJob) {
    TempDir dir;
    writeText(dir.file("notes.txt"), "just some text");
    Harness h;
    EXPECT_EQ(h.run(ids::OpenTif, {dir.file("notes.txt"), dir.file("out.tif")}), 0);
    const std::string src = dir.file("notes.txt");
    EXPECT_EQ(h.port.log, (Lines{"Input file opened:", src, "Input file opened:", src, "STOP - No Job!",
                                 "Closed file:", src, kDashes, kEquals}));
    EXPECT_EQ(h.port.boxTexts(), (Lines{"KELVARIN - File|Open: Not a TIF, PGM or RGBE file.",
                                        "KELVARIN - Error.: There were errors."}));
    EXPECT_FALSE(exists(dir.file("out.tif")));
    EXPECT_TRUE(h.port.commandsEnabled);
    EXPECT_EQ(h.port.dialogs.size(), 1u);
}

struct DialogCase {
    const char* name;
    int command;
    std::vector<std::optional<std::string>> answers;  // "" stands for the existing sample file
    Lines boxes;
};

TEST(FileDialogs, RefusalsShowTheirMessages) {
    const DialogCase cases[] = {
        {"cancelled tif", ids::OpenTif, {std::nullopt},
         {"KELVARIN - Open Error: No Input File Selected.", "KELVARIN - File|Open: File not found.",
          "KELVARIN - Error.: There were errors."}},
        {"missing tif", ids::OpenTif, {std::string("/no/such/file.tif")},
         {"KELVARIN - File|Open: File not found.", "KELVARIN - Error.: There were errors."}},
        {"cancelled bin header", ids::BinToTif, {std::string(""), std::nullopt},
         {"KELVARIN - Warning.: All the Options are Deactivated in this mode!",
          "KELVARIN - Open Error: No Header File Selected.", "KELVARIN - File|Open: File not found.",
          "KELVARIN - Error.: There were errors."}},
        {"cancelled raw", ids::RawToTif, {std::nullopt},
         {"KELVARIN - Warning.: All the Options are Deactivated in this mode!",
          "KELVARIN - Open Error: No Input File Selected.", "KELVARIN - File|Open: File not found.",
          "KELVARIN - Error.: There were errors."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeText(dir.file("sample"), "data");
        std::vector<std::optional<std::string>> answers;
        for (const auto& a : c.answers) answers.push_back(a && a->empty() ? std::optional(dir.file("sample")) : a);
        Harness h;
        EXPECT_EQ(h.run(c.command, answers), 0);
        EXPECT_EQ(h.port.boxTexts(), c.boxes);
        // A file that is not there: the system's reason, with the path, before the end of the job.
        Lines log{kEquals};
        if (std::string(c.name) == "missing tif") log.insert(log.begin(), "Reason: no such file (/no/such/file.tif)");
        EXPECT_EQ(h.port.log, log);
        EXPECT_EQ(h.session.request.kind, SourceKind::None);
        EXPECT_EQ(h.session.files.source, nullptr);
    }
}

TEST(FileDialogs, TitlesFiltersAndExtensions) {
    struct Case {
        FileDialogRequest request;
        const char* title;
        Lines patterns;
        const char* extension;
    };
    const Case cases[] = {
        {sourceDialogRequest(SourceKind::Tif), "KELVARIN Open TIF", {"TIF|*.tif", "TIFF|*.tiff", "All Files|*.*"}, "tif"},
        {sourceDialogRequest(SourceKind::Rgbe), "KELVARIN Open HDR", {"HDR|*.hdr", "All Files|*.*"}, "hdr"},
        {sourceDialogRequest(SourceKind::Pgm), "KELVARIN Open PGM", {"PGM|*.pgm", "All Files|*.*"}, "pgm"},
        {sourceDialogRequest(SourceKind::Raw), "KELVARIN Open RAW", {"RAW|*.raw", "All Files|*.*"}, "raw"},
        {sourceDialogRequest(SourceKind::Bin), "KELVARIN Open BIN", {"BIN|*.bin", "All Files|*.*"}, "bin"},
        {binHeaderDialogRequest(), "KELVARIN Open BIN HDR", {"HDR|*.hdr", "All Files|*.*"}, "hdr"},
        {terrainDialogRequest(), "KELVARIN Open RAW", {"RAW|*.raw", "All Files|*.*"}, "raw"},
        {saveTiffDialogRequest(), "KELVARIN Save", {"TIF|*.tif", "TIFF|*.tiff", "PNG|*.png", "R16|*.r16", "All Files|*.*"},
         "tif"},
        {saveRawDialogRequest(), "KELVARIN Save", {"RAW|*.raw", "All Files|*.*"}, "raw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(c.request.title, c.title);
        Lines patterns;
        for (const auto& f : c.request.filters) patterns.push_back(f.description + "|" + f.pattern);
        EXPECT_EQ(patterns, c.patterns);
        EXPECT_EQ(c.request.defaultExtension, c.extension);
    }
}

TEST(FileDialogs, SaveDialogs) {
    TempDir dir;
    writeText(dir.file("in.tif"), "II*");
    writeText(dir.file("old.tif"), std::string(1000, 'x'));
    struct Case {
        const char* name;
        bool raw;
        std::optional<std::string> answer;
        bool created;
        Lines boxes;
    };
    const Case cases[] = {
        {"cancelled", false, std::nullopt, false, {"KELVARIN - Save As Error: Missing Filename."}},
        {"cancelled raw", true, std::nullopt, false, {"KELVARIN - Save Raw As Error: Missing Filename."}},
        {"new file", false, dir.file("new.tif"), true, {}},
        {"existing file is replaced", true, dir.file("old.tif"), true, {}},
        {"the source itself", false, dir.file("in.tif"), false,
         {"KELVARIN - Save As Error: The destination is the source file itself. Choose another name."}},
        {"the source spelled otherwise", false, dir.path() + "/./sub/../in.tif", false,
         {"KELVARIN - Save As Error: The destination is the source file itself. Choose another name."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.session.files.sourcePath = dir.file("in.tif");
        h.port.answers = {c.answer};
        const bool created = c.raw ? saveRawDestination(h.session) : saveTiffDestination(h.session);
        EXPECT_EQ(created, c.created);
        EXPECT_EQ(h.port.boxTexts(), c.boxes);
        EXPECT_EQ(h.port.dialogs.at(0).save, true);
        if (created) {
            // The name holds what it held before until the finished destination is committed.
            const bool existed = *c.answer == dir.file("old.tif");
            EXPECT_EQ(exists(*c.answer), existed);
            EXPECT_EQ(readBytes(*c.answer).size(), existed ? 1000u : 0u);
            EXPECT_TRUE(h.session.files.destination->commit());
            h.session.files.destination.reset();
            EXPECT_EQ(readBytes(*c.answer).size(), 0u);
        }
    }
    EXPECT_EQ(readBytes(dir.file("in.tif")).size(), 3u);  // the source is never touched
}

TEST(FileDialogs, TerrainNames) {
    struct Case {
        const char* path;
        const char* folder;
        const char* base;
    };
    const Case cases[] = {
        {"/maps/8valley.raw", "/maps/", "valley"},
        {"/maps/1abc.raw", "/maps/", "abc"},
        {"/maps/x.raw", "/maps/", ""},
        {"/maps/4alps", "/maps/", "alps"},
        {"/a.b/4alps.v2.raw", "/a.b/", "alps.v2"},
        {"4alps.raw", "", "alps"},
    };
    for (const auto& c : cases) {
        const TerrainName name = splitTerrainName(c.path);
        EXPECT_EQ(name.folder, c.folder) << c.path;
        EXPECT_EQ(name.baseName, c.base) << c.path;
    }
    Harness h;
    std::string folder = "unchanged";
    h.port.answers = {std::nullopt};
    EXPECT_EQ(terrainNameDialog(h.session, folder), "");
    EXPECT_EQ(folder, "unchanged");
    EXPECT_EQ(h.port.boxTexts(), (Lines{"KELVARIN - Open Error: No Valid Input File Selected."}));
}

TEST(FileDialogs, TerrainOpenNeverCreatesAnInput) {
    TempDir dir;
    Harness h;
    EXPECT_EQ(terrainOpen(h.session, dir.file("8x.raw"), true), nullptr);
    EXPECT_FALSE(exists(dir.file("8x.raw")));
    EXPECT_EQ(h.port.boxTexts(), (Lines{"KELVARIN - Error.: File " + dir.file("8x.raw") + " not found"}));
    auto out = terrainOpen(h.session, dir.file("x_4096.tif"), false);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(h.port.log, (Lines{"Input file opened: ", dir.file("x_4096.tif")}));
    EXPECT_EQ(h.session.request.kind, SourceKind::Raw);
}

}  // namespace
}  // namespace kelvarin::test
