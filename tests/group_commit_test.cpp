// Destinations committed together: synced in one round, then moved one after the other. Whatever
// stops the program between the round and the last move, every name holds its old file or its
// whole new one; a failed sync keeps its file (or, for a tile set, every file) from taking its name.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/file.h"
#include "formats/group_commit.h"
#include "formats/held_files.h"
#include "formats/memory_file_system.h"
#include "support/test_files.h"

namespace kelvarin {
namespace {

using test::Bytes;

// Five destinations, in the order they are moved: some replace an old file, one is empty, one
// spans several write-back steps of the disk file.
struct Destination {
    const char* name;
    Bytes old;  // empty: no file of that name before
    Bytes fresh;
};

std::vector<Destination> destinations() {
    return {{"a.tif", {'o', 'l', 'd', 'a'}, Bytes(3000, 0xA1)},
            {"b.png", {}, Bytes(70000, 0xB2)},
            {"c.r16", {'o', 'l', 'd', 'c'}, Bytes()},
            {"d.tif", {}, Bytes(std::size_t{9} << 20, 0xD4)},
            {"e.tif", {'o', 'l', 'd', 'e'}, Bytes(5, 0xE5)}};
}

void removeTemporariesAndLeave(int) {
    removeTemporaryFilesNow();
    _exit(130);
}

// In a child process: writes every destination and commits them together, the program ending by
// `signalNumber` just before move number `movesBefore` (none when it is past the last).
[[noreturn]] void commitAndDie(const test::TempDir& dir, int signalNumber, std::size_t movesBefore) {
    signal(SIGINT, removeTemporariesAndLeave);
    std::vector<std::unique_ptr<File>> files;
    std::vector<File*> group;
    for (const Destination& d : destinations()) {
        files.push_back(diskFileSystem().open(dir.file(d.name), File::Mode::Replace));
        if (!files.back() || !files.back()->write(d.fresh.data(), d.fresh.size())) _exit(3);
        group.push_back(files.back().get());
    }
    GroupCommit how;
    how.beforeMove = [&](std::size_t moved) {
        if (moved == movesBefore) raise(signalNumber);
        return true;
    };
    for (bool placed : commitTogether(diskFileSystem(), group, how))
        if (!placed) _exit(4);
    _exit(0);
}

struct Interruption {
    const char* name;
    int signalNumber;  // SIGINT: the program's handler; SIGKILL: nothing runs, as in a power cut
    std::size_t movesBefore;
};

class InterruptedGroup : public ::testing::TestWithParam<Interruption> {};

TEST_P(InterruptedGroup, LeavesEveryNameOldOrWhole) {
    const Interruption& c = GetParam();
    test::TempDir dir;
    for (const Destination& d : destinations())
        if (!d.old.empty()) test::writeBytes(dir.file(d.name), d.old);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) commitAndDie(dir, c.signalNumber, c.movesBefore);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::size_t count = destinations().size();
    const bool interrupted = c.movesBefore < count;
    if (!interrupted) {
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else if (c.signalNumber == SIGKILL) {
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    } else {
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    }
    std::size_t index = 0;
    for (const Destination& d : destinations()) {
        const bool moved = index++ < c.movesBefore;
        if (moved) {
            EXPECT_EQ(test::readBytes(dir.file(d.name)), d.fresh) << d.name;
        } else if (d.old.empty()) {
            EXPECT_FALSE(test::exists(dir.file(d.name))) << d.name;
        } else {
            EXPECT_EQ(test::readBytes(dir.file(d.name)), d.old) << d.name;
        }
    }
    // The handler deletes what did not take its name; after a power cut it stays hidden beside.
    const std::size_t leftOver = c.signalNumber == SIGKILL && interrupted ? count - c.movesBefore : 0;
    EXPECT_EQ(test::temporaryFilesIn(dir.path()).size(), leftOver);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, InterruptedGroup,
    ::testing::Values(Interruption{"InterruptBeforeAnyMove", SIGINT, 0}, Interruption{"InterruptAfterOne", SIGINT, 1},
                      Interruption{"InterruptBeforeTheLast", SIGINT, 4}, Interruption{"PowerCutBeforeAnyMove", SIGKILL, 0},
                      Interruption{"PowerCutAfterThree", SIGKILL, 3}, Interruption{"NoInterruption", SIGINT, 99}),
    [](const ::testing::TestParamInfo<Interruption>& info) { return info.param.name; });

// A disk that reports its error only at the sync: each file on its own, or a set that is all or
// nothing; held files (a batch's job) are synced with the group their holder commits.
TEST(GroupCommit, FailedSyncKeepsTheOldFile) {
    struct Case {
        GroupCommit::Rule rule;
        bool held;
        std::uint64_t failingSync;  // 0: none fails
        std::vector<bool> placed;
    };
    const Case cases[] = {
        {GroupCommit::Rule::EachFile, false, 0, {true, true, true}},
        {GroupCommit::Rule::EachFile, false, 2, {true, false, false}},
        {GroupCommit::Rule::EachFile, false, 3, {true, true, false}},
        {GroupCommit::Rule::AllOrNothing, false, 3, {false, false, false}},
        {GroupCommit::Rule::AllOrNothing, false, 0, {true, true, true}},
        {GroupCommit::Rule::EachFile, true, 2, {true, false, false}},
        {GroupCommit::Rule::AllOrNothing, true, 1, {false, false, false}},
    };
    const std::vector<std::string> names{"/m/x", "/m/y", "/m/z"};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rule " << static_cast<int>(c.rule) << " held " << c.held << " failing "
                                          << c.failingSync);
        MemoryFileSystem memory;
        for (const std::string& name : names) memory.put(name, {'o'});
        memory.failSyncsFrom(c.failingSync);
        HoldingFileSystem holding(memory);
        FileSystem& writeIn = c.held ? static_cast<FileSystem&>(holding) : memory;
        std::vector<std::unique_ptr<File>> files;
        std::vector<File*> group;
        for (const std::string& name : names) {
            files.push_back(writeIn.open(name, File::Mode::Replace));
            ASSERT_TRUE(files.back() && files.back()->write("new", 3));
            group.push_back(files.back().get());
        }
        std::vector<bool> placed;
        std::vector<std::unique_ptr<File>> held;
        if (c.held) {
            // The job commits its files as usual; they take their names when the holder commits them.
            for (auto& file : files) ASSERT_TRUE(file->commit());
            EXPECT_EQ(memory.contents("/m/x"), Bytes{'o'});
            held = holding.takeHeld();
            ASSERT_EQ(held.size(), names.size());
            std::vector<File*> heldGroup;
            for (auto& file : held) heldGroup.push_back(file.get());
            placed = commitTogether(memory, heldGroup, {c.rule, {}});
        } else {
            placed = commitTogether(memory, group, {c.rule, {}});
        }
        files.clear();
        held.clear();
        EXPECT_EQ(placed, c.placed);
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(memory.contents(names[i]), (c.placed[i] ? Bytes{'n', 'e', 'w'} : Bytes{'o'})) << names[i];
        EXPECT_EQ(memory.pendingDestinations(), 0);
    }
}

}  // namespace
}  // namespace kelvarin
