#include "formats/held_files.h"

namespace kelvarin {

namespace {

// A destination of the inner file system whose commit() hands it to the holder instead.
class HeldFile final : public File {
public:
    HeldFile(std::unique_ptr<File> inner, HoldingFileSystem& holder)
        : File(inner->path()), inner_(std::move(inner)), holder_(holder) {}
    std::uint64_t size() const override { return inner_ ? inner_->size() : 0; }

private:
    bool failed(bool ok) {
        if (!ok) writeFailed_ = true;
        return ok;
    }
    std::size_t doRead(void* buffer, std::size_t count) override { return inner_ ? inner_->read(buffer, count) : 0; }
    bool doSeek(std::uint64_t offset) override {
        if (!inner_ || !inner_->seek(offset)) return false;
        position_ = offset;
        return true;
    }
    std::size_t doReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        return inner_ ? inner_->readAt(offset, buffer, count) : 0;
    }
    bool doWrite(const void* buffer, std::size_t count) override {
        const bool written = failed(inner_ && inner_->write(buffer, count));
        position_ = inner_ ? inner_->position() : position_;
        return written;
    }
    // Closing ends the writes; the sync comes with the group's.
    bool doClose() override { return failed(!writeFailed_ && (!inner_ || inner_->endWrites())); }
    bool doEndWrites() override { return doClose(); }
    bool doSyncWrites() override { return !writeFailed_; }
    bool doCommit() override {
        if (!inner_ || !doClose()) return false;
        holder_.hold(std::move(inner_));
        return true;
    }
    bool doMoveSynced() override { return doCommit(); }

    std::unique_ptr<File> inner_;  // until it is held
    HoldingFileSystem& holder_;
};

}  // namespace

std::unique_ptr<File> HoldingFileSystem::open(const std::string& path, File::Mode mode) {
    std::unique_ptr<File> file = inner_.open(path, mode);
    if (!file || mode == File::Mode::Read) return file;
    return std::make_unique<HeldFile>(std::move(file), *this);
}

void HoldingFileSystem::hold(std::unique_ptr<File> file) {
    const std::lock_guard<std::mutex> guard(lock_);
    held_.push_back(std::move(file));
}

std::vector<std::unique_ptr<File>> HoldingFileSystem::takeHeld() {
    std::vector<std::unique_ptr<File>> taken;
    const std::lock_guard<std::mutex> guard(lock_);
    taken.swap(held_);
    return taken;
}

}  // namespace kelvarin
