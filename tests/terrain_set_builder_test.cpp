// Terrain sets built from generated RAW files, checked tile by tile against the formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "formats/grey_tiff_writer.h"
#include "job/terrain_set_job.h"
#include "support/reference.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin {
namespace {

using test::Bytes;
using test::Harness;
using test::TempDir;
using Samples = std::vector<std::uint16_t>;

const std::string kDashes32(32, '-');
const std::string kEquals72(72, '=');

Samples randomSamples(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    Samples samples(count);
    for (auto& sample : samples) sample = static_cast<std::uint16_t>(generator() >> 16);
    return samples;
}

Bytes toBytes(const Samples& samples) {
    Bytes bytes(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(samples[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(samples[i] >> 8);
    }
    return bytes;
}

Samples fromBytes(const Bytes& bytes, std::size_t offset) {
    Samples samples((bytes.size() - offset) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint16_t>(bytes[offset + 2 * i] | (bytes[offset + 2 * i + 1] << 8));
    return samples;
}

using test::referenceMerge;
using test::referenceReduce;

// A generated set "<digit>alps.raw" with the given smallest side; level 0 is the "8" file.
struct GeneratedSet {
    std::uint32_t smallest;
    Samples levels[4];

    GeneratedSet(const TempDir& dir, std::uint32_t smallestSide, bool withEight, unsigned seed)
        : smallest(smallestSide) {
        const char digits[4] = {'8', '4', '2', '1'};
        for (int level = withEight ? 0 : 1; level < 4; ++level) {
            const std::size_t side = side_of(level);
            levels[level] = randomSamples(side * side, seed + static_cast<unsigned>(level));
            test::writeBytes(dir.file(std::string(1, digits[level]) + "alps.raw"), toBytes(levels[level]));
        }
    }
    std::size_t side_of(int level) const { return std::size_t{smallest} << (3 - level); }

    // Tiles 0, 1, 2 (the _4096, _2048 and _1024 tiles).
    Samples expectedTile(int tile, bool fourSources, bool maximum) const {
        const int level = tile + 1;
        if (!fourSources) return levels[level];
        return referenceMerge(levels[level], referenceReduce(levels[level - 1], side_of(level - 1), maximum));
    }
};

const char* const kTileNames[3] = {"alps_4096.tif", "alps_2048.tif", "alps_1024.tif"};

std::set<std::string> filesIn(const TempDir& dir) { return test::namesIn(dir.path()); }

void expectTile(const TempDir& dir, int tile, std::size_t side, const Samples& expected, const Harness& h) {
    const Bytes bytes = test::readBytes(dir.file(kTileNames[tile]));
    ASSERT_EQ(bytes.size(), 302 + 2 * side * side) << kTileNames[tile];
    const GreyTiffHeader header = buildGreyTiffHeader(
        ByteOrder::II, littleEndianFields(static_cast<std::uint32_t>(side), static_cast<std::uint32_t>(side),
                                          static_cast<std::uint32_t>(2 * side * side)),
        h.clock.tiffDateTime());
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin())) << kTileNames[tile];
    // Width at entry 1 of the IFD (offset 8 + 2 + 12 + 8): checked by hand, not through the writer.
    const std::uint32_t width = bytes[30] | (bytes[31] << 8) | (bytes[32] << 16) | (bytes[33] << 24);
    EXPECT_EQ(width, side);
    EXPECT_TRUE(fromBytes(bytes, 302) == expected) << kTileNames[tile];
}

struct Method {
    bool fourSources;
    bool maximum;
    std::uint32_t smallest;  // 32: the larger inputs are read in several bands of rows
};

class TerrainBuild : public ::testing::TestWithParam<Method> {};

TEST_P(TerrainBuild, TilesMatchTheFormulas) {
    const Method method = GetParam();
    TempDir dir;
    const GeneratedSet set(dir, method.smallest, method.fourSources, 7);
    Harness h;
    h.port.answers = {dir.file("4alps.raw")};
    ASSERT_EQ(1, terrain_detail::buildTerrainSetWithSides(h.session, method.fourSources, method.maximum, method.smallest));
    EXPECT_TRUE(h.port.boxes.empty());
    for (int tile = 0; tile < 3; ++tile)
        expectTile(dir, tile, set.side_of(tile + 1), set.expectedTile(tile, method.fourSources, method.maximum), h);
}

INSTANTIATE_TEST_SUITE_P(Methods, TerrainBuild,
                         ::testing::Values(Method{true, true, 32}, Method{true, false, 32}, Method{true, true, 2},
                                           Method{true, false, 6}, Method{false, true, 32}, Method{false, false, 8}),
                         [](const auto& info) {
                             const Method& m = info.param;
                             return std::string(m.fourSources ? "FourFiles" : "ThreeFiles") +
                                    (m.maximum ? "Maximum" : "Average") + "Smallest" + std::to_string(m.smallest);
                         });

TEST(TerrainBuild, FourFileLogProgressAndDialog) {
    TempDir dir;
    const GeneratedSet set(dir, 4, true, 11);
    Harness h;
    h.port.positions.clear();
    h.port.answers = {dir.file("1alps.raw")};  // any file of the set names it
    ASSERT_EQ(1, terrain_detail::buildTerrainSetWithSides(h.session, true, true, 4));

    ASSERT_EQ(h.port.dialogs.size(), 1u);
    EXPECT_EQ(h.port.dialogs[0].request.title, "KELVARIN Open RAW");
    const std::string folder = dir.path() + "/";
    const std::vector<std::string> expected = {
        "Input file opened: ", folder + "8alps.raw",
        "Input file opened: ", folder + "4alps.raw",
        "Input file opened: ", folder + "2alps.raw",
        "Input file opened: ", folder + "1alps.raw",
        "File:" + folder + "8alps.raw read and closed.",
        "8k reduced to 4k",
        "File:" + folder + "4alps.raw read and closed.",
        "Reduced 8k added to 4k",
        "4k reduced to 2k",
        "File:" + folder + "2alps.raw read and closed.",
        "Reduced 4k added to 2k",
        "2k reduced to 1k",
        "File:" + folder + "1alps.raw read and closed.",
        "Reduced 2k added to 1k",
        "Input file opened: ", folder + "alps_4096.tif",
        "Input file opened: ", folder + "alps_2048.tif",
        "Input file opened: ", folder + "alps_1024.tif",
        "File: " + folder + "alps_4096.tif written and closed.",
        "File: " + folder + "alps_2048.tif written and closed.",
        "File: " + folder + "alps_1024.tif written and closed.",
        "Merging done in 0 seconds",
        kDashes32,
    };
    EXPECT_EQ(h.port.log, expected);
    ASSERT_FALSE(h.port.ranges.empty());
    EXPECT_EQ(h.port.ranges.back(), (std::pair<int, int>{1, 100}));
    // Each band read gives the window the same position again to answer its events: the steps
    // are those the bar moves through.
    std::vector<int> steps = h.port.positions;
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    EXPECT_EQ(steps, (std::vector<int>{0, 5, 10, 20, 40, 50, 60, 70, 80, 90, 95, 100}));
    EXPECT_TRUE(h.session.busy.busy());
    EXPECT_FALSE(h.port.commandsEnabled);
    // Only the three tiles join the inputs: no temporary names are left behind.
    EXPECT_EQ(filesIn(dir), (std::set<std::string>{"8alps.raw", "4alps.raw", "2alps.raw", "1alps.raw",
                                                   "alps_4096.tif", "alps_2048.tif", "alps_1024.tif"}));
}

TEST(TerrainBuild, ThreeFileLogAndElapsedSeconds) {
    TempDir dir;
    const GeneratedSet set(dir, 4, false, 3);
    Harness h;
    h.port.answers = {dir.file("2alps.raw")};
    h.port.positions.clear();
    // The clock moves on when the build looks at it the second time.
    struct MovingClock final : Clock {
        mutable int calls = 0;
        LocalDateTime now() const override {
            LocalDateTime t{2026, 12, 7, 10, 20, 30, 0};
            if (++calls > 1) t.second = 42;
            return t;
        }
    } clock;
    Session session(h.port, clock);
    ASSERT_EQ(1, terrain_detail::buildTerrainSetWithSides(session, false, true, 4));
    const std::string folder = dir.path() + "/";
    const std::vector<std::string> expected = {
        "Input file opened: ", folder + "4alps.raw",
        "Input file opened: ", folder + "2alps.raw",
        "Input file opened: ", folder + "1alps.raw",
        "File:" + folder + "4alps.raw read and closed.",
        "File:" + folder + "2alps.raw read and closed.",
        "File:" + folder + "1alps.raw read and closed.",
        "Input file opened: ", folder + "alps_4096.tif",
        "Input file opened: ", folder + "alps_2048.tif",
        "Input file opened: ", folder + "alps_1024.tif",
        "File: " + folder + "alps_4096.tif written and closed.",
        "File: " + folder + "alps_2048.tif written and closed.",
        "File: " + folder + "alps_1024.tif written and closed.",
        "Merging done in 12 seconds",
        kDashes32,
    };
    EXPECT_EQ(h.port.log, expected);
    EXPECT_EQ(h.port.positions, (std::vector<int>{0, 5, 10, 90, 95, 100}));
}

// ---- failures: nothing is written, old tiles stay as they were ----

enum class Fault { Missing, Short, Directory };

struct FailureCase {
    const char* name;
    bool fourSources;
    char digit;  // the file of the set that is faulty
    Fault fault;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class TerrainFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TerrainFailure, ShowsItsMessagesAndWritesNothing) {
    const FailureCase& c = GetParam();
    TempDir dir;
    const GeneratedSet set(dir, 4, c.fourSources, 5);
    const std::string folder = dir.path() + "/";
    const std::string faulty = folder + c.digit + "alps.raw";
    const std::size_t side = std::size_t{4} << (c.digit == '8' ? 3 : c.digit == '4' ? 2 : c.digit == '2' ? 1 : 0);
    std::filesystem::remove(faulty);
    if (c.fault == Fault::Short) test::writeBytes(faulty, Bytes(2 * side * side - 1, 0x11));
    if (c.fault == Fault::Directory) std::filesystem::create_directory(faulty);
    for (const char* tile : kTileNames) test::writeText(dir.file(tile), "old tile");
    const auto before = filesIn(dir);

    Harness h;
    h.port.positions.clear();
    h.port.answers = {dir.file("4alps.raw")};
    EXPECT_EQ(0, terrain_detail::buildTerrainSetWithSides(h.session, c.fourSources, true, 4));

    std::vector<std::string> boxes;
    if (c.fault == Fault::Missing) boxes.push_back("KELVARIN - Error.: File " + faulty + " not found");
    if (c.fault == Fault::Short)
        boxes.push_back("KELVARIN - Error.: File " + faulty + " is too short: " + std::to_string(2 * side * side) +
                        " bytes needed, " + std::to_string(2 * side * side - 1) + " found.");
    else
        boxes.push_back("KELVARIN - Error.: File " + faulty + "open error.");
    EXPECT_EQ(h.port.boxTexts(), boxes);

    // Only the files opened before (and, when short, the faulty one) are logged.
    std::vector<std::string> log;
    for (char digit : std::string(c.fourSources ? "8421" : "421")) {
        if (digit == c.digit && c.fault != Fault::Short) break;
        log.push_back("Input file opened: ");
        log.push_back(folder + digit + "alps.raw");
        if (digit == c.digit) break;
    }
    EXPECT_EQ(h.port.log, log);
    EXPECT_EQ(h.port.positions, (std::vector<int>{0, 5}));
    EXPECT_FALSE(h.session.busy.busy());
    EXPECT_EQ(filesIn(dir), before);
    for (const char* tile : kTileNames) EXPECT_EQ(test::readBytes(dir.file(tile)), Bytes({'o', 'l', 'd', ' ', 't', 'i', 'l', 'e'}));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, TerrainFailure,
    ::testing::Values(FailureCase{"missing8", true, '8', Fault::Missing}, FailureCase{"missing1", true, '1', Fault::Missing},
                      FailureCase{"missing4of3", false, '4', Fault::Missing},
                      FailureCase{"short8", true, '8', Fault::Short}, FailureCase{"short2", true, '2', Fault::Short},
                      FailureCase{"short1of3", false, '1', Fault::Short},
                      FailureCase{"unreadable4", true, '4', Fault::Directory},
                      FailureCase{"unreadable2of3", false, '2', Fault::Directory}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerrainBuild, LongerInputsAreReadUpToTheirSize) {
    TempDir dir;
    const GeneratedSet set(dir, 4, false, 9);
    Bytes padded = test::readBytes(dir.file("2alps.raw"));
    padded.insert(padded.end(), 100, 0xEE);
    test::writeBytes(dir.file("2alps.raw"), padded);
    Harness h;
    h.port.answers = {dir.file("2alps.raw")};
    ASSERT_EQ(1, terrain_detail::buildTerrainSetWithSides(h.session, false, false, 4));
    expectTile(dir, 1, 8, set.levels[2], h);
}

TEST(TerrainBuild, SecondBuildReplacesLongerTilesExactlyThroughLinksAndKeepsTheirPermissions) {
    TempDir dir;
    const GeneratedSet set(dir, 4, true, 21);
    for (const char* tile : kTileNames) test::writeBytes(dir.file(tile), Bytes(5000, 0x77));
    // The 2048 tile lives in another folder behind a relative link; the 1024 tile is private.
    std::filesystem::create_directory(dir.file("store"));
    std::filesystem::rename(dir.file("alps_2048.tif"), dir.file("store/alps_2048.tif"));
    std::filesystem::create_symlink("store/alps_2048.tif", dir.file("alps_2048.tif"));
    std::filesystem::permissions(dir.file("alps_1024.tif"), std::filesystem::perms(0600));
    const auto before = filesIn(dir);
    Harness h;
    h.port.answers = {dir.file("8alps.raw")};
    ASSERT_EQ(1, terrain_detail::buildTerrainSetWithSides(h.session, true, false, 4));
    for (int tile = 0; tile < 3; ++tile) expectTile(dir, tile, set.side_of(tile + 1), set.expectedTile(tile, true, false), h);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("alps_2048.tif")));
    EXPECT_EQ(std::filesystem::status(dir.file("alps_1024.tif")).permissions(), std::filesystem::perms(0600));
    EXPECT_EQ(filesIn(dir), before);
    EXPECT_EQ(test::namesIn(dir.file("store")), std::set<std::string>{"alps_2048.tif"});
}

TEST(TerrainBuild, FailedTileWriteKeepsTheOldTilesAndLeavesNoTemporaries) {
    TempDir dir;
    const GeneratedSet set(dir, 8, true, 31);
    for (const char* tile : kTileNames) test::writeText(dir.file(tile), "old tile");
    const auto before = filesIn(dir);
    Harness h;
    h.port.answers = {dir.file("4alps.raw")};
    int result = -1;
    {
        const test::FileSizeLimit limit(1000);  // the 4096-level tile here is 302 + 2048 bytes
        result = terrain_detail::buildTerrainSetWithSides(h.session, true, true, 8);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(h.port.boxTexts(),
              (std::vector<std::string>{"KELVARIN - Error.: File " + dir.file("alps_4096.tif") + " write error."}));
    EXPECT_EQ(filesIn(dir), before);
    for (const char* tile : kTileNames) EXPECT_EQ(test::readBytes(dir.file(tile)), Bytes({'o', 'l', 'd', ' ', 't', 'i', 'l', 'e'}));
    EXPECT_EQ(std::count(h.port.log.begin(), h.port.log.end(), kDashes32), 0);
}

// A tile whose name turns into a folder after the tiles were opened cannot be moved there: the
// build fails instead of reporting success, and no temporary file stays. A folder there from the
// start is refused when the tiles are opened, before any tile replaces an old one.
TEST(TerrainBuild, TileThatCannotReplaceItsNameFailsTheBuild) {
    for (const bool fromTheStart : {false, true}) {
        SCOPED_TRACE(fromTheStart ? "folder from the start" : "folder after opening");
        TempDir dir;
        const GeneratedSet set(dir, 4, false, 41);
        for (const char* tile : kTileNames) test::writeText(dir.file(tile), "old tile");
        auto turnIntoFolder = [&] {
            std::filesystem::remove(dir.file("alps_2048.tif"));
            std::filesystem::create_directory(dir.file("alps_2048.tif"));
            test::writeText(dir.file("alps_2048.tif/keep"), "x");
        };
        Harness h;
        if (fromTheStart) {
            turnIntoFolder();
        } else {
            h.port.onLogLine = [&](const std::string& line) {
                if (line == dir.file("alps_1024.tif")) turnIntoFolder();
            };
        }
        h.port.answers = {dir.file("4alps.raw")};
        EXPECT_EQ(0, terrain_detail::buildTerrainSetWithSides(h.session, false, false, 4));
        const std::string fault = fromTheStart ? "create error." : " could not be replaced.";
        EXPECT_EQ(h.port.boxTexts(),
                  (std::vector<std::string>{"KELVARIN - Error.: File " + dir.file("alps_2048.tif") + fault}));
        EXPECT_EQ(test::readBytes(dir.file("alps_2048.tif/keep")), Bytes{'x'});
        // Tiles are moved into place in order: the 4096 tile before the failure, the 1024 tile never.
        if (fromTheStart) {
            EXPECT_EQ(test::readBytes(dir.file("alps_4096.tif")), Bytes({'o', 'l', 'd', ' ', 't', 'i', 'l', 'e'}));
        } else {
            expectTile(dir, 0, 16, set.levels[1], h);
        }
        EXPECT_EQ(test::readBytes(dir.file("alps_1024.tif")), Bytes({'o', 'l', 'd', ' ', 't', 'i', 'l', 'e'}));
        EXPECT_TRUE(test::temporaryFilesIn(dir.path()).empty());
        EXPECT_EQ(std::count(h.port.log.begin(), h.port.log.end(), kDashes32), 0);
    }
}

// ---- through the command handler ----

const std::string kWarning4 =
    "KELVARIN - Warning.: All the Options are Deactivated in this mode!\r\n4 files 8/4/2/1name.raw expected, 3 files "
    "written as\r\nname_4096/_2048/_1024.tif; if existing overwritten!";
const std::string kWarning3 =
    "KELVARIN - Warning.: All the Options are Deactivated in this mode!\r\n3 files 4/2/1name.raw expected, 3 files "
    "written as\r\nname_4096/_2048/_1024.tif; if existing overwritten!";
const std::string kErrors = "KELVARIN - Error.: There were errors.";

TEST(TerrainCommand, CancellingTheWarningRunsNothing) {
    TempDir dir;
    Harness h;
    h.port.boxAnswers = {MessageAnswer::Cancel};
    EXPECT_EQ(0, h.run(ids::Terrain4Max, {dir.file("4alps.raw")}));
    EXPECT_TRUE(h.port.dialogs.empty());
    EXPECT_EQ(h.port.boxTexts(), std::vector<std::string>{kWarning4});
    EXPECT_EQ(h.port.log, std::vector<std::string>{kEquals72});
    EXPECT_TRUE(h.port.commandsEnabled);
    EXPECT_TRUE(filesIn(dir).empty());
}

struct CommandFailure {
    const char* name;
    int command;
    std::optional<std::string> picked;  // file name in the temp folder; nothing = dialog cancelled
    std::vector<std::string> boxesAfterWarning;  // "{dir}" stands for the folder
};

void PrintTo(const CommandFailure& c, std::ostream* out) { *out << c.name; }

class TerrainCommandFailure : public ::testing::TestWithParam<CommandFailure> {};

TEST_P(TerrainCommandFailure, ShowsItsBoxesThenThereWereErrors) {
    const CommandFailure& c = GetParam();
    TempDir dir;
    const auto expand = [&](std::string text) {
        const auto at = text.find("{dir}");
        if (at != std::string::npos) text.replace(at, 5, dir.path() + "/");
        return text;
    };
    Harness h;
    h.port.log.clear();
    EXPECT_EQ(0, h.run(c.command, {c.picked ? std::optional<std::string>(dir.file(*c.picked)) : std::nullopt}));
    std::vector<std::string> boxes = {c.command == ids::Terrain3 ? kWarning3 : kWarning4};
    for (const auto& text : c.boxesAfterWarning) boxes.push_back(expand(text));
    boxes.push_back(kErrors);
    EXPECT_EQ(h.port.boxTexts(), boxes);
    EXPECT_EQ(h.port.log, std::vector<std::string>{kEquals72});
    EXPECT_TRUE(h.port.commandsEnabled);
    EXPECT_TRUE(filesIn(dir).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TerrainCommandFailure,
    ::testing::Values(
        CommandFailure{"oneCharacterName", ids::Terrain4Avg, "x.raw", {"KELVARIN - Error.: Filename error."}},
        CommandFailure{"dialogCancelled",
                       ids::Terrain3,
                       std::nullopt,
                       {"KELVARIN - Open Error: No Valid Input File Selected.", "KELVARIN - Error.: Filename error."}},
        CommandFailure{"missingSet",
                       ids::Terrain4Max,
                       "4alps.raw",
                       {"KELVARIN - Error.: File {dir}8alps.raw not found", "KELVARIN - Error.: File {dir}8alps.rawopen error."}},
        CommandFailure{"missingSetOfThree",
                       ids::Terrain3,
                       "1alps.raw",
                       {"KELVARIN - Error.: File {dir}4alps.raw not found", "KELVARIN - Error.: File {dir}4alps.rawopen error."}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the one full-size run: 170 MiB of generated input through the command line ----

TEST(TerrainCommandLine, FullSizeAverageBuild) {
    TempDir dir;
    const GeneratedSet set(dir, 1024, true, 1234);
    const std::string out = dir.file("stdout.txt"), err = dir.file("stderr.txt");
    ASSERT_EQ(0, test::runCommand(std::string(KELVARIN_CLI_PATH) + " terrain4-avg '" + dir.file("4alps.raw") + "' >'" +
                                  out + "' 2>'" + err + "'"));
    const Bytes errText = test::readBytes(err);
    EXPECT_NE(std::string(errText.begin(), errText.end()).find("KELVARIN - Success.: 3 Terrains created from 4 concluded."),
              std::string::npos);
    const Bytes outText = test::readBytes(out);
    const std::string log(outText.begin(), outText.end());
    EXPECT_NE(log.find("Reduced 2k added to 1k"), std::string::npos);
    EXPECT_NE(log.find("Merging done in"), std::string::npos);
    EXPECT_NE(log.find(kDashes32 + "\n"), std::string::npos);
    for (int tile = 0; tile < 3; ++tile) {
        const std::size_t side = set.side_of(tile + 1);
        const Bytes bytes = test::readBytes(dir.file(kTileNames[tile]));
        ASSERT_EQ(bytes.size(), 302 + 2 * side * side) << kTileNames[tile];
        EXPECT_EQ(bytes[0], 'I');
        EXPECT_EQ(bytes[1], 'I');
        EXPECT_TRUE(fromBytes(bytes, 302) == set.expectedTile(tile, true, false)) << kTileNames[tile];
    }
}

}  // namespace
}  // namespace kelvarin
