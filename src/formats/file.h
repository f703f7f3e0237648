// The one small file layer every reader and writer goes through. Reads report how much they
// got; writes report failure; nothing here trusts the caller's sizes. Destinations are written
// whole or not at all: an existing file is only ever replaced by a complete new one.
//
// Files come from a FileSystem: the disk (diskFileSystem) or memory (MemoryFileSystem), so that
// a whole job can run without touching the disk.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#endif

namespace kelvarin {

// Paths are UTF-8 inside the program.
std::filesystem::path pathFromUtf8(const std::string& utf8);

class File {
public:
    enum class Mode {
        Read,  // an existing file, read only: sources are never changed
        // A destination: the bytes go to a new file beside it (on the disk a hidden
        // ".NAME.kelvarin-XXXXXX", beside the final target of a symbolic link), which commit()
        // moves over the name. Until then an existing file stays exactly as it was; a replacing
        // file dropped without commit() is deleted. Only a regular file the user may write, or a
        // name that holds nothing yet, can be a destination: FIFOs, devices and folders are refused.
        Replace,
    };

    virtual ~File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // The name the user chose; the log names it, never the temporary file.
    const std::string& path() const { return path_; }
    // Size at the moment it was opened (sources) or as written so far (destinations).
    virtual std::uint64_t size() const = 0;

    // Reads up to `count` bytes at the current position and returns how many arrived:
    // fewer only at the end of the file or on a read error.
    [[nodiscard]] std::size_t read(void* buffer, std::size_t count) { return doRead(buffer, count); }
    // True only when all `count` bytes arrived.
    [[nodiscard]] bool readExact(void* buffer, std::size_t count) { return read(buffer, count) == count; }
    [[nodiscard]] bool seek(std::uint64_t offset) { return doSeek(offset); }
    // Reads up to `count` bytes at `offset` of a source, as read() would from there, without
    // moving the position; several threads may read one source this way at once (but not
    // while another uses read() or seek()).
    [[nodiscard]] std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t count) {
        return doReadAt(offset, buffer, count);
    }
    // A source's bytes as one read-only view of size() bytes where the file can give one (mapped
    // from the disk where the platform allows); nullptr where it cannot (an empty file, a
    // destination, a failed map), and read() is then the way. The view lasts until close().
    // A disk file another program shortens meanwhile does not stop the program: the view's bytes
    // past the new end read as zeros and shortened() turns true, which a reader of the view asks
    // after each piece of work and treats as a short read.
    const std::uint8_t* mapped() { return doMap(); }
    bool shortened() const { return doShortened(); }
    std::uint64_t position() const { return position_; }

    // False when not every byte was written; the failure also sticks to writeFailed().
    [[nodiscard]] bool write(const void* buffer, std::size_t count) { return doWrite(buffer, count); }
    bool writeFailed() const { return writeFailed_; }
    // Flushes and closes; false when a write (or the flush) failed. A replacing file is also
    // made durable here (synced to the disk), so once it is closed its bytes are complete; it is
    // not in place until commit().
    [[nodiscard]] bool close() { return doClose(); }
    // A replacing file: closes it (if still open) and moves it over the destination's name.
    // False when a write, the flush, the sync or the move failed: the new bytes are then thrown
    // away and the old destination left as it was.
    [[nodiscard]] bool commit() { return doCommit(); }

    // The steps of commit() one at a time, for committing several replacing files together
    // (formats/group_commit.h), each step taken for every file before the next: syncing each file
    // on its own waits for the disk once per file, syncing them together once for all.
    // Ends the writes without waiting for the disk: the bytes go to the system, which starts
    // writing them out. False when a write or the flush failed.
    [[nodiscard]] bool endWrites() { return doEndWrites(); }
    // Waits until the bytes are on the disk and closes the file (FileSystem::syncTogether does
    // this for many files at once).
    [[nodiscard]] bool syncWrites() { return doSyncWrites(); }
    // Moves the synced file over its name; the name is durable once its folder is synced.
    [[nodiscard]] bool moveSynced() { return doMoveSynced(); }
    // The folder the file takes its name in (where a link leads), and its sync.
    std::string folder() const { return doFolder(); }
    bool syncFolder() { return doSyncFolder(); }

protected:
    explicit File(std::string path) : path_(std::move(path)) {}
    std::uint64_t position_ = 0;
    bool writeFailed_ = false;

    // What each kind of file does; the public functions above are the ones callers use, so that
    // every compiler checks that their results are looked at.
    virtual std::size_t doRead(void* buffer, std::size_t count) = 0;
    virtual bool doSeek(std::uint64_t offset) = 0;
    virtual std::size_t doReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
    virtual bool doWrite(const void* buffer, std::size_t count) = 0;
    virtual bool doClose() = 0;
    virtual bool doCommit() = 0;
    virtual const std::uint8_t* doMap() { return nullptr; }
    // A file that keeps nothing on a disk of its own: ending is closing, and commit() moves it.
    virtual bool doEndWrites() { return !writeFailed_; }
    virtual bool doSyncWrites() { return close(); }
    virtual bool doMoveSynced() { return commit(); }
    virtual std::string doFolder() const { return std::string(); }
    virtual bool doSyncFolder() { return true; }
    virtual bool doShortened() const { return false; }

private:
    std::string path_;
};

// Which file a name leads to: the same for every name of one file (another spelling, a hard
// link, a symbolic link), different for any two files that exist at the same moment. Good only
// while both files stay where they are: a number may be handed out again once its file is gone.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    auto operator<=>(const FileId&) const = default;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Nothing when the file cannot be opened as `mode` asks (see File::Mode).
    virtual std::unique_ptr<File> open(const std::string& path, File::Mode mode) = 0;
    virtual bool exists(const std::string& path) = 0;
    // The size of the file of that name; nothing when there is none.
    virtual std::optional<std::uint64_t> size(const std::string& path) = 0;
    // True when both names lead to the same file, however they are spelled.
    virtual bool sameFile(const std::string& a, const std::string& b) = 0;
    // The file that name leads to, for comparing many names with many others at once; nothing when
    // there is none (or it cannot be looked at). Two existing files are the same exactly when
    // their ids are equal.
    virtual std::optional<FileId> fileId(const std::string& path) = 0;
    // Removes the file of that name (a link itself, not what it leads to); true when none is left.
    // Folders, FIFOs and devices are never removed.
    virtual bool remove(const std::string& path) = 0;
    // Waits until the bytes of all these replacing files (opened here, their writes ended) are on
    // the disk, and closes them; for each, whether it is. One file after the other unless the
    // file system knows a way to sync many at once.
    virtual std::vector<bool> syncTogether(std::span<File* const> files) {
        std::vector<bool> synced;
        synced.reserve(files.size());
        for (File* file : files) synced.push_back(file->syncWrites());
        return synced;
    }
};

// The real files. One for the whole program.
FileSystem& diskFileSystem();

// Deletes the temporary files of every replacing disk file not yet committed, with nothing but
// calls that are safe inside a signal handler (or a console control handler on another thread).
// For a program that is being interrupted and ends right after it.
void removeTemporaryFilesNow() noexcept;
#ifndef _WIN32
// The signals whose handlers call it: while a temporary file is being made they are held off on
// the maker's thread, so that a handler never waits for the thread it runs on.
inline constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
#endif

}  // namespace kelvarin
