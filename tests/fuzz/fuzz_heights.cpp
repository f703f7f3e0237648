// The elevation readers: any input through the table of formats (open, then every row twice), and
// ASCII grids in whole File > Open... jobs, with each file's own range and with one given;
// and .hgt tiles, whose name (the input's first bytes) says where they lie, over a tile-sized
// source made of the input repeated.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "formats/asc_reader.h"
#include "formats/hgt_reader.h"
#include "fuzz_job.h"
#include "fuzz_source_rows.h"
#include "ui/ids.h"

namespace {

using namespace kelvarin;

// A source of `size` bytes that repeats the input: a full tile from a few bytes.
class RepeatedBytes final : public ByteSource {
public:
    RepeatedBytes(const std::uint8_t* data, std::size_t length, std::uint64_t size)
        : data_(data), length_(length), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t readUpTo(std::uint64_t offset, void* into, std::size_t count) override {
        if (offset >= size_) return 0;
        count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
        auto* out = static_cast<std::uint8_t*>(into);
        if (length_ == 0) {
            std::memset(out, 0, count);
            return count;
        }
        // Whole copies of the input where they fit: byte by byte, a tile's rows cost more than the
        // reader they exercise.
        for (std::size_t done = 0; done < count;) {
            const std::size_t at = static_cast<std::size_t>((offset + done) % length_);
            const std::size_t piece = std::min(length_ - at, count - done);
            std::memcpy(out + done, data_ + at, piece);
            done += piece;
        }
        return count;
    }

private:
    const std::uint8_t* data_;
    std::size_t length_;
    std::uint64_t size_;
};

void openTile(const std::uint8_t* data, std::size_t size) {
    const std::size_t nameLength = std::min<std::size_t>(size, 9);
    const std::string name = std::string(data, data + nameLength) + ".hgt";
    const std::uint64_t side = (size > 0 && (data[0] & 1)) ? 3601 : 1201;
    RepeatedBytes source(data, size, 2 * side * side);
    fuzz::check(claimsHgtName(name, source.size()), "a .hgt name not claimed");
    OpenedSource opened = openHgtNamed(source, name);
    fuzz::check(!opened.report.refused() && opened.rows && opened.width == side, "a tile of the right size refused");
    if (const auto& p = opened.heights.placement)
        fuzz::check(std::isfinite(p->originX) && std::isfinite(p->originY) && p->pixelWidth > 0, "placement");
    std::vector<std::uint8_t> rows(2 * side * 2);
    for (const std::uint32_t first : {0u, static_cast<std::uint32_t>(side - 2)})
        fuzz::check(opened.rows->readRows(first, 2, rows.data()), "tile rows");
    // Asking beyond the tile fails with a reason, never reads outside it.
    fuzz::check(!opened.rows->readRows(static_cast<std::uint32_t>(side - 1), 2, rows.data()) &&
                    !opened.rows->failure().empty(),
                "rows beyond the tile");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    openTile(data, size);
    fuzz::decodeEveryRowTwice(data, size);
    // Whole jobs only for grids: every other kind has a target of its own, and a job costs as
    // much as hundreds of reader runs.
    if (!sniffAsc(std::span<const std::uint8_t>(data, std::min<std::size_t>(size, 64)))) return 0;
    fuzz::runOpenJobs(data, size);
    fuzz::FuzzJob given{.command = ids::OpenImage, .data = data, .size = size};
    given.options.heightRange = HeightRange{-1000, 1000};
    (void)fuzz::runAndCheck(given);
    return 0;
}
