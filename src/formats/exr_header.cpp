#include "formats/exr_header.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "base/image_size.h"

namespace kelvarin {

namespace {

constexpr std::uint32_t kTiledFlag = 0x200, kLongNamesFlag = 0x400, kDeepFlag = 0x800, kMultipartFlag = 0x1000;
// A tile may decode to this much beyond twice the whole image (a 1024 x 1024 tile of four float
// channels): tiles larger than a small image are common, tiles thousands of times larger are not.
constexpr std::uint64_t kLargestTileBytes = std::uint64_t{16} << 20;

std::uint32_t u32At(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
std::int32_t i32At(const std::uint8_t* p) { return static_cast<std::int32_t>(u32At(p)); }

// Scanline chunks hold this many rows each.
std::uint32_t rowsPerBlock(std::uint8_t compression) {
    switch (compression) {
        case 3: case 5: return 16;    // ZIP, PXR24
        case 4: case 6: case 7: case 8: return 32;  // PIZ, B44, B44A, DWAA
        case 9: return 256;           // DWAB
        default: return 1;
    }
}

// floor or ceil of log2(n), n >= 1.
std::uint32_t levelLog2(std::uint32_t n, bool up) {
    std::uint32_t log = 0;
    while ((std::uint64_t{1} << (log + 1)) <= n) ++log;
    if (up && (std::uint64_t{1} << log) < n) ++log;
    return log;
}

std::uint64_t levelSide(std::uint32_t side, std::uint32_t level, bool up) {
    const std::uint64_t step = std::uint64_t{1} << level;
    return std::max<std::uint64_t>(1, up ? (side + step - 1) / step : side / step);
}

// The attributes tinyexr takes by their name alone, whatever type or size they claim, with the
// type and size the format gives them (0: any size).
struct KeyAttribute {
    const char* name;
    const char* type;
    std::size_t size;
};
constexpr KeyAttribute kKeyAttributes[] = {
    {"channels", "chlist", 0}, {"compression", "compression", 1}, {"dataWindow", "box2i", 16},
    {"tiles", "tiledesc", 9},   {"chunkCount", "int", 4},
};

class Walk {
public:
    Walk(std::vector<std::uint8_t> bytes, ExrHeader& header) : bytes_(std::move(bytes)), header_(header) {}

    bool run(ByteSource& source);

private:
    bool refuse(const std::string& what) { return header_.report.refuse(unreadable(what)); }
    static Refusal unreadable(const std::string& what) {
        return {what, "KELVARIN - OpenEXR.", {">>> Cannot handle this file. STOP!"}};
    }
    // A zero-terminated name of at most `longest` characters at `at`; false when there is none.
    bool text(std::size_t& at, std::string& into, std::size_t longest) const {
        const auto* begin = bytes_.data() + at;
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(begin, 0, bytes_.size() - at));
        if (!end || static_cast<std::size_t>(end - begin) > longest) return false;
        into.assign(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
        at += into.size() + 1;
        return true;
    }
    bool saw(std::string_view name) const {
        for (std::size_t k = 0; k < std::size(kKeyAttributes); ++k)
            if (name == kKeyAttributes[k].name) return (seenKeys_ & (1u << k)) != 0;
        return false;
    }
    bool channelList(const std::uint8_t* value, std::size_t size);
    bool attribute(const std::string& name, const std::string& type, const std::uint8_t* value, std::size_t size);

    std::vector<std::uint8_t> bytes_;
    ExrHeader& header_;
    std::size_t longest_ = 31;
    std::uint32_t seenKeys_ = 0;  // of kKeyAttributes, by index
    std::int64_t xMax_ = 0, yMax_ = 0;
    std::int64_t chunkCount_ = -1;
};

bool Walk::channelList(const std::uint8_t* value, std::size_t size) {
    std::size_t at = 0;
    while (at < size && value[at] != 0) {
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(value + at, 0, size - at));
        if (!end || static_cast<std::size_t>(end - value) + 1 + 16 > size) return refuse("The channel list is damaged.");
        ExrChannel channel;
        channel.name.assign(reinterpret_cast<const char*>(value + at), static_cast<std::size_t>(end - (value + at)));
        at = static_cast<std::size_t>(end - value) + 1;
        const std::int32_t type = i32At(value + at);
        if (type < 0 || type > 2)
            return refuse("Channel " + channel.name + " has the unknown sample type " + std::to_string(type) + ".");
        channel.type = static_cast<ExrPixelType>(type);
        channel.xSampling = i32At(value + at + 8);
        channel.ySampling = i32At(value + at + 12);
        if (channel.xSampling != 1 || channel.ySampling != 1)
            return refuse("Channel " + channel.name + " is subsampled (" + std::to_string(channel.xSampling) + " x " +
                          std::to_string(channel.ySampling) + "): not supported.");
        at += 16;
        header_.channels.push_back(std::move(channel));
    }
    if (header_.channels.empty()) return refuse("The file has no channels.");
    return true;
}

bool Walk::attribute(const std::string& name, const std::string& type, const std::uint8_t* value, std::size_t size) {
    // tinyexr would read such an attribute by its name, past its end or as another than the one
    // judged here; a second one would replace the first there.
    for (std::size_t k = 0; k < std::size(kKeyAttributes); ++k) {
        const KeyAttribute& key = kKeyAttributes[k];
        if (name != key.name) continue;
        if (type != key.type || (key.size != 0 && size != key.size) || (seenKeys_ & (1u << k)))
            return refuse(name == "chunkCount" ? "The chunk count is damaged." : "Attribute " + name + " is damaged.");
        seenKeys_ |= 1u << k;
    }
    if (name == "channels") return channelList(value, size);
    if (name == "compression") {
        header_.compression = value[0];
    } else if (name == "dataWindow") {
        header_.xMin = i32At(value);
        header_.yMin = i32At(value + 4);
        xMax_ = i32At(value + 8);
        yMax_ = i32At(value + 12);
    } else if (name == "tiles") {
        header_.tileWidth = u32At(value);
        header_.tileHeight = u32At(value + 4);
        const unsigned mode = value[8] & 0x0F;
        if (mode > 2) return refuse("Unknown tile level mode " + std::to_string(mode) + ".");
        header_.levels = static_cast<ExrLevels>(mode);
        header_.roundUp = (value[8] >> 4) != 0;
    } else if (name == "chunkCount") {
        // tinyexr sizes its offset table by this number when it is given.
        chunkCount_ = i32At(value);
    } else if (name == "type" && type == "string") {
        const std::string_view kind(reinterpret_cast<const char*>(value), size);
        if (kind.substr(0, 4) == "deep") return refuse("Deep OpenEXR images are not supported.");
    }
    return true;
}

bool Walk::run(ByteSource& source) {
    if (bytes_.size() < 8 || u32At(bytes_.data()) != 20000630) return refuse("Not an OpenEXR file.");
    const std::uint32_t version = u32At(bytes_.data() + 4);
    if ((version & 0xFF) != 2) return refuse("Unknown OpenEXR version " + std::to_string(version & 0xFF) + ".");
    if (version & kMultipartFlag) return refuse("Multi-part OpenEXR files are not supported.");
    if (version & kDeepFlag) return refuse("Deep OpenEXR images are not supported.");
    if (version & ~(0xFFu | kTiledFlag | kLongNamesFlag)) return refuse("Unknown OpenEXR version flags.");
    header_.tiled = (version & kTiledFlag) != 0;
    if (version & kLongNamesFlag) longest_ = 255;

    std::size_t at = 8;
    for (;;) {
        if (at >= bytes_.size())
            return refuse(bytes_.size() < kExrHeaderLimit ? "The file ends inside its header."
                                                           : "The header does not end within the file's first 4 MB.");
        if (bytes_[at] == 0) break;
        std::string name, type;
        if (!text(at, name, longest_) || !text(at, type, longest_) || bytes_.size() - at < 4)
            return refuse("The header is damaged (an attribute's name or type).");
        const std::uint32_t size = u32At(bytes_.data() + at);
        at += 4;
        if (size > bytes_.size() - at) return refuse("Attribute " + name + " runs past the header.");
        if (!attribute(name, type, bytes_.data() + at, size)) return false;
        at += size;
    }
    header_.headerEnd = at + 1;
    if (!saw("channels") || !saw("compression") || !saw("dataWindow"))
        return refuse("The header lacks its channels, compression or data window.");
    if (header_.tiled && !saw("tiles")) return refuse("The tiled file has no tile description.");
    if (header_.compression > 9) return refuse("Unknown compression " + std::to_string(header_.compression) + ".");

    const std::int64_t width = xMax_ - header_.xMin + 1, length = yMax_ - header_.yMin + 1;
    if (width < 1 || width > kLargestImageSide || length < 1 || length > kLargestImageSide)
        return refuse("Image size not supported: width and length must be 1 to 65535 pixels.");
    header_.width = static_cast<std::uint32_t>(width);
    header_.length = static_cast<std::uint32_t>(length);

    std::uint64_t bytesPerPixel = 0;
    for (const ExrChannel& c : header_.channels) bytesPerPixel += c.type == ExrPixelType::Half ? 2 : 4;
    std::uint64_t chunkHeaderBytes = 8;  // a scanline chunk's first row and size
    if (!header_.tiled) {
        header_.chunks = (header_.length + rowsPerBlock(header_.compression) - 1) / rowsPerBlock(header_.compression);
        header_.pixelBytes = std::uint64_t{header_.width} * header_.length * bytesPerPixel;
    } else {
        if (header_.tileWidth < 1 || header_.tileWidth > kLargestImageSide || header_.tileHeight < 1 ||
            header_.tileHeight > kLargestImageSide)
            return refuse("Tile size not supported: tiles must be 1 to 65535 pixels a side.");
        chunkHeaderBytes = 20;  // a tile's position, levels and size
        // A tile is decoded whole, also where it reaches past the image; one far larger than the
        // image would have memory made for pixels no file holds.
        const std::uint64_t tileBytes = std::uint64_t{header_.tileWidth} * header_.tileHeight * bytesPerPixel;
        if (tileBytes > std::max(kLargestTileBytes, 2 * std::uint64_t{header_.width} * header_.length * bytesPerPixel))
            return refuse("The tiles (" + std::to_string(header_.tileWidth) + " x " + std::to_string(header_.tileHeight) +
                          ") are far larger than the image (" + std::to_string(header_.width) + " x " +
                          std::to_string(header_.length) + ").");
        const bool up = header_.roundUp;
        const std::uint32_t xLevels = header_.levels == ExrLevels::One ? 1
                                    : header_.levels == ExrLevels::Mipmap
                                        ? levelLog2(std::max(header_.width, header_.length), up) + 1
                                        : levelLog2(header_.width, up) + 1;
        const std::uint32_t yLevels = header_.levels == ExrLevels::Ripmap ? levelLog2(header_.length, up) + 1 : 1;
        header_.xLevels = xLevels;
        header_.yLevels = yLevels;
        for (std::uint32_t ly = 0; ly < yLevels; ++ly)
            for (std::uint32_t lx = 0; lx < xLevels; ++lx) {
                const std::uint64_t w = levelSide(header_.width, lx, up);
                const std::uint64_t h = levelSide(header_.length, header_.levels == ExrLevels::Ripmap ? ly : lx, up);
                const std::uint64_t across = (w + header_.tileWidth - 1) / header_.tileWidth;
                const std::uint64_t down = (h + header_.tileHeight - 1) / header_.tileHeight;
                header_.levelTiles.emplace_back(across, down);
                header_.chunks += across * down;
                header_.pixelBytes += w * h * bytesPerPixel;
            }
    }
    if (chunkCount_ >= 0 && static_cast<std::uint64_t>(chunkCount_) != header_.chunks)
        return refuse("The chunk count " + std::to_string(chunkCount_) + " does not match the image's " +
                      std::to_string(header_.chunks) + " chunks.");
    // Every chunk has its place in the offset table and a header of its own in the file; what the
    // chunks decode to is bounded by the compression's largest ratio. A small file that claims a
    // large image is refused here, before anything the size of the image is allocated.
    const std::uint64_t rest = source.size() - header_.headerEnd;
    if (header_.chunks > rest / (8 + chunkHeaderBytes))
        return refuse("The file is too short for the image size in its header.");
    const std::uint64_t data = rest - header_.chunks * (8 + chunkHeaderBytes);
    if (header_.pixelBytes > data * exrLargestRatio(header_.compression))
        return refuse("The file is too short for the image size in its header.");
    return true;
}

}  // namespace

std::string exrCompressionName(std::uint8_t compression) {
    static const char* const kNames[] = {"none", "RLE", "ZIPS", "ZIP", "PIZ", "PXR24", "B44", "B44A", "DWAA", "DWAB"};
    return compression < std::size(kNames) ? kNames[compression] : "";
}

std::uint64_t exrLargestRatio(std::uint8_t compression) {
    switch (compression) {
        case 0: return 1;
        case 1: return 64;
        default: return 1032;
    }
}

namespace {

bool offsetTableFits(std::span<const std::uint8_t> file, const ExrHeader& header) {
    return header.headerEnd <= file.size() && header.chunks <= (file.size() - header.headerEnd) / 8;
}

// Where chunk `i` lies, as the offset table says.
std::uint64_t chunkOffset(std::span<const std::uint8_t> file, const ExrHeader& header, std::uint64_t i) {
    const std::uint8_t* entry = &file[header.headerEnd + 8 * i];
    return std::uint64_t{u32At(entry)} | std::uint64_t{u32At(entry + 4)} << 32;
}

}  // namespace

bool exrTileChunksValid(std::span<const std::uint8_t> file, const ExrHeader& header) {
    if (!offsetTableFits(file, header)) return false;
    for (std::uint64_t i = 0; i < header.chunks; ++i) {
        const std::uint64_t at = chunkOffset(file, header, i);
        if (at > file.size() || file.size() - at < 20) return false;
        const std::int32_t tx = i32At(&file[at]), ty = i32At(&file[at + 4]);
        const std::int32_t lx = i32At(&file[at + 8]), ly = i32At(&file[at + 12]);
        // A mipmap's levels are (l, l), a ripmap's any (x, y), a single level's (0, 0).
        const bool mipmap = header.levels == ExrLevels::Mipmap;
        if (lx < 0 || ly < 0 || static_cast<std::uint32_t>(lx) >= header.xLevels ||
            (mipmap ? ly != lx : static_cast<std::uint32_t>(ly) >= header.yLevels))
            return false;
        const auto& [across, down] =
            header.levelTiles[header.levels == ExrLevels::Ripmap ? static_cast<std::size_t>(ly) * header.xLevels + lx
                                                                 : static_cast<std::size_t>(lx)];
        if (tx < 0 || ty < 0 || static_cast<std::uint64_t>(tx) >= across || static_cast<std::uint64_t>(ty) >= down)
            return false;
    }
    return true;
}

bool exrScanlineChunksValid(std::span<const std::uint8_t> file, const ExrHeader& header) {
    if (!offsetTableFits(file, header)) return false;
    const std::uint32_t rows = rowsPerBlock(header.compression);
    std::vector<bool> seen(static_cast<std::size_t>(header.chunks), false);
    for (std::uint64_t i = 0; i < header.chunks; ++i) {
        const std::uint64_t at = chunkOffset(file, header, i);
        if (at > file.size() || file.size() - at < 8) return false;
        const std::int64_t first = std::int64_t{i32At(&file[at])} - header.yMin;
        if (first < 0 || first % rows != 0 || static_cast<std::uint64_t>(first / rows) >= header.chunks) return false;
        if (seen[static_cast<std::size_t>(first / rows)]) return false;
        seen[static_cast<std::size_t>(first / rows)] = true;
    }
    return true;
}

ExrHeader readExrHeader(ByteSource& source) {
    ExrHeader header;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(source.size(), kExrHeaderLimit)));
    bytes.resize(source.readUpTo(0, bytes.data(), bytes.size()));
    Walk(std::move(bytes), header).run(source);
    return header;
}

}  // namespace kelvarin
