// The report on a written height map: its figures and JSON against numpy over the same samples
// (tests/tools/report_reference.py), the warnings at their limits, and the preview's downscale
// and relief on small synthetic maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "pixels/height_report.h"
#include "pixels/preview_images.h"
#include "pixels/report_json.h"
#include "support/test_files.h"

namespace kelvarin::test {
namespace {

using Samples = std::vector<std::uint16_t>;

struct Map {
    std::string name;
    std::uint32_t width, length;
    std::function<double(double x, double y)> height;
};

Samples samplesOf(const Map& map) {
    Samples samples;
    for (std::uint32_t y = 0; y < map.length; ++y)
        for (std::uint32_t x = 0; x < map.width; ++x)
            samples.push_back(static_cast<std::uint16_t>(std::clamp(std::lround(map.height(x, y)), 0L, 65535L)));
    return samples;
}

std::string jsonOf(const FinishedReport& finished) { return reportJson(finished.report); }

// A path with a quote, a backslash, a control character, Windows-1252 bytes (ö, €) and UTF-8 (Ω),
// and what the JSON must say for it.
const std::string kOutput = "maps/h\xF6he \"1\"\\\x01-\x80\xCE\xA9.tif";
const std::string kOutputUtf8 = "maps/h\xC3\xB6he \"1\"\\\x01-\xE2\x82\xAC\xCE\xA9.tif";
const SourceFacts kSource{"TIFF", 16, SourceSampleFormat::UnsignedInteger, SourceAnalysis{1.5, 65000, false}, std::nullopt};

FinishedReport reportInOneBlock(const Map& map, const Samples& samples) {
    ReportFeed feed(map.width, map.length);
    feed.add(samples);
    return feed.finish(kOutput, kSource);
}

// The same samples in blocks of uneven sizes that cross rows, and in three feeds merged out of
// order, as threads converting parts of the image would hand them in.
FinishedReport reportInPieces(const Map& map, const Samples& samples) {
    const std::size_t thirds[] = {0, samples.size() / 3 + 1, 2 * samples.size() / 3 + 5, samples.size()};
    std::vector<ReportFeed> feeds;
    for (int part = 0; part < 3; ++part) {
        ReportFeed feed(map.width, map.length, PreviewGathering::Gather, thirds[part]);
        std::size_t at = thirds[part], step = 1;
        while (at < thirds[part + 1]) {
            const std::size_t take = std::min(step, thirds[part + 1] - at);
            feed.add(std::span(samples).subspan(at, take));
            at += take;
            step = step * 3 + 1;
        }
        feeds.push_back(std::move(feed));
    }
    feeds[2].merge(feeds[0]);
    feeds[2].merge(feeds[1]);
    return feeds[2].finish(kOutput, kSource);
}

const std::vector<Map>& maps() {
    static const std::vector<Map> all = {
        {"smooth hills", 301, 203,
         [](double x, double y) { return 32768 + 24000 * std::sin(x / 17) * std::cos(y / 11) + 20 * (x - y); }},
        {"8-bit levels", 260, 90, [](double x, double y) { return (static_cast<int>(x * 7 + y * 3) % 256) * 256.0; }},
        {"narrow range", 150, 150, [](double x, double y) { return 30000 + static_cast<int>(x * 13 + y * 7) % 15000; }},
        {"clipped plateaus", 200, 120,
         [](double x, double y) { return 1.6 * (32768 + 30000 * std::sin(x / 23) * std::cos(y / 19)) - 20000; }},
        {"noise", 1031, 1029,
         [](double x, double y) { return std::fmod(std::sin(x * 12.9898 + y * 78.233) * 43758.5453, 1.0) * 32767.5 + 32767.5; }},
    };
    return all;
}

TEST(HeightReport, FiguresAndJsonMatchNumpyOverTheSamples) {
    if (runCommand("/usr/bin/python3 -c 'import numpy' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 with numpy is needed";
    const std::string tools = std::string(__FILE__).substr(0, std::string(__FILE__).find_last_of('/')) + "/tools";
    TempDir dir;
    writeText(dir.file("output.txt"), kOutputUtf8);
    for (const Map& map : maps()) {
        SCOPED_TRACE(map.name);
        const Samples samples = samplesOf(map);
        const FinishedReport whole = reportInOneBlock(map, samples);
        const FinishedReport pieces = reportInPieces(map, samples);
        EXPECT_EQ(jsonOf(pieces), jsonOf(whole));
        EXPECT_EQ(pieces.preview.levels, whole.preview.levels);
        Bytes bytes;
        for (std::uint16_t v : samples) bytes.push_back(static_cast<std::uint8_t>(v)), bytes.push_back(v >> 8);
        writeBytes(dir.file("samples.u16"), bytes);
        writeText(dir.file("report.json"), jsonOf(whole));
        EXPECT_EQ(runCommand("/usr/bin/python3 " + tools + "/report_reference.py " + dir.file("report.json") + " " +
                             dir.file("output.txt") + " " + dir.file("samples.u16") + " " +
                             std::to_string(map.width) + " " + std::to_string(map.length) + " >&2"),
                  0);
    }
    // A terrain set: one object per tile inside {"tiles": [...]}.
    std::vector<HeightReport> tiles;
    std::string arguments;
    for (std::size_t i = 0; i < 3; ++i) {
        const Map& map = maps()[i];
        const Samples samples = samplesOf(map);
        tiles.push_back(reportInOneBlock(map, samples).report);
        Bytes bytes;
        for (std::uint16_t v : samples) bytes.push_back(static_cast<std::uint8_t>(v)), bytes.push_back(v >> 8);
        const std::string file = dir.file("tile" + std::to_string(i) + ".u16");
        writeBytes(file, bytes);
        arguments += " " + file + " " + std::to_string(map.width) + " " + std::to_string(map.length);
    }
    writeText(dir.file("tiles.json"), terrainReportJson(tiles));
    EXPECT_EQ(runCommand("/usr/bin/python3 " + tools + "/report_reference.py " + dir.file("tiles.json") + " " +
                         dir.file("output.txt") + arguments + " >&2"),
              0);
}

TEST(HeightReport, CountsBeyondThirtyTwoBitsAreFoldedWithoutLoss) {
    // Counters are folded into 64-bit totals before they could overflow; here after every 997 samples, which cuts blocks in two.
    const Samples samples = samplesOf(maps()[1]);
    SampleCounts folding(997), plain;
    for (std::size_t at = 0; at < samples.size(); at += 1000) {
        const auto block = std::span(samples).subspan(at, std::min<std::size_t>(1000, samples.size() - at));
        folding.add(block);
        plain.add(block);
    }
    const SampleFigures a = folding.figures(), b = plain.figures();
    EXPECT_EQ(a.count, samples.size());
    EXPECT_EQ(a.count, b.count);
    EXPECT_EQ(a.histogram, b.histogram);
    EXPECT_EQ(a.distinctLevels, b.distinctLevels);
    EXPECT_EQ(a.mean, b.mean);
}

// A small image's samples are kept and sorted, a larger one's counted in tables: both ways, and
// feeds that pass from one to the other on an add or a merge (copied or moved, within the 32-bit
// counters or past them), give the figures of the definition.
TEST(HeightReport, FewSamplesAndTablesGiveTheSameFigures) {
    std::mt19937 random(5);
    const auto samples = [&random](std::size_t count) {
        Samples s(count);
        for (std::uint16_t& v : s) v = static_cast<std::uint16_t>(random() % 5 == 0 ? (random() % 2) * 65535 : random());
        return s;
    };
    struct Case {
        const char* name;
        std::vector<Samples> adds, merges;
        std::uint64_t foldAfter = UINT32_MAX;
    };
    const Case cases[] = {
        {"nothing", {}, {}},
        {"one sample at 0", {{0}}, {}},
        {"4096 samples", {samples(4096)}, {}},
        {"4097 samples", {samples(4097)}, {}},
        {"a small block, then one that crosses into the tables", {samples(4000), samples(200)}, {}},
        {"two small feeds merged", {samples(1000)}, {samples(3000)}},
        {"small feeds merged past the tables' start", {samples(3000)}, {samples(1000), samples(1000)}},
        {"a small feed merged into a large one", {samples(9000)}, {samples(10)}},
        {"a large feed merged into a small one", {samples(10)}, {samples(9000)}},
        {"large feeds merged into an empty one", {}, {samples(9000), samples(7000)}},
        {"large feeds merged past the counters' fold", {samples(5000)}, {samples(6000), samples(5000)}, 8000},
        {"a feed larger than the fold merged into an empty one", {}, {samples(9000)}, 8000},
    };
    for (const Case& c : cases) for (const bool moved : {false, true}) {
        SCOPED_TRACE(testing::Message() << c.name << (moved ? ", moved" : ", copied"));
        SampleCounts counts(c.foldAfter);
        Samples all;
        for (const Samples& block : c.adds) counts.add(block), all.insert(all.end(), block.begin(), block.end());
        for (const Samples& other : c.merges) {
            SampleCounts feed;
            feed.add(other);
            if (moved) counts.merge(std::move(feed));
            else counts.merge(feed);
            all.insert(all.end(), other.begin(), other.end());
        }
        SampleFigures want;
        std::uint64_t sum = 0;
        std::vector<std::uint64_t> perLevel(65536);
        for (const std::uint16_t v : all) ++perLevel[v], sum += v, ++want.histogram[v >> 8];
        want.count = all.size();
        want.min = all.empty() ? 0 : *std::min_element(all.begin(), all.end());
        want.max = all.empty() ? 0 : *std::max_element(all.begin(), all.end());
        want.mean = all.empty() ? 0 : static_cast<double>(sum) / static_cast<double>(all.size());
        want.distinctLevels = static_cast<std::uint32_t>(65536 - std::count(perLevel.begin(), perLevel.end(), 0));
        const SampleFigures got = counts.figures();
        EXPECT_EQ(got.count, want.count);
        EXPECT_EQ(got.min, want.min);
        EXPECT_EQ(got.max, want.max);
        EXPECT_EQ(got.mean, want.mean);
        EXPECT_EQ(got.distinctLevels, want.distinctLevels);
        EXPECT_EQ(got.atZero, perLevel[0]);
        EXPECT_EQ(got.atFull, perLevel[65535]);
        EXPECT_EQ(got.histogram, want.histogram);
    }
}

// distinct levels spread evenly over [low, high], then `zeros` samples at 0 and `fulls` at 65535.
Samples spread(int distinct, int low, int high, int zeros = 0, int fulls = 0) {
    Samples samples;
    for (int i = 0; i < distinct; ++i)
        samples.push_back(static_cast<std::uint16_t>(low + static_cast<long>(high - low) * i / (distinct - 1)));
    samples.insert(samples.end(), static_cast<std::size_t>(zeros), 0);
    samples.insert(samples.end(), static_cast<std::size_t>(fulls), 65535);
    return samples;
}

TEST(HeightReport, WarningsAtTheirLimits) {
    struct Case {
        const char* name;
        Samples samples;
        std::vector<std::string> codes;
    };
    const Case cases[] = {
        {"1024 levels over the whole range", spread(1024, 1, 65534), {}},
        {"1023 levels", spread(1023, 1, 65534), {"terraces"}},
        {"max - min = 16384", spread(2000, 1000, 17384), {}},
        {"max - min = 16383", spread(2000, 1000, 17383), {"narrow-range"}},
        {"exactly 1 % at 0", spread(1980, 1, 65534, 20), {}},
        {"just over 1 % at 0", spread(1980, 1, 65534, 21), {"clipped"}},
        {"just over 1 % at 65535", spread(1980, 1, 65534, 0, 21), {"clipped"}},
        {"at both ends", spread(1980, 1, 65534, 30, 40), {"clipped"}},
        {"one level", Samples(500, 0), {"terraces", "narrow-range", "clipped"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SampleCounts counts;
        counts.add(c.samples);
        const std::vector<ReportWarning> warnings = reportWarnings(counts.figures());
        std::vector<std::string> codes;
        for (const ReportWarning& warning : warnings) {
            codes.push_back(warning.code);
            EXPECT_GT(warning.text.size(), 40u) << warning.text;
        }
        EXPECT_EQ(codes, c.codes);
    }
    SampleCounts both;
    both.add(spread(1980, 1, 65534, 30, 40));
    EXPECT_EQ(reportWarnings(both.figures()).at(0).text,
              "1.5 % of the samples are at 0 and 2.0 % at 65535: plateaus were cut off at the bottom and at the top.");
}

TEST(Preview, SizeKeepsTheProportionsWithinTheLongestSide) {
    struct Case {
        std::uint64_t width, length;
        std::uint32_t previewWidth, previewHeight;
    };
    const Case cases[] = {{2048, 1024, 1024, 512}, {1024, 1024, 1024, 1024}, {500, 300, 500, 300},
                          {1025, 3, 1024, 3},      {3000, 7, 1024, 2},       {5000, 1, 1024, 1},
                          {100, 40000, 3, 1024},   {4097, 4097, 1024, 1024}, {0, 5, 0, 0}};
    for (const Case& c : cases) {
        const PreviewSize size = previewSize(c.width, c.length);
        EXPECT_EQ(size.width, c.previewWidth) << c.width << " x " << c.length;
        EXPECT_EQ(size.height, c.previewHeight) << c.width << " x " << c.length;
    }
}

TEST(Preview, CellsAreTheMeansOfTheirSamplesInAnyFeedOrder) {
    // 7 x 4 into 3 x 2 (longest side 3): cell columns 0-2, 3-4, 5-6 (x * 3 / 7), cell rows 0-1, 2-3.
    Samples samples;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 7; ++x) samples.push_back(static_cast<std::uint16_t>(1000 * y + 10 * x + (x == 6 ? 1 : 0)));
    // Row means 1000 y; column means 10, 35, 55.5 (the 1 of column 6 rounds the last cells up).
    const std::vector<std::uint16_t> expected = {510, 535, 556, 2510, 2535, 2556};
    PreviewGrid whole(7, 4, 3);
    whole.add(samples);
    EXPECT_EQ(whole.levels().levels, expected);
    EXPECT_EQ(whole.levels().width, 3u);
    EXPECT_EQ(whole.levels().height, 2u);
    // Three grids fed from different places, one sample at a time, merged.
    std::vector<PreviewGrid> parts;
    const std::size_t cuts[] = {0, 9, 17, samples.size()};
    for (int part = 0; part < 3; ++part) {
        parts.emplace_back(7, 4, 3, cuts[part]);
        for (std::size_t i = cuts[part]; i < cuts[part + 1]; ++i) parts.back().add(std::span(samples).subspan(i, 1));
    }
    parts[1].merge(parts[2]);
    parts[1].merge(parts[0]);
    EXPECT_EQ(parts[1].levels().levels, expected);
}

TEST(Preview, WideTallAndOddSizedImagesGiveTheMeansOfTheirCells) {
    // Column x falls into cell x * previewWidth / width, rows likewise; each cell is the mean of
    // its samples, rounded. Wider than 65536 columns the sums are kept per cell; cells over 65537
    // rows tall add their samples halved, which may move a mean by one level. Each image is fed
    // to three grids, cut inside rows, and merged.
    struct Case {
        std::uint64_t width, length;
        std::uint32_t longest;
        int tolerance;
    };
    for (const Case c : {Case{1031, 1029, 1024, 0}, Case{70001, 3, 1024, 0}, Case{5, 140000, 1, 1}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.length));
        std::mt19937 random(7);
        Samples samples(c.width * c.length);
        for (std::uint16_t& v : samples) v = static_cast<std::uint16_t>(random() % 65536);
        const std::size_t cuts[] = {0, samples.size() / 3 + 1, samples.size() / 2 + 7, samples.size()};
        std::vector<PreviewGrid> grids;
        for (int part = 0; part < 3; ++part) {
            PreviewGrid& grid = grids.emplace_back(c.width, c.length, c.longest, cuts[part]);
            for (std::size_t at = cuts[part]; at < cuts[part + 1]; at += 4099)
                grid.add(std::span(samples).subspan(at, std::min<std::size_t>(4099, cuts[part + 1] - at)));
        }
        grids[1].merge(grids[0]);
        grids[1].merge(grids[2]);
        const PreviewLevels levels = grids[1].levels();
        const PreviewSize size = previewSize(c.width, c.length, c.longest);
        std::vector<double> sums(std::size_t{size.width} * size.height), counts(sums.size());
        for (std::uint64_t y = 0; y < c.length; ++y)
            for (std::uint64_t x = 0; x < c.width; ++x) {
                const std::size_t cell = y * size.height / c.length * size.width + x * size.width / c.width;
                sums[cell] += samples[y * c.width + x];
                counts[cell] += 1;
            }
        ASSERT_EQ(levels.levels.size(), sums.size());
        for (std::size_t i = 0; i < sums.size(); ++i)
            ASSERT_NEAR(levels.levels[i], std::floor(sums[i] / counts[i] + 0.5), c.tolerance) << "cell " << i;
    }
}

TEST(Preview, HeightStretchedAndReliefLitFromTheNorthWest) {
    // Planes on a 9 x 9 map (kept at its size): the relief's grey follows only the direction the
    // slope faces, since the vertical scale makes the mean slope 0.5 whatever the range.
    struct Case {
        const char* faces;
        double dx, dy;  // height gained per pixel to the east and to the south
        int grey;       // 255 max(0, n . L)
    };
    const Case cases[] = {
        {"flat", 0, 0, 180},                  // sin 45
        {"north-west (rising to the south-east)", 300, 300, 242},
        {"south-east", -300, -300, 81},
        {"north-east", 300, -300, 161},
        {"west", 500, 0, 218},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faces);
        Samples samples;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x) samples.push_back(static_cast<std::uint16_t>(20000 + c.dx * x + c.dy * y));
        ReportFeed feed(9, 9);
        feed.add(samples);
        const FinishedReport finished = feed.finish("plane.tif", kSource);
        const SampleFigures& figures = finished.report.figures;
        const GreyImage relief = reliefImage(finished.preview, figures.min, figures.max);
        ASSERT_EQ(relief.pixels.size(), 9u * 9u);
        for (std::size_t i = 0; i < relief.pixels.size(); ++i) ASSERT_NEAR(relief.pixels[i], c.grey, 1) << "pixel " << i;
        // The height map runs from black at the lowest sample to white at the highest.
        const GreyImage height = heightImage(finished.preview, figures.min, figures.max);
        const auto [darkest, brightest] = std::minmax_element(height.pixels.begin(), height.pixels.end());
        EXPECT_EQ(*darkest, c.dx == 0 ? 128 : 0);
        EXPECT_EQ(*brightest, c.dx == 0 ? 128 : 255);
    }
}

}  // namespace
}  // namespace kelvarin::test
