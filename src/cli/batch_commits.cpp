#include "cli/batch_commits.h"

#include <system_error>

#include "formats/group_commit.h"

namespace kelvarin {

namespace {

// Files held at most: each holds a descriptor, and the system gives a process about a thousand.
constexpr std::size_t kMostHeld = 256;

}  // namespace

BatchCommits::BatchCommits(FileSystem& fileSystem, std::size_t items)
    : fileSystem_(fileSystem), items_(items), committed_(items, 0), inPlace_(items, 0) {
    try {
        thread_ = std::thread([this] { commitRounds(); });
    } catch (const std::system_error&) {
        threadless_ = true;
    }
}

BatchCommits::~BatchCommits() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void BatchCommits::add(std::size_t item, std::vector<std::unique_ptr<File>> files) {
    std::unique_lock<std::mutex> hold(lock_);
    ++added_;
    if (files.empty()) {
        committed_[item] = inPlace_[item] = 1;
    } else {
        changed_.wait(hold, [&] { return threadless_ || closing_ || pendingFiles_ < kMostHeld; });
        pendingFiles_ += files.size();
        pending_.push_back({item, std::move(files)});
    }
    changed_.notify_all();
    if (!threadless_) return;
    // Without a thread of its own each job's results are committed as it ends.
    std::vector<Pending> group;
    group.swap(pending_);
    pendingFiles_ = 0;
    hold.unlock();
    commit(group);
}

bool BatchCommits::waitCommitted(std::size_t item) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return committed_[item] != 0; });
    return inPlace_[item] != 0;
}

void BatchCommits::commit(std::vector<Pending>& group) {
    std::vector<File*> files;
    for (Pending& pending : group)
        for (auto& file : pending.files) files.push_back(file.get());
    const std::vector<bool> placed = commitTogether(fileSystem_, files);
    std::vector<char> whole(group.size(), 1);
    std::size_t at = 0;
    for (std::size_t k = 0; k < group.size(); ++k)
        for (std::size_t n = 0; n < group[k].files.size(); ++n, ++at)
            if (!placed[at]) whole[k] = 0;
    // Those that did not take their names are deleted before anyone hears of the item.
    for (Pending& pending : group) pending.files.clear();
    {
        const std::lock_guard<std::mutex> hold(lock_);
        for (std::size_t k = 0; k < group.size(); ++k) {
            committed_[group[k].item] = 1;
            inPlace_[group[k].item] = whole[k];
        }
    }
    changed_.notify_all();
}

void BatchCommits::commitRounds() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [&] {
            return closing_ || !pending_.empty() || added_ == items_;
        });
        // Closing before every job was added: the batch is given up, and what is held is dropped.
        if (closing_ || pending_.empty()) return;
        std::vector<Pending> group;
        group.swap(pending_);
        pendingFiles_ = 0;
        changed_.notify_all();  // a job waiting for room may go on
        hold.unlock();
        commit(group);
        hold.lock();
    }
}

}  // namespace kelvarin
