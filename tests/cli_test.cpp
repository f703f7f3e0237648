// kelvarin-cli as other tools call it: stdout is the log, stderr the boxes, the exit status the result.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/test_files.h"

namespace kelvarin::test {
namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun runCli(const TempDir& dir, const std::string& args) {
    const std::string out = dir.file("stdout.txt"), err = dir.file("stderr.txt");
    CliRun run;
    run.status = runCommand("cd '" + dir.path() + "' && '" KELVARIN_CLI_PATH "' " + args + " >'" + out + "' 2>'" +
                            err + "' </dev/null");
    const Bytes o = readBytes(out), e = readBytes(err);
    run.out.assign(o.begin(), o.end());
    run.err.assign(e.begin(), e.end());
    return run;
}

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
    EXPECT_EQ(run.out, std::string(72, '=') + "\n");
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
        "help 17",
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

}  // namespace
}  // namespace kelvarin::test
