// The table of source formats that open by content.
#include <array>

#include "formats/asc_reader.h"
#include "formats/exr_reader.h"
#include "formats/hgt_reader.h"
#include "formats/pfm_reader.h"
#include "formats/png_reader.h"
#include "formats/pnm_reader.h"
#include "formats/source_format.h"
#include "formats/tiff_image_reader.h"

namespace kelvarin {

namespace {

// One row a format; a new format is its reader plus its row here.
const std::array<SourceFormat, 7> kFormats{{
    {"png", "PNG", sniffPng, openPng, "*.png;*.PNG", nullptr, nullptr},
    {"tiff", "TIFF", sniffTiffImage, openTiffImage, nullptr, nullptr, nullptr},
    {"exr", "OpenEXR", sniffExr, openExr, "*.exr;*.EXR", nullptr, nullptr},
    {"pfm", "PFM", sniffPfm, openPfm, "*.pfm;*.PFM", nullptr, nullptr},
    {"pnm", "PNM", sniffPnm, openPnm, "*.ppm;*.pgm;*.pnm;*.pbm;*.PPM;*.PGM;*.PNM;*.PBM", nullptr, nullptr},
    {"hgt", "SRTM", sniffHgt, openHgt, "*.hgt;*.HGT", claimsHgtName, openHgtNamed},
    {"asc", "ASCII grid", sniffAsc, openAsc, "*.asc;*.ASC", nullptr, nullptr},
}};

std::string_view lastPart(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::span<const SourceFormat> sourceFormats() { return kFormats; }

const SourceFormat* sniffSourceFormat(ByteSource& source) {
    std::array<std::uint8_t, 64> head{};
    const std::size_t got = source.readUpTo(0, head.data(), head.size());
    for (const SourceFormat& format : kFormats)
        if (format.sniff(std::span<const std::uint8_t>(head.data(), got))) return &format;
    return nullptr;
}

const SourceFormat* findSourceFormat(ByteSource& source, std::string_view path) {
    for (const SourceFormat& format : kFormats)
        if (format.claimsName != nullptr && format.claimsName(lastPart(path), source.size())) return &format;
    return sniffSourceFormat(source);
}

OpenedSource openSourceFormat(const SourceFormat& format, ByteSource& source, std::string_view path) {
    if (format.openNamed != nullptr) return format.openNamed(source, lastPart(path));
    return format.open(source);
}

Refusal unreadableSource(const std::string& kind, const std::string& what) {
    return {what, "KELVARIN - " + kind + ".", {">>> Cannot handle this file. STOP!"}};
}

Refusal truncatedSource() {
    return {"The source file ends before its image data is complete.", "KELVARIN - Read Error",
            {">>> Source file is truncated. STOP!"}};
}

}  // namespace kelvarin
