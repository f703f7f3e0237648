// The one place grey images leave a job: native samples in, the destination's byte order out,
// and nothing beyond the announced image nor a destination with samples missing.
#include <gtest/gtest.h>

#include "formats/memory_file_system.h"
#include "job/grey_output.h"
#include "job/job_context.h"
#include "support/scripted_port.h"
#include "support/test_files.h"

namespace kelvarin::test {
namespace {

using Samples = std::vector<std::uint16_t>;

struct OutputCase {
    const char* name;
    ByteOrder order;
    std::vector<Samples> writes;  // one write() each
    bool sinkFails;
    Bytes bytes;  // what reached the sink
    std::vector<bool> results;
    bool finished;
};

void PrintTo(const OutputCase& c, std::ostream* out) { *out << c.name; }

class GreyOutputCases : public testing::TestWithParam<OutputCase> {};

TEST_P(GreyOutputCases, EncodesAndCountsTheImage) {
    const OutputCase& c = GetParam();
    Bytes sunk;
    GreyOutput output(c.order, [&](const void* bytes, std::size_t count) {
        const auto* b = static_cast<const std::uint8_t*>(bytes);
        sunk.insert(sunk.end(), b, b + count);
        return !c.sinkFails;
    });
    output.begin(2, 2);
    std::vector<bool> results;
    for (Samples samples : c.writes) results.push_back(output.write(samples.data(), samples.size()));
    EXPECT_EQ(results, c.results);
    EXPECT_EQ(sunk, c.bytes);
    EXPECT_EQ(output.finish(), c.finished);
}

INSTANTIATE_TEST_SUITE_P(
    Images, GreyOutputCases,
    testing::Values(
        OutputCase{"little_endian_rows_split", ByteOrder::II, {{0x1234}, {0xABCD, 1, 0xFF00}}, false,
                   {0x34, 0x12, 0xCD, 0xAB, 1, 0, 0, 0xFF}, {true, true}, true},
        OutputCase{"big_endian", ByteOrder::MM, {{0x1234, 0xABCD, 1, 0xFF00}}, false,
                   {0x12, 0x34, 0xAB, 0xCD, 0, 1, 0xFF, 0}, {true}, true},
        OutputCase{"samples_missing", ByteOrder::II, {{7, 8, 9}}, false, {7, 0, 8, 0, 9, 0}, {true}, false},
        OutputCase{"past_the_image_writes_nothing", ByteOrder::II, {{1, 2}, {3, 4, 5}, {3, 4}}, false,
                   {1, 0, 2, 0}, {true, false, false}, false},
        OutputCase{"sink_failure_sticks", ByteOrder::II, {{1, 2, 3, 4}}, true, {1, 0, 2, 0, 3, 0, 4, 0}, {false},
                   false}),
    [](const testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.name); });

// The report counts the samples as the job made them, not as the destination's byte order has
// them; an image that came up short has no report.
TEST(GreyOutput, ReportOfTheNativeSamplesOfACompleteImage) {
    for (const bool complete : {true, false}) {
        GreyOutput output(ByteOrder::MM, [](const void*, std::size_t) { return true; }, PreviewGathering::Gather);
        output.begin(2, 2);
        Samples samples = {0x0001, 0x0203, 0xFF00, 0x1234};
        ASSERT_TRUE(output.write(samples.data(), complete ? 4 : 3));
        const std::optional<FinishedReport> report =
            output.finishReport("out.tif", {"RAW", 16, SourceSampleFormat::UnsignedInteger, std::nullopt, std::nullopt});
        ASSERT_EQ(report.has_value(), complete);
        if (!complete) continue;
        EXPECT_EQ(report->report.figures.min, 0x0001);
        EXPECT_EQ(report->report.figures.max, 0xFF00);
        EXPECT_EQ(report->report.figures.histogram[0], 1u);  // 0x0001; swapped, 0x00FF would join it
        EXPECT_EQ(report->preview.levels, (Samples{0x0001, 0x0203, 0xFF00, 0x1234}));
    }
}

// A job whose grey image came up short never puts its destination in place.
TEST(JobSamples, DestinationWithSamplesMissingIsNotCommitted) {
    for (const std::size_t count : {std::size_t{6}, std::size_t{5}}) {
        MemoryFileSystem files;
        ScriptedPort port;
        FixedClock clock;
        Session session{port, clock, files};
        session.files.destination = files.open("out.tif", File::Mode::Replace);
        JobContext job(session);
        job.image.width = 3;
        job.image.length = 2;
        job.image.outputByteOrder = ByteOrder::MM;
        job.beginSamples();
        Samples samples(count, 0x0102);
        EXPECT_TRUE(job.writeSamples(samples.data(), samples.size()));
        const bool complete = count == 6;
        EXPECT_EQ(job.closeDestination(), complete) << count;
        EXPECT_EQ(files.contents("out.tif"), complete ? std::optional(Bytes{1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2})
                                                      : std::nullopt);
        EXPECT_EQ(port.boxes.size(), complete ? 0u : 1u);
    }
}

}  // namespace
}  // namespace kelvarin::test
