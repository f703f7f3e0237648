// kelvarin-cli as other tools call it: stdout is the log, stderr the boxes, the exit status the result.
#include <gtest/gtest.h>

#include <cstring>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/cli_run.h"
#include "support/test_files.h"
#include "support/tiff_builder.h"

namespace kelvarin::test {
namespace {

TEST(Cli, TextFileIsRefusedWithoutOutput) {
    TempDir dir;
    writeText(dir.file("notes.txt"), "a text file\n");
    const CliRun run = runCli(dir, "tif notes.txt out.tif");
    EXPECT_EQ(run.status, 1);
    const std::string src = dir.file("notes.txt");
    EXPECT_EQ(run.out, "Input file opened:\n" + src + "\nInput file opened:\n" + src + "\nSTOP - No Job!\nClosed file:\n" +
                           src + "\n" + std::string(72, '-') + "\n" + std::string(72, '=') + "\n");
    EXPECT_EQ(run.err, "KELVARIN - File|Open: Not a TIF, PGM or RGBE file.\nKELVARIN - Error.: There were errors.\n");
    EXPECT_FALSE(exists(dir.file("out.tif")));
}

TEST(Cli, MissingSourceGoesTheWayOfTheDialog) {
    TempDir dir;
    const CliRun run = runCli(dir, "--boost tif missing.tif out.tif");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Reason: no such file (" + dir.file("missing.tif") + ")\n" + std::string(72, '=') + "\n");
    EXPECT_EQ(run.err, "KELVARIN - File|Open: File not found.\nKELVARIN - Error.: There were errors.\n");
}

TEST(Cli, UsageErrorsExitWithTwo) {
    const char* cases[] = {
        "",
        "tif onlyone.tif",
        "bin a b",
        "--posterise 7 tif a b",
        "--weighting purple tif a b",
        "--frobnicate tif a b",
        "convert a b",
        "help 18",
        "--report r.json --out-dir o tif a.tif",
        "--report a.tif tif a.tif b.tif",
    };
    for (const char* args : cases) {
        TempDir dir;
        const CliRun run = runCli(dir, args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find("usage: kelvarin-cli"), std::string::npos) << args;
        EXPECT_EQ(run.out, "") << args;
    }
}

TEST(Cli, VersionPrintsTheProgramVersion) {
    TempDir dir;
    const CliRun run = runCli(dir, "--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "kelvarin-cli 3.02\n");
    EXPECT_EQ(run.err, "");
    EXPECT_NE(runCli(dir, "--help").out.find("--version"), std::string::npos);
}

TEST(Cli, HelpTextEndsWithOneLineFeed) {
    std::vector<std::string> cases = {"help"};
    for (int page = 1; page <= 16; ++page) cases.push_back("help " + std::to_string(page));
    for (const std::string& args : cases) {
        TempDir dir;
        const CliRun run = runCli(dir, args);
        EXPECT_EQ(run.status, 0) << args;
        ASSERT_GE(run.out.size(), 2u) << args;
        EXPECT_EQ(run.out.back(), '\n') << args;
        EXPECT_NE(run.out[run.out.size() - 2], '\n') << args;
        // Line feeds only, as in the log: no CR from the message box text.
        EXPECT_EQ(run.out.find('\r'), std::string::npos) << args;
    }
}

// Ctrl-C or a kill while a job runs: the destination keeps last week's map, the temporary file is
// deleted, and the exit status is 130. The source is a float TIFF whose 3 GiB of pixels are a
// hole in a sparse file, so the job is far from done when its temporary file appears, and the
// signal goes out at that moment.
TEST(Cli, InterruptedJobKeepsTheOldDestinationAndExitsWithItsStatus) {
    TempDir dir;
    const std::uint64_t pixelBytes = std::uint64_t{16384} * 16384 * 12;
    TiffBuilder tiff = TiffBuilder::rgb(false, 16384, 16384, 32, 3, {});
    tiff.find(279)->values = {static_cast<std::uint32_t>(pixelBytes)};
    const Bytes head = tiff.build();
    writeBytes(dir.file("big.tif"), head);
    ASSERT_EQ(truncate(dir.file("big.tif").c_str(), static_cast<off_t>(head.size() + pixelBytes)), 0);
    const Bytes oldMap{'l', 'a', 's', 't', ' ', 'w', 'e', 'e', 'k'};
    // A closed terminal ends the program with the status a shell expects, but as cleanly.
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signalNumber));
        writeBytes(dir.file("height.tif"), oldMap);
        const pid_t pid = spawnCli(dir, {"--boost", "tif", dir.file("big.tif"), dir.file("height.tif")});
        ASSERT_GT(pid, 0);
        int status = 0;
        bool ended = false;
        while (!ended && temporaryFilesIn(dir.path()).empty()) {
            ended = waitpid(pid, &status, WNOHANG) == pid;
            if (!ended) usleep(1000);
        }
        ASSERT_FALSE(ended) << "the job ended before its temporary file was seen";
        kill(pid, signalNumber);
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), signalNumber == SIGHUP ? 129 : 130);
        EXPECT_EQ(readBytes(dir.file("height.tif")), oldMap);
        EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"big.tif", "height.tif", "stderr.txt", "stdout.txt"}));
    }
}

}  // namespace
}  // namespace kelvarin::test
