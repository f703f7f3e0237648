#include "formats/group_commit.h"

#include <algorithm>
#include <string>

namespace kelvarin {

std::vector<bool> commitTogether(FileSystem& fileSystem, std::span<File* const> files, const GroupCommit& how) {
    std::vector<bool> ok(files.size(), false);
    // The bytes of every file leave for the disk before the first sync waits for any of them.
    std::vector<File*> ended;
    std::vector<std::size_t> endedAt;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i]->endWrites()) {
            ended.push_back(files[i]);
            endedAt.push_back(i);
        }
    }
    const std::vector<bool> synced = fileSystem.syncTogether(ended);
    std::vector<std::size_t> moving;  // where in `files`
    for (std::size_t k = 0; k < ended.size(); ++k) {
        if (k < synced.size() && synced[k]) moving.push_back(endedAt[k]);
    }
    if (how.rule == GroupCommit::Rule::AllOrNothing && moving.size() != files.size()) moving.clear();

    std::vector<std::string> folders;
    std::vector<File*> movedInto;  // one moved file of each folder, to sync it
    std::size_t moved = 0;
    for (const std::size_t at : moving) {
        if (how.beforeMove && !how.beforeMove(moved)) break;
        File* file = files[at];
        if (!file->moveSynced()) continue;
        ++moved;
        ok[at] = true;
        std::string folder = file->folder();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(std::move(folder));
            movedInto.push_back(file);
        }
    }
    for (File* file : movedInto) file->syncFolder();
    return ok;
}

}  // namespace kelvarin
