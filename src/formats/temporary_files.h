// The table of the temporary files that replacing disk files write until they are committed, so
// that an interrupt can delete them (removeTemporaryFilesNow in formats/file.h). Used by the disk
// backend only.
#pragma once

#include <filesystem>

namespace kelvarin {

// Lists `path` before its file is made and returns the slot's number; -1 when the path is too
// long or no room can be added (the file is then made but not deleted on an interrupt).
int claimLiveSlot(const std::filesystem::path& path);
// Takes the file of a slot off the list (it was committed or deleted); nothing for -1.
void releaseLiveSlot(int number);
// True once an interrupt has begun emptying the table: a file made since then is deleted by its
// maker, since the handler may have passed its slot already.
bool temporaryFilesInterrupted();

}  // namespace kelvarin
