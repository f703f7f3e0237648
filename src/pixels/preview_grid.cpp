#include "pixels/preview_grid.h"

#include <algorithm>

namespace kelvarin {

PreviewSize previewSize(std::uint64_t width, std::uint64_t length, std::uint32_t longest) {
    if (width == 0 || length == 0 || longest == 0) return {};
    const std::uint64_t side = std::max(width, length);
    if (side <= longest) return {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(length)};
    // The shorter side rounded to the nearest, in integers: (short * longest + side / 2) / side.
    const auto scaled = [&](std::uint64_t value) {
        const std::uint64_t rounded = (value * longest + side / 2) / side;
        return static_cast<std::uint32_t>(std::max<std::uint64_t>(rounded, 1));
    };
    return {scaled(width), scaled(length)};
}

namespace {

// End of cell `cell` of `cells` over `extent` image columns (or rows): ceil((cell + 1) * extent / cells).
std::vector<std::uint64_t> cellEnds(std::uint64_t extent, std::uint32_t cells) {
    std::vector<std::uint64_t> ends(cells);
    for (std::uint32_t cell = 0; cell < cells; ++cell) ends[cell] = ((cell + 1) * extent + cells - 1) / cells;
    return ends;
}

}  // namespace

PreviewGrid::PreviewGrid(std::uint64_t width, std::uint64_t length, std::uint32_t longest, std::uint64_t firstSample)
    : width_(width), length_(length), size_(previewSize(width, length, longest)),
      columnEnds_(cellEnds(width, size_.width)), rowEnds_(cellEnds(length, size_.height)),
      levels_(std::size_t{size_.width} * size_.height, 0), rowDone_(size_.height, false), position_(firstSample),
      perColumn_(width <= kColumnSumsUpTo) {
    std::uint64_t tallest = 0;
    for (std::uint32_t cellRow = 0; cellRow < size_.height; ++cellRow) tallest = std::max(tallest, cellRows(cellRow));
    while ((tallest * (65535u >> shift_)) > UINT32_MAX) ++shift_;
}

std::uint64_t PreviewGrid::cellColumns(std::uint32_t cell) const {
    return columnEnds_[cell] - (cell == 0 ? 0 : columnEnds_[cell - 1]);
}

std::uint64_t PreviewGrid::cellRows(std::uint32_t cellRow) const {
    return rowEnds_[cellRow] - (cellRow == 0 ? 0 : rowEnds_[cellRow - 1]);
}

PreviewGrid::Band& PreviewGrid::band(std::uint32_t cellRow) {
    for (Band& open : bands_)
        if (open.cellRow == cellRow) return open;
    Band& added = bands_.emplace_back();
    added.cellRow = cellRow;
    if (perColumn_) {
        added.columnSums.assign(static_cast<std::size_t>(width_), 0);
    } else {
        added.cellSums.assign(size_.width, 0);
    }
    return added;
}

void PreviewGrid::addRowPart(Band& band, std::uint64_t column, std::span<const std::uint16_t> samples) const {
    const std::uint16_t* sample = samples.data();
    if (perColumn_) {
        std::uint32_t* sums = band.columnSums.data() + column;
        const unsigned shift = shift_;
        for (std::size_t i = 0; i < samples.size(); ++i) sums[i] += static_cast<std::uint32_t>(sample[i] >> shift);
        return;
    }
    auto cell = static_cast<std::uint32_t>(std::upper_bound(columnEnds_.begin(), columnEnds_.end(), column) -
                                           columnEnds_.begin());
    const std::uint64_t end = column + samples.size();
    while (column < end) {
        const std::uint64_t stop = std::min(columnEnds_[cell], end);
        std::uint64_t sum = 0;
        for (; column < stop; ++column) sum += *sample++;
        band.cellSums[cell++] += sum;
    }
}

std::uint64_t PreviewGrid::cellSum(const Band& band, std::uint32_t cell) const {
    if (!perColumn_) return band.cellSums[cell];
    const std::uint64_t first = cell == 0 ? 0 : columnEnds_[cell - 1];
    std::uint64_t sum = 0;
    for (std::uint64_t column = first; column < columnEnds_[cell]; ++column) sum += band.columnSums[column];
    // The bits shifted out were on average half their range: put that back, so the mean is not
    // lowered.
    return (sum << shift_) + (cellColumns(cell) * cellRows(band.cellRow) * ((1u << shift_) - 1)) / 2;
}

void PreviewGrid::finish(const Band& band, std::vector<std::uint16_t>& levels) const {
    const std::uint64_t rows = cellRows(band.cellRow);
    std::uint16_t* row = levels.data() + std::size_t{band.cellRow} * size_.width;
    for (std::uint32_t cell = 0; cell < size_.width; ++cell) {
        const std::uint64_t area = cellColumns(cell) * rows;
        row[cell] = static_cast<std::uint16_t>(std::min<std::uint64_t>((cellSum(band, cell) + area / 2) / area, 65535));
    }
}

void PreviewGrid::closeIfComplete(Band& open) {
    if (open.samples != width_ * cellRows(open.cellRow)) return;
    finish(open, levels_);
    rowDone_[open.cellRow] = true;
    bands_.erase(bands_.begin() + (&open - bands_.data()));
}

void PreviewGrid::add(std::span<const std::uint16_t> samples) {
    if (size_.width == 0 || samples.empty()) return;
    auto cellRow = static_cast<std::uint32_t>(
        std::upper_bound(rowEnds_.begin(), rowEnds_.end(), position_ / width_) - rowEnds_.begin());
    while (!samples.empty()) {
        const std::uint64_t row = position_ / width_;
        const std::uint64_t column = position_ % width_;
        if (row >= length_) return;
        while (rowEnds_[cellRow] <= row) ++cellRow;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(samples.size(), width_ - column));
        Band& open = band(cellRow);
        addRowPart(open, column, samples.first(take));
        open.samples += take;
        closeIfComplete(open);
        position_ += take;
        samples = samples.subspan(take);
    }
}

void PreviewGrid::merge(const PreviewGrid& other) {
    if (other.size_.width != size_.width || other.size_.height != size_.height) return;
    for (std::uint32_t cellRow = 0; cellRow < size_.height; ++cellRow) {
        if (!other.rowDone_[cellRow]) continue;
        std::copy_n(other.levels_.begin() + std::ptrdiff_t{cellRow} * size_.width, size_.width,
                    levels_.begin() + std::ptrdiff_t{cellRow} * size_.width);
        rowDone_[cellRow] = true;
    }
    for (const Band& part : other.bands_) {
        Band& open = band(part.cellRow);
        for (std::size_t i = 0; i < part.columnSums.size(); ++i) open.columnSums[i] += part.columnSums[i];
        for (std::size_t i = 0; i < part.cellSums.size(); ++i) open.cellSums[i] += part.cellSums[i];
        open.samples += part.samples;
        closeIfComplete(open);
    }
}

PreviewLevels PreviewGrid::levels() const {
    PreviewLevels result{size_.width, size_.height, levels_};
    for (const Band& open : bands_) finish(open, result.levels);
    return result;
}

}  // namespace kelvarin
