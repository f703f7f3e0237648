// Replacing a file on the disk: a temporary file beside the destination, made under a fresh
// hidden name with the permissions the destination should have, synced and then moved over the
// destination's name.
#include "formats/replacing_files.h"

#include "formats/file.h"
#include "formats/temporary_files.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
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
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvarin::disk {

namespace fs = std::filesystem;

std::string utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

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

namespace {

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

}  // namespace

bool deleteNative(const fs::path& path) {
#ifdef _WIN32
    return DeleteFileW(path.c_str()) != 0;
#else
    return ::unlink(path.c_str()) == 0;
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

void EarlySyncs::start(int descriptor) {
    if (!done_.load(std::memory_order_acquire)) return;
    if (running_.joinable()) running_.join();
#ifdef _WIN32
    // The flush takes the system's handle, found here on the writing thread: it needs no lock of
    // the C library's, which its writes hold.
    const HANDLE handle = descriptor < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    const auto sync = [handle] { return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0; };
#else
    const auto sync = [descriptor] {
#ifdef __linux__
        return ::fdatasync(descriptor) == 0;
#else
        return ::fsync(descriptor) == 0;
#endif
    };
#endif
    done_.store(false, std::memory_order_relaxed);
    try {
        running_ = std::thread([this, sync] {
            if (!sync()) failed_.store(true, std::memory_order_relaxed);
            done_.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        done_.store(true, std::memory_order_relaxed);  // no thread now: the last sync does it all
    }
}

bool EarlySyncs::finish() {
    if (running_.joinable()) running_.join();
    return !failed_.load(std::memory_order_relaxed);
}

bool moveOver(const fs::path& temporary, const fs::path& target) {
#ifdef _WIN32
    return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(temporary.c_str(), target.c_str()) == 0;
#endif
}

// The new names are on the disk only once their folder is. The files are in place either way; a
// folder the file system cannot sync only weakens what survives a power cut. (Windows: the moves
// were written through.)
void syncFolder(const fs::path& folder) {
#ifdef _WIN32
    (void)folder;
#else
    const int descriptor = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
#endif
}

bool moveIntoPlace(const fs::path& temporary, const fs::path& target) {
    if (!moveOver(temporary, target)) return false;
    syncFolder(target.parent_path());
    return true;
}

void allowManyOpenFiles() {
#ifndef _WIN32
    static const bool raised = [] {
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return false;
        limit.rlim_cur = limit.rlim_max;
        return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
    }();
    (void)raised;
#endif
}

bool mayWrite(const fs::path& path) {
#ifdef _WIN32
    return _waccess(path.c_str(), 2) == 0;
#else
    return ::access(path.c_str(), W_OK) == 0;
#endif
}

}  // namespace kelvarin::disk
