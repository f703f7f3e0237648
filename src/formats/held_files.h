// A file system whose replacing files do not take their names when they are committed: their
// writes end and they are held, still under their temporary names, for whoever runs the file
// system to commit them together with others (formats/group_commit.h). A batch hands one to each
// job, so that the results of many jobs are synced in one round instead of one by one.
//
// Until then a held file is like one not yet committed: the old file of its name stays, and an
// interrupt deletes the temporary file.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "formats/file.h"

namespace kelvarin {

// Its files' syncs are the holder's: a tile set of a job is synced with the group it is held in.
class HoldingFileSystem final : public FileSystem {
public:
    // Opens and looks up files in `inner`, which the held files belong to.
    explicit HoldingFileSystem(FileSystem& inner) : inner_(inner) {}

    // The files committed since the last call, their writes ended, in the order of their commits.
    std::vector<std::unique_ptr<File>> takeHeld();

    std::unique_ptr<File> open(const std::string& path, File::Mode mode) override;
    bool exists(const std::string& path) override { return inner_.exists(path); }
    std::optional<std::uint64_t> size(const std::string& path) override { return inner_.size(path); }
    bool sameFile(const std::string& a, const std::string& b) override { return inner_.sameFile(a, b); }
    std::optional<FileId> fileId(const std::string& path) override { return inner_.fileId(path); }
    bool remove(const std::string& path) override { return inner_.remove(path); }

    // Called by a held file's commit().
    void hold(std::unique_ptr<File> file);

private:
    FileSystem& inner_;
    std::mutex lock_;  // a job's threads may commit tiles at once
    std::vector<std::unique_ptr<File>> held_;
};

}  // namespace kelvarin
