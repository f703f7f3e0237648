// The report counted on its own thread equals the report counted as the samples come, whatever
// the blocks the job hands over and however few samples may wait.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "job/background_report.h"
#include "pixels/report_json.h"

namespace kelvarin {
namespace {

TEST(BackgroundReport, SameReportAndPreviewAsCountingInPlace) {
    constexpr std::uint32_t kWidth = 1100, kLength = 600;  // previewed at 1024 x 559
    std::vector<std::uint16_t> samples(std::size_t{kWidth} * kLength);
    std::mt19937 random(7);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint16_t>((i % kWidth) * 40 + (i / kWidth) * 3 + random() % 64);
    const SourceFacts source{"RAW", 16, SourceSampleFormat::UnsignedInteger, std::nullopt, std::nullopt};
    ReportFeed inPlace(kWidth, kLength);
    inPlace.add(samples);
    const FinishedReport expected = inPlace.finish("map.tif", source);

    // Blocks of 1 to 5000 samples; room for fewer samples than a block, for a few blocks, for all.
    for (const std::size_t waiting : {std::size_t{97}, std::size_t{3001}, samples.size()}) {
        SCOPED_TRACE(waiting);
        BackgroundReportFeed feed(kWidth, kLength, PreviewGathering::Gather, waiting);
        std::span<const std::uint16_t> rest(samples);
        for (std::size_t block = 1; !rest.empty(); block = block * 7 % 5003) {
            const std::size_t take = std::min(block, rest.size());
            // The job reuses its buffer as soon as add returns: hand over a copy that is then spoilt.
            std::vector<std::uint16_t> buffer(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(take));
            feed.add(buffer);
            std::fill(buffer.begin(), buffer.end(), std::uint16_t{0xFFFF});
            rest = rest.subspan(take);
        }
        const FinishedReport counted = feed.finish("map.tif", source);
        EXPECT_EQ(reportJson(counted.report), reportJson(expected.report));
        EXPECT_EQ(counted.preview.levels, expected.preview.levels);
    }
}

TEST(BackgroundReport, NothingHandedOverAndNeverFinished) {
    // A job that fails before its first sample finishes nothing: the thread still ends.
    { BackgroundReportFeed abandoned(10, 10, PreviewGathering::Skip); }
    BackgroundReportFeed empty(0, 0, PreviewGathering::Skip);
    const FinishedReport report = empty.finish("none.tif", {});
    EXPECT_EQ(report.report.figures.count, 0u);
    EXPECT_TRUE(report.report.warnings.empty());
}

}  // namespace
}  // namespace kelvarin
