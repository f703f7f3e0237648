#include "formats/byte_source.h"

#include <cstring>

#include "formats/file.h"

namespace kelvarin {

std::uint64_t FileBytes::size() const { return file_.size(); }

std::size_t FileBytes::readUpTo(std::uint64_t offset, void* into, std::size_t count) {
    if (!file_.seek(offset)) return 0;
    return file_.read(into, count);
}

std::uint64_t SharedFileBytes::size() const { return file_.size(); }

std::size_t SharedFileBytes::readUpTo(std::uint64_t offset, void* into, std::size_t count) {
    return file_.readAt(offset, into, count);
}

std::size_t MemoryBytes::readUpTo(std::uint64_t offset, void* into, std::size_t count) {
    if (offset >= size_) return 0;
    const std::size_t available = size_ - static_cast<std::size_t>(offset);
    const std::size_t got = count < available ? count : available;
    if (got > 0) std::memcpy(into, data_ + offset, got);
    return got;
}

}  // namespace kelvarin
