// The preview of a height map, gathered while its samples are written: the image is cut into at
// most 1024 x 1024 cells and each cell keeps the mean of the samples that fall into it (area
// averaging), so the memory is that of the preview, never of the image.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kelvarin {

inline constexpr std::uint32_t kPreviewLongestSide = 1024;

struct PreviewSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The image's own size when its longest side is at most `longest`; otherwise scaled so that the
// longest side is `longest` and the other keeps the proportions (rounded, at least 1).
PreviewSize previewSize(std::uint64_t width, std::uint64_t length, std::uint32_t longest = kPreviewLongestSide);

// Mean levels of the cells, row by row, top first.
struct PreviewLevels {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint16_t> levels;
};

class PreviewGrid {
public:
    // A grid for a width x length image fed from sample `firstSample` on (in row order); a job
    // that converts blocks on several threads gives each block its own grid and merges them.
    PreviewGrid(std::uint64_t width, std::uint64_t length, std::uint32_t longest = kPreviewLongestSide,
                std::uint64_t firstSample = 0);

    // The next samples in row order; samples past the end of the image are ignored.
    void add(std::span<const std::uint16_t> samples);
    // Takes in a grid of the same image fed with other samples.
    void merge(const PreviewGrid& other);
    // The cells' means. A cell of which some samples never came counts them as 0.
    PreviewLevels levels() const;

private:
    // The sums of a row of cells while its samples are coming in: per image column while the
    // image is at most kColumnSumsUpTo wide (adding a row to the column sums is one vectorised
    // loop, and the cells are summed once per cell row), per cell for wider images, whose cells
    // are many columns wide.
    struct Band {
        std::uint32_t cellRow = 0;
        std::uint64_t samples = 0;
        std::vector<std::uint32_t> columnSums;
        std::vector<std::uint64_t> cellSums;
    };
    static constexpr std::uint64_t kColumnSumsUpTo = 65536;

    Band& band(std::uint32_t cellRow);
    void addRowPart(Band& band, std::uint64_t column, std::span<const std::uint16_t> samples) const;
    std::uint64_t cellSum(const Band& band, std::uint32_t cell) const;
    void finish(const Band& band, std::vector<std::uint16_t>& levels) const;
    // Once all the samples of its cell row are in, a band becomes a row of means.
    void closeIfComplete(Band& band);
    std::uint64_t cellColumns(std::uint32_t cell) const;
    std::uint64_t cellRows(std::uint32_t cellRow) const;

    std::uint64_t width_;
    std::uint64_t length_;
    PreviewSize size_;
    // Exclusive end of each cell column and cell row, in image columns and rows: column x falls
    // into cell x * previewWidth / width (rounded down), and so do rows.
    std::vector<std::uint64_t> columnEnds_;
    std::vector<std::uint64_t> rowEnds_;
    std::vector<std::uint16_t> levels_;  // the means of the cell rows already complete
    std::vector<bool> rowDone_;
    std::vector<Band> bands_;            // cell rows begun but not complete: one or two while feeding
    std::uint64_t position_;             // the index of the next sample
    bool perColumn_;
    // Column sums are 32 bits: samples are added shifted right by this much where a cell is so
    // tall (over 65537 rows) that their sums could overflow.
    unsigned shift_ = 0;
};

}  // namespace kelvarin
