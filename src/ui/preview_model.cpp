#include "ui/preview_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "pixels/tile_overlay.h"
#include "ui/ids.h"
#include "ui/preview_view.h"

namespace kelvarin {

namespace {

template <class Number>
std::string text(Number value) {
    char digits[64];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, written.ptr);
}

// One decimal, rounded, locale-free.
std::string oneDecimal(double value) {
    const auto tenths = static_cast<std::int64_t>(value * 10 + (value < 0 ? -0.5 : 0.5));
    const std::int64_t whole = tenths / 10, tenth = tenths % 10;
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "literal" + string here.
    std::string result = tenths < 0 && whole == 0 ? "-" : "";
    result += text(whole);
    result += '.';
    result += text(tenth < 0 ? -tenth : tenth);
    return result;
}

std::string analysisText(const SourceAnalysis& analysis, double value) {
    return analysis.singlePrecision ? text(static_cast<float>(value)) : text(value);
}

constexpr int kTiles[] = {ids::PreviewTile1, ids::PreviewTile2, ids::PreviewTile3};

// Where a map written as tiles is cut: the first column and row of every tile but the first.
TileEdges tileEdges(const HeightReport& report) {
    TileEdges edges{report.width, report.length, {}, {}};
    for (const TileFigures& tile : report.tiles) {
        const std::uint64_t left = std::uint64_t{tile.x} * (tile.width - 1), top = std::uint64_t{tile.y} * (tile.length - 1);
        if (tile.y == 0 && tile.x > 0) edges.columns.push_back(left);
        if (tile.x == 0 && tile.y > 0) edges.rows.push_back(top);
    }
    return edges;
}

}  // namespace

std::string fileName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void PreviewModel::setResults(std::vector<FinishedReport> results) {
    results_.clear();
    for (FinishedReport& finished : results) results_.push_back({std::move(finished), std::nullopt, std::nullopt});
    chosen_ = 0;
}

bool PreviewModel::handle(int controlId) {
    if (controlId == ids::PreviewHeight || controlId == ids::PreviewRelief) {
        const bool relief = controlId == ids::PreviewRelief;
        const bool changed = relief != relief_;
        relief_ = relief;
        return changed;
    }
    for (std::size_t i = 0; i < std::size(kTiles); ++i) {
        if (controlId == kTiles[i] && i < results_.size()) {
            const bool changed = chosen_ != i;
            chosen_ = i;
            return changed;
        }
    }
    return false;
}

bool PreviewModel::isVisible(int controlId) const {
    if (std::find(std::begin(kTiles), std::end(kTiles), controlId) != std::end(kTiles)) return results_.size() > 1;
    return true;
}

bool PreviewModel::isChecked(int controlId) const {
    if (controlId == ids::PreviewHeight) return !relief_;
    if (controlId == ids::PreviewRelief) return relief_;
    for (std::size_t i = 0; i < std::size(kTiles); ++i)
        if (controlId == kTiles[i]) return chosen_ == i;
    return false;
}

const GreyImage& PreviewModel::image() {
    static const GreyImage kNone;
    if (results_.empty()) return kNone;
    Result& result = results_[chosen_];
    const SampleFigures& figures = result.finished.report.figures;
    std::optional<GreyImage>& picture = relief_ ? result.relief : result.height;
    if (!picture) {
        picture = relief_ ? reliefImage(result.finished.preview, figures.min, figures.max)
                          : heightImage(result.finished.preview, figures.min, figures.max);
        drawTileEdges(*picture, tileEdges(result.finished.report));
    }
    return *picture;
}

std::vector<std::string> PreviewModel::figureLines() const {
    if (results_.empty()) return {"No height map written yet."};
    const HeightReport& report = results_[chosen_].finished.report;
    const SampleFigures& f = report.figures;
    std::vector<std::string> lines = {
        "File: " + fileName(report.output),
        "Size: " + text(report.width) + " x " + text(report.length),
        "Lowest: " + text(f.min) + "    Highest: " + text(f.max),
        "Mean: " + oneDecimal(f.mean),
        "Distinct levels: " + text(f.distinctLevels),
        "Range used: " + percentText(f.max - f.min + 1, 65536) + " %",
        "At 0: " + text(f.atZero) + " (" + percentText(f.atZero, f.count) + " %)",
        "At 65535: " + text(f.atFull) + " (" + percentText(f.atFull, f.count) + " %)",
        "Source: " + report.source.kind + ", " + text(report.source.bitsPerSample) + "-bit " +
            std::string(sampleFormatName(report.source.sampleFormat)),
    };
    if (!report.tiles.empty()) {
        const TileFigures& last = report.tiles.back();
        lines.push_back("Tiles: " + text(last.x + 1) + " x " + text(last.y + 1) + " of " + text(last.width) + " x " +
                        text(last.length));
    }
    if (const std::optional<VerticalScale>& v = report.vertical) {
        lines.push_back("Heights span: " + oneDecimal(v->spanMetres) + " m (landscape Z scale " +
                        oneDecimal(v->zScalePercent) + " %, terrain height " + oneDecimal(v->terrainHeightMetres) +
                        " m)");
    }
    if (const std::optional<HeightSummary>& heights = report.source.heights) {
        // Heights are mapped, not stretched: what the levels stand for instead.
        lines.push_back("Heights: " + shortNumberText(heights->used.low) + " to " + shortNumberText(heights->used.high) +
                        ", voids " + text(heights->voids));
        lines.push_back(verticalScaleText(*heights));
    } else if (const std::optional<SourceAnalysis>& analysis = report.source.analysis) {
        lines.push_back("Before stretch: " + analysisText(*analysis, analysis->lowest) + " to " +
                        analysisText(*analysis, analysis->highest));
    } else {
        lines.push_back("Before stretch: no analysis ran");
    }
    return lines;
}

bool PreviewModel::hasWarnings() const {
    return !results_.empty() && !results_[chosen_].finished.report.warnings.empty();
}

std::vector<std::string> PreviewModel::warningLines() const {
    if (!hasWarnings()) return {"None."};
    std::vector<std::string> lines;
    for (const ReportWarning& warning : results_[chosen_].finished.report.warnings) lines.push_back(warning.text);
    return lines;
}

std::array<int, 256> PreviewModel::histogramBars(int height) const {
    std::array<int, 256> bars{};
    if (results_.empty() || height <= 0) return bars;
    const auto& histogram = results_[chosen_].finished.report.figures.histogram;
    const std::uint64_t tallest = *std::max_element(histogram.begin(), histogram.end());
    if (tallest == 0) return bars;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        if (histogram[i] == 0) continue;
        const double share = logarithmic_ ? std::log1p(static_cast<double>(histogram[i])) /
                                                std::log1p(static_cast<double>(tallest))
                                          : static_cast<double>(histogram[i]) / static_cast<double>(tallest);
        bars[i] = std::max(1, static_cast<int>(share * height + 0.5));
    }
    return bars;
}

std::string PreviewModel::readout(std::uint32_t cellX, std::uint32_t cellY) const {
    if (results_.empty()) return {};
    const FinishedReport& finished = results_[chosen_].finished;
    return readoutText(finished.report, finished.preview, cellX, cellY);
}

}  // namespace kelvarin
