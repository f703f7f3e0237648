#include "job/tile_steps.h"

#include "formats/grey_tiff_writer.h"
#include "job/job_context.h"

namespace kelvarin {

namespace {

const char kTilesCaption[] = "KELVARIN - Tiles";

std::vector<std::string> tileNames(const std::string& destination, const TileGrid& grid) {
    std::vector<std::string> names;
    names.reserve(grid.tileCount());
    for (std::uint32_t y = 0; y < grid.count.rows; ++y)
        for (std::uint32_t x = 0; x < grid.count.columns; ++x) names.push_back(tileName(destination, x, y));
    return names;
}

// Why a tile cannot take its name, if it cannot: it is the source (or a BIN header), or the name
// holds something no replacing file may replace (a folder, a device) or cannot be made there.
std::optional<Refusal> nameProblem(JobContext& job, const std::string& name) {
    FileSystem& files = job.session.fileSystem;
    const FileState& state = job.session.files;
    if (files.sameFile(name, state.sourcePath) || files.sameFile(name, state.headerPath))
        return Refusal{"The tile " + name + " is the source file itself. Choose another name.", kTilesCaption,
                       {">>> A tile is the source file. STOP!"}};
    // Opened and dropped at once: a replacing file leaves nothing behind until it is committed.
    if (!files.open(name, File::Mode::Replace))
        return Refusal{"The tile " + name + " cannot be created (a folder of that name, or no permission).",
                       kTilesCaption, {">>> A tile cannot be created. STOP!"}};
    return std::nullopt;
}

}  // namespace

bool prepareTiles(JobContext& job) {
    const TileCount count = *job.options().tiles;
    const ImageSize map = job.destinationEncoding.size.value_or(ImageSize{job.image.width, job.image.length});
    // Whatever is refused here, the destination itself is never written.
    job.discardDestination();
    const TilePlan plan = planTiles(map, count);
    if (!plan.grid)
        return job.refuse(Refusal{plan.refusal, kTilesCaption, {">>> The map does not split into those tiles. STOP!"}});
    const TileGrid& grid = *plan.grid;
    if (job.destinationEncoding.format == OutputFormat::Tiff &&
        !greyTiffFields(job.image.outputByteOrder, grid.tile.width, grid.tile.height))
        return job.refuse(Refusal{"A TIFF cannot hold a tile of " + imageSizeText(grid.tile) +
                                      " samples. Choose more tiles, a smaller size, or PNG or R16.",
                                  "KELVARIN - Save As Error", {">>> Too large for a TIFF. STOP!"}});
    for (const std::string& name : tileNames(job.destinationPath(), grid))
        if (const auto problem = nameProblem(job, name)) return job.refuse(*problem);
    job.tileGrid = grid;
    job.log().appendLine("Cutting into " + tileCountText(count) + " tiles of " + imageSizeText(grid.tile) +
                         " pixels that share their edges.");
    return true;
}

std::unique_ptr<TiledOutput> makeTiledOutput(JobContext& job) {
    GreyEncoding encoding = job.destinationEncoding;
    if (encoding.format == OutputFormat::Tiff) encoding.order = job.image.outputByteOrder;
    const ByteOrder order = encoding.order;
    const std::string dateTime = job.clock().tiffDateTime();
    auto header = [order, dateTime](std::uint32_t width, std::uint32_t length) -> std::optional<std::vector<std::uint8_t>> {
        const auto fields = greyTiffFields(order, width, length);
        if (!fields) return std::nullopt;
        const GreyTiffHeader bytes = buildGreyTiffHeader(order, *fields, dateTime);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    };
    Session& session = job.session;
    return std::make_unique<TiledOutput>(
        encoding, *job.tileGrid, tileNames(job.destinationPath(), *job.tileGrid), session.fileSystem, header,
        session.countReports ? std::optional(session.reportPreview) : std::nullopt);
}

}  // namespace kelvarin
