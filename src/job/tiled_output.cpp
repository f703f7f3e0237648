#include "job/tiled_output.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>
#include <thread>

#include "formats/group_commit.h"

namespace kelvarin {

namespace {

// A tile's rows are small (a 1025-sample row is 2 KiB): gathered into writes of this size, the
// file system sees a few large writes per tile instead of one per row.
constexpr std::size_t kTileWriteBytes = std::size_t{256} << 10;

// Runs work(i) for every i below count on up to `threads` threads (this one among them); true
// when every call was. Where no thread can be started, the rest run here.
template <class Work>
bool eachOnThreads(std::size_t count, unsigned threads, Work work) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> allDone{true};
    auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            if (!work(i)) allDone = false;
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < std::min<std::size_t>(threads, count); ++t) {
        try {
            helpers.emplace_back(run);
        } catch (const std::system_error&) {
            break;
        }
    }
    run();
    for (std::thread& helper : helpers) helper.join();
    return allDone;
}

}  // namespace

// One tile of the band being written: its replacing file and the writer that encodes into it.
struct TiledOutput::Tile {
    std::unique_ptr<File> file;
    std::unique_ptr<GreyOutput> writer;
    std::vector<std::uint8_t> pending;  // encoded bytes not yet written
    std::size_t index = 0;
    std::uint16_t min = 0xFFFF, max = 0;

    bool write(const void* bytes, std::size_t count) {
        const auto* from = static_cast<const std::uint8_t*>(bytes);
        if (pending.size() + count > kTileWriteBytes && !flush()) return false;
        if (count >= kTileWriteBytes) return file->write(from, count);
        pending.insert(pending.end(), from, from + count);
        return true;
    }
    bool flush() {
        const bool written = pending.empty() || file->write(pending.data(), pending.size());
        pending.clear();
        return written;
    }
};

TiledOutput::TiledOutput(const GreyEncoding& encoding, const TileGrid& grid, std::vector<std::string> names,
                         FileSystem& files, TiffHeader tiffHeader, std::optional<PreviewGathering> report)
    : encoding_(encoding), grid_(grid), names_(std::move(names)), files_(files), tiffHeader_(std::move(tiffHeader)),
      reportMode_(report) {}

// Dropping what is not committed deletes it: the open tiles and the complete ones alike.
TiledOutput::~TiledOutput() = default;

bool TiledOutput::fail() {
    failed_ = true;
    return false;
}

void TiledOutput::begin(std::uint32_t width, std::uint32_t length) {
    width_ = width;
    length_ = length;
    expected_ = std::uint64_t{width} * length;
    written_ = 0;
    if (!encoding_.size) {
        if (!startFeeding()) fail();
    } else if (!resample_.begin({width, length}, *encoding_.size, encoding_.threads, [this] { return startFeeding(); },
                                [this](std::uint16_t* samples, std::size_t count) { return feed(samples, count); })) {
        outOfMemory_ = true;
        fail();
    }
}

// The image as it is cut: its size must be the grid's map.
bool TiledOutput::startFeeding() {
    const ImageSize size = encoding_.size.value_or(ImageSize{width_, length_});
    if (size != grid_.map || names_.size() != grid_.tileCount()) return false;
    try {
        rows_.begin(size.width);
        window_.assign(grid_.tile.width, 0);
        figures_.reserve(names_.size());
        if (reportMode_) report_ = std::make_unique<BackgroundReportFeed>(size.width, size.height, *reportMode_);
    } catch (const std::bad_alloc&) {
        outOfMemory_ = true;
        return false;
    }
    rowsPushed_ = 0;
    return openBand(0);
}

bool TiledOutput::openBand(std::uint32_t band) {
    band_ = band;
    open_.clear();
    for (std::uint32_t x = 0; x < grid_.count.columns; ++x) {
        auto tile = std::make_unique<Tile>();
        if (!spareBuffers_.empty()) {
            tile->pending = std::move(spareBuffers_.back());
            spareBuffers_.pop_back();
        }
        try {
            tile->pending.reserve(kTileWriteBytes);
        } catch (const std::bad_alloc&) {
            outOfMemory_ = true;
            return false;
        }
        tile->index = std::size_t{band} * grid_.count.columns + x;
        const std::string& name = names_[tile->index];
        tile->file = files_.open(name, File::Mode::Replace);
        if (!tile->file) {
            unopened_ = name;
            return false;
        }
        GreyEncoding encoding = encoding_;
        encoding.size.reset();
        // The tiles of a band take their rows in turn: smaller PNG bands are deflated while they
        // are still in the cache (8 x 8 tiles of an 8193 map: 0.83 s against 0.98 s, medians of 7).
        encoding.pngBandBytes = PngWriter::kLargestBand / grid_.count.columns;
        if (encoding.format == OutputFormat::Tiff) {
            const auto header = tiffHeader_(grid_.tile.width, grid_.tile.height);
            if (!header || !tile->file->write(header->data(), header->size())) return false;
        }
        Tile& writing = *tile;
        tile->writer = std::make_unique<GreyOutput>(
            encoding, [&writing](const void* bytes, std::size_t count) { return writing.write(bytes, count); });
        tile->writer->begin(grid_.tile.width, grid_.tile.height);
        if (tile->writer->outOfMemory()) outOfMemory_ = true;
        open_.push_back(std::move(tile));
    }
    return !outOfMemory_;
}

// The band's tiles are complete: their writers end them and their bytes leave for the disk while
// the next band is written. They are synced with the rest of the set, all at once.
bool TiledOutput::closeBand() {
    // Each writer ends its tile with the last rows still to deflate: one after the other, a PNG
    // band's tiles would wait for each other on one core (8 x 8 PNG tiles of an 8193 map: 1.41x
    // one file so, 1.21-1.29x with the ends on the job's threads; medians of 5 and 9, load 8).
    const bool ended = eachOnThreads(open_.size(), std::max(1u, encoding_.threads), [this](std::size_t i) {
        Tile& tile = *open_[i];
        return tile.writer->finish() && tile.flush() && tile.file->endWrites();
    });
    if (!ended) return false;
    for (auto& tile : open_) {
        const TileWindow w = grid_.window(static_cast<std::uint32_t>(tile->index % grid_.count.columns), band_);
        figures_.push_back({names_[tile->index], w.x, w.y, w.width, w.length, tile->min, tile->max});
        complete_.push_back(std::move(tile->file));
        spareBuffers_.push_back(std::move(tile->pending));
    }
    open_.clear();
    return true;
}

bool TiledOutput::pushRow(const std::uint16_t* row) {
    const std::uint32_t y = rowsPushed_++;
    if (report_) report_->add({row, grid_.map.width});
    for (;;) {
        const TileWindow first = grid_.window(0, band_);
        for (auto& tile : open_) {
            const std::uint32_t left = static_cast<std::uint32_t>(tile->index % grid_.count.columns) * (grid_.tile.width - 1);
            // The copy and the extremes in one plain loop, which the compiler vectorises
            // (minmax_element, which must find where they are, it does not: a fifth of the job).
            const std::uint16_t* from = row + left;
            std::uint16_t low = tile->min, high = tile->max;
            for (std::uint32_t i = 0; i < first.width; ++i) {
                const std::uint16_t sample = from[i];
                window_[i] = sample;
                low = std::min(low, sample);
                high = std::max(high, sample);
            }
            tile->min = low;
            tile->max = high;
            // The writer puts the samples into the file's byte order in place: a copy of its own.
            if (!tile->writer->write(window_.data(), window_.size())) return false;
        }
        if (y != first.top + first.length - 1) return true;
        // The band's last row: its tiles are done, and the row is the first of the next band too.
        if (!closeBand()) return false;
        if (band_ + 1 == grid_.count.rows) return true;
        if (!openBand(band_ + 1)) return false;
    }
}

bool TiledOutput::feed(const std::uint16_t* samples, std::size_t count) {
    const std::size_t width = rows_.width();
    return rows_.add(samples, count, [&](const std::uint16_t* rows, std::size_t n) {
        for (std::size_t r = 0; r < n; ++r)
            if (!pushRow(rows + r * width)) return fail();
        return true;
    });
}

bool TiledOutput::write(std::uint16_t* samples, std::size_t count) {
    if (failed_ || count > expected_ - written_) return fail();
    if (encoding_.size ? !resample_.add(samples, count, keepGoing_) : !feed(samples, count)) return fail();
    written_ += count;
    return true;
}

bool TiledOutput::finish() {
    if (finished_) return *finished_;
    finished_ = false;
    if (failed_ || written_ != expected_) return fail();
    if (encoding_.size) {
        // The last chance to stop before the tiles take their names.
        switch (resample_.finish(keepGoing_)) {
            case StreamedResample::Outcome::Done: break;
            case StreamedResample::Outcome::OutOfMemory: outOfMemory_ = true; return fail();
            case StreamedResample::Outcome::Stopped:
            case StreamedResample::Outcome::HandOnFailed: return fail();
        }
    }
    if (!open_.empty() || complete_.size() != names_.size()) return fail();
    // Every tile is complete: all are synced in one round, and only then do they take their names.
    std::vector<File*> tiles;
    for (auto& file : complete_) tiles.push_back(file.get());
    const std::vector<bool> committed = commitTogether(files_, tiles, {GroupCommit::Rule::AllOrNothing, {}});
    if (std::find(committed.begin(), committed.end(), false) != committed.end()) return fail();
    complete_.clear();
    finished_ = true;
    return true;
}

std::optional<FinishedReport> TiledOutput::finishReport(std::string output, SourceFacts source) {
    if (!report_ || !finish()) return std::nullopt;
    FinishedReport finished = report_->finish(std::move(output), std::move(source));
    report_.reset();
    finished.report.tiles = std::move(figures_);
    return finished;
}

}  // namespace kelvarin
