#include "ui/sample_height.h"

#include "pixels/height_summary.h"

namespace kelvarin {

std::optional<SampleHeight> sampleHeight(const HeightReport& report, double level) {
    // The file's own heights come first: they are absolute, where a step the user gave is not.
    if (const std::optional<HeightSummary>& heights = report.source.heights) {
        // Level 0 holds the voids only; a cell that mixes voids and heights shows as a height.
        if (level < 0.5) return SampleHeight{SampleHeight::Kind::Void, 0, heights->unit};
        return SampleHeight{SampleHeight::Kind::Height, heights->used.low + (level - 1) * heights->step(),
                            heights->unit};
    }
    if (const std::optional<VerticalScale>& vertical = report.vertical)
        return SampleHeight{SampleHeight::Kind::AboveLevelZero, level * vertical->spanMetres / 65535, "m"};
    return std::nullopt;
}

std::string sampleHeightText(const HeightReport& report, double level) {
    const std::optional<SampleHeight> height = sampleHeight(report, level);
    if (!height) return {};
    const std::string number = shortNumberText(height->value) + (height->unit.empty() ? "" : " " + height->unit);
    switch (height->kind) {
        case SampleHeight::Kind::Void: return "a void";
        case SampleHeight::Kind::AboveLevelZero: return number + " above level 0";
        case SampleHeight::Kind::Height: break;
    }
    return "height " + number;
}

}  // namespace kelvarin
