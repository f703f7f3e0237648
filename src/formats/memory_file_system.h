// Files in memory, for running whole jobs without the disk: a source is put in by name, and a
// destination becomes readable under its name only once it is committed, as on the disk. The
// file system outlives the files it opens.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/file.h"

namespace kelvarin {

class MemoryFileSystem final : public FileSystem {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Puts a file there, replacing one of that name.
    void put(const std::string& path, Bytes bytes);
    // A file's bytes; nothing when there is no file of that name.
    std::optional<Bytes> contents(const std::string& path) const;
    // The names of all files, committed ones only.
    std::vector<std::string> names() const;
    // Destinations opened and neither committed nor dropped yet: their bytes are on no name.
    int pendingDestinations() const { return pending_; }
    // A disk that fills: from the n-th write to any destination on (counting from 1), every write
    // fails. 0 lets every write succeed again.
    void failWritesFrom(std::uint64_t n) {
        failFrom_ = n;
        writes_ = 0;
    }
    // A disk whose errors show only when it is asked to sync: from the n-th sync of a destination
    // on (syncWrites(), counting from 1), every sync fails. 0 lets every sync succeed again.
    void failSyncsFrom(std::uint64_t n) {
        failSyncsFrom_ = n;
        syncs_ = 0;
    }

    std::unique_ptr<File> open(const std::string& path, File::Mode mode) override;
    bool exists(const std::string& path) override { return files_.count(path) != 0; }
    std::optional<std::uint64_t> size(const std::string& path) override;
    // Names are compared as they are spelled: there are no folders or links here.
    bool sameFile(const std::string& a, const std::string& b) override { return !a.empty() && a == b; }
    // Each name holds its own bytes, so where they are tells the files apart.
    std::optional<FileId> fileId(const std::string& path) override;
    bool remove(const std::string& path) override {
        files_.erase(path);
        return true;
    }

private:
    std::map<std::string, std::shared_ptr<const Bytes>> files_;
    int pending_ = 0;
    std::uint64_t failFrom_ = 0;
    std::uint64_t writes_ = 0;
    bool writeAllowed() { return failFrom_ == 0 || ++writes_ < failFrom_; }
    std::uint64_t failSyncsFrom_ = 0;
    std::uint64_t syncs_ = 0;
    bool syncAllowed() { return failSyncsFrom_ == 0 || ++syncs_ < failSyncsFrom_; }
};

}  // namespace kelvarin
