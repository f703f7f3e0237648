// The table of source formats that open by content.
#include <array>

#include "formats/exr_reader.h"
#include "formats/pfm_reader.h"
#include "formats/png_reader.h"
#include "formats/pnm_reader.h"
#include "formats/source_format.h"
#include "formats/tiff_image_reader.h"

namespace kelvarin {

namespace {

// One row a format; a new format is its reader plus its row here.
const std::array<SourceFormat, 5> kFormats{{
    {"png", "PNG", sniffPng, openPng, "*.png;*.PNG"},
    {"tiff", "TIFF", sniffTiffImage, openTiffImage, nullptr},
    {"exr", "OpenEXR", sniffExr, openExr, "*.exr;*.EXR"},
    {"pfm", "PFM", sniffPfm, openPfm, "*.pfm;*.PFM"},
    {"pnm", "PNM", sniffPnm, openPnm, "*.ppm;*.pgm;*.pnm;*.pbm;*.PPM;*.PGM;*.PNM;*.PBM"},
}};

}  // namespace

std::span<const SourceFormat> sourceFormats() { return kFormats; }

const SourceFormat* sniffSourceFormat(ByteSource& source) {
    std::array<std::uint8_t, 64> head{};
    const std::size_t got = source.readUpTo(0, head.data(), head.size());
    for (const SourceFormat& format : kFormats)
        if (format.sniff(std::span<const std::uint8_t>(head.data(), got))) return &format;
    return nullptr;
}

Refusal unreadableSource(const std::string& kind, const std::string& what) {
    return {what, "KELVARIN - " + kind + ".", {">>> Cannot handle this file. STOP!"}};
}

}  // namespace kelvarin
