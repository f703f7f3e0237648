#include "formats/exr_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "formats/exr_header.h"

// tinyexr is a header of its own implementation: compiled here, once, with zlib (which the
// program links already) in place of its bundled deflate, and without threads.
#define TINYEXR_USE_MINIZ 0
#define TINYEXR_USE_THREAD 0
#define TINYEXR_USE_OPENMP 0
#define TINYEXR_IMPLEMENTATION
// Every buffer tinyexr allocates starts as zeros: a tile or block it does not fill wholly (a
// damaged or hostile chunk) leaves zeros there, not whatever memory held. The C library's
// headers come first, so that the macro renames no declaration of theirs.
// Some of tinyexr's asserts test the file's data: they are compiled out in every build, so that a
// debug build meets a damaged file as the release and fuzzed builds do, not by aborting.
#include <cstdlib>
#include <stdlib.h>
#ifndef NDEBUG
#define NDEBUG
#define KELVARIN_UNDEFINE_NDEBUG
#endif
#define malloc(size) calloc(1, (size))
#include <tinyexr.h>
#undef malloc
#ifdef KELVARIN_UNDEFINE_NDEBUG
#undef NDEBUG
#undef KELVARIN_UNDEFINE_NDEBUG
#endif

namespace kelvarin {

namespace {

const std::uint8_t kMagic[4] = {0x76, 0x2F, 0x31, 0x01};

std::string typeText(ExrPixelType type) {
    switch (type) {
        case ExrPixelType::Half: return "half-float";
        case ExrPixelType::Float: return "32-bit float";
        case ExrPixelType::Uint: return "32-bit unsigned";
    }
    return "";
}

std::size_t bytesOf(ExrPixelType type) { return type == ExrPixelType::Half ? 2 : 4; }

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// tinyexr decodes the whole image at once (every level, every channel), from the whole file in
// memory: the format's chunks may come in any order, so the pixels are held until the job is done
// with them. The header has bounded what that can take by the file's size.
class ExrRows final : public RowDecoder {
public:
    ExrRows(ByteSource& source, ExrHeader header, std::vector<std::string> used, ExrPixelType type)
        : source_(source), header_(std::move(header)), used_(std::move(used)), type_(type) {
        InitEXRHeader(&exr_);
        InitEXRImage(&image_);
    }
    // A header that failed to parse may hold parts already (freed here); an image that failed to
    // load has been freed by tinyexr itself.
    ~ExrRows() override {
        if (imageLoaded_) FreeEXRImage(&image_);
        FreeEXRHeader(&exr_);
    }
    ExrRows(const ExrRows&) = delete;
    ExrRows& operator=(const ExrRows&) = delete;

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override {
        if (!loaded_) {
            // A load that failed once is not tried again: the reason stays.
            if (tried_) return false;
            tried_ = true;
            if (!load()) return false;
        }
        const std::size_t sample = bytesOf(type_);
        const std::size_t pixel = sample * planes_.size();
        for (std::uint32_t y = first; y < first + count && y < header_.length; ++y) {
            std::uint8_t* row = out + static_cast<std::size_t>(y - first) * header_.width * pixel;
            for (std::size_t c = 0; c < planes_.size(); ++c)
                for (std::uint32_t x = 0; x < header_.width; ++x) {
                    const std::uint8_t* from = at(planes_[c], x, y, sample);
                    if (from) {
                        std::memcpy(row + x * pixel + c * sample, from, sample);
                    } else {
                        std::memset(row + x * pixel + c * sample, 0, sample);
                    }
                }
        }
        return true;
    }

private:
    bool load();
    const std::uint8_t* at(int channel, std::uint32_t x, std::uint32_t y, std::size_t sample) const {
        if (!header_.tiled) {
            // tinyexr turns the rows of a file written bottom row first upside down; the chunks
            // name their rows, so the image is the same in either order.
            if (exr_.line_order == 1) y = header_.length - 1 - y;
            return image_.images[channel] + (static_cast<std::size_t>(y) * header_.width + x) * sample;
        }
        const std::uint32_t tx = x / header_.tileWidth, ty = y / header_.tileHeight;
        const EXRTile* tile = tiles_[static_cast<std::size_t>(ty) * tilesAcross_ + tx];
        if (!tile) return nullptr;
        const std::uint32_t ix = x % header_.tileWidth, iy = y % header_.tileHeight;
        return tile->images[channel] + (static_cast<std::size_t>(iy) * header_.tileWidth + ix) * sample;
    }
    bool failWith(const std::string& what, const char* err) {
        std::string why = what;
        if (err) {
            why += std::string(": ") + err;
            FreeEXRErrorMessage(err);
        }
        if (why.empty() || why.back() != '.') why += '.';
        return fail(why);
    }

    ByteSource& source_;
    ExrHeader header_;
    std::vector<std::string> used_;
    ExrPixelType type_;
    EXRHeader exr_{};
    EXRImage image_{};
    bool tried_ = false, imageLoaded_ = false, loaded_ = false;
    std::vector<int> planes_;  // tinyexr's channel index of each output channel
    std::vector<const EXRTile*> tiles_;
    std::uint32_t tilesAcross_ = 0;
};

bool ExrRows::load() {
    try {
        // tinyexr's PIZ decoder copies its bitmap (up to 8 KiB) without checking that the chunk
        // holds it: zeros beyond the file's bytes keep such a read inside the buffer. tinyexr is
        // told the file's own size.
        constexpr std::size_t kOverread = 64 * 1024;
        const auto size = static_cast<std::size_t>(source_.size());
        std::vector<std::uint8_t> file(size + kOverread, 0);
        if (!source_.readAt(0, file.data(), size)) return fail("The file could not be read.");
        if (header_.tiled && !exrTileChunksValid(std::span<const std::uint8_t>(file.data(), size), header_))
            return fail("A tile of the image lies outside the file or names a tile the image does not have.");
        if (!header_.tiled && !exrScanlineChunksValid(std::span<const std::uint8_t>(file.data(), size), header_))
            return fail("A block of scanlines lies outside the file, or names rows another block holds.");
        EXRVersion version{};
        if (ParseEXRVersionFromMemory(&version, file.data(), size) != TINYEXR_SUCCESS)
            return fail("The OpenEXR version field cannot be read.");
        const char* err = nullptr;
        if (ParseEXRHeaderFromMemory(&exr_, &version, file.data(), size, &err) != TINYEXR_SUCCESS)
            return failWith("The header cannot be decoded", err);
        const int width = exr_.data_window.max_x - exr_.data_window.min_x + 1;
        const int length = exr_.data_window.max_y - exr_.data_window.min_y + 1;
        if (width != static_cast<int>(header_.width) || length != static_cast<int>(header_.length) ||
            (exr_.tiled != 0) != header_.tiled)
            return fail("The header changed since the file was opened.");
        for (const std::string& name : used_) {
            int index = -1;
            for (int c = 0; c < exr_.num_channels; ++c)
                if (name == exr_.channels[c].name) index = c;
            if (index < 0) return fail("Channel " + name + " is missing.");
            planes_.push_back(index);
            // Halves mixed with floats are widened, which is exact.
            if (type_ == ExrPixelType::Float) exr_.requested_pixel_types[index] = TINYEXR_PIXELTYPE_FLOAT;
        }
        // On bad scanline data tinyexr frees the image it was filling, but by a channel count it
        // sets only on success: given beforehand, its planes are freed too instead of leaking.
        image_.num_channels = exr_.num_channels;
        if (LoadEXRImageFromMemory(&image_, &exr_, file.data(), size, &err) != TINYEXR_SUCCESS)
            return failWith("The pixel data cannot be decoded", err);
        imageLoaded_ = true;
        for (int index : planes_)
            if (exr_.pixel_types[index] != static_cast<int>(type_)) return fail("A channel decoded to another type.");
        if (header_.tiled) {
            tilesAcross_ = (header_.width + header_.tileWidth - 1) / header_.tileWidth;
            const std::uint32_t tilesDown = (header_.length + header_.tileHeight - 1) / header_.tileHeight;
            tiles_.assign(static_cast<std::size_t>(tilesAcross_) * tilesDown, nullptr);
            // The first image is level 0; the tiles of the smaller levels are not used.
            for (int t = 0; t < image_.num_tiles; ++t) {
                const EXRTile& tile = image_.tiles[t];
                if (tile.level_x != 0 || tile.level_y != 0 || tile.offset_x < 0 || tile.offset_y < 0 ||
                    static_cast<std::uint32_t>(tile.offset_x) >= tilesAcross_ ||
                    static_cast<std::uint32_t>(tile.offset_y) >= tilesDown)
                    continue;
                tiles_[static_cast<std::size_t>(tile.offset_y) * tilesAcross_ + tile.offset_x] = &tile;
            }
            if (std::count(tiles_.begin(), tiles_.end(), nullptr) != 0) return fail("Tiles of the image are missing.");
        } else if (!image_.images || image_.width != width || image_.height != length) {
            return fail("The scanlines do not cover the image.");
        }
        loaded_ = true;
    } catch (const std::bad_alloc&) {
        return fail("Not enough memory to decode the image.");
    } catch (const std::exception&) {
        // tinyexr checks some of its reads with std::vector::at: what the header walk let through
        // and it still finds out of range is a damaged file, not a reason to end the program.
        return fail("The header or the pixel data is damaged.");
    }
    return true;
}

}  // namespace

bool sniffExr(std::span<const std::uint8_t> head) {
    return head.size() >= 4 && std::equal(std::begin(kMagic), std::end(kMagic), head.begin());
}

OpenedSource openExr(ByteSource& source) {
    OpenedSource opened;
    opened.kind = "OpenEXR";
    ExrHeader header = readExrHeader(source);
    if (header.report.refused()) {
        opened.report = std::move(header.report);
        return opened;
    }
    ReaderReport& report = opened.report;
    const auto refuse = [&](const std::string& what) {
        report.lines.clear();
        report.refuse(unreadableSource("OpenEXR", what));
        return std::move(opened);
    };
    if (header.compression >= 5)
        return refuse("Compression " + exrCompressionName(header.compression) + " is not supported.");

    // R, G, B when the file has them all, else its luminance Y, else its only channel; alpha
    // beside them when there is an A.
    const auto find = [&](const std::string& name) -> const ExrChannel* {
        for (const ExrChannel& c : header.channels)
            if (c.name == name) return &c;
        return nullptr;
    };
    std::vector<std::string> used;
    if (find("R") && find("G") && find("B")) {
        used = {"R", "G", "B"};
    } else if (find("Y")) {
        used = {"Y"};
    } else {
        std::vector<std::string> colours;
        for (const ExrChannel& c : header.channels)
            if (c.name != "A") colours.push_back(c.name);
        if (colours.size() != 1 && !(colours.empty() && find("A")))
            return refuse("No R, G, B or Y channel and more than one other: " +
                          joined(colours) + ".");
        used = colours.empty() ? std::vector<std::string>{"A"} : colours;
    }
    const bool alpha = used.front() != "A" && find("A") != nullptr;
    if (alpha) used.push_back("A");

    ExrPixelType type = find(used.front())->type;
    for (const std::string& name : used) {
        const ExrPixelType t = find(name)->type;
        if (t == type) continue;
        if (t == ExrPixelType::Uint || type == ExrPixelType::Uint)
            return refuse("Channels " + joined(used) + " mix unsigned and floating-point samples.");
        type = ExrPixelType::Float;
    }
    std::vector<std::string> unused;
    for (const ExrChannel& c : header.channels)
        if (std::find(used.begin(), used.end(), c.name) == used.end()) unused.push_back(c.name);

    report.say("OpenEXR image: " + std::to_string(header.width) + " x " + std::to_string(header.length) + " pixels");
    std::string layout = typeText(type) + " " + joined(used) + ", " + exrCompressionName(header.compression);
    if (header.tiled) {
        layout += ", tiled " + std::to_string(header.tileWidth) + " x " + std::to_string(header.tileHeight);
        if (header.levels != ExrLevels::One)
            layout += std::string(header.levels == ExrLevels::Mipmap ? ", mipmap" : ", ripmap") + " (level 0 used)";
    } else {
        layout += ", scanlines";
    }
    report.say(layout);
    if (!unused.empty()) report.say("Channels " + joined(unused) + " not used.");

    opened.width = header.width;
    opened.length = header.length;
    opened.layout.channels = static_cast<std::uint32_t>(used.size());
    opened.layout.alpha = alpha;
    opened.layout.type = type == ExrPixelType::Uint ? SampleType::Unsigned : SampleType::Float;
    opened.layout.bits = type == ExrPixelType::Half ? 16 : 32;
    opened.layout.maxValue = type == ExrPixelType::Uint ? 0xFFFFFFFFull : 0;
    opened.rows = std::make_unique<ExrRows>(source, std::move(header), std::move(used), type);
    return opened;
}

}  // namespace kelvarin
