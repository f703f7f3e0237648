// A job run on files in memory behaves as the same job on the disk: the same log, the same boxes,
// the same destination bytes; a failed job leaves no destination and an old one unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "formats/memory_file_system.h"
#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

struct MemoryCase {
    const char* name;
    int command;
    Bytes source;
    bool oldDestination;  // the destination's name already holds a file
};

void PrintTo(const MemoryCase& c, std::ostream* out) { *out << c.name; }

class MemoryJob : public testing::TestWithParam<MemoryCase> {};

TEST_P(MemoryJob, MatchesTheSameJobOnTheDisk) {
    const MemoryCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.file("in"), out = dir.file("out.tif");
    const Bytes old = {'o', 'l', 'd'};
    writeBytes(in, c.source);
    if (c.oldDestination) writeBytes(out, old);
    Harness disk;
    const int diskResult = disk.run(c.command, {in, out});

    MemoryFileSystem files;
    files.put(in, c.source);
    if (c.oldDestination) files.put(out, old);
    ScriptedPort port;
    FixedClock clock;
    Session session{port, clock, files};
    CommandHandler handler{session};
    handler.start();
    port.answers = {in, out};
    handler.handle(c.command);

    EXPECT_EQ(handler.lastResult(), diskResult);
    EXPECT_EQ(port.log, disk.port.log);
    EXPECT_EQ(port.boxTexts(), disk.port.boxTexts());
    EXPECT_EQ(files.contents(in), c.source);
    EXPECT_EQ(files.contents(out), exists(out) ? std::optional(readBytes(out)) : std::nullopt);
    EXPECT_EQ(files.pendingDestinations(), 0);
}

Bytes truncatedRadiance() {
    Bytes file = buildRadiance(256, 2);
    file.pop_back();  // found only while decoding, after the destination is open
    return file;
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MemoryJob,
    testing::Values(MemoryCase{"tiff", ids::OpenTif, buildTiff({true, 16, false, 3, 40, 9, 4}), false},
                    MemoryCase{"tiff_over_old_file", ids::OpenTif, buildTiff({false, 16, false, 3, 8, 3, 0}), true},
                    MemoryCase{"radiance", ids::OpenHdr, buildRadiance(256, 3), false},
                    MemoryCase{"radiance_truncated_over_old_file", ids::OpenHdr, truncatedRadiance(), true}),
    [](const testing::TestParamInfo<MemoryCase>& info) { return std::string(info.param.name); });

TEST(MemoryFileSystem, WritesAfterASeekBackOverwriteInPlace) {
    MemoryFileSystem files;
    auto file = files.open("d", File::Mode::Replace);
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(files.exists("d"));
    EXPECT_TRUE(file->write("abcdef", 6));
    EXPECT_TRUE(file->seek(2));
    EXPECT_TRUE(file->write("XY", 2));
    EXPECT_TRUE(file->seek(8));
    EXPECT_TRUE(file->write("Z", 1));
    EXPECT_TRUE(file->commit());
    EXPECT_EQ(files.contents("d"), (Bytes{'a', 'b', 'X', 'Y', 'e', 'f', 0, 0, 'Z'}));
}

// Reads at an offset, as the converting threads make them side by side: the bytes a seek and a
// read would give, short at the end, none past it, and the position left where it was.
TEST(FileLayer, ReadAtGivesTheBytesThereAndLeavesThePosition) {
    TempDir dir;
    Bytes bytes(300000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    writeBytes(dir.file("s"), bytes);
    MemoryFileSystem memory;
    memory.put("s", bytes);
    for (FileSystem* files : {&diskFileSystem(), static_cast<FileSystem*>(&memory)}) {
        auto file = files->open(files == &memory ? "s" : dir.file("s"), File::Mode::Read);
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(file->seek(5));
        Bytes first(3);
        ASSERT_TRUE(file->readExact(first.data(), 3));
        const struct {
            std::uint64_t offset;
            std::size_t count, expected;
        } reads[] = {{0, 10, 10}, {123457, 70000, 70000}, {299990, 20, 10}, {300000, 5, 0}, {400000, 5, 0}};
        for (const auto& r : reads) {
            Bytes got(r.count, 0xEE);
            ASSERT_EQ(file->readAt(r.offset, got.data(), r.count), r.expected) << r.offset;
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(r.expected),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(r.offset, bytes.size()))))
                << r.offset;
        }
        // Two threads at once, each over its own half, each piece where it belongs.
        Bytes together(bytes.size());
        const auto half = [&](std::size_t from) {
            for (std::size_t at = from; at < from + 150000; at += 1000)
                if (file->readAt(at, &together[at], 1000) != 1000) return;
        };
        std::thread other(half, 150000);
        half(0);
        other.join();
        EXPECT_EQ(together, bytes);
        // The stream goes on from where it was.
        Bytes next(3);
        ASSERT_TRUE(file->readExact(next.data(), 3));
        EXPECT_EQ(next, Bytes(bytes.begin() + 8, bytes.begin() + 11));
    }
}

// Whether a destination is the source: two existing names are compared by the file they lead to;
// a name of nothing is never an existing file, unless a ".." undoes a missing folder in it.
TEST(FileLayer, SameFileByTheFileOrBySpelling) {
    TempDir dir;
    writeText(dir.file("a.tif"), "a");
    writeText(dir.file("b.tif"), "b");
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_hard_link(dir.file("a.tif"), dir.file("hard.tif"));
    std::filesystem::create_symlink(dir.file("a.tif"), dir.file("soft.tif"));
    std::filesystem::create_directory_symlink(dir.path(), dir.file("linked"));
    const struct {
        std::string left, right;
        bool same;
    } cases[] = {
        {dir.file("a.tif"), dir.file("a.tif"), true},
        {dir.file("a.tif"), dir.file("b.tif"), false},
        {dir.file("a.tif"), dir.file("hard.tif"), true},
        {dir.file("soft.tif"), dir.file("a.tif"), true},
        {dir.file("linked") + "/a.tif", dir.file("a.tif"), true},
        {dir.file("sub") + "/../a.tif", dir.file("a.tif"), true},
        {dir.file("missing") + "/../a.tif", dir.file("a.tif"), true},
        {dir.file("a.tif"), dir.file("missing") + "/../a.tif", true},
        {dir.file("new.tif"), dir.file("a.tif"), false},
        {dir.file("linked") + "/new.tif", dir.file("a.tif"), false},
        {dir.file("missing") + "/../new.tif", dir.file("a.tif"), false},
        {dir.file("new.tif"), dir.file("linked") + "/new.tif", true},
        {dir.file("new.tif"), dir.file("sub") + "/../new.tif", true},
        {dir.file("new.tif"), dir.file("other.tif"), false},
        {dir.file("a.tif"), "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(diskFileSystem().sameFile(c.left, c.right), c.same) << c.left << " " << c.right;
    }
}

}  // namespace
}  // namespace kelvarin::test
