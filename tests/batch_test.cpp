// kelvarin-cli --out-dir: many sources, several jobs at once. Each job must print and write exactly
// what a single-file run does; the batch adds the order, the summary and its own refusals.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>

#include "support/cli_run.h"
#include "support/sample_sources.h"
#include "support/test_files.h"
#include "support/tiff_builder.h"

namespace kelvarin::test {
namespace {

namespace fs = std::filesystem;

// Every name under a folder, as paths relative to it (the runs' own stdout and stderr left out).
std::set<std::string> treeOf(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        if (name != "stdout.txt" && name != "stderr.txt") names.insert(name);
    }
    return names;
}

// The seconds a log reports vary from run to run.
std::string withoutSeconds(const std::string& log) {
    return std::regex_replace(log, std::regex("[ -][0-9]+ seconds\n"), " N seconds\n");
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The summary at the end of stderr with each job's seconds as "T".
std::vector<std::string> summaryOf(const std::string& err, std::size_t jobs) {
    std::vector<std::string> lines = linesOf(err);
    if (lines.size() < jobs + 1) return lines;
    lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(jobs + 1));
    for (std::string& line : lines)
        line = std::regex_replace(line, std::regex("^(ok|FAILED|total: .*,) [0-9]+\\.[0-9]{3} s"), "$1 T s");
    return lines;
}

// stdout cut into its blocks: each "### SOURCE" line and the log under it.
std::vector<std::pair<std::string, std::string>> blocksOf(const std::string& out) {
    std::vector<std::pair<std::string, std::string>> blocks;
    for (const std::string& line : linesOf(out)) {
        if (line.rfind("### ", 0) == 0) {
            blocks.push_back({line.substr(4), ""});
        } else if (!blocks.empty()) {
            blocks.back().second += line + "\n";
        } else {
            blocks.push_back({"(before any block)", line});
        }
    }
    return blocks;
}

Bytes rgbTiff(bool intel, std::uint32_t bits, bool floating, std::uint32_t side) {
    return buildTiff({intel, bits, floating, 3, side, side, 0});
}

TEST(Batch, RefusalsWriteNothing) {
    struct Case {
        const char* args;
        bool usage;  // refused as a usage error (usage text) or by the batch (one line)
    };
    const Case cases[] = {
        {"--out-dir notes.txt tif src", false},            // not a folder
        {"--out-dir notes.txt/sub tif src", false},        // cannot be made
        {"--out-dir out tif src/a.tif other/a.tif", false},  // two sources, one destination
        {"--out-dir out tif src src/./b.tif", false},      // one source twice
        {"--out-dir src tif src/a.tif", false},            // the destination is the source
        {"--out-dir ./other/../src tif src", false},       // ... however spelled
        {"--out-dir linked tif src/a.tif", false},         // ... or a hard link to it
        {"--out-dir softlinked tif src/a.tif", false},     // ... or reached through a linked folder
        {"--out-dir src tif src/soft.tif", false},         // ... or a link to it named as the source
        {"--out-dir out tif empty", false},                // no sources
        {"--out-dir out --jobs 0 tif src", true},
        {"--out-dir out --jobs 2x tif src", true},
        {"--out-dir out --format jpg tif src", true},
        {"--out-dir out bin src/a.tif", true},
        {"--out-dir out tif", true},
        {"--overwrite tif src/a.tif out.tif", true},
    };
    TempDir dir;
    for (const char* folder : {"src", "other", "empty", "linked"}) fs::create_directory(dir.file(folder));
    writeBytes(dir.file("src/a.tif"), rgbTiff(true, 16, false, 8));
    writeBytes(dir.file("src/b.tif"), rgbTiff(true, 8, false, 8));
    writeBytes(dir.file("other/a.tif"), rgbTiff(false, 16, false, 8));
    writeText(dir.file("empty/notes.txt"), "no image\n");
    writeText(dir.file("notes.txt"), "no folder\n");
    fs::create_hard_link(dir.file("src/a.tif"), dir.file("linked/a.tif"));
    fs::create_directory_symlink("src", dir.file("softlinked"));
    fs::create_symlink("a.tif", dir.file("src/soft.tif"));
    const std::set<std::string> before = treeOf(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun run = runCli(dir, c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        if (c.usage) {
            EXPECT_NE(run.err.find("usage: kelvarin-cli"), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(run.err.rfind("kelvarin-cli: ", 0), 0u) << run.err;
            EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
        }
        EXPECT_EQ(treeOf(dir.path()), before);
    }
}

// A folder stands for its visible files only: macOS's "._NAME" AppleDouble files would fail as
// pictures and ".NAME" ones would give hidden results. A hidden file named by itself is converted.
TEST(Batch, FoldersLeaveOutHiddenFiles) {
    struct Case {
        const char* sources;
        int status;
        std::set<std::string> results;  // in out, when the batch ran
    };
    const Case cases[] = {
        {"src", 0, {"a.tif", "b.tif"}},
        {"src src/.hidden.tif", 0, {"a.tif", "b.tif", ".hidden.tif"}},
        {"dots", 2, {}},  // no sources
    };
    TempDir dir;
    for (const char* folder : {"src", "dots"}) fs::create_directory(dir.file(folder));
    for (const char* name : {"src/a.tif", "src/b.TIFF", "src/.hidden.tif", "dots/.d.tif"})
        writeBytes(dir.file(name), rgbTiff(true, 16, false, 8));
    for (const char* name : {"src/._a.tif", "dots/._d.tif"}) writeText(dir.file(name), "Mac OS X resource fork\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sources);
        const CliRun run = runCli(dir, std::string("--out-dir out tif ") + c.sources);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.status == 0) {
            EXPECT_EQ(namesIn(dir.file("out")), c.results);
        } else {
            EXPECT_FALSE(fs::exists(dir.file("out")));
        }
        fs::remove_all(dir.file("out"));
    }
}

// Results that exist already with the sources' very size (a rerun with --overwrite): only the one
// that is a source, through a link, is refused; copies are not sources and are replaced.
TEST(Batch, ExistingResultsOfTheSourcesSizeAreSourcesOnlyWhenLinked) {
    const Bytes tiff = rgbTiff(true, 16, false, 8);
    for (const char* how : {"copy", "hard link", "symbolic link"}) {
        SCOPED_TRACE(how);
        TempDir dir;
        for (const char* folder : {"src", "out"}) fs::create_directory(dir.file(folder));
        for (int k = 100; k < 140; ++k) {
            writeBytes(dir.file("src/m" + std::to_string(k) + ".tif"), tiff);
            if (k != 120) writeBytes(dir.file("out/m" + std::to_string(k) + ".tif"), tiff);
        }
        if (how == std::string("copy")) writeBytes(dir.file("out/m120.tif"), tiff);
        if (how == std::string("hard link")) fs::create_hard_link(dir.file("src/m120.tif"), dir.file("out/m120.tif"));
        if (how == std::string("symbolic link")) fs::create_symlink("../src/m120.tif", dir.file("out/m120.tif"));
        const CliRun run = runCli(dir, "--overwrite --out-dir out tif src");
        if (how == std::string("copy")) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_NE(readBytes(dir.file("out/m120.tif")), tiff);
            EXPECT_NE(readBytes(dir.file("out/m139.tif")), tiff);
        } else {
            EXPECT_EQ(run.status, 2);
            EXPECT_EQ(run.err, "kelvarin-cli: the destination out/m120.tif is a source\n");
            EXPECT_EQ(readBytes(dir.file("out/m100.tif")), tiff);
        }
        EXPECT_EQ(readBytes(dir.file("src/m120.tif")), tiff);
    }
}

// Each source converted alone first: the log, boxes and bytes every batch must reproduce, block by
// block in the order of the sources, with one job at a time or several. The first source is the
// largest, so with several jobs the later ones finish before it.
TEST(Batch, EachJobAsASingleRunInSourceOrderWhateverTheJobs) {
    struct Case {
        const char* options;
        const char* command;
        const char* extension;  // of the results
        std::vector<std::pair<std::string, Bytes>> files;
        std::vector<std::string> sources;  // as named on the command line
        std::vector<std::string> expanded;  // the sources they stand for, in order
    };
    const Bytes grey = buildTiff({true, 16, false, 1, 300, 200, 0});
    const std::vector<Case> cases = {
        {"--boost --weighting hdtv", "tif", ".tif",
         {{"src/c.tif", rgbTiff(true, 32, true, 16)},
          {"src/a.tif", rgbTiff(true, 16, false, 1200)},
          {"src/b.TIFF", rgbTiff(false, 8, false, 33)},
          {"src/d.txt", Bytes{'n', 'o'}},
          {"src/sub/e.tif", rgbTiff(true, 16, false, 4)},
          {"z.tif", rgbTiff(false, 16, false, 5)}},
         {"src", "z.tif"},
         {"src/a.tif", "src/b.TIFF", "src/c.tif", "z.tif"}},
        {"--te-raw", "tif", ".raw",
         {{"maps/m2.tif", grey}, {"maps/m1.tif", grey}},
         {"maps/"},
         {"maps/m1.tif", "maps/m2.tif"}},
        {"", "pgm", ".tif",
         {{"p/big.pgm", buildPgm(false, 700, 600)}, {"p/small.PGM", buildPgm(true, 5, 4)}},
         {"p"},
         {"p/big.pgm", "p/small.PGM"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options) + " " + c.command);
        TempDir dir;
        for (const auto& [name, bytes] : c.files) {
            fs::create_directories(fs::path(dir.file(name)).parent_path());
            writeBytes(dir.file(name), bytes);
        }
        struct Single {
            std::string result, log;
            std::vector<std::string> boxes;
            Bytes bytes;
        };
        std::vector<Single> singles;
        for (const std::string& source : c.expanded) {
            Single single;
            single.result = "out/" + fs::path(source).stem().string() + c.extension;
            fs::create_directory(dir.file("out"));
            const CliRun run =
                runCli(dir, std::string(c.options) + " " + c.command + " '" + source + "' '" + single.result + "'");
            ASSERT_EQ(run.status, 0) << source << "\n" << run.err;
            single.log = withoutSeconds(run.out);
            single.boxes = linesOf(run.err);
            single.bytes = withoutDateTime(readBytes(dir.file(single.result)));
            fs::remove_all(dir.file("out"));
            singles.push_back(std::move(single));
        }
        std::string sources;
        for (const std::string& source : c.sources) sources += " '" + source + "'";

        for (const char* jobs : {"1", "2", "3"}) {
            SCOPED_TRACE(std::string("--jobs ") + jobs);
            const CliRun run = runCli(dir, std::string(c.options) + " --jobs " + jobs + " --out-dir out " + c.command +
                                               sources);
            ASSERT_EQ(run.status, 0) << run.err;
            const auto blocks = blocksOf(run.out);
            ASSERT_EQ(blocks.size(), c.expanded.size()) << run.out;
            std::vector<std::string> boxes, summary;
            std::set<std::string> results;
            for (std::size_t k = 0; k < c.expanded.size(); ++k) {
                const Single& single = singles[k];
                EXPECT_EQ(blocks[k].first, c.expanded[k]);
                EXPECT_EQ(withoutSeconds(blocks[k].second), single.log) << c.expanded[k];
                EXPECT_EQ(withoutDateTime(readBytes(dir.file(single.result))), single.bytes) << c.expanded[k];
                for (const std::string& box : single.boxes) boxes.push_back(c.expanded[k] + ": " + box);
                summary.push_back("ok T s " + c.expanded[k] + " -> " + single.result);
                results.insert(fs::path(single.result).filename().string());
            }
            summary.push_back("total: " + std::to_string(c.expanded.size()) + " files, " +
                              std::to_string(c.expanded.size()) + " ok, 0 failed, T s");
            std::vector<std::string> errLines = linesOf(run.err);
            ASSERT_EQ(errLines.size(), boxes.size() + summary.size()) << run.err;
            errLines.resize(boxes.size());
            EXPECT_EQ(errLines, boxes);
            EXPECT_EQ(summaryOf(run.err, c.expanded.size()), summary);
            EXPECT_EQ(namesIn(dir.file("out")), results);
            fs::remove_all(dir.file("out"));
        }
    }
}

// One source that fails among good ones, and results that exist already: the others go on, the
// summary says which failed and why, and the exit status is 1 until every job succeeds.
TEST(Batch, SummaryAndExitStatusWithFailuresAndExistingResults) {
    struct Case {
        const char* args;
        int status;
        bool oldKept;  // out/good2.tif still holds the old bytes
        std::vector<std::string> summary;
    };
    const std::string exists = "out/good2.tif exists already (--overwrite replaces it)";
    const Case cases[] = {
        {"--out-dir out tif good1.tif bad.tif good2.tif", 1, true,
         {"ok T s good1.tif -> out/good1.tif", "FAILED T s bad.tif: Not a TIF, PGM or RGBE file.",
          "FAILED T s good2.tif: " + exists, "total: 3 files, 1 ok, 2 failed, T s"}},
        {"--overwrite --out-dir out tif good1.tif bad.tif good2.tif", 1, false,
         {"ok T s good1.tif -> out/good1.tif", "FAILED T s bad.tif: Not a TIF, PGM or RGBE file.",
          "ok T s good2.tif -> out/good2.tif", "total: 3 files, 2 ok, 1 failed, T s"}},
        {"--overwrite --jobs 1 --out-dir out tif good2.tif good1.tif", 0, false,
         {"ok T s good2.tif -> out/good2.tif", "ok T s good1.tif -> out/good1.tif",
          "total: 2 files, 2 ok, 0 failed, T s"}},
        // The mode warning the PGM command shows first is not why a job failed.
        {"--out-dir out pgm short.pgm", 1, true,
         {"FAILED T s short.pgm: The PGM file holds fewer sample values than its header says.",
          "total: 1 file, 0 ok, 1 failed, T s"}},
    };
    const Bytes old{'o', 'l', 'd'};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        TempDir dir;
        writeBytes(dir.file("good1.tif"), rgbTiff(true, 16, false, 40));
        writeBytes(dir.file("good2.tif"), rgbTiff(false, 8, false, 30));
        writeText(dir.file("bad.tif"), "a text file\n");
        Bytes pgm = buildPgm(false, 6, 5);
        pgm.resize(pgm.size() - 7);
        writeBytes(dir.file("short.pgm"), pgm);
        fs::create_directory(dir.file("out"));
        writeBytes(dir.file("out/good2.tif"), old);
        const CliRun run = runCli(dir, c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(summaryOf(run.err, c.summary.size() - 1), c.summary) << run.err;
        EXPECT_EQ(readBytes(dir.file("out/good2.tif")) == old, c.oldKept);
        EXPECT_FALSE(::kelvarin::test::exists(dir.file("out/bad.tif")));
        EXPECT_TRUE(temporaryFilesIn(dir.file("out")).empty());
        if (c.oldKept && std::string(c.args).find("good2") != std::string::npos) {
            EXPECT_NE(run.err.find("good2.tif: kelvarin-cli: " + exists + "\n"), std::string::npos) << run.err;
        }
    }
}

// Started with its standard output closed (a script's `>&-`), the batch must not give that number
// to a result it writes: the logs it prints would land in height maps. Many small jobs at once
// make sure results are being written while logs are printed.
TEST(Batch, ClosedStandardOutputNeverReachesAResult) {
    TempDir dir;
    fs::create_directory(dir.file("src"));
    const Bytes source = rgbTiff(true, 16, false, 8);
    for (int k = 0; k < 200; ++k) writeBytes(dir.file("src/f" + std::to_string(1000 + k) + ".tif"), source);
    ASSERT_EQ(runCli(dir, "tif src/f1000.tif alone.tif").status, 0);
    const Bytes alone = withoutDateTime(readBytes(dir.file("alone.tif")));
    ASSERT_EQ(runCommand("cd '" + dir.path() + "' && '" KELVARIN_CLI_PATH "' --jobs 4 --out-dir out tif src >&- 2>/dev/null"),
              0);
    for (int k = 0; k < 200; ++k) {
        const std::string result = "out/f" + std::to_string(1000 + k) + ".tif";
        ASSERT_EQ(withoutDateTime(readBytes(dir.file(result))), alone) << result;
    }
}

// Ctrl-C or a kill in the middle of a batch: the finished results stay, the jobs in flight leave
// nothing, and the exit status is 130. Nine jobs are in flight at once, each with a temporary file
// (more than a terrain set's three or any small fixed table): each source is a float TIFF whose
// 768 MiB of pixels are a hole in a sparse file, far from done when the signal goes out.
TEST(Batch, InterruptedBatchLeavesOnlyCompleteResults) {
    TempDir dir;
    fs::create_directory(dir.file("src"));
    writeBytes(dir.file("src/a.tif"), rgbTiff(true, 16, false, 64));
    const std::uint64_t pixelBytes = std::uint64_t{8192} * 8192 * 12;
    TiffBuilder tiff = TiffBuilder::rgb(false, 8192, 8192, 32, 3, {});
    tiff.find(279)->values = {static_cast<std::uint32_t>(pixelBytes)};
    const Bytes head = tiff.build();
    constexpr int kBig = 9;
    for (int k = 1; k <= kBig; ++k) {
        const std::string name = dir.file("src/big" + std::to_string(k) + ".tif");
        writeBytes(name, head);
        ASSERT_EQ(truncate(name.c_str(), static_cast<off_t>(head.size() + pixelBytes)), 0);
    }
    const CliRun single = runCli(dir, "--boost tif src/a.tif alone.tif");
    ASSERT_EQ(single.status, 0);

    for (const int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signalNumber == SIGTERM ? "SIGTERM" : "SIGINT");
        fs::remove_all(dir.file("out"));
        const pid_t pid =
            spawnCli(dir, {"--boost", "--jobs", "10", "--out-dir", dir.file("out"), "tif", dir.file("src")});
        ASSERT_GT(pid, 0);
        int status = 0;
        bool ended = false;
        const auto inFlight = [&] {
            return exists(dir.file("out/a.tif")) && temporaryFilesIn(dir.file("out")).size() == kBig;
        };
        while (!ended && !(exists(dir.file("out")) && inFlight())) {
            ended = waitpid(pid, &status, WNOHANG) == pid;
            if (!ended) usleep(1000);
        }
        ASSERT_FALSE(ended) << "the batch ended before its jobs were seen in flight";
        kill(pid, signalNumber);
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 130);
        EXPECT_EQ(namesIn(dir.file("out")), std::set<std::string>{"a.tif"});
        EXPECT_EQ(withoutDateTime(readBytes(dir.file("out/a.tif"))), withoutDateTime(readBytes(dir.file("alone.tif"))));
    }
}

}  // namespace
}  // namespace kelvarin::test
