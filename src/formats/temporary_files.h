// The table of the temporary files that replacing disk files write until they are committed, so
// that an interrupt can delete them (removeTemporaryFilesNow in formats/file.h). Used by the disk
// backend only.
#pragma once

#include <filesystem>

#ifndef _WIN32
#include <signal.h>
#endif

namespace kelvarin {

// Lists `path` before its file is made and returns the slot's number; -1 when the path is too
// long or no room can be added (the file is then made but not deleted on an interrupt).
int claimLiveSlot(const std::filesystem::path& path);
// Takes the file of a slot off the list (it was committed or deleted); nothing for -1.
void releaseLiveSlot(int number);
// True once an interrupt has begun emptying the table: nothing is made any more, and a file made
// meanwhile is deleted by its maker.
bool temporaryFilesInterrupted();

// Held while one temporary file is made, from before its slot is claimed until the file is made
// and listed, or given up. An interrupt raises its flag and then waits for every making under way
// to end before it empties the table: a maker that began before the flag finishes and leaves its
// file listed (or deletes it itself), one that begins after it sees the flag and makes nothing.
// On POSIX systems the interrupt signals are held off on the maker's thread meanwhile, so the
// handler never waits for the thread it runs on.
class TemporaryFileMaking {
public:
    TemporaryFileMaking();
    ~TemporaryFileMaking();
    TemporaryFileMaking(const TemporaryFileMaking&) = delete;
    TemporaryFileMaking& operator=(const TemporaryFileMaking&) = delete;

private:
#ifndef _WIN32
    sigset_t previousMask_;  // the thread's signals held before
#endif
};

}  // namespace kelvarin
