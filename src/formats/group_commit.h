// Several replacing files committed together: their writes end, all are synced in one round, then
// they take their names one after the other and each folder they went to is synced once. A sync
// of each file on its own waits for the disk once per file; a small file waits far longer for
// that than for its bytes.
//
// Every file is still whole or not there: a file takes its name only once its bytes are on the
// disk, so an interrupt or a power cut at any moment leaves each name with its old file or its
// whole new one.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "formats/file.h"

namespace kelvarin {

struct GroupCommit {
    // Each file on its own: a file that fails leaves its old destination and the others go on.
    // AllOrNothing: a file that fails before the moves keeps every file from moving.
    enum class Rule { EachFile, AllOrNothing };
    Rule rule = Rule::EachFile;
    // Asked before each move with the number of files moved so far; false moves no more (the old
    // destinations of the rest stay).
    std::function<bool(std::size_t moved)> beforeMove;
};

// Commits `files` (replacing files of `fileSystem`, complete). For each file, whether it is in
// place; one that is not still has its old destination, and its owner drops it (which deletes
// what was written).
std::vector<bool> commitTogether(FileSystem& fileSystem, std::span<File* const> files, const GroupCommit& how = {});

}  // namespace kelvarin
