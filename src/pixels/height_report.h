// The report on a written height map: what was written (size, the figures of its samples), what
// it was made from, and warnings about what a user would regret only once the terrain is built.
// A ReportFeed takes the output samples as they are written; the report and the preview's cells
// come from it when the job has written the last one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pixels/height_summary.h"
#include "pixels/preview_grid.h"
#include "pixels/sample_counts.h"

namespace kelvarin {

enum class SourceSampleFormat { UnsignedInteger, SignedInteger, Float, Rgbe };

// "unsigned integer", "signed integer", "float", "RGBE".
std::string_view sampleFormatName(SourceSampleFormat format);

// The source's extremes that the analysis found before any stretch: the grey values of an integer
// TIFF (with Boost or Posterise), the single-precision greys of a float TIFF or a Radiance file.
struct SourceAnalysis {
    double lowest = 0;
    double highest = 0;
    bool singlePrecision = false;
};

struct SourceFacts {
    std::string kind;  // "TIFF", "Radiance", "PGM", "RAW", "BIN"
    int bitsPerSample = 0;
    SourceSampleFormat sampleFormat = SourceSampleFormat::UnsignedInteger;
    std::optional<SourceAnalysis> analysis;  // none when no analysis ran
    std::optional<HeightSummary> heights;    // for an elevation source: its heights
};

struct ReportWarning {
    std::string code;  // "terraces", "narrow-range", "clipped"
    std::string text;  // one or two sentences for the user
};

// One tile of a map written as a grid: its file, place (column x, row y from the top left), size
// and extremes.
struct TileFigures {
    std::string name;
    std::uint32_t x = 0, y = 0;
    std::uint32_t width = 0, length = 0;
    std::uint16_t min = 0, max = 0;
};

// The numbers that reproduce the heights in an engine, from the height of one 16-bit step: the
// span 0..65535 stands for, the landscape engine's Z scale in percent (at 100 % its 16-bit range
// spans 512 m) and the terrain engine's height (its 0..1 range spans that many metres); the
// horizontal spacing of the samples where the source gives it.
struct VerticalScale {
    double spanMetres = 0;
    double zScalePercent = 0;
    double terrainHeightMetres = 0;
    std::optional<double> spacingMetres;
};

VerticalScale verticalScale(double metresPerStep, std::optional<double> spacingMetres = std::nullopt);

struct HeightReport {
    std::string output;  // the path written, as the job names it
    std::uint64_t width = 0;
    std::uint64_t length = 0;
    SampleFigures figures;
    SourceFacts source;
    std::vector<ReportWarning> warnings;
    // A map written as tiles: one entry per tile file; empty when it was written as one file.
    std::vector<TileFigures> tiles;
    // Where the height of a step is known.
    std::optional<VerticalScale> vertical;
};

// Fewer than this many distinct levels make visible steps in a terrain.
inline constexpr std::uint32_t kTerraceLevels = 1024;
// Heights spanning less than a quarter of the 16-bit range make a flat terrain.
inline constexpr std::uint32_t kNarrowRange = 16384;

// The warnings the figures call for, in the order terraces, narrow-range, clipped.
std::vector<ReportWarning> reportWarnings(const SampleFigures& figures);

// A share as a percentage with one decimal ("12.5"), "< 0.1" for a share above 0 that rounds to
// 0; locale-free.
std::string percentText(std::uint64_t part, std::uint64_t whole);

struct FinishedReport {
    HeightReport report;
    PreviewLevels preview;  // empty when the feed gathered no preview
};

// Whether a feed gathers the preview's cells too: a front end that shows no preview (the CLI)
// leaves them out and saves their memory and time.
enum class PreviewGathering { Gather, Skip };

class ReportFeed {
public:
    // For a width x length output fed from sample `firstSample` on (a block of it converted
    // elsewhere starts further in; feeds of one output merge).
    ReportFeed(std::uint64_t width, std::uint64_t length, PreviewGathering preview = PreviewGathering::Gather,
               std::uint64_t firstSample = 0);

    // The next output samples, in row order, as written.
    void add(std::span<const std::uint16_t> samples) {
        counts_.add(samples);
        addToPreview(samples);
    }
    void merge(const ReportFeed& other);
    // For samples counted elsewhere (by the threads that converted them): the preview takes them
    // here, in row order, and their counts come in by mergeCounts.
    void addToPreview(std::span<const std::uint16_t> samples) {
        if (preview_) preview_->add(samples);
    }
    void mergeCounts(SampleCounts&& counts) { counts_.merge(std::move(counts)); }
    FinishedReport finish(std::string output, SourceFacts source) const;

private:
    std::uint64_t width_;
    std::uint64_t length_;
    SampleCounts counts_;
    std::optional<PreviewGrid> preview_;
};

}  // namespace kelvarin
