// Destinations are replaced whole or not at all: a job that fails after its Save dialog leaves the
// file the name held exactly as it was, a successful one replaces it (at the end of a symbolic
// link, with the old permission bits), and no temporary file stays beside it either way.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "formats/file.h"
#include "formats/replacing_files.h"

#include "support/job_check.h"
#include "support/sample_sources.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

namespace fs = std::filesystem;

const std::string kWriteError =
    "KELVARIN - Write Error: Cannot write the converted file (disk full or no permission).";
const std::string kWriteStop = ">>> Writing the converted file failed. STOP!";

fs::perms permissionsOf(const std::string& path) { return fs::status(path).permissions() & fs::perms::all; }

fs::perms newFilePermissions() {
    const mode_t mask = umask(0);
    umask(mask);
    return fs::perms(0666 & ~mask);
}

struct ReplaceCase {
    const char* name;
    int command;
    bool teRaw;
    Bytes source;
    bool oldFile;       // the destination's name holds a file before the job
    bool throughLink;   // the name is a symbolic link to that file
    rlim_t sizeLimit;   // 0: none; otherwise writes beyond it fail as on a full disk
    std::size_t newSize;             // of a successful destination; 0 for a failing job
    std::vector<std::string> boxes;  // the failing job's refusal
};

void PrintTo(const ReplaceCase& c, std::ostream* out) { *out << c.name; }

TiffLayout rgb48() { return {true, 16, false, 3, 64, 16, 0}; }
TiffLayout grey16() { return {true, 16, false, 1, 64, 16, 0}; }

Bytes truncatedRadiance() {
    Bytes file = buildRadiance(256, 1);
    file.pop_back();  // the last run loses its value byte: found only while decoding
    return file;
}

std::vector<ReplaceCase> cases() {
    return {
        {"tiff_disk_full", ids::OpenTif, false, buildTiff(rgb48()), true, false, 1000, 0, {kWriteError}},
        {"radiance_truncated_through_link", ids::OpenHdr, false, truncatedRadiance(), true, true, 0, 0,
         {"KELVARIN - Radiance: Cannot handle data."}},
        {"tiff_through_link", ids::OpenTif, false, buildTiff(rgb48()), true, true, 0, 302 + 2 * 64 * 16, {}},
        {"tiff_new_file", ids::OpenTif, false, buildTiff(rgb48()), false, false, 0, 302 + 2 * 64 * 16, {}},
        {"te_raw_disk_full_through_link", ids::OpenTif, true, buildTiff(grey16()), true, true, 1000, 0, {kWriteError}},
        {"te_raw", ids::OpenTif, true, buildTiff(grey16()), true, false, 0, 2 * 64 * 16, {}},
    };
}

class ReplacedDestination : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplacedDestination, HoldsTheOldFileOrTheCompleteNewOne) {
    const ReplaceCase& c = GetParam();
    TempDir dir;
    writeBytes(dir.file("source"), c.source);
    const std::string name = dir.file(c.teRaw ? "out.raw" : "out.tif");
    // Through a link the file lives in a folder of its own, where its temporary file must go.
    const std::string target = c.throughLink ? dir.file("store/map") : name;
    const Bytes old{'o', 'l', 'd', ' ', 'm', 'a', 'p'};
    if (c.throughLink) {
        fs::create_directory(dir.file("store"));
        fs::create_symlink("store/map", name);
    }
    if (c.oldFile) {
        writeBytes(target, old);
        fs::permissions(target, fs::perms(0640));
    }
    const auto namesBefore = namesIn(dir.path());

    Harness h;
    h.session.options.teRawMode = c.teRaw;
    int result = -1;
    {
        std::optional<FileSizeLimit> limit;
        if (c.sizeLimit) limit.emplace(c.sizeLimit);
        result = h.run(c.command, {dir.file("source"), name});
    }

    std::vector<std::string> refusals;
    for (const auto& box : refusalBoxes(h.port)) refusals.push_back(box.caption + ": " + box.text);
    EXPECT_EQ(refusals, c.boxes);
    EXPECT_EQ(h.session.files.destination, nullptr);
    if (c.newSize == 0) {
        EXPECT_EQ(result, 0);
        if (c.oldFile) {
            EXPECT_EQ(readBytes(target), old);
            EXPECT_EQ(permissionsOf(target), fs::perms(0640));
        }
        EXPECT_EQ(namesIn(dir.path()), namesBefore);
        if (c.sizeLimit) {
            EXPECT_NE(std::find(h.port.log.begin(), h.port.log.end(), kWriteStop), h.port.log.end());
        }
    } else {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(readBytes(target).size(), c.newSize);
        EXPECT_EQ(permissionsOf(target), c.oldFile ? fs::perms(0640) : newFilePermissions());
        auto names = namesBefore;
        names.insert(c.teRaw ? "out.raw" : "out.tif");
        EXPECT_EQ(namesIn(dir.path()), names);
    }
    if (c.throughLink) {
        EXPECT_TRUE(fs::is_symlink(name));
        EXPECT_EQ(namesIn(dir.file("store")), (std::set<std::string>{"map"}));
    }
    // The log names the destination as chosen, never the temporary file.
    for (const std::string& line : h.port.log) EXPECT_EQ(line.find(".kelvarin-"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(Jobs, ReplacedDestination, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The last step, moving the complete file over the name, can fail too (here the name has become a
// folder meanwhile): reported as a failed write, never as a success.
TEST(ReplacedDestination, FailedMoveIntoPlaceIsAFailedWrite) {
    TempDir dir;
    writeBytes(dir.file("in.tif"), buildTiff(rgb48()));
    writeText(dir.file("out.tif"), "old map");
    Harness h;
    h.port.onLogLine = [&](const std::string& line) {
        if (line != "DONE. Standby for data conversion.") return;
        fs::remove(dir.file("out.tif"));
        fs::create_directory(dir.file("out.tif"));
        writeText(dir.file("out.tif/keep"), "x");
    };
    EXPECT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")}), 0);
    EXPECT_EQ(h.port.boxTexts(), (std::vector<std::string>{kWriteError, "KELVARIN - Error.: There were errors."}));
    EXPECT_NE(std::find(h.port.log.begin(), h.port.log.end(), kWriteStop), h.port.log.end());
    EXPECT_EQ(std::find(h.port.log.begin(), h.port.log.end(), "Closed converted file:"), h.port.log.end());
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"in.tif", "out.tif"}));
    EXPECT_EQ(readBytes(dir.file("out.tif/keep")), Bytes{'x'});
}

// A name near the 255-byte limit still takes its new file: the hidden name it is written under
// first must fit the limit too.
TEST(ReplacedDestination, LongestNameIsReplaced) {
    TempDir dir;
    const std::string name = dir.file(std::string(251, 'n') + ".tif");
    writeText(name, "old map");
    std::unique_ptr<File> file = diskFileSystem().open(name, File::Mode::Replace);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->write("new map", 7));
    EXPECT_TRUE(file->commit());
    file.reset();
    EXPECT_EQ(readBytes(name), (Bytes{'n', 'e', 'w', ' ', 'm', 'a', 'p'}));
    EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());
}

// A large destination is synced in steps while it is written: committed, it is whole; dropped, it
// leaves the old file; either way no temporary file, whatever sync still ran at the end.
TEST(ReplacedDestination, FileSyncedWhileWrittenIsWholeOrLeavesTheOldOne) {
    constexpr std::size_t kStep = std::size_t{8} << 20;  // the disk file's write-back step
    struct Case {
        std::size_t size;
        bool commit;
    };
    const Case cases[] = {{0, true},         {kStep - 1, true},          {kStep, true},
                          {3 * kStep + 5, true}, {3 * kStep + 5, false}, {kStep + 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.size << (c.commit ? " committed" : " dropped"));
        TempDir dir;
        const std::string name = dir.file("map.r16");
        writeText(name, "old map");
        Bytes fresh(c.size);
        for (std::size_t i = 0; i < fresh.size(); ++i) fresh[i] = static_cast<std::uint8_t>(i * 7 + (i >> 20));
        std::unique_ptr<File> file = diskFileSystem().open(name, File::Mode::Replace);
        ASSERT_TRUE(file);
        // In uneven pieces, so that the steps fall inside writes.
        for (std::size_t at = 0; at < fresh.size();) {
            const std::size_t piece = std::min<std::size_t>(fresh.size() - at, 1000003);
            ASSERT_TRUE(file->write(fresh.data() + at, piece));
            at += piece;
        }
        if (c.commit) {
            EXPECT_TRUE(file->commit());
        }
        file.reset();
        const Bytes old{'o', 'l', 'd', ' ', 'm', 'a', 'p'};
        EXPECT_EQ(readBytes(name), c.commit ? fresh : old);
        EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());
    }
}

// A sync that fails early fails the file, even when a later one succeeds.
TEST(ReplacedDestination, EarlySyncFailureIsKept) {
    TempDir dir;
    const std::string name = dir.file("synced");
    writeText(name, "x");
    struct Case {
        std::vector<bool> validDescriptors;  // one sync each, the one before finished
        bool fine;
    };
    const Case cases[] = {{{}, true}, {{true}, true}, {{false}, false}, {{true, false}, false}, {{false, true}, false}};
    for (const Case& c : cases) {
        FILE* stream = std::fopen(name.c_str(), "rb+");
        ASSERT_TRUE(stream);
        {
            disk::EarlySyncs syncs;
            for (const bool valid : c.validDescriptors) {
                syncs.start(valid ? fileno(stream) : -1);
                (void)syncs.finish();
            }
            EXPECT_EQ(syncs.finish(), c.fine) << c.validDescriptors.size();
        }
        std::fclose(stream);
    }
}

// An interrupt while other threads are making temporary files (a batch with many jobs at once):
// once the handler's work is done and the program ends on the spot, none of them may be left.
// Each round runs in a child process, which the interrupt ends.
TEST(ReplacedDestination, InterruptLeavesNoTemporaryFileWhileOthersAreMade) {
    TempDir dir;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::atomic<int> made{0};
            std::vector<std::thread> makers;
            for (int k = 0; k < 8; ++k)
                makers.emplace_back([&, k] {
                    for (int n = 0;; ++n) {
                        auto file = diskFileSystem().open(dir.file(std::to_string(k) + "-" + std::to_string(n) + ".tif"),
                                                          File::Mode::Replace);
                        if (file) made.fetch_add(1);
                    }
                });
            while (made.load() < 8 * (round + 1)) std::this_thread::yield();
            removeTemporaryFilesNow();
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(temporaryFilesIn(dir.path()), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace kelvarin::test
