// Samples that come in parts of any size, handed on as whole rows: the whole rows of a part
// where they lie, a row split between parts from a copy of its pieces.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvarin {

class WholeRows {
public:
    // Rows of `width` samples (at least 1) follow; may throw std::bad_alloc.
    void begin(std::size_t width) {
        row_.assign(width, 0);
        filled_ = 0;
    }
    std::size_t width() const { return row_.size(); }
    // Samples of the row in the making that have come.
    std::size_t filled() const { return filled_; }

    // The next `count` samples: `rows(first, n)` is called for each run of n whole rows, in
    // order; false from it ends this and is returned.
    template <typename Rows>
    bool add(const std::uint16_t* samples, std::size_t count, Rows&& rows) {
        const std::size_t width = row_.size();
        if (filled_ != 0) {
            const std::size_t part = std::min(count, width - filled_);
            std::copy(samples, samples + part, row_.begin() + static_cast<std::ptrdiff_t>(filled_));
            filled_ += part;
            samples += part;
            count -= part;
            if (filled_ != width) return true;
            filled_ = 0;
            if (!rows(row_.data(), std::size_t{1})) return false;
        }
        const std::size_t whole = count / width;
        if (whole != 0 && !rows(samples, whole)) return false;
        filled_ = count - whole * width;
        std::copy(samples + whole * width, samples + count, row_.begin());
        return true;
    }

private:
    std::vector<std::uint16_t> row_;
    std::size_t filled_ = 0;
};

}  // namespace kelvarin
