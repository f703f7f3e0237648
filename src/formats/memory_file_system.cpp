#include "formats/memory_file_system.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace kelvarin {

namespace {

// A source shares the bytes it was opened with: putting a new file of its name later does not
// change what an open source reads.
class MemorySource final : public File {
public:
    MemorySource(std::string path, std::shared_ptr<const MemoryFileSystem::Bytes> bytes)
        : File(std::move(path)), bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_->size(); }

private:
    std::size_t doRead(void* buffer, std::size_t count) override {
        const std::size_t got = doReadAt(position_, buffer, count);
        position_ += got;
        return got;
    }
    std::size_t doReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (offset >= bytes_->size()) return 0;
        const std::size_t got = std::min<std::uint64_t>(count, bytes_->size() - offset);
        if (got > 0) std::memcpy(buffer, bytes_->data() + offset, got);
        return got;
    }
    bool doSeek(std::uint64_t offset) override {
        position_ = offset;
        return true;
    }
    bool doWrite(const void*, std::size_t) override {
        writeFailed_ = true;
        return false;
    }
    bool doClose() override { return !writeFailed_; }
    bool doCommit() override { return false; }
    // The bytes in place, as a mapped disk file gives them.
    const std::uint8_t* doMap() override { return bytes_->empty() ? nullptr : bytes_->data(); }

    std::shared_ptr<const MemoryFileSystem::Bytes> bytes_;
};

// A destination collects its bytes and hands them to the file system on commit(); dropped
// before that, it leaves nothing behind.
class MemoryDestination final : public File {
public:
    using Commit = std::function<void(MemoryFileSystem::Bytes)>;
    MemoryDestination(std::string path, int& pending, Commit commit, std::function<bool()> writeAllowed,
                      std::function<bool()> syncAllowed)
        : File(std::move(path)), pending_(pending), commit_(std::move(commit)), writeAllowed_(std::move(writeAllowed)),
          syncAllowed_(std::move(syncAllowed)) {
        ++pending_;
    }
    ~MemoryDestination() override {
        if (!done_) --pending_;
    }
    std::uint64_t size() const override { return bytes_.size(); }

private:
    std::size_t doRead(void* buffer, std::size_t count) override {
        if (position_ >= bytes_.size()) return 0;
        const std::size_t got = std::min<std::uint64_t>(count, bytes_.size() - position_);
        if (got > 0) std::memcpy(buffer, bytes_.data() + position_, got);
        position_ += got;
        return got;
    }
    std::size_t doReadAt(std::uint64_t, void*, std::size_t) override { return 0; }  // sources only
    bool doSeek(std::uint64_t offset) override {
        position_ = offset;
        return true;
    }
    bool doWrite(const void* buffer, std::size_t count) override {
        if (closed_ || !writeAllowed_()) {
            writeFailed_ = true;
            return false;
        }
        if (position_ > bytes_.size()) bytes_.resize(position_, 0);
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        const std::size_t overlap = std::min<std::uint64_t>(count, bytes_.size() - position_);
        std::copy(bytes, bytes + overlap, bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
        bytes_.insert(bytes_.end(), bytes + overlap, bytes + count);
        position_ += count;
        return true;
    }
    bool doClose() override {
        closed_ = true;
        return !writeFailed_;
    }
    bool doSyncWrites() override {
        if (!syncAllowed_()) writeFailed_ = true;
        return close();
    }
    bool doCommit() override {
        if (done_ || !close()) return false;
        done_ = true;
        --pending_;
        commit_(std::move(bytes_));
        return true;
    }

    MemoryFileSystem::Bytes bytes_;
    int& pending_;
    Commit commit_;
    std::function<bool()> writeAllowed_, syncAllowed_;
    bool closed_ = false;
    bool done_ = false;
};

}  // namespace

void MemoryFileSystem::put(const std::string& path, Bytes bytes) {
    files_[path] = std::make_shared<const Bytes>(std::move(bytes));
}

std::optional<MemoryFileSystem::Bytes> MemoryFileSystem::contents(const std::string& path) const {
    const auto found = files_.find(path);
    if (found == files_.end()) return std::nullopt;
    return *found->second;
}

std::optional<std::uint64_t> MemoryFileSystem::size(const std::string& path) {
    const auto found = files_.find(path);
    if (found == files_.end()) return std::nullopt;
    return found->second->size();
}

std::optional<FileId> MemoryFileSystem::fileId(const std::string& path) {
    const auto found = files_.find(path);
    if (found == files_.end()) return std::nullopt;
    return FileId{0, reinterpret_cast<std::uintptr_t>(found->second.get())};
}

std::vector<std::string> MemoryFileSystem::names() const {
    std::vector<std::string> names;
    for (const auto& entry : files_) names.push_back(entry.first);
    return names;
}

std::unique_ptr<File> MemoryFileSystem::open(const std::string& path, File::Mode mode) {
    if (path.empty()) return nullptr;
    if (mode == File::Mode::Read) {
        const auto found = files_.find(path);
        if (found == files_.end()) return nullptr;
        return std::make_unique<MemorySource>(path, found->second);
    }
    return std::make_unique<MemoryDestination>(
        path, pending_, [this, path](Bytes bytes) { put(path, std::move(bytes)); }, [this] { return writeAllowed(); },
        [this] { return syncAllowed(); });
}

}  // namespace kelvarin
