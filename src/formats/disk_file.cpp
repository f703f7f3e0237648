// Files on the disk: sources read through stdio, destinations written to a temporary file beside
// them that is moved over the name once complete.
#include "formats/file.h"
#include "formats/mapped_file.h"
#include "formats/temporary_files.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <new>
#include <random>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvarin {

std::filesystem::path pathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

namespace {

namespace fs = std::filesystem;

std::string utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::FILE* openSourceHandle(const std::string& path) {
#ifdef _WIN32
    return _wfopen(pathFromUtf8(path).c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

// ---- Replacing files ----

// The file a destination name finally leads to: symbolic links are followed (a relative one from
// its own folder), so the file they point to is replaced and the links stay links.
fs::path finalTarget(fs::path path) {
    std::error_code error;
    for (int hop = 0; hop < 40; ++hop) {
        if (!fs::is_symlink(fs::symlink_status(path, error))) break;
        const fs::path next = fs::read_symlink(path, error);
        if (error) break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// Six letters and digits; exclusive creation is what makes a name unique, these only make a
// clash unlikely.
constexpr std::size_t kTagLength = 6;

std::string randomTag() {
    static const std::uint64_t seed = [] {
        std::uint64_t value = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        try {
            std::random_device device;
            value ^= (std::uint64_t{device()} << 32) ^ device();
        } catch (...) {
        }
        return value;
    }();
    static std::atomic<std::uint64_t> counter{0};
    // splitmix64 of the seed and a counter
    std::uint64_t x = seed + 0x9E3779B97F4A7C15ull * (counter.fetch_add(1) + 1);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string tag;
    for (std::size_t i = 0; i < kTagLength; ++i, x /= 62) tag += kDigits[x % 62];
    return tag;
}

bool deleteNative(const fs::path& path) {
#ifdef _WIN32
    return DeleteFileW(path.c_str()) != 0;
#else
    return ::unlink(path.c_str()) == 0;
#endif
}

// Opens a new file exclusively for reading and writing; nothing when the name is taken
// (`taken` set) or the file cannot be made. Windows: shared for deletion, so that a Ctrl-C handler
// can delete it while it is open.
std::FILE* createExclusive(const fs::path& path, bool& taken) {
#ifdef _WIN32
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        taken = GetLastError() == ERROR_FILE_EXISTS;
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (descriptor == -1) {
        CloseHandle(handle);
        deleteNative(path);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "w+b");
    if (!stream) {
        _close(descriptor);
        deleteNative(path);
    }
    return stream;
#else
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        taken = errno == EEXIST;
        return nullptr;
    }
    std::FILE* stream = ::fdopen(descriptor, "w+b");
    if (!stream) {
        ::close(descriptor);
        deleteNative(path);
    }
    return stream;
#endif
}

// A file that replaces another takes over its permission bits, and its owner and group where
// the system allows. (Windows: a new file's attributes; read-only files are refused earlier.)
void takeOverPermissions(std::FILE* stream, const fs::path& target) {
#ifdef _WIN32
    (void)stream;
    (void)target;
#else
    struct stat old {};
    if (::stat(target.c_str(), &old) != 0) return;
    const int descriptor = fileno(stream);
    // Giving a file away takes privileges: without them it belongs to whoever wrote it.
    const bool owned = ::fchown(descriptor, old.st_uid, old.st_gid) == 0 ||
                       ::fchown(descriptor, static_cast<uid_t>(-1), old.st_gid) == 0;
    (void)owned;
    // Only the permission bits: a set-user-ID bit on a file that now belongs to someone else is
    // not what the old owner granted.
    ::fchmod(descriptor, old.st_mode & 0777);
#endif
}

// Creates the temporary file beside `target` under a fresh hidden name, with the permissions any
// new file gets here (umask, default ACLs), or those of the file it replaces. Its name enters the
// interrupt handler's table before the file exists, so that no moment leaves it unlisted.
std::FILE* createTemporary(const fs::path& target, bool replacing, fs::path& temporary, int& slot) {
    const fs::path folder = target.parent_path();
    static constexpr char kMark[] = ".kelvarin-";
    // A file name holds at most 255 bytes: the name a long one hides under is cut (at a whole
    // character) so that the mark and the tag still fit.
    constexpr std::size_t kNameBytes = 255 - 1 - (sizeof kMark - 1) - kTagLength;
    std::string name = utf8FromPath(target.filename());
    if (name.size() > kNameBytes) {
        std::size_t cut = kNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    const std::string prefix = "." + name + kMark;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder / pathFromUtf8(prefix + randomTag());
        const TemporaryFileMaking making;
        slot = -1;
        if (temporaryFilesInterrupted()) return nullptr;  // the program is ending
        slot = claimLiveSlot(temporary);
        bool taken = false;
        std::FILE* stream = createExclusive(temporary, taken);
        // An interrupt raised while the file was made waits for this making, but may have passed
        // its slot already: the file goes now, before the program ends.
        if (stream && temporaryFilesInterrupted()) {
            std::fclose(stream);
            deleteNative(temporary);
            releaseLiveSlot(slot);
            slot = -1;
            return nullptr;
        }
        if (stream) {
            if (replacing) takeOverPermissions(stream, target);
            return stream;
        }
        releaseLiveSlot(slot);
        slot = -1;
        if (!taken) return nullptr;
    }
    return nullptr;
}

// Flushes the C library's buffer and the system's cache, so the bytes are on the disk before the
// name moves to them.
bool syncToDisk(std::FILE* handle) {
    if (std::fflush(handle) != 0) return false;
#ifdef _WIN32
    return _commit(_fileno(handle)) == 0;
#else
    return ::fsync(fileno(handle)) == 0;
#endif
}

bool moveIntoPlace(const fs::path& temporary, const fs::path& target) {
#ifdef _WIN32
    return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    if (std::rename(temporary.c_str(), target.c_str()) != 0) return false;
    // The new name is on the disk only once its folder is. The file is in place either way; a
    // folder the file system cannot sync only weakens what survives a power cut.
    const fs::path folder = target.parent_path();
    const int descriptor = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
    return true;
#endif
}

bool mayWrite(const fs::path& path) {
#ifdef _WIN32
    return _waccess(path.c_str(), 2) == 0;
#else
    return ::access(path.c_str(), W_OK) == 0;
#endif
}

bool seekHandle(std::FILE* handle, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(handle, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(handle, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

class DiskFile final : public File {
public:
    DiskFile(std::FILE* handle, std::string path, std::uint64_t size)
        : File(std::move(path)), handle_(handle), size_(size) {}
    ~DiskFile() override;

    std::uint64_t size() const override { return size_; }

    // Replacing files only: where the bytes go until commit(), the file they replace (the final
    // target of a link), and the slot of the temporary file in the table the interrupt handler
    // empties.
    bool replacing_ = false;
    fs::path temporary_;
    fs::path target_;
    int liveSlot_ = -1;

private:
    const std::uint8_t* doMap() override;
    std::size_t doRead(void* buffer, std::size_t count) override;
    std::size_t doReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
    bool doSeek(std::uint64_t offset) override;
    bool doWrite(const void* buffer, std::size_t count) override;
    bool doClose() override;
    bool doCommit() override;
    void abandon();
    std::FILE* handle_;
    std::uint64_t size_;
#ifdef _WIN32
    // readAt() goes through the stream's own position there, one read at a time.
    std::mutex readAtLock_;
#endif
    // Replacing files: the bytes before writtenBack_ are on their way to the disk.
    static constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
    void startWriteBack();
    std::uint64_t writtenBack_ = 0;
    bool doShortened() const override { return view_.shortened(); }
    // The view of a source: mapped once, on the first call of mapped().
    MappedView view_;
};

class DiskFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> open(const std::string& path, File::Mode mode) override;
    bool exists(const std::string& path) override;
    std::optional<std::uint64_t> size(const std::string& path) override;
    bool sameFile(const std::string& a, const std::string& b) override;
    std::optional<FileId> fileId(const std::string& path) override;
    bool remove(const std::string& path) override;
};

}  // namespace

FileSystem& diskFileSystem() {
    static DiskFileSystem disk;
    return disk;
}

std::unique_ptr<File> DiskFileSystem::open(const std::string& path, File::Mode mode) {
    if (path.empty()) return nullptr;
    std::error_code error;
    if (mode == File::Mode::Read) {
        if (!fs::is_regular_file(pathFromUtf8(path), error)) return nullptr;
        std::FILE* handle = openSourceHandle(path);
        if (!handle) return nullptr;
        const auto size = fs::file_size(pathFromUtf8(path), error);
        if (error) {
            std::fclose(handle);
            return nullptr;
        }
        return std::make_unique<DiskFile>(handle, path, size);
    }

    // A destination is a regular file or does not exist yet: writing into a FIFO blocks for ever,
    // and a device or folder is nothing a height map can replace.
    const fs::path target = finalTarget(pathFromUtf8(path));
    const fs::file_status status = fs::symlink_status(target, error);
    if (status.type() == fs::file_type::none || fs::is_symlink(status)) return nullptr;  // unreadable, or a loop
    const bool replacing = fs::exists(status);
    if (replacing && !fs::is_regular_file(status)) return nullptr;
    // Moving a file over a name ignores the old file's own permissions: a file the user may not
    // write is refused, as an ordinary open for writing would refuse it.
    if (replacing && !mayWrite(target)) return nullptr;
    fs::path temporary;
    int slot = -1;
    std::FILE* handle = createTemporary(target, replacing, temporary, slot);
    if (!handle) return nullptr;
    auto file = std::make_unique<DiskFile>(handle, path, 0);
    file->replacing_ = true;
    file->temporary_ = temporary;
    file->target_ = target;
    file->liveSlot_ = slot;
    return file;
}

DiskFile::~DiskFile() {
    if (replacing_) {
        abandon();
    } else if (handle_) {
        // A source: nothing was written, so closing it cannot lose anything.
        view_.unmap();
        std::fclose(handle_);
    }
}

std::size_t DiskFile::doRead(void* buffer, std::size_t count) {
    if (!handle_ || count == 0) return 0;
    const std::size_t got = std::fread(buffer, 1, count, handle_);
    position_ += got;
    return got;
}

std::size_t DiskFile::doReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (!handle_ || replacing_ || count == 0) return 0;
#ifdef _WIN32
    std::lock_guard<std::mutex> hold(readAtLock_);
    const std::uint64_t position = position_;
    std::size_t got = 0;
    if (seekHandle(handle_, offset)) got = std::fread(buffer, 1, count, handle_);
    (void)seekHandle(handle_, position);
    return got;
#else
    // pread leaves the stream's position alone, so the threads need no lock; a read cut short by
    // a signal goes on where it stopped.
    auto* into = static_cast<unsigned char*>(buffer);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t part = ::pread(fileno(handle_), into + got, count - got, static_cast<off_t>(offset + got));
        if (part > 0) {
            got += static_cast<std::size_t>(part);
        } else if (part == 0 || errno != EINTR) {
            break;
        }
    }
    return got;
#endif
}

bool DiskFile::doSeek(std::uint64_t offset) {
    if (!handle_ || !seekHandle(handle_, offset)) return false;
    position_ = offset;
    return true;
}

const std::uint8_t* DiskFile::doMap() {
    if (!handle_ || replacing_) return nullptr;
    return view_.map(handle_, size_);
}

bool DiskFile::doWrite(const void* buffer, std::size_t count) {
    if (!handle_) {
        writeFailed_ = true;
        return false;
    }
    const std::size_t put = count == 0 ? 0 : std::fwrite(buffer, 1, count, handle_);
    position_ += put;
    if (position_ > size_) size_ = position_;
    if (put != count) writeFailed_ = true;
    if (replacing_ && size_ - writtenBack_ >= kWriteBackStep) startWriteBack();
    return put == count;
}

void DiskFile::startWriteBack() {
#ifdef __linux__
    // The disk starts on what is written while the job goes on, so the sync before the file
    // takes its name has little left to do. Only a head start: the sync is what counts.
    if (std::fflush(handle_) != 0) return;
    ::sync_file_range(fileno(handle_), static_cast<off_t>(writtenBack_), static_cast<off_t>(size_ - writtenBack_),
                      SYNC_FILE_RANGE_WRITE);
#endif
    writtenBack_ = size_;
}

bool DiskFile::doClose() {
    view_.unmap();
    if (!handle_) return !writeFailed_;
    if (replacing_ && !syncToDisk(handle_)) writeFailed_ = true;
    if (std::fclose(handle_) != 0) writeFailed_ = true;
    handle_ = nullptr;
    return !writeFailed_;
}

bool DiskFile::doCommit() {
    if (!replacing_ || temporary_.empty()) return false;
    if (close() && moveIntoPlace(temporary_, target_)) {
        // Freed only now: an interrupt before the move deletes the temporary file, one after it
        // finds nothing left to delete.
        releaseLiveSlot(liveSlot_);
        liveSlot_ = -1;
        temporary_.clear();
        return true;
    }
    writeFailed_ = true;
    abandon();
    return false;
}

void DiskFile::abandon() {
    if (handle_) std::fclose(handle_);
    handle_ = nullptr;
    if (temporary_.empty()) return;
    deleteNative(temporary_);
    releaseLiveSlot(liveSlot_);
    liveSlot_ = -1;
    temporary_.clear();
}

bool DiskFileSystem::exists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::exists(pathFromUtf8(path), error);
}

std::optional<std::uint64_t> DiskFileSystem::size(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(pathFromUtf8(path), error);
    if (error) return std::nullopt;
    return size;
}

bool DiskFileSystem::sameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code error;
    if (std::filesystem::equivalent(pathFromUtf8(a), pathFromUtf8(b), error)) return true;
    // A destination that does not exist yet cannot be the source; compare the spelled-out names too.
    const auto left = std::filesystem::weakly_canonical(pathFromUtf8(a), error);
    const auto right = std::filesystem::weakly_canonical(pathFromUtf8(b), error);
    return !error && left == right;
}

// The numbers std::filesystem::equivalent compares: the device and inode, or on Windows the
// volume serial number and file index (a folder too, hence the backup-semantics flag).
std::optional<FileId> DiskFileSystem::fileId(const std::string& path) {
    if (path.empty()) return std::nullopt;
#ifdef _WIN32
    const HANDLE handle = CreateFileW(pathFromUtf8(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL got = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!got) return std::nullopt;
    return FileId{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
#else
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
#endif
}

bool DiskFileSystem::remove(const std::string& path) {
    if (path.empty()) return false;
    std::error_code error;
    const std::filesystem::path name = pathFromUtf8(path);
    const auto status = std::filesystem::symlink_status(name, error);
    if (status.type() == std::filesystem::file_type::not_found) return true;
    if (error) return false;
    if (!std::filesystem::is_regular_file(status) && !std::filesystem::is_symlink(status)) return false;
    return std::filesystem::remove(name, error) && !error;
}

}  // namespace kelvarin
