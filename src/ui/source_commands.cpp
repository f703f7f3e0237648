#include "ui/source_commands.h"

#include "ui/ids.h"

namespace kelvarin {

namespace {


constexpr std::string_view kOpenExtensions[] = {".tif", ".tiff", ".hdr", ".pic", ".png", ".exr", ".pfm",
                                                ".ppm", ".pgm",  ".pnm", ".pbm", ".hgt", ".asc"};
constexpr std::string_view kOpenMime[] = {"image/png", "image/x-exr", "image/x-portable-floatmap",
                                          "image/x-portable-pixmap", "image/x-portable-anymap",
                                          "image/x-portable-bitmap"};
constexpr std::string_view kTifExtensions[] = {".tif", ".tiff"};
constexpr std::string_view kTifMime[] = {"image/tiff"};
constexpr std::string_view kHdrExtensions[] = {".hdr", ".pic"};
constexpr std::string_view kHdrMime[] = {"image/vnd.radiance", "image/x-hdr"};
constexpr std::string_view kPgmExtensions[] = {".pgm"};
constexpr std::string_view kPgmMime[] = {"image/x-portable-graymap"};
constexpr std::string_view kRawExtensions[] = {".raw"};

constexpr SourceCommand kCommands[] = {
    {ids::OpenImage, "open", 2, SourceKind::Image, "Conversion concluded.", false, kOpenExtensions, kOpenMime, ids::HelpOpen},
    {ids::OpenTif, "tif", 2, SourceKind::Tif, "TIF Conversion concluded.", false, kTifExtensions, kTifMime, ids::HelpBryceRender},
    {ids::OpenHdr, "hdr", 2, SourceKind::Rgbe, "HDR Conversion concluded.", false, kHdrExtensions, kHdrMime, ids::HelpBryceHdri},
    {ids::PgmToTif, "pgm", 2, SourceKind::Pgm, "TIF Conversion concluded.", true, kPgmExtensions, kPgmMime, ids::HelpPgm},
    {ids::RawToTif, "raw", 2, SourceKind::Raw, "TIF Conversion concluded.", true, kRawExtensions, {}, ids::HelpRaw},
    {ids::BinToTif, "bin", 3, SourceKind::Bin, "TIF Conversion concluded.", true, {}, {}, ids::HelpBin},
    {ids::Terrain4Max, "terrain4-max", 1, SourceKind::None, "3 Terrains created from 4 concluded.", true, {}, {}, ids::HelpTerrain4},
    {ids::Terrain4Avg, "terrain4-avg", 1, SourceKind::None, "3 Terrains created from 4 concluded.", true, {}, {}, ids::HelpTerrain4},
    {ids::Terrain3, "terrain3", 1, SourceKind::None, "3 Terrains conversion concluded.", true, {}, {}, ids::HelpTerrain3},
};

}  // namespace

std::span<const SourceCommand> sourceCommands() { return kCommands; }

const SourceCommand* findSourceCommand(std::string_view cliName) {
    for (const SourceCommand& command : kCommands)
        if (command.cliName == cliName) return &command;
    return nullptr;
}

const SourceCommand* findSourceCommand(int commandId) {
    for (const SourceCommand& command : kCommands)
        if (command.commandId == commandId) return &command;
    return nullptr;
}

}  // namespace kelvarin
