// `kelvarin-cli help COMMAND`: the sections picked out of the reference page, and the program's
// own help: every command it takes has a section, and --help fits on one screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <sstream>
#include <string>

#include "support/cli_run.h"
#include "ui/reference_text.h"
#include "ui/source_commands.h"

namespace kelvarin {
namespace {

using test::CliRun;
using test::runCli;
using test::TempDir;

constexpr std::string_view kPage =
    "# tool reference\n"
    "\n"
    "Intro text.\n"
    "\n"
    "## Commands\n"
    "\n"
    "### open SOURCE DEST\n"
    "\n"
    "Reads `SOURCE`, writes `DEST`.\n"
    "\n"
    "```\n"
    "tool open a b\n"
    "```\n"
    "\n"
    "### range SOURCE...\r\n"
    "Prints LO:HI.\r\n"
    "## Options\n"
    "- `--swap`: the other byte order.\n";

struct SectionCase {
    const char* name;
    const char* asked;
    std::optional<std::string> section;
};

class ReferenceSection : public testing::TestWithParam<SectionCase> {};

TEST_P(ReferenceSection, IsTheHeadingUpToTheNextOne) {
    EXPECT_EQ(referenceSection(kPage, GetParam().asked), GetParam().section);
}

INSTANTIATE_TEST_SUITE_P(
    Topics, ReferenceSection,
    testing::Values(
        SectionCase{"CommandWithCodeMarksAndFences", "open",
                    "open SOURCE DEST\n\nReads SOURCE, writes DEST.\n\ntool open a b\n"},
        SectionCase{"CrLfLinesEndBeforeAHigherHeading", "range", "range SOURCE...\nPrints LO:HI.\n"},
        SectionCase{"LevelTwoHeadingAnyCase", "OPTIONS", "Options\n- --swap: the other byte order.\n"},
        SectionCase{"SectionWithOnlyItsHeading", "commands", "Commands\n"},
        SectionCase{"TheTitleIsNoTopic", "tool", std::nullopt},
        SectionCase{"NoSuchTopic", "convert", std::nullopt},
        SectionCase{"PrefixOfAWordIsNotTheWord", "ope", std::nullopt},
        SectionCase{"Empty", "", std::nullopt}),
    [](const testing::TestParamInfo<SectionCase>& info) { return info.param.name; });

TEST(ReferenceTopics, AreTheHeadingsFirstWordsInOrder) {
    EXPECT_EQ(referenceTopics(kPage), (std::vector<std::string>{"commands", "open", "range", "options"}));
}

// The reference built into the program names every command the program takes: a new command
// without its section fails here.
class CommandHelp : public testing::TestWithParam<std::string> {};

TEST_P(CommandHelp, PrintsTheCommandsSection) {
    TempDir dir;
    const CliRun run = runCli(dir, "help " + GetParam());
    EXPECT_EQ(run.status, 0) << run.err;
    // The section's heading comes first: its first word is the topic asked for, in any case.
    std::string heading = run.out.substr(0, run.out.find_first_of(" \n"));
    for (char& c : heading) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(heading, GetParam()) << run.out;
    EXPECT_GT(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    EXPECT_EQ(run.err, "");
}

std::vector<std::string> helpTopics() {
    std::vector<std::string> topics = {"range", "help", "options", "batch", "exit"};
    for (const SourceCommand& command : sourceCommands()) topics.emplace_back(command.cliName);
    return topics;
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, CommandHelp, testing::ValuesIn(helpTopics()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name;
                             for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(CommandHelp, AnUnknownTopicListsTheKnownOnes) {
    TempDir dir;
    const CliRun run = runCli(dir, "help convert");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no help on convert; there is help on:"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" terrain4-max "), std::string::npos) << run.err;
}

TEST(CommandHelp, UsageFitsOneScreenAndPointsToTheManualPage) {
    TempDir dir;
    const CliRun run = runCli(dir, "--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_LE(std::count(run.out.begin(), run.out.end(), '\n'), 40);
    EXPECT_NE(run.out.find("man kelvarin-cli"), std::string::npos);
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 100u) << line;
    // Every command and every option is at least named.
    for (const std::string& topic : helpTopics()) {
        if (topic == "options" || topic == "batch" || topic == "exit") continue;
        EXPECT_NE(run.out.find("  " + topic + " "), std::string::npos) << topic;
    }
    for (const char* option : {"--weighting", "--boost", "--invert", "--swap", "--x2", "--x4", "--posterise",
                               "--te-raw", "--size", "--tiles", "--height-range", "--metres-per-step", "--report",
                               "--out-dir", "--jobs", "--overwrite", "--format", "--shared-range", "--version"})
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace kelvarin
