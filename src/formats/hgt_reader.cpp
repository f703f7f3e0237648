#include "formats/hgt_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace kelvarin {

namespace {

// Rows are read where they lie, by positioned reads, so bands can be decoded on several threads.
class HgtRows final : public RowDecoder {
public:
    HgtRows(ByteSource& source, std::uint32_t side) : source_(source), side_(side) {}

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override {
        const std::size_t rowBytes = std::size_t{2} * side_;
        if (first >= side_ || count > side_ - first ||
            !source_.readAt(std::uint64_t{first} * rowBytes, out, rowBytes * count))
            return fail("The .hgt file ends before row " + std::to_string(first) + " of the tile.");
        // Big-endian in the file, the machine's order in the rows.
        for (std::size_t i = 0; i < rowBytes * count; i += 2) {
            const std::uint16_t v = static_cast<std::uint16_t>((out[i] << 8) | out[i + 1]);
            std::memcpy(out + i, &v, 2);
        }
        return true;
    }
    std::unique_ptr<RowDecoder> clone() const override { return std::make_unique<HgtRows>(source_, side_); }

private:
    ByteSource& source_;
    std::uint32_t side_;
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool endsWithHgt(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && lower(ext[1]) == 'h' && lower(ext[2]) == 'g' && lower(ext[3]) == 't';
}

bool digits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "N45E006": latitude of the southern edge, longitude of the western edge, in whole degrees.
std::optional<GroundPlacement> placementFromName(std::string_view name, std::uint32_t side) {
    if (name.size() < 7) return std::nullopt;
    const char ns = lower(name[0]), ew = lower(name[3]);
    if ((ns != 'n' && ns != 's') || (ew != 'e' && ew != 'w') || !digits(name.substr(1, 2)) || !digits(name.substr(4, 3)))
        return std::nullopt;
    const int lat = (name[1] - '0') * 10 + (name[2] - '0');
    const int lon = (name[4] - '0') * 100 + (name[5] - '0') * 10 + (name[6] - '0');
    if (lat > 90 || lon > 180) return std::nullopt;
    GroundPlacement p;
    p.pixelWidth = p.pixelHeight = 1.0 / (side - 1);
    // The samples sit on the whole-degree lines: the first pixel's corner is half a pixel out.
    p.originX = (ew == 'w' ? -lon : lon) - p.pixelWidth / 2;
    p.originY = (ns == 's' ? -lat : lat) + 1 + p.pixelHeight / 2;
    p.units = "degree";
    return p;
}

std::string baseName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

bool claimsHgtName(std::string_view fileName, std::uint64_t) { return endsWithHgt(fileName); }

bool sniffHgt(std::span<const std::uint8_t>) { return false; }

OpenedSource openHgtNamed(ByteSource& source, std::string_view fileName) {
    OpenedSource opened;
    opened.kind = "SRTM";
    const std::uint64_t size = source.size();
    std::uint32_t side = 0;
    for (const std::uint32_t s : {1201u, 3601u})
        if (size == std::uint64_t{2} * s * s) side = s;
    if (side == 0) {
        opened.report.refuse(unreadableSource(
            "SRTM", "A .hgt file holds 1201 x 1201 or 3601 x 3601 heights (2,884,802 or 25,934,402 bytes); this one "
                    "has " + std::to_string(size) + " bytes."));
        return opened;
    }
    opened.report.say("SRTM .hgt tile: " + std::to_string(side) + " x " + std::to_string(side) + " heights, " +
                      (side == 1201 ? "3" : "1") + " arc-second");
    opened.width = opened.length = side;
    opened.layout = PixelLayout{1, false, SampleType::Signed, 16, 32767};
    opened.heights.noData = -32768.0;
    opened.heights.heightUnit = "m";
    opened.heights.placement = placementFromName(baseName(fileName), side);
    if (opened.heights.placement)
        opened.report.say("South-west corner " + baseName(fileName).substr(0, 7) + " (from the file's name)");
    opened.rows = std::make_unique<HgtRows>(source, side);
    return opened;
}

OpenedSource openHgt(ByteSource& source) { return openHgtNamed(source, ""); }

}  // namespace kelvarin
