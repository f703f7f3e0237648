// Where an encoder's bytes go: a destination file, or memory in the tests. An encoder that gets
// false from write() stops and reports the failure; it never goes on as if the bytes had landed.
#pragma once

#include <cstddef>

#include "formats/file.h"

namespace kelvarin {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False when not every byte was taken.
    virtual bool write(const void* data, std::size_t count) = 0;
};

// A file of the file layer, at its current position.
class FileSink final : public ByteSink {
public:
    explicit FileSink(File& file) : file_(file) {}
    bool write(const void* data, std::size_t count) override { return file_.write(data, count); }

private:
    File& file_;
};

}  // namespace kelvarin
