#include "formats/png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "formats/png_decode.h"

namespace kelvarin {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature{137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::uint32_t kLargestLength = 0x7FFFFFFF;
// Deflate never makes more than about 1032 bytes of one: a file whose image data is smaller
// than that share of what the image inflates to cannot be a whole image, only a claim.
constexpr std::uint64_t kDeflateLargestRatio = 1032;
// An interlaced image is held whole while its seven passes come in.
constexpr std::uint64_t kInterlacedLargestBytes = std::uint64_t{4} << 30;

std::uint32_t bigEndian32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

bool isLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The CRC over the chunk's name and data, read in blocks, against the one stored after them.
bool crcMatches(ByteSource& source, std::uint64_t chunk, std::uint32_t length) {
    std::vector<std::uint8_t> block(std::min<std::uint32_t>(length, 65536) + 4);
    uLong crc = crc32(0L, Z_NULL, 0);
    std::uint64_t at = chunk + 4;
    std::uint64_t left = std::uint64_t{length} + 4;  // the name, then the data
    while (left > 0) {
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        if (!source.readAt(at, block.data(), step)) return false;
        crc = crc32(crc, block.data(), static_cast<uInt>(step));
        at += step;
        left -= step;
    }
    std::uint8_t stored[4];
    return source.readAt(at, stored, 4) && bigEndian32(stored) == crc;
}

bool validDepth(std::uint32_t colourType, std::uint32_t depth) {
    switch (colourType) {
        case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6: return depth == 8 || depth == 16;
        default: return false;
    }
}

std::string describe(const PngImage& image) {
    const std::string bits = std::to_string(image.depth) + "-bit ";
    std::string kind;
    switch (image.colourType) {
        case 0: kind = "grey"; break;
        case 2: kind = "RGB"; break;
        case 3: kind = "palette of " + std::to_string(image.palette.size() / 3) + " colours"; break;
        case 4: kind = "grey + alpha"; break;
        default: kind = "RGBA"; break;
    }
    return bits + kind + ", Deflate" + (image.interlaced ? ", Adam7 interlaced" : "");
}

// The chunks that would change what the samples mean if they were applied; none is.
struct NotApplied {
    const char* name;
    const char* what;
};
constexpr std::array<NotApplied, 5> kNotApplied{{{"tRNS", "transparency"},
                                                 {"gAMA", "a gamma value"},
                                                 {"cHRM", "chromaticities"},
                                                 {"sRGB", "an sRGB intent"},
                                                 {"iCCP", "an ICC profile"}}};

class PngOpen {
public:
    explicit PngOpen(ByteSource& source) : source_(source) { opened_.kind = "PNG"; }
    OpenedSource run();

private:
    bool refuse(const std::string& what) { return opened_.report.refuse(unreadableSource("PNG", what)); }
    bool walkChunks();
    bool takeHeader(std::uint64_t chunk, std::uint32_t length);
    bool takePalette(std::uint64_t chunk, std::uint32_t length);
    bool judgeSize();

    ByteSource& source_;
    OpenedSource opened_;
    PngImage image_;
    std::uint64_t idatBytes_ = 0;
    std::vector<bool> carried_ = std::vector<bool>(kNotApplied.size(), false);
};

bool PngOpen::walkChunks() {
    const std::uint64_t size = source_.size();
    std::uint64_t at = kSignature.size();
    bool haveHeader = false, seenIdat = false, idatEnded = false;
    for (;;) {
        std::uint8_t head[8];
        if (!source_.readAt(at, head, sizeof head)) return refuse("The file ends before its IEND chunk.");
        const std::uint32_t length = bigEndian32(head);
        const std::string name(reinterpret_cast<const char*>(head + 4), 4);
        if (!std::all_of(head + 4, head + 8, isLetter))
            return refuse("The chunk at byte " + std::to_string(at) + " has no valid name: the file is damaged.");
        if (length > kLargestLength) return refuse("Chunk " + name + " claims a length no PNG chunk can have.");
        if (std::uint64_t{length} + 12 > size - at) return refuse("The file ends inside chunk " + name + ".");
        if (!haveHeader && name != "IHDR") return refuse("The file does not begin with an IHDR chunk.");

        if (name == "IDAT") {
            if (idatEnded) return refuse("The IDAT chunks do not follow one another.");
            if (!seenIdat) image_.firstIdat = at;
            seenIdat = true;
            idatBytes_ += length;  // their CRCs are checked as the rows are decoded
        } else {
            idatEnded = seenIdat;
            if (!crcMatches(source_, at, length)) return refuse("Bad CRC in chunk " + name + ".");
            if (name == "IHDR") {
                if (haveHeader) return refuse("The file has a second IHDR chunk.");
                haveHeader = true;
                if (!takeHeader(at, length)) return false;
            } else if (name == "PLTE") {
                if (seenIdat) return refuse("The palette (PLTE) comes after the image data.");
                if (!takePalette(at, length)) return false;
            } else if (name == "IEND") {
                break;
            } else if (name[0] >= 'A' && name[0] <= 'Z') {
                return refuse("Unknown critical chunk " + name + ": the image cannot be decoded without it.");
            } else {
                for (std::size_t i = 0; i < kNotApplied.size(); ++i)
                    if (name == kNotApplied[i].name) carried_[i] = true;
            }
        }
        at += std::uint64_t{length} + 12;
    }
    if (!seenIdat) return refuse("The file has no image data (no IDAT chunk).");
    if (image_.colourType == 3 && image_.palette.empty())
        return refuse("The palette image has no palette (PLTE chunk).");
    return true;
}

bool PngOpen::takeHeader(std::uint64_t chunk, std::uint32_t length) {
    std::uint8_t h[13];
    if (length != sizeof h) return refuse("The IHDR chunk has the wrong length.");
    if (!source_.readAt(chunk + 8, h, sizeof h)) return refuse("The file ends inside chunk IHDR.");
    image_.width = bigEndian32(h);
    image_.height = bigEndian32(h + 4);
    image_.depth = h[8];
    image_.colourType = h[9];
    if (image_.width == 0 || image_.height == 0 || image_.width > kLargestLength || image_.height > kLargestLength)
        return refuse("Image size not supported: width and height must be 1 to 2147483647 pixels.");
    if (!validDepth(image_.colourType, image_.depth))
        return refuse("Bit depth " + std::to_string(image_.depth) + " with colour type " +
                      std::to_string(image_.colourType) + " is not a PNG pixel format.");
    if (h[10] != 0) return refuse("Unknown compression method " + std::to_string(h[10]) + ".");
    if (h[11] != 0) return refuse("Unknown filter method " + std::to_string(h[11]) + ".");
    if (h[12] > 1) return refuse("Unknown interlace method " + std::to_string(h[12]) + ".");
    image_.interlaced = h[12] == 1;
    return true;
}

bool PngOpen::takePalette(std::uint64_t chunk, std::uint32_t length) {
    if (image_.colourType == 0 || image_.colourType == 4) return refuse("A grey image carries a palette (PLTE).");
    if (!image_.palette.empty()) return refuse("The file has a second palette (PLTE).");
    if (length == 0 || length % 3 != 0 || length > 3 * 256) return refuse("The palette (PLTE) has a bad length.");
    // Only a palette image takes its colours from it; for RGB it is a suggestion for displays.
    if (image_.colourType != 3) return true;
    image_.palette.resize(length);
    if (!source_.readAt(chunk + 8, image_.palette.data(), length)) return refuse("The file ends inside chunk PLTE.");
    return true;
}

bool PngOpen::judgeSize() {
    const std::uint64_t inflated = pngInflatedBytes(image_);
    if (idatBytes_ == 0 || inflated / kDeflateLargestRatio > idatBytes_)
        return refuse("The image data (" + std::to_string(idatBytes_) + " bytes) is too small for a " +
                      std::to_string(image_.width) + " x " + std::to_string(image_.height) +
                      " image: the file is damaged or not what it claims.");
    const PixelLayout layout = image_.layout();
    const double whole = static_cast<double>(image_.width) * image_.height * static_cast<double>(layout.bytesPerPixel());
    if (image_.interlaced && whole > static_cast<double>(kInterlacedLargestBytes))
        return refuse("An interlaced image is decoded whole in memory; this one would need more than 4 GiB.");
    return true;
}

OpenedSource PngOpen::run() {
    std::uint8_t signature[8];
    if (!source_.readAt(0, signature, sizeof signature) || !std::equal(kSignature.begin(), kSignature.end(), signature)) {
        refuse("Not a PNG file.");
        return std::move(opened_);
    }
    if (!walkChunks() || !judgeSize()) return std::move(opened_);

    ReaderReport& report = opened_.report;
    report.say("PNG image: " + std::to_string(image_.width) + " x " + std::to_string(image_.height) + " pixels");
    report.say(describe(image_));
    std::string carried;
    for (std::size_t i = 0; i < kNotApplied.size(); ++i) {
        if (!carried_[i]) continue;
        if (!carried.empty()) carried += ", ";
        carried += std::string(kNotApplied[i].what) + " (" + kNotApplied[i].name + ")";
    }
    if (!carried.empty()) report.say("Carries " + carried + ": not applied, samples are taken as stored.");

    opened_.width = image_.width;
    opened_.length = image_.height;
    opened_.layout = image_.layout();
    opened_.rows = makePngRowDecoder(source_, std::move(image_));
    return std::move(opened_);
}

}  // namespace

bool sniffPng(std::span<const std::uint8_t> head) {
    return head.size() >= kSignature.size() && std::equal(kSignature.begin(), kSignature.end(), head.begin());
}

OpenedSource openPng(ByteSource& source) { return PngOpen(source).run(); }

}  // namespace kelvarin
