// The one small file layer every reader and writer goes through. Reads report how much they
// got; writes report failure; nothing here trusts the caller's sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace kelvarin {

// Paths are UTF-8 inside the program.
std::filesystem::path pathFromUtf8(const std::string& utf8);

class File {
public:
    enum class Mode {
        Read,            // an existing file, read only: sources are never changed
        CreateTruncate,  // created, or cut to zero length when it exists
    };

    static std::unique_ptr<File> open(const std::string& path, Mode mode);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    const std::string& path() const { return path_; }
    // Size at the moment it was opened (sources) or as written so far (destinations).
    std::uint64_t size() const;

    // Reads up to `count` bytes at the current position and returns how many arrived:
    // fewer only at the end of the file or on a read error.
    std::size_t read(void* buffer, std::size_t count);
    // True only when all `count` bytes arrived.
    bool readExact(void* buffer, std::size_t count) { return read(buffer, count) == count; }
    bool seek(std::uint64_t offset);
    std::uint64_t position() const { return position_; }

    // False when not every byte was written; the failure also sticks to writeFailed().
    bool write(const void* buffer, std::size_t count);
    bool writeFailed() const { return writeFailed_; }
    // Flushes and closes; false when a write (or the flush) failed.
    bool close();

private:
    File(std::FILE* handle, std::string path, std::uint64_t size);
    std::FILE* handle_;
    std::string path_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
    bool writeFailed_ = false;
};

bool fileExists(const std::string& path);
std::optional<std::uint64_t> fileSize(const std::string& path);
bool removeFile(const std::string& path);
bool renameFile(const std::string& from, const std::string& to);
// True when both names lead to the same file, however they are spelled.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace kelvarin
