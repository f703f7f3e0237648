#include "formats/tiff_height_facts.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace kelvarin {

namespace {

enum : std::uint16_t { kModelPixelScale = 33550, kModelTiepoint = 33922, kGeoKeyDirectory = 34735, kGdalNoData = 42113 };
// GeoKeys: the model type (1 projected, 2 geographic), the raster type (2: a pixel is a point),
// and the projected linear units (9001: metre).
enum : std::uint16_t { kModelTypeKey = 1024, kRasterTypeKey = 1025, kLinearUnitsKey = 3076 };

// Far more than the tags read here hold.
constexpr std::uint64_t kMaxValues = 4096;

// The bytes of a tag's values, wherever they are stored.
bool tagBytes(ByteSource& source, const TiffDirectory& dir, std::uint16_t tag, std::uint16_t type,
              std::vector<std::uint8_t>& out, std::uint64_t& count) {
    const auto found = dir.entries.find(tag);
    if (found == dir.entries.end() || found->second.type != type) return false;
    const TiffEntryValue& e = found->second;
    if (e.count == 0 || e.count > kMaxValues) return false;
    count = e.count;
    const std::size_t bytes = static_cast<std::size_t>(e.count * tiffTypeSize(type));
    const unsigned fieldSize = dir.bigTiff ? 8 : 4;
    out.resize(bytes);
    if (bytes <= fieldSize) {
        std::copy(e.field, e.field + bytes, out.begin());
        return true;
    }
    return source.readAt(dir.number(e.field, fieldSize), out.data(), out.size());
}

// A tag of DOUBLE values.
std::vector<double> doubles(ByteSource& source, const TiffDirectory& dir, std::uint16_t tag) {
    std::vector<std::uint8_t> raw;
    std::uint64_t count = 0;
    std::vector<double> values;
    if (!tagBytes(source, dir, tag, 12, raw, count)) return values;
    for (std::uint64_t i = 0; i < count; ++i) values.push_back(std::bit_cast<double>(dir.number(raw.data() + 8 * i, 8)));
    return values;
}

std::optional<double> noDataValue(ByteSource& source, const TiffDirectory& dir) {
    std::vector<std::uint8_t> raw;
    std::uint64_t count = 0;
    if (!tagBytes(source, dir, kGdalNoData, 2, raw, count)) return std::nullopt;
    std::string text(raw.begin(), raw.end());
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return std::nullopt;
    if (text[start] == '+') ++start;
    // Locale-free, and exact: "-3.4e+38" is the double nearest to it, made a float by the mapping.
    double value = 0;
    const auto parsed = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// The value of one GeoKey kept in the directory itself; 0 when it is missing.
std::uint64_t geoKey(ByteSource& source, const TiffDirectory& dir, std::uint16_t key) {
    std::vector<std::uint64_t> keys;
    if (!dir.values(source, kGeoKeyDirectory, kMaxValues, keys) || keys.size() < 4) return 0;
    const std::uint64_t count = keys[3];
    for (std::uint64_t i = 0; i < count && 4 * i + 7 < keys.size(); ++i) {
        const std::uint64_t* k = keys.data() + 4 * (i + 1);
        if (k[0] == key && k[1] == 0) return k[3];
    }
    return 0;
}

std::optional<GroundPlacement> placement(ByteSource& source, const TiffDirectory& dir) {
    const std::vector<double> scale = doubles(source, dir, kModelPixelScale);
    const std::vector<double> tie = doubles(source, dir, kModelTiepoint);
    if (scale.size() < 2 || tie.size() < 6) return std::nullopt;
    GroundPlacement p;
    p.pixelWidth = scale[0];
    p.pixelHeight = scale[1];
    // The tiepoint ties raster point (i, j) to (x, y); the corner of pixel (0, 0) lies i columns
    // left and j rows up of it.
    p.originX = tie[3] - tie[0] * p.pixelWidth;
    p.originY = tie[4] + tie[1] * p.pixelHeight;
    // A pixel that is a point is centred on its coordinates: its corner is half a pixel off.
    if (geoKey(source, dir, kRasterTypeKey) == 2) {
        p.originX -= p.pixelWidth / 2;
        p.originY += p.pixelHeight / 2;
    }
    const std::uint64_t model = geoKey(source, dir, kModelTypeKey);
    const std::uint64_t linear = geoKey(source, dir, kLinearUnitsKey);
    if (model == 2) p.units = "degree";
    if (model == 1 && (linear == 0 || linear == 9001)) p.units = "metre";
    for (const double v : {p.pixelWidth, p.pixelHeight, p.originX, p.originY})
        if (!std::isfinite(v)) return std::nullopt;
    if (!(p.pixelWidth > 0) || !(p.pixelHeight > 0)) return std::nullopt;
    return p;
}

}  // namespace

HeightFacts tiffHeightFacts(ByteSource& source, const TiffDirectory& directory) {
    HeightFacts facts;
    facts.noData = noDataValue(source, directory);
    facts.placement = placement(source, directory);
    return facts;
}

}  // namespace kelvarin
