// A grey image written as a grid of tile files instead of one: the rows stream through, each cut
// into the windows of the tiles of its band, one writer open per column of tiles. Every tile goes
// to its own replacing file; the set takes its names only when every tile is complete, so a
// failure leaves none of the new tiles and every old file of those names as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/file.h"
#include "formats/png_writer.h"
#include "job/background_report.h"
#include "job/grey_output.h"
#include "job/streamed_resample.h"
#include "pixels/whole_rows.h"
#include "terrain/tile_grid.h"

namespace kelvarin {

class TiledOutput {
public:
    // Each tile is encoded as `encoding` says (its size is the image's before it is cut: with a
    // size, the image is held whole and resampled first). A TIFF tile begins with the header
    // `tiffHeader` makes for its size. Tiles are opened in `files` as `names` (row by row, x
    // fastest) when their band of rows begins.
    using TiffHeader = std::function<std::optional<std::vector<std::uint8_t>>(std::uint32_t width, std::uint32_t length)>;
    TiledOutput(const GreyEncoding& encoding, const TileGrid& grid, std::vector<std::string> names, FileSystem& files,
                TiffHeader tiffHeader, std::optional<PreviewGathering> report);
    ~TiledOutput();
    TiledOutput(const TiledOutput&) = delete;
    TiledOutput& operator=(const TiledOutput&) = delete;

    void begin(std::uint32_t width, std::uint32_t length);
    // The next `count` samples of the image in row order (they may be changed in place).
    [[nodiscard]] bool write(std::uint16_t* samples, std::size_t count);
    // Every tile complete and closed; then all take their names. True when the whole set is in
    // place. A second call answers as the first.
    [[nodiscard]] bool finish();

    // Asked between the groups of rows of a resampled map that come of one part of the image, and
    // before the tiles take their names, as GreyOutput asks it.
    void setKeepGoing(KeepGoing keepGoing) { keepGoing_ = std::move(keepGoing); }

    bool outOfMemory() const { return outOfMemory_; }
    // The tile that could not be opened, when that stopped the set.
    const std::optional<std::string>& unopened() const { return unopened_; }
    // The names of the tiles, in the order they were written.
    const std::vector<std::string>& names() const { return names_; }
    // The whole map's report with one entry per tile, once the set is in place.
    std::optional<FinishedReport> finishReport(std::string output, SourceFacts source);

private:
    bool fail();
    bool startFeeding();
    bool feed(const std::uint16_t* samples, std::size_t count);
    bool pushRow(const std::uint16_t* row);
    bool openBand(std::uint32_t band);
    bool closeBand();

    struct Tile;
    GreyEncoding encoding_;
    TileGrid grid_;
    std::vector<std::string> names_;
    FileSystem& files_;
    TiffHeader tiffHeader_;
    std::optional<PreviewGathering> reportMode_;
    KeepGoing keepGoing_;

    std::uint32_t width_ = 0, length_ = 0;  // of the image handed in
    std::uint64_t expected_ = 0, written_ = 0;
    bool failed_ = false, outOfMemory_ = false;
    std::optional<bool> finished_;
    std::optional<std::string> unopened_;
    StreamedResample resample_;  // the image handed in, resampled as it comes
    WholeRows rows_;  // the map's rows as they come
    std::vector<std::uint16_t> window_;
    std::uint32_t rowsPushed_ = 0;
    std::uint32_t band_ = 0;
    std::vector<std::unique_ptr<Tile>> open_;      // the writers of the band being written
    std::vector<std::unique_ptr<File>> complete_;  // their writes ended, waiting to take their names
    // The write buffers of the band before, for the next band's tiles: fresh ones would be
    // memory the system has to find and clear for every band.
    std::vector<std::vector<std::uint8_t>> spareBuffers_;
    // Likewise the PNG writers' bands, from one band of tiles to the next.
    PngWriter::BandHold pngBands_;
    std::vector<TileFigures> figures_;
    std::unique_ptr<BackgroundReportFeed> report_;
};

}  // namespace kelvarin
