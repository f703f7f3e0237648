#include "formats/file.h"

#include <system_error>

namespace kelvarin {

std::filesystem::path pathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

namespace {

std::FILE* openHandle(const std::string& path, File::Mode mode) {
    const bool read = mode == File::Mode::Read;
#ifdef _WIN32
    return _wfopen(pathFromUtf8(path).c_str(), read ? L"rb" : L"w+b");
#else
    return std::fopen(path.c_str(), read ? "rb" : "w+b");
#endif
}

bool seekHandle(std::FILE* handle, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(handle, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(handle, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

std::unique_ptr<File> File::open(const std::string& path, Mode mode) {
    if (path.empty()) return nullptr;
    std::error_code error;
    if (mode == Mode::Read && !std::filesystem::is_regular_file(pathFromUtf8(path), error)) return nullptr;
    // A destination is a regular file or does not exist yet: writing into a FIFO blocks for ever,
    // and a failed job deletes its destination, which must never take a device node with it.
    if (mode == Mode::CreateTruncate) {
        const auto status = std::filesystem::status(pathFromUtf8(path), error);
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return nullptr;
    }
    std::FILE* handle = openHandle(path, mode);
    if (!handle) return nullptr;
    std::uint64_t size = 0;
    if (mode == Mode::Read) {
        const auto measured = std::filesystem::file_size(pathFromUtf8(path), error);
        if (error) {
            std::fclose(handle);
            return nullptr;
        }
        size = measured;
    }
    return std::unique_ptr<File>(new File(handle, path, size));
}

File::File(std::FILE* handle, std::string path, std::uint64_t size)
    : handle_(handle), path_(std::move(path)), size_(size) {}

File::~File() { close(); }

std::uint64_t File::size() const { return size_; }

std::size_t File::read(void* buffer, std::size_t count) {
    if (!handle_ || count == 0) return 0;
    const std::size_t got = std::fread(buffer, 1, count, handle_);
    position_ += got;
    return got;
}

bool File::seek(std::uint64_t offset) {
    if (!handle_ || !seekHandle(handle_, offset)) return false;
    position_ = offset;
    return true;
}

bool File::write(const void* buffer, std::size_t count) {
    if (!handle_) {
        writeFailed_ = true;
        return false;
    }
    const std::size_t put = count == 0 ? 0 : std::fwrite(buffer, 1, count, handle_);
    position_ += put;
    if (position_ > size_) size_ = position_;
    if (put != count) writeFailed_ = true;
    return put == count;
}

bool File::close() {
    if (!handle_) return !writeFailed_;
    if (std::fclose(handle_) != 0) writeFailed_ = true;
    handle_ = nullptr;
    return !writeFailed_;
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::exists(pathFromUtf8(path), error);
}

std::optional<std::uint64_t> fileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(pathFromUtf8(path), error);
    if (error) return std::nullopt;
    return size;
}

bool removeFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::remove(pathFromUtf8(path), error);
}

bool renameFile(const std::string& from, const std::string& to) {
    std::error_code error;
    std::filesystem::rename(pathFromUtf8(from), pathFromUtf8(to), error);
    return !error;
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code error;
    if (std::filesystem::equivalent(pathFromUtf8(a), pathFromUtf8(b), error)) return true;
    // A destination that does not exist yet cannot be the source; compare the spelled-out names too.
    const auto left = std::filesystem::weakly_canonical(pathFromUtf8(a), error);
    const auto right = std::filesystem::weakly_canonical(pathFromUtf8(b), error);
    return !error && left == right;
}

}  // namespace kelvarin
