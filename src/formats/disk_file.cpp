// Files on the disk: sources read through stdio, destinations written to a temporary file beside
// them that is moved over the name once complete.
#include "formats/file.h"
#include "formats/mapped_file.h"
#include "formats/replacing_files.h"
#include "formats/temporary_files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
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
using namespace disk;

std::FILE* openSourceHandle(const std::string& path) {
#ifdef _WIN32
    return _wfopen(pathFromUtf8(path).c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
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
    // When it was opened, among all files: the oldest file of a group sees every writeback error
    // of the group's file system since.
    std::uint64_t openedAt_ = 0;

    // The descriptor of a replacing file whose writes have ended; -1 once it is closed.
    int descriptor() const { return replacing_ && handle_ ? fileno(handle_) : -1; }
    // Closes a replacing file that the file system as a whole has synced (or failed to).
    bool closeSynced(bool synced);
    bool takeName(bool (*move)(const std::filesystem::path&, const std::filesystem::path&));

private:
    const std::uint8_t* doMap() override;
    std::size_t doRead(void* buffer, std::size_t count) override;
    std::size_t doReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
    bool doSeek(std::uint64_t offset) override;
    bool doWrite(const void* buffer, std::size_t count) override;
    bool doClose() override;
    bool doCommit() override;
    bool doEndWrites() override;
    bool doSyncWrites() override { return close(); }
    bool doMoveSynced() override;
    std::string doFolder() const override { return utf8FromPath(target_.parent_path()); }
    bool doSyncFolder() override {
        disk::syncFolder(target_.parent_path());
        return true;
    }
    void abandon();
    std::FILE* handle_;
    std::uint64_t size_;
#ifdef _WIN32
    // readAt() goes through the stream's own position there, one read at a time.
    std::mutex readAtLock_;
#endif
    // Replacing files: the bytes before writtenBack_ are on their way to the disk, and every
    // step of them written starts a sync of the file unless one still runs.
    static constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
    void startWriteBack(bool andSync);
    std::uint64_t writtenBack_ = 0;
    EarlySyncs earlySyncs_;
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
    std::vector<bool> syncTogether(std::span<File* const> files) override;
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
    allowManyOpenFiles();
    fs::path temporary;
    int slot = -1;
    std::FILE* handle = createTemporary(target, replacing, temporary, slot);
    if (!handle) return nullptr;
    auto file = std::make_unique<DiskFile>(handle, path, 0);
    file->replacing_ = true;
    file->temporary_ = temporary;
    file->target_ = target;
    file->liveSlot_ = slot;
    static std::atomic<std::uint64_t> opened{0};
    file->openedAt_ = ++opened;
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
    if (replacing_ && size_ - writtenBack_ >= kWriteBackStep) startWriteBack(true);
    return put == count;
}

void DiskFile::startWriteBack(bool andSync) {
    // The disk starts on what is written while the job goes on, so the sync before the file
    // takes its name has little left to do. Only a head start: the sync is what counts.
    if (std::fflush(handle_) != 0) return;
#ifdef __linux__
    ::sync_file_range(fileno(handle_), static_cast<off_t>(writtenBack_), static_cast<off_t>(size_ - writtenBack_),
                      SYNC_FILE_RANGE_WRITE);
#endif
    if (andSync) earlySyncs_.start(fileno(handle_));
    writtenBack_ = size_;
}

bool DiskFile::doClose() {
    view_.unmap();
    if (!handle_) return !writeFailed_;
    if (!earlySyncs_.finish()) writeFailed_ = true;
    if (replacing_ && !syncToDisk(handle_)) writeFailed_ = true;
    if (std::fclose(handle_) != 0) writeFailed_ = true;
    handle_ = nullptr;
    return !writeFailed_;
}

bool DiskFile::doCommit() { return takeName(moveIntoPlace); }

// Closes the temporary file and moves it over the target with `move`; on failure the temporary
// file goes and the target keeps its old contents.
bool DiskFile::takeName(bool (*move)(const std::filesystem::path&, const std::filesystem::path&)) {
    if (!replacing_ || temporary_.empty()) return false;
    if (close() && move(temporary_, target_)) {
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

bool DiskFile::doEndWrites() {
    if (!handle_) return !writeFailed_;
    if (std::fflush(handle_) != 0) writeFailed_ = true;
    if (replacing_ && !writeFailed_ && size_ > writtenBack_) startWriteBack(false);
    return !writeFailed_;
}

bool DiskFile::doMoveSynced() { return takeName(moveOver); }

#ifdef __linux__  // the file system's own sync of a group
bool DiskFile::closeSynced(bool synced) {
    if (!earlySyncs_.finish() || !synced) writeFailed_ = true;
    if (handle_ && std::fclose(handle_) != 0) writeFailed_ = true;
    handle_ = nullptr;
    return !writeFailed_;
}
#endif

void DiskFile::abandon() {
    (void)earlySyncs_.finish();
    if (handle_) std::fclose(handle_);
    handle_ = nullptr;
    if (temporary_.empty()) return;
    deleteNative(temporary_);
    releaseLiveSlot(liveSlot_);
    liveSlot_ = -1;
    temporary_.clear();
}

// Linux: one syncfs for each file system the files are on, instead of a sync of each file: every
// sync ends with a flush of the disk's cache, which a small file waits for far longer than for its
// bytes (a batch of 1500 results of 64 x 64: 4.9 s with a sync of each file, 2.5 s with one syncfs a
// round, medians of 3 on a busy machine). syncfs reports the errors of the whole file system since
// the descriptor it is given was opened, so it is given the oldest file's: a failure there fails
// every file of that file system in the group.
std::vector<bool> DiskFileSystem::syncTogether(std::span<File* const> files) {
#ifdef __linux__
    std::vector<DiskFile*> disk;
    disk.reserve(files.size());
    for (File* file : files) {
        auto* diskFile = dynamic_cast<DiskFile*>(file);
        if (!diskFile) return FileSystem::syncTogether(files);
        disk.push_back(diskFile);
    }
    struct Device {
        dev_t device;
        DiskFile* oldest;
        bool synced = false;
    };
    std::vector<Device> devices;
    std::vector<std::optional<dev_t>> deviceOf(disk.size());
    for (std::size_t i = 0; i < disk.size(); ++i) {
        struct stat status {};
        if (disk[i]->descriptor() < 0 || disk[i]->writeFailed() || ::fstat(disk[i]->descriptor(), &status) != 0) continue;
        deviceOf[i] = status.st_dev;
        auto found = std::find_if(devices.begin(), devices.end(), [&](const Device& d) { return d.device == status.st_dev; });
        if (found == devices.end()) {
            devices.push_back({status.st_dev, disk[i]});
        } else if (disk[i]->openedAt_ < found->oldest->openedAt_) {
            found->oldest = disk[i];
        }
    }
    for (Device& device : devices) device.synced = ::syncfs(device.oldest->descriptor()) == 0;
    std::vector<bool> synced(disk.size(), false);
    for (std::size_t i = 0; i < disk.size(); ++i) {
        const auto device = std::find_if(devices.begin(), devices.end(),
                                         [&](const Device& d) { return deviceOf[i] && d.device == *deviceOf[i]; });
        synced[i] = disk[i]->closeSynced(device != devices.end() && device->synced);
    }
    return synced;
#else
    return FileSystem::syncTogether(files);
#endif
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
    const std::optional<FileId> leftId = fileId(a), rightId = fileId(b);
    if (leftId && rightId) return *leftId == *rightId;
    // A name that leads to nothing is not the file another name leads to, unless a ".." in it
    // undoes a folder that is not there: Linux would not open such a name, but Windows drops the
    // pair before it looks. Only then are the names compared as spelled out, which resolves the
    // links of every folder on the way: too slow to do for each file of a batch.
    const auto climbs = [](const fs::path& name) {
        return std::any_of(name.begin(), name.end(), [](const fs::path& part) { return part == ".."; });
    };
    const fs::path left = pathFromUtf8(a), right = pathFromUtf8(b);
    if (leftId.has_value() != rightId.has_value() && !climbs(left) && !climbs(right)) return false;
    std::error_code error;
    const auto leftName = fs::weakly_canonical(left, error);
    const auto rightName = fs::weakly_canonical(right, error);
    return !error && leftName == rightName;
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
