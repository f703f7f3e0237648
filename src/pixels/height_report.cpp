#include "pixels/height_report.h"

#include <charconv>

namespace kelvarin {

namespace {

std::string integerText(std::uint64_t value) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, written.ptr);
}

}  // namespace

std::string_view sampleFormatName(SourceSampleFormat format) {
    switch (format) {
        case SourceSampleFormat::UnsignedInteger: return "unsigned integer";
        case SourceSampleFormat::SignedInteger: return "signed integer";
        case SourceSampleFormat::Float: return "float";
        case SourceSampleFormat::Rgbe: return "RGBE";
    }
    return "";
}

VerticalScale verticalScale(double metresPerStep, std::optional<double> spacingMetres) {
    // The landscape engine maps its 16-bit range onto 512 m at a Z scale of 100 %.
    constexpr double kLandscapeMetresAtFullScale = 512;
    const double span = 65535 * metresPerStep;
    return {span, span * 100 / kLandscapeMetresAtFullScale, span, spacingMetres};
}

std::string percentText(std::uint64_t part, std::uint64_t whole) {
    if (whole == 0) return "0.0";
    // Tenths of a percent, rounded half up, in integers (part * 1000 fits for any image below 2^54).
    const std::uint64_t tenths = (part * 1000 + whole / 2) / whole;
    if (tenths == 0 && part > 0) return "< 0.1";
    return integerText(tenths / 10) + "." + integerText(tenths % 10);
}

std::vector<ReportWarning> reportWarnings(const SampleFigures& figures) {
    std::vector<ReportWarning> warnings;
    if (figures.count == 0) return warnings;
    if (figures.distinctLevels < kTerraceLevels) {
        const std::string used = figures.distinctLevels == 1
                                     ? "Only one height is used"
                                     : "Only " + integerText(figures.distinctLevels) + " different heights are used";
        warnings.push_back({"terraces", used + ": the terrain will show steps like terraces. Export the render at "
                                               "48 or 96 bits per pixel."});
    }
    if (figures.max - figures.min < static_cast<int>(kNarrowRange)) {
        warnings.push_back({"narrow-range", "The heights use only " + percentText(figures.max - figures.min + 1, 65536) +
                                                " % of the 16-bit range (" + integerText(figures.min) + " to " +
                                                integerText(figures.max) +
                                                "): the terrain will look flat. Try Boost Contrast / Gamma "
                                                "to stretch them over the whole range."});
    }
    // More than 1 % of the samples on a limit of the range.
    const bool bottom = figures.atZero * 100 > figures.count;
    const bool top = figures.atFull * 100 > figures.count;
    if (bottom && top) {
        warnings.push_back({"clipped", percentText(figures.atZero, figures.count) + " % of the samples are at 0 and " +
                                           percentText(figures.atFull, figures.count) +
                                           " % at 65535: plateaus were cut off at the bottom and at the top."});
    } else if (bottom || top) {
        const std::uint64_t n = bottom ? figures.atZero : figures.atFull;
        warnings.push_back({"clipped", percentText(n, figures.count) + " % of the samples are at " +
                                           (bottom ? "0, the lowest level" : "65535, the highest level") +
                                           ": a plateau was cut off at the " + (bottom ? "bottom." : "top.")});
    }
    return warnings;
}

ReportFeed::ReportFeed(std::uint64_t width, std::uint64_t length, PreviewGathering preview, std::uint64_t firstSample)
    : width_(width), length_(length) {
    if (preview == PreviewGathering::Gather) preview_.emplace(width, length, kPreviewLongestSide, firstSample);
}

void ReportFeed::merge(const ReportFeed& other) {
    counts_.merge(other.counts_);
    if (preview_ && other.preview_) preview_->merge(*other.preview_);
}

FinishedReport ReportFeed::finish(std::string output, SourceFacts source) const {
    FinishedReport finished;
    HeightReport& report = finished.report;
    report.output = std::move(output);
    report.width = width_;
    report.length = length_;
    report.figures = counts_.figures();
    report.source = std::move(source);
    report.warnings = reportWarnings(report.figures);
    if (report.source.heights) {
        // Level 0 holds the voids and the levels 1 and 65535 the ends of the range: the figures'
        // "clipped" says nothing of heights; the heights' own warnings say what was lost.
        std::erase_if(report.warnings, [](const ReportWarning& w) { return w.code == "clipped"; });
        for (auto& [code, text] : heightWarningTexts(*report.source.heights)) report.warnings.push_back({code, text});
    }
    if (preview_) finished.preview = preview_->levels();
    return finished;
}

}  // namespace kelvarin
