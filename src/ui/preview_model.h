// What the preview window shows, kept apart from how a platform draws it: the results of the last
// job (one height map, or the three tiles of a terrain set), which of them and which picture is
// chosen, and the texts and histogram bars of the chosen one. The windows ask it and draw.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "pixels/height_report.h"
#include "pixels/preview_images.h"

namespace kelvarin {

class PreviewModel {
public:
    // The results of a job; the choice of picture stays, the first result is chosen.
    void setResults(std::vector<FinishedReport> results);
    bool empty() const { return results_.empty(); }
    std::size_t resultCount() const { return results_.size(); }
    std::size_t chosenResult() const { return chosen_; }
    bool showsRelief() const { return relief_; }

    // A click on one of the window's controls; true when what is shown changed.
    bool handle(int controlId);
    // Whether a control is shown: the tile buttons only for a terrain set.
    bool isVisible(int controlId) const;
    bool isChecked(int controlId) const;

    // The chosen picture, made when first asked for.
    const GreyImage& image();
    // The figures, one line each.
    std::vector<std::string> figureLines() const;
    // The warnings' sentences, or a line saying there is none.
    std::vector<std::string> warningLines() const;
    bool hasWarnings() const;
    // The histogram's 256 bars in pixels, the tallest `height` high; a bin with any sample gets
    // at least one pixel, so that every level used shows.
    // Logarithmic, a bar's height follows the logarithm of its count: the few samples of an HDR
    // render's highlights show beside the one tall bin of its sky.
    std::array<int, 256> histogramBars(int height) const;
    // What lies under the cursor at a cell of the chosen picture (see readoutText).
    std::string readout(std::uint32_t cellX, std::uint32_t cellY) const;
    bool logarithmicHistogram() const { return logarithmic_; }
    void setLogarithmicHistogram(bool logarithmic) { logarithmic_ = logarithmic; }
    // The bins under the histogram's tick marks: the levels 0, 16384, 32768, 49152 and 65535.
    static constexpr std::array<int, 5> kHistogramTickBins{0, 64, 128, 192, 255};

private:
    struct Result {
        FinishedReport finished;
        std::optional<GreyImage> height, relief;
    };

    std::vector<Result> results_;
    std::size_t chosen_ = 0;
    bool relief_ = false;
    bool logarithmic_ = false;
};

// The name of a path's file, after the last / or \.
std::string fileName(const std::string& path);

}  // namespace kelvarin
