// The bytes a reader reads: a file or a block of memory, read at an offset and never beyond the
// end. A reader asks for exactly what it needs and is told when that is not all there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin {

class File;

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Up to `count` bytes at `offset`; returns how many arrived (fewer only at the end or on a
    // read error).
    virtual std::size_t readUpTo(std::uint64_t offset, void* into, std::size_t count) = 0;
    // Exactly `count` bytes at `offset`; false, reading nothing, when they are not all inside.
    [[nodiscard]] bool readAt(std::uint64_t offset, void* into, std::size_t count) {
        if (offset > size() || count > size() - offset) return false;
        return readUpTo(offset, into, count) == count;
    }
};

// An open file; its size is the one it had when it was opened.
class FileBytes final : public ByteSource {
public:
    explicit FileBytes(File& file) : file_(file) {}
    std::uint64_t size() const override;
    std::size_t readUpTo(std::uint64_t offset, void* into, std::size_t count) override;

private:
    File& file_;
};

// An open file read with positioned reads only (pread), so that several threads may read it at
// once, as long as nothing else moves the file's position meanwhile.
class SharedFileBytes final : public ByteSource {
public:
    explicit SharedFileBytes(File& file) : file_(file) {}
    std::uint64_t size() const override;
    std::size_t readUpTo(std::uint64_t offset, void* into, std::size_t count) override;

private:
    File& file_;
};

class MemoryBytes final : public ByteSource {
public:
    MemoryBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t readUpTo(std::uint64_t offset, void* into, std::size_t count) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace kelvarin
