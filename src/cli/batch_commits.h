// The results of a batch committed in groups: each job's destinations are held when it ends (their
// writes ended, under their temporary names), and a thread of its own commits what has gathered
// whenever its last round is over, all synced in one round (formats/group_commit.h). While one
// round waits for the disk the next group gathers, so the groups grow with the disk's delay:
// many small results share a sync, and large ones are on their way to the disk anyway. (Groups of
// at least 64 or 256 files measured no faster than these, and print the logs later.)
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "formats/file.h"

namespace kelvarin {

class BatchCommits {
public:
    // For `items` jobs, each added exactly once; results are committed in `fileSystem`.
    BatchCommits(FileSystem& fileSystem, std::size_t items);
    ~BatchCommits();
    BatchCommits(const BatchCommits&) = delete;
    BatchCommits& operator=(const BatchCommits&) = delete;

    // A job's held results (none when it wrote nothing). Waits while many files are held already:
    // each holds a descriptor until its group is committed.
    void add(std::size_t item, std::vector<std::unique_ptr<File>> files);
    // Waits until the item's results are committed; true when every one took its name.
    bool waitCommitted(std::size_t item);

private:
    struct Pending {
        std::size_t item;
        std::vector<std::unique_ptr<File>> files;
    };
    void commitRounds();
    void commit(std::vector<Pending>& group);

    FileSystem& fileSystem_;
    const std::size_t items_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Pending> pending_;
    std::size_t pendingFiles_ = 0;
    std::size_t added_ = 0;
    std::vector<char> committed_, inPlace_;  // per item
    bool closing_ = false;
    bool threadless_ = false;  // no thread could be started: add() commits itself
    std::thread thread_;
};

}  // namespace kelvarin
