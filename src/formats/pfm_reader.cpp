#include "formats/pfm_reader.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

#include "base/image_size.h"

namespace kelvarin {

namespace {

bool blank(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Each row is read where it lies, the bottom one last in the image and first in the file, and
// turned to the machine's byte order: nothing but the rows asked for is held.
class PfmRows final : public RowDecoder {
public:
    PfmRows(ByteSource& source, std::uint64_t dataOffset, std::uint32_t width, std::uint32_t length,
            std::uint32_t channels, bool little)
        : source_(source), dataOffset_(dataOffset), length_(length),
          rowBytes_(std::size_t{width} * channels * 4), little_(little) {}

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override {
        for (std::uint32_t y = first; y < first + count; ++y) {
            std::uint8_t* row = out + static_cast<std::size_t>(y - first) * rowBytes_;
            const std::uint64_t at = dataOffset_ + std::uint64_t{length_ - 1 - y} * rowBytes_;
            if (y >= length_ || !source_.readAt(at, row, rowBytes_))
                return fail("The file ends before row " + std::to_string(y) + " of the image.");
            if (little_ != (std::endian::native == std::endian::little))
                for (std::size_t i = 0; i < rowBytes_; i += 4) {
                    std::swap(row[i], row[i + 3]);
                    std::swap(row[i + 1], row[i + 2]);
                }
        }
        return true;
    }

private:
    ByteSource& source_;
    std::uint64_t dataOffset_;
    std::uint32_t length_;
    std::size_t rowBytes_;
    bool little_;
};

// Whitespace-separated words of the header block; `at` moves past the word.
std::string_view word(std::string_view block, std::size_t& at) {
    while (at < block.size() && blank(static_cast<std::uint8_t>(block[at]))) ++at;
    const std::size_t start = at;
    while (at < block.size() && !blank(static_cast<std::uint8_t>(block[at]))) ++at;
    return block.substr(start, at - start);
}

// A side: decimal digits only, 1 to 65535.
bool side(std::string_view text, std::uint32_t& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return true;
}

}  // namespace

bool sniffPfm(std::span<const std::uint8_t> head) {
    return head.size() >= 3 && head[0] == 'P' && (head[1] == 'F' || head[1] == 'f') && blank(head[2]);
}

OpenedSource openPfm(ByteSource& source) {
    OpenedSource opened;
    opened.kind = "PFM";
    const auto refuse = [&](const std::string& what) {
        opened.report.refuse(unreadableSource("PFM", what));
        return std::move(opened);
    };
    std::string block(kPfmHeaderBlock, '\0');
    block.resize(source.readUpTo(0, block.data(), block.size()));
    std::size_t at = 0;
    const std::string_view magic = word(block, at);
    if (magic != "PF" && magic != "Pf") return refuse("Not a PFM file.");
    std::uint32_t width = 0, length = 0;
    const std::string_view widthText = word(block, at), lengthText = word(block, at);
    const std::string_view scaleText = word(block, at);
    // The scale is the header's last word: exactly one blank follows it, then the samples.
    if (at >= block.size()) return refuse("The header does not end within the file's first 1024 bytes.");
    if (!side(widthText, width) || !side(lengthText, length))
        return refuse("The width and height are not whole numbers.");
    if (width < 1 || width > kLargestImageSide || length < 1 || length > kLargestImageSide)
        return refuse("Image size not supported: width and length must be 1 to 65535 pixels.");
    // Read with from_chars, which never follows the C library's locale.
    double scale = 0;
    const auto parsed = std::from_chars(scaleText.data(), scaleText.data() + scaleText.size(), scale);
    if (parsed.ec != std::errc() || parsed.ptr != scaleText.data() + scaleText.size() || !(scale != 0))
        return refuse("The scale " + std::string(scaleText) + " is not a number other than 0.");
    const std::uint64_t dataOffset = at + 1;
    const std::uint32_t channels = magic == "PF" ? 3 : 1;
    const std::uint64_t dataBytes = std::uint64_t{width} * length * channels * 4;
    if (source.size() < dataOffset || source.size() - dataOffset < dataBytes)
        return refuse("The file is too short for the image size in its header.");

    const bool little = scale < 0;
    opened.report.say("PFM image: " + std::to_string(width) + " x " + std::to_string(length) + " pixels");
    opened.report.say(std::string("32-bit float ") + (channels == 3 ? "RGB" : "grey") + ", " +
                      (little ? "little-endian" : "big-endian") + ", scale " + std::string(scaleText));
    opened.width = width;
    opened.length = length;
    opened.layout = PixelLayout{channels, false, SampleType::Float, 32, 0};
    opened.rows = std::make_unique<PfmRows>(source, dataOffset, width, length, channels, little);
    return opened;
}

}  // namespace kelvarin
