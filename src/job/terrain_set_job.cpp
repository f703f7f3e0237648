#include "job/terrain_set_job.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/large_memory.h"
#include "base/number_text.h"
#include "formats/file.h"
#include "formats/grey_tiff_writer.h"
#include "job/file_dialogs.h"
#include "job/grey_output.h"
#include "job/session.h"
#include "terrain/tile_math.h"

namespace kelvarin {

namespace {

// A vector of large memory that leaves new samples uninitialised: every buffer is filled whole by
// a read or a reduction right away, and zeroing 128 MiB first would be a pass over memory for
// nothing.
template <typename T>
struct NoFillAllocator : LargeAllocator<T> {
    template <typename U>
    struct rebind {
        using other = NoFillAllocator<U>;
    };
    NoFillAllocator() = default;
    template <typename U>
    NoFillAllocator(const NoFillAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

using Samples = std::vector<std::uint16_t, NoFillAllocator<std::uint16_t>>;

void release(Samples& samples) { Samples().swap(samples); }

constexpr std::uint32_t kSmallestSide = 1024;
constexpr int kLevels = 4;  // the "8", "4", "2" and "1" files
const char kSizeDigits[kLevels] = {'8', '4', '2', '1'};
const char* const kTileSuffixes[3] = {"_4096.tif", "_2048.tif", "_1024.tif"};
const char* const kReducedTexts[3] = {"8k reduced to 4k", "4k reduced to 2k", "2k reduced to 1k"};
const char* const kAddedTexts[3] = {"Reduced 8k added to 4k", "Reduced 4k added to 2k", "Reduced 2k added to 1k"};
// Progress after each reduction and each merge, by the level of the file reduced or merged.
const int kReducedProgress[3] = {20, 50, 70};
const int kAddedProgress[3] = {40, 60, 80};
const int kWrittenProgress[3] = {90, 95, 100};

std::string sourcePath(const std::string& folder, const std::string& baseName, int level) {
    return folder + kSizeDigits[level] + baseName + ".raw";
}
std::string tilePath(const std::string& folder, const std::string& baseName, std::size_t tile) {
    return folder + baseName + kTileSuffixes[tile];
}
int firstLevel(bool fourSources) { return fourSources ? 0 : 1; }

std::uint64_t sampleCount(std::uint32_t side) { return std::uint64_t{side} * side; }

struct Input {
    std::string path;
    std::uint32_t side = 0;
    std::unique_ptr<File> file;
};

// One tile on its way to disk, as a replacing file: the final name takes the new tile only when
// all three are complete, so a failed build never leaves a cut-off tile (nor destroys the tile of
// an earlier build). A file dropped uncommitted takes its temporary file with it.
struct Output {
    std::string finalPath;
    std::uint32_t side = 0;
    Samples tile;
    std::unique_ptr<File> file;
};

void showError(Session& session, std::string text) {
    session.port.showMessage(noticeBox(std::move(text), "KELVARIN - Error.", MessageIcon::Error));
}

// True once the user has asked to stop; the first time, the log says so. The tiles not yet
// committed go with the stack, their temporary files with them.
bool stopAsked(Session& session) {
    if (!session.stop.requested()) return false;
    if (session.stop.firstNotice()) session.log.appendLine(kStoppedLine);
    return true;
}

// Reads the whole sample block of an input with one read, closes the file and logs it.
bool readWholeInput(Session& session, Input& input, Samples& samples) {
    if (stopAsked(session)) return false;
    const std::uint64_t count = sampleCount(input.side);
    samples.resize(static_cast<std::size_t>(count));
    const bool complete = input.file->readExact(samples.data(), static_cast<std::size_t>(count * 2));
    input.file.reset();
    if (!complete) {
        showError(session, "File " + input.path + " read error.");
        return false;
    }
    littleEndianToHost(samples.data(), samples.size());
    session.log.appendLine("File:" + input.path + " read and closed.");
    return true;
}

// An input that is reduced or merged is read a band of rows at a time into one reused buffer,
// and each band is worked on while it is still in the cache: the 8192 file never sits in
// memory whole (128 MiB of page faults and a cold second pass saved). 64 rows of 8192 samples
// are 1 MiB. `work(rows, firstRow, rowCount)` sees the samples as read.
constexpr std::size_t kBandRows = 64;

template <typename Work>
bool streamInput(Session& session, Input& input, Samples& band, Work&& work) {
    const std::size_t side = input.side;
    const std::size_t bandRows = std::min<std::size_t>(kBandRows, side);
    band.resize(bandRows * side);
    for (std::size_t row = 0; row < side; row += bandRows) {
        // Each band lets the window answer its events, and a stop take effect.
        session.progress.pulse();
        if (stopAsked(session)) return false;
        const std::size_t rows = std::min(bandRows, side - row);
        if (!input.file->readExact(band.data(), rows * side * 2)) {
            input.file.reset();
            showError(session, "File " + input.path + " read error.");
            return false;
        }
        littleEndianToHost(band.data(), rows * side);
        work(band.data(), row, rows);
    }
    input.file.reset();
    session.log.appendLine("File:" + input.path + " read and closed.");
    return true;
}

// Four sources: each smaller level merged with the reduction of the next larger file as read.
bool buildFromFour(Session& session, std::vector<Input>& inputs, bool maximum, std::array<Output, 3>& outputs) {
    const auto reduceRows = maximum ? reduceByMaximum : reduceByAverage;
    Samples band;
    Samples reduced(static_cast<std::size_t>(sampleCount(inputs[0].side / 2)));
    {
        const std::size_t side = inputs[0].side;
        const bool read = streamInput(session, inputs[0], band, [&](const std::uint16_t* rows, std::size_t first, std::size_t count) {
            reduceRows(rows, side, count, reduced.data() + first / 2 * (side / 2));
        });
        if (!read) return false;
    }
    session.log.appendLine(kReducedTexts[0]);
    session.progress.setPosition(kReducedProgress[0]);
    for (int level = 1; level < kLevels; ++level) {
        Input& input = inputs[static_cast<std::size_t>(level)];
        const std::size_t side = input.side;
        const int index = level - 1;
        const bool reduces = level + 1 < kLevels;
        // The merge goes into the reduction's buffer, which becomes the tile.
        Samples& tile = outputs[static_cast<std::size_t>(index)].tile;
        tile = std::move(reduced);
        Samples next(reduces ? static_cast<std::size_t>(sampleCount(side / 2)) : 0);
        const bool read = streamInput(session, input, band, [&](const std::uint16_t* rows, std::size_t first, std::size_t count) {
            std::uint16_t* merged = tile.data() + first * side;
            mergeHalves(rows, merged, count * side, merged);
            if (reduces) reduceRows(rows, side, count, next.data() + first / 2 * (side / 2));
        });
        if (!read) return false;
        session.log.appendLine(kAddedTexts[index]);
        session.progress.setPosition(kAddedProgress[index]);
        if (reduces) {
            session.log.appendLine(kReducedTexts[level]);
            session.progress.setPosition(kReducedProgress[level]);
        }
        reduced = std::move(next);
    }
    return true;
}

bool buildFromThree(Session& session, std::vector<Input>& inputs, std::array<Output, 3>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (!readWholeInput(session, inputs[i], outputs[i].tile)) return false;
    return true;
}

// The three outputs opened in order, largest first, each with its header.
bool openOutputs(Session& session, const std::string& folder, const std::string& baseName,
                 std::array<Output, 3>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        Output& output = outputs[i];
        output.finalPath = tilePath(folder, baseName, i);
        output.file = terrainOpen(session, output.finalPath, false);
        if (!output.file) {
            showError(session, "File " + output.finalPath + "create error.");
            return false;
        }
        const std::uint32_t side = output.side;
        const GreyTiffHeader header = buildGreyTiffHeader(
            ByteOrder::II, littleEndianFields(side, side, static_cast<std::uint32_t>(2 * sampleCount(side))),
            session.clock.tiffDateTime());
        if (!output.file->write(header.data(), header.size())) {
            showError(session, "File " + output.finalPath + " write error.");
            return false;
        }
    }
    return true;
}

// Each tile written behind its header with one write and closed (on the disk); only
// when all three are complete do they replace the final names.
bool writeOutputs(Session& session, std::array<Output, 3>& outputs) {
    std::vector<FinishedReport> reports;
    for (Output& output : outputs) {
        if (stopAsked(session)) return false;
        GreyOutput samples(
            ByteOrder::II, [&output](const void* bytes, std::size_t count) { return output.file->write(bytes, count); },
            session.countReports ? std::optional(session.reportPreview) : std::nullopt);
        samples.begin(output.side, output.side);
        const bool written = samples.write(output.tile.data(), output.tile.size()) && samples.finish();
        if (std::optional<FinishedReport> report = samples.finishReport(
                output.finalPath, {"RAW", 16, SourceSampleFormat::UnsignedInteger, std::nullopt, std::nullopt}))
            reports.push_back(std::move(*report));
        release(output.tile);
        // A failed write also sticks to the file and fails its close(): one box either way.
        if (!output.file->close() || !written) {
            showError(session, "File " + output.finalPath + " write error.");
            return false;
        }
    }
    // The last moment to stop: after it, the tiles take their names together.
    if (stopAsked(session)) return false;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        Output& output = outputs[i];
        const bool committed = output.file->commit();
        output.file.reset();
        if (!committed) {
            showError(session, "File " + output.finalPath + " could not be replaced.");
            return false;
        }
        session.log.appendLine("File: " + output.finalPath + " written and closed.");
        session.progress.setPosition(kWrittenProgress[i]);
    }
    session.lastReports = std::move(reports);
    return true;
}

int build(Session& session, bool fourSources, bool maximum, std::uint32_t smallestSide) {
    session.lastReports.clear();
    session.progress.setRange(1, 100);
    session.progress.setPosition(0);

    std::string folder;
    const std::string baseName = terrainNameDialog(session, folder);
    if (baseName.empty()) {
        showError(session, "Filename error.");
        return 0;
    }
    session.progress.setPosition(5);
    const std::int64_t start = session.clock.secondsStamp();

    std::vector<Input> inputs;
    for (int level = firstLevel(fourSources); level < kLevels; ++level) {
        Input input;
        input.side = smallestSide << (kLevels - 1 - level);
        input.path = sourcePath(folder, baseName, level);
        input.file = terrainOpen(session, input.path, true);
        if (!input.file) {
            showError(session, "File " + input.path + "open error.");
            return 0;
        }
        // Reductions and merges need whole buffers: refuse a short file before any work.
        const std::uint64_t needed = 2 * sampleCount(input.side);
        if (input.file->size() < needed) {
            showError(session, "File " + input.path + " is too short: " + std::to_string(needed) +
                                  " bytes needed, " + std::to_string(input.file->size()) + " found.");
            return 0;
        }
        inputs.push_back(std::move(input));
    }
    session.setBusy();
    session.progress.setPosition(10);

    std::array<Output, 3> outputs;
    for (std::size_t i = 0; i < outputs.size(); ++i) outputs[i].side = smallestSide << (2 - i);
    const bool built = fourSources ? buildFromFour(session, inputs, maximum, outputs)
                                   : buildFromThree(session, inputs, outputs);
    if (!built || stopAsked(session)) return 0;
    if (!openOutputs(session, folder, baseName, outputs)) return 0;
    if (!writeOutputs(session, outputs)) return 0;

    session.log.appendLine("Merging done in" + numberText(session.clock.secondsStamp() - start) + " seconds");
    session.log.appendLine(std::string(32, '-'));
    return 1;
}

}  // namespace

namespace terrain_detail {

int buildTerrainSetWithSides(Session& session, bool fourSources, bool maximum, std::uint32_t smallestSide) {
    try {
        return build(session, fourSources, maximum, smallestSide);
    } catch (const std::bad_alloc&) {
        // The uncommitted tiles are gone with the stack; inputs were only read.
        showError(session, "Not enough memory to build the terrain set.");
        return 0;
    }
}

}  // namespace terrain_detail

int buildTerrainSet(Session& session, bool fourSources, bool maximum) {
    return terrain_detail::buildTerrainSetWithSides(session, fourSources, maximum, kSmallestSide);
}

std::vector<std::string> terrainSetFiles(const std::string& chosen, bool fourSources) {
    const TerrainName name = splitTerrainName(chosen);
    std::vector<std::string> files;
    if (name.baseName.empty()) return files;
    for (int level = firstLevel(fourSources); level < kLevels; ++level)
        files.push_back(sourcePath(name.folder, name.baseName, level));
    for (std::size_t tile = 0; tile < 3; ++tile) files.push_back(tilePath(name.folder, name.baseName, tile));
    return files;
}

}  // namespace kelvarin
