#include "formats/tiff_image_reader.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "base/number_text.h"
#include "formats/tiff_codecs.h"
#include "formats/tiff_directory.h"
#include "formats/tiff_height_facts.h"
#include "formats/tiff_image_rows.h"

namespace kelvarin {

namespace {

enum : std::uint16_t {
    kNewSubfileType = 254, kImageWidth = 256, kImageLength = 257, kBitsPerSample = 258, kCompression = 259,
    kPhotometric = 262, kFillOrder = 266, kStripOffsets = 273, kSamplesPerPixel = 277, kRowsPerStrip = 278,
    kStripByteCounts = 279, kPlanarConfiguration = 284, kTransferFunction = 301, kPredictor = 317,
    kColorMap = 320, kTileWidth = 322, kTileLength = 323, kTileOffsets = 324, kTileByteCounts = 325,
    kSampleFormat = 339, kIccProfile = 34675,
};

// Far more chunks than any real image has; a larger count only asks for memory.
constexpr std::uint64_t kMaxListed = std::uint64_t{1} << 32;
// How many directories are walked looking past reduced-resolution ones.
constexpr int kMaxDirectories = 64;

std::string compressionName(std::uint64_t c) {
    switch (c) {
        case 2: return "CCITT modified Huffman";
        case 3: return "CCITT Group 3 fax";
        case 4: return "CCITT Group 4 fax";
        case 6: return "old-style JPEG";
        case 7: return "JPEG";
        case 32809: return "ThunderScan";
        case 34661: return "JBIG";
        case 34676: case 34677: return "SGI LogLuv";
        case 34712: return "JPEG 2000";
        case 34887: return "LERC";
        case 34925: return "LZMA";
        case 50000: return "Zstandard";
        case 50001: return "WebP";
        case 50002: case 52546: return "JPEG XL";
        default: return "unknown";
    }
}

std::string photometricName(std::uint64_t p) {
    switch (p) {
        case 4: return "transparency mask";
        case 5: return "separated, CMYK";
        case 6: return "YCbCr";
        case 8: case 9: case 10: return "CIE L*a*b*";
        case 32803: return "colour filter array";
        case 32844: case 32845: return "SGI LogLuv";
        case 34892: return "linear raw";
        default: return "unknown";
    }
}

class TiffImageOpener {
public:
    TiffImageOpener(ByteSource& source, OpenedSource& opened) : source_(source), opened_(opened) {}
    bool run();

private:
    bool refuse(const std::string& what) { return opened_.report.refuse(unreadableSource("TIFF", what)); }
    std::uint64_t value(std::uint16_t tag, std::uint64_t fallback) const { return dir_.value(source_, tag, fallback); }
    bool chooseDirectory();
    bool samples();
    bool chunks();
    void describe();

    ByteSource& source_;
    OpenedSource& opened_;
    TiffDirectory dir_;
    TiffStorage s_;
    bool morePages_ = false;
    std::uint32_t extras_ = 0;
};

// The first directory, or past it the first one that is not a reduced-resolution copy.
bool TiffImageOpener::chooseDirectory() {
    const std::string error = readTiffDirectory(source_, 0, dir_);
    if (!error.empty()) return refuse(error);
    morePages_ = dir_.nextOffset != 0;
    std::set<std::uint64_t> seen;
    TiffDirectory next = dir_;
    for (int i = 0; i < kMaxDirectories && (next.value(source_, kNewSubfileType, 0) & 1) != 0; ++i) {
        if (next.nextOffset == 0 || !seen.insert(next.nextOffset).second) return true;
        if (!readTiffDirectory(source_, next.nextOffset, next).empty()) return true;
        if ((next.value(source_, kNewSubfileType, 0) & 1) == 0) {
            dir_ = next;
            morePages_ = true;
        }
    }
    return true;
}

bool TiffImageOpener::samples() {
    const std::uint64_t width = value(kImageWidth, 0), length = value(kImageLength, 0);
    if (!dir_.has(kImageWidth) || !dir_.has(kImageLength)) return refuse("The image has no ImageWidth or ImageLength.");
    if (width == 0 || length == 0 || width > 0xFFFFFFFFu || length > 0xFFFFFFFFu)
        return refuse("The image's size " + std::to_string(width) + " x " + std::to_string(length) + " is not usable.");
    s_.width = static_cast<std::uint32_t>(width);
    s_.length = static_cast<std::uint32_t>(length);
    s_.bigEndian = dir_.bigEndian;
    const std::uint64_t samples = value(kSamplesPerPixel, 1);
    if (samples == 0 || samples > 64) return refuse("SamplesPerPixel " + std::to_string(samples) + " is not usable.");
    s_.samples = static_cast<std::uint32_t>(samples);

    // Every sample of the pixel must be alike: one depth and one kind.
    std::vector<std::uint64_t> bits{1}, formats{1};
    if (dir_.has(kBitsPerSample) && !dir_.values(source_, kBitsPerSample, samples, bits))
        return refuse("BitsPerSample cannot be read.");
    if (dir_.has(kSampleFormat) && !dir_.values(source_, kSampleFormat, samples, formats))
        return refuse("SampleFormat cannot be read.");
    for (std::uint64_t b : bits)
        if (b != bits.front()) return refuse("The samples have different depths; that is not supported.");
    for (std::uint64_t f : formats)
        if (f != formats.front()) return refuse("The samples have different kinds; that is not supported.");
    const std::uint64_t depth = bits.front(), format = formats.front() == 4 ? 1 : formats.front();  // 4: void
    s_.bits = static_cast<std::uint32_t>(std::min<std::uint64_t>(depth, 0xFFFF));
    const std::string depthText = std::to_string(depth) + "-bit";
    if (format == 1) {
        s_.type = SampleType::Unsigned;
        if (depth == 0 || (depth > 16 && depth != 32))
            return refuse(depthText + " integer samples are not supported.");
    } else if (format == 2) {
        s_.type = SampleType::Signed;
        if (depth != 8 && depth != 16 && depth != 32) return refuse(depthText + " signed integer samples are not supported.");
    } else if (format == 3) {
        s_.type = SampleType::Float;
        if (depth != 16 && depth != 32 && depth != 64)
            return refuse(depthText + " floating-point samples are not supported.");
    } else {
        return refuse("SampleFormat " + std::to_string(format) + " is not supported.");
    }

    const std::uint64_t photometric = value(kPhotometric, samples >= 3 ? 2 : 1);
    std::uint32_t colour = 1;
    if (photometric == 2) {
        if (samples < 3) return refuse("An RGB image with fewer than 3 samples a pixel.");
        colour = 3;
    } else if (photometric == 3) {
        if (s_.type != SampleType::Unsigned || s_.bits > 16 || samples != 1)
            return refuse("A palette image needs one unsigned sample of 1 to 16 bits a pixel.");
        std::vector<std::uint64_t> map;
        const std::uint64_t entries = std::uint64_t{1} << s_.bits;
        if (!dir_.values(source_, kColorMap, 3 * entries, map) || map.size() != 3 * entries)
            return refuse("The palette image's ColorMap is missing or does not have 3 x 2^" + std::to_string(s_.bits) +
                          " entries.");
        s_.colourMap.assign(map.begin(), map.end());
        s_.palette = true;
    } else if (photometric > 1) {
        return refuse("PhotometricInterpretation " + std::to_string(photometric) + " (" + photometricName(photometric) +
                      ") is not supported.");
    }
    s_.whiteIsZero = photometric == 0;
    if (s_.whiteIsZero && s_.type != SampleType::Unsigned)
        return refuse("WhiteIsZero with signed or floating-point samples is not supported.");
    if (value(kFillOrder, 1) == 2) return refuse("FillOrder 2 (bits in reverse order) is not supported.");
    extras_ = s_.samples - colour;

    PixelLayout& l = s_.layout;
    // Extra samples beyond the first are dropped: a row holds at most four channels.
    l.channels = s_.palette ? 3 : colour + (extras_ > 0 ? 1 : 0);
    l.alpha = !s_.palette && extras_ > 0;
    l.type = s_.type;
    if (s_.palette) {
        l.bits = 16;
        l.maxValue = 65535;
    } else if (s_.type == SampleType::Unsigned && s_.bits <= 16) {
        l.bits = s_.bits <= 8 ? 8 : 16;
        l.maxValue = (std::uint64_t{1} << s_.bits) - 1;
    } else {
        l.bits = s_.bits;
        l.maxValue = s_.type == SampleType::Unsigned ? 0xFFFFFFFFu
                     : s_.type == SampleType::Signed ? (std::uint64_t{1} << (s_.bits - 1)) - 1
                                                      : 0;
    }
    return true;
}

bool TiffImageOpener::chunks() {
    const std::uint64_t compression = value(kCompression, 1);
    if (compression != 1 && compression != 5 && compression != 8 && compression != 32946 && compression != 32773)
        return refuse("Compression " + std::to_string(compression) + " (" + compressionName(compression) +
                      ") is not supported.");
    s_.compression = static_cast<TiffCompression>(compression);
    const std::uint64_t predictor = value(kPredictor, 1);
    const bool predicts = s_.compression == TiffCompression::Lzw || s_.compression == TiffCompression::Deflate ||
                          s_.compression == TiffCompression::AdobeDeflate;
    if (predicts && predictor != 1) {
        const bool aligned = s_.bits == 8 || s_.bits == 16 || s_.bits == 32 || s_.bits == 64;
        // Writers may difference floats as integers of their width; undoing it is the same.
        if (predictor == 2 && !aligned)
            return refuse("The horizontal predictor with " + std::to_string(s_.bits) + "-bit samples is not supported.");
        if (predictor == 3 && s_.type != SampleType::Float)
            return refuse("The floating-point predictor with integer samples is not supported.");
        if (predictor > 3) return refuse("Predictor " + std::to_string(predictor) + " is not supported.");
        s_.predictor = static_cast<std::uint16_t>(predictor);
    }
    const std::uint64_t planar = value(kPlanarConfiguration, 1);
    if (planar != 1 && planar != 2) return refuse("PlanarConfiguration " + std::to_string(planar) + " is not supported.");
    s_.separatePlanes = planar == 2 && s_.samples > 1;

    s_.tiled = dir_.has(kTileWidth) || dir_.has(kTileOffsets);
    std::uint64_t chunkWidth = s_.width, chunkLength = 0;
    if (s_.tiled) {
        chunkWidth = value(kTileWidth, 0);
        chunkLength = value(kTileLength, 0);
        if (chunkWidth == 0 || chunkLength == 0 || chunkWidth > 0xFFFFFFFFu || chunkLength > 0xFFFFFFFFu)
            return refuse("The tiles' size " + std::to_string(chunkWidth) + " x " + std::to_string(chunkLength) +
                          " is not usable.");
    } else {
        chunkLength = value(kRowsPerStrip, s_.length);
        if (chunkLength == 0 || chunkLength > s_.length) chunkLength = s_.length;
    }
    s_.chunkWidth = static_cast<std::uint32_t>(chunkWidth);
    s_.chunkLength = static_cast<std::uint32_t>(chunkLength);
    s_.across = static_cast<std::uint32_t>((s_.width + chunkWidth - 1) / chunkWidth);
    s_.down = static_cast<std::uint32_t>((s_.length + chunkLength - 1) / chunkLength);
    // A bomb: more pixels than the file's bytes could make at the compression's best. Counted in
    // floating point, as absurd sizes overflow 64 bits; once it passes, the counts below do not.
    const double rowBytes = static_cast<double>(s_.chunkRowBytes());
    const double decoded = (s_.tiled ? rowBytes * static_cast<double>(chunkLength) * s_.across * s_.down : rowBytes * s_.length) *
                           s_.decodedPlanes();
    if (decoded > static_cast<double>(source_.size()) * static_cast<double>(s_.maximumRatio()))
        return refuse("The file claims " + std::to_string(s_.width) + " x " + std::to_string(s_.length) +
                      " pixels, more than its " + std::to_string(source_.size()) + " bytes can hold.");
    const std::uint64_t planes = s_.separatePlanes ? s_.samples : 1;
    const std::uint64_t count = planes * s_.across * s_.down;
    const char* what = s_.tiled ? "tile" : "strip";
    if (!dir_.values(source_, s_.tiled ? kTileOffsets : kStripOffsets, kMaxListed, s_.offsets) || s_.offsets.size() < count)
        return refuse(std::string("The ") + what + " offsets are missing, unreadable or fewer than the image needs.");
    const std::uint64_t chunkBytes = s_.chunkRowBytes() * chunkLength;
    if (dir_.has(s_.tiled ? kTileByteCounts : kStripByteCounts)) {
        if (!dir_.values(source_, s_.tiled ? kTileByteCounts : kStripByteCounts, kMaxListed, s_.byteCounts) ||
            s_.byteCounts.size() < count)
            return refuse(std::string("The ") + what + " byte counts are unreadable or fewer than the image needs.");
    } else if (s_.compression == TiffCompression::None) {
        // Without byte counts an uncompressed chunk holds just its rows (the last strip fewer).
        s_.byteCounts.assign(s_.offsets.size(), chunkBytes);
        if (!s_.tiled)
            for (std::uint64_t i = s_.down - 1; i < count; i += s_.down)
                s_.byteCounts[i] = s_.chunkRowBytes() * (s_.length - (s_.down - 1) * chunkLength);
    } else {
        return refuse(std::string("The compressed ") + what + "s have no byte counts.");
    }
    s_.offsets.resize(count);
    s_.byteCounts.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (s_.offsets[i] > source_.size() || s_.byteCounts[i] > source_.size() - s_.offsets[i])
            return refuse(std::string(s_.chunkName()) + " " + std::to_string(i) + "'s data lies beyond the end of the file.");
    }

    if (s_.compression == TiffCompression::Lzw) {
        std::uint8_t head[2] = {};
        if (source_.readAt(s_.offsets[0], head, 2) && s_.byteCounts[0] >= 2 && isOldStyleLzw(head, 2))
            return refuse("The image uses the old-style LZW of early TIFF writers (bits in reverse order), which is "
                          "not supported.");
    }
    return true;
}

void TiffImageOpener::describe() {
    ReaderReport& r = opened_.report;
    r.say("TIFF image: " + std::to_string(s_.width) + " x " + std::to_string(s_.length) + " pixels");
    std::string kind = std::to_string(s_.bits) + "-bit ";
    if (s_.type == SampleType::Signed) kind += "signed ";
    if (s_.type == SampleType::Float) kind += "floating-point ";
    kind += s_.palette ? "palette" : s_.layout.colourChannels() == 3 ? "RGB" : "grey";
    if (s_.whiteIsZero) kind += " (white is zero)";
    if (extras_ == 1) kind += " with an extra sample";
    if (extras_ > 1) kind += " with " + std::to_string(extras_) + " extra samples (only the first is kept)";
    const char* compression = s_.compression == TiffCompression::None       ? "uncompressed"
                              : s_.compression == TiffCompression::Lzw      ? "LZW"
                              : s_.compression == TiffCompression::PackBits ? "PackBits"
                                                                            : "Deflate";
    kind += std::string(", ") + compression;
    if (s_.predictor == 2) kind += " with horizontal predictor";
    if (s_.predictor == 3) kind += " with floating-point predictor";
    kind += s_.tiled ? ", tiles of " + std::to_string(s_.chunkWidth) + " x " + std::to_string(s_.chunkLength)
                     : ", strips of " + std::to_string(s_.chunkLength) + (s_.chunkLength == 1 ? " row" : " rows");
    if (s_.separatePlanes) kind += ", separate planes";
    r.say(kind);
    std::string order = dir_.bigEndian ? "Big-endian (MM)" : "Little-endian (II)";
    order += dir_.bigTiff ? ", BigTIFF" : ", classic TIFF";
    if (morePages_) order += "; the file holds more images, the first full-resolution one is read";
    r.say(order);
    if (dir_.has(kIccProfile) || dir_.has(kTransferFunction))
        r.say(std::string("Carries ") + (dir_.has(kIccProfile) ? "an ICC profile" : "a transfer function") +
              ": not applied, samples are taken as stored.");
}

bool TiffImageOpener::run() {
    opened_.kind = "TIFF";
    if (!chooseDirectory() || !samples() || !chunks()) return false;
    describe();
    opened_.width = s_.width;
    opened_.length = s_.length;
    opened_.layout = s_.layout;
    if (s_.layout.colourChannels() == 1 && s_.type != SampleType::Unsigned) {
        opened_.heights = tiffHeightFacts(source_, dir_);
        if (opened_.heights.noData) opened_.report.say("No-data value " + numberText(*opened_.heights.noData) + " (GDAL_NODATA)");
        if (const auto& p = opened_.heights.placement)
            opened_.report.say("Pixel size" + numberText(p->pixelWidth) + " x" + numberText(p->pixelHeight) +
                               (p->units.empty() ? "" : " " + p->units) + ", origin" + numberText(p->originX) + "," +
                               numberText(p->originY) + " (GeoTIFF)");
    }
    opened_.rows = makeTiffRowDecoder(source_, std::move(s_));
    return true;
}

}  // namespace

bool sniffTiffImage(std::span<const std::uint8_t> head) {
    if (head.size() < 4) return false;
    const bool ii = head[0] == 'I' && head[1] == 'I' && head[3] == 0 && (head[2] == 42 || head[2] == 43);
    const bool mm = head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43);
    return ii || mm;
}

OpenedSource openTiffImage(ByteSource& source) {
    OpenedSource opened;
    TiffImageOpener(source, opened).run();
    return opened;
}

}  // namespace kelvarin
