// The one small file layer every reader and writer goes through. Reads report how much they
// got; writes report failure; nothing here trusts the caller's sizes. Destinations are written
// whole or not at all: an existing file is only ever replaced by a complete new one.
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
        Read,     // an existing file, read only: sources are never changed
        // A destination: the bytes go to a new hidden file beside it (".NAME.kelvarin-XXXXXX",
        // beside the final target of a symbolic link), which commit() moves over the name. Until
        // then an existing file stays exactly as it was; a replacing file dropped without commit()
        // is deleted. Only a regular file the user may write, or a name that holds nothing yet,
        // can be a destination: FIFOs, devices and folders are refused.
        Replace,
    };

    // `path` is the name the user chose; path() gives it back and the log names it, never the
    // temporary file.
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
    // A source's bytes as one read-only view of size() bytes, mapped from the file where the
    // platform allows; nullptr where it does not (an empty file, a destination, a failed map),
    // and read() is then the way. The view lasts until close(). Unlike read(), touching the view
    // of a file another program shortens meanwhile can stop the program (SIGBUS).
    const std::uint8_t* mapped();
    std::uint64_t position() const { return position_; }

    // False when not every byte was written; the failure also sticks to writeFailed().
    bool write(const void* buffer, std::size_t count);
    bool writeFailed() const { return writeFailed_; }
    // Flushes and closes; false when a write (or the flush) failed. A replacing file is also
    // synced to the disk here, so once it is closed its bytes are complete; it is not in place
    // until commit().
    bool close();
    // A replacing file: closes it (if still open) and moves it over the destination's name; the
    // folder is synced too. False when a write, the flush, the sync or the move failed: the
    // temporary file is then deleted and the old destination left as it was.
    bool commit();

private:
    File(std::FILE* handle, std::string path, std::uint64_t size);
    void abandon();
    std::FILE* handle_;
    std::string path_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
    bool writeFailed_ = false;
    // Replacing files only: where the bytes go until commit(), the file they replace (the final
    // target of a link), and the slot of the temporary file in the table the interrupt handler
    // empties.
    bool replacing_ = false;
    std::filesystem::path temporary_;
    std::filesystem::path target_;
    int liveSlot_ = -1;
    // Replacing files: the bytes before writtenBack_ are on their way to the disk.
    static constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
    void startWriteBack();
    std::uint64_t writtenBack_ = 0;
    // The view of a source: mapped once, on the first call of mapped().
    void unmap();
    const std::uint8_t* view_ = nullptr;
    bool mapTried_ = false;
#ifdef _WIN32
    void* mapping_ = nullptr;
#endif
};

// Deletes the temporary files of every replacing file not yet committed, with nothing but calls
// that are safe inside a signal handler (or a console control handler on another thread). For a
// program that is being interrupted and ends right after it.
void removeTemporaryFilesNow() noexcept;

bool fileExists(const std::string& path);
std::optional<std::uint64_t> fileSize(const std::string& path);
// True when both names lead to the same file, however they are spelled.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace kelvarin
