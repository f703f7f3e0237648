// The seam every image source goes through, as in a decoder library: a table of formats, each
// recognised by its first bytes (never by its name), a header reader that describes the source
// only (its size, its pixel layout, what the log should say of it), and a row decoder that gives
// the pixels row by row over the file layer. What becomes of the pixels is the job's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/height_range.h"
#include "base/pixel_layout.h"
#include "formats/byte_source.h"
#include "formats/reader_report.h"

namespace kelvarin {

// Gives the pixels of an opened source. Rows are asked for in order, in runs: [0, n), [n, m), ...;
// asking for row 0 again starts a new pass over the image (the job's analysis pass comes before
// its conversion pass). A decoder refuses data it cannot decode (bad, short, or inflating
// past what the rows can hold) with a message naming what is wrong, never by crashing, and
// reads nothing outside the file's bounds.
class RowDecoder {
public:
    virtual ~RowDecoder() = default;
    // Decodes rows [first, first + count) into `out`, which holds count x width x bytesPerPixel
    // bytes. False when they could not be decoded: failure() says why, for a message box.
    [[nodiscard]] virtual bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) = 0;
    const std::string& failure() const { return failure_; }
    // The box of a decoder that refuses as its format's reader refuses (its own caption and log
    // lines); nullptr where a box is made of failure().
    const Refusal* refusal() const { return refusal_ ? &*refusal_ : nullptr; }

    // Formats whose rows come in pieces decoded on their own (TIFF strips and tiles) can decode
    // bands of rows on several threads: another decoder of the same rows, which may be asked for
    // any run of rows in any order, at the same time as this one (its ByteSource must then take
    // reads from several threads). Nothing where the rows form one stream, or where a piece is
    // so large that each thread would hold and decode it whole.
    virtual std::unique_ptr<RowDecoder> clone() const { return nullptr; }
    // The rows one piece holds: bands of a multiple of this many rows decode each piece once.
    virtual std::uint32_t rowsPerPiece() const { return 1; }

protected:
    // Records why the rows could not be decoded. Returns false, so a decoder can `return fail(...)`.
    bool fail(std::string why) {
        failure_ = std::move(why);
        return false;
    }
    bool refuse(Refusal why) {
        failure_ = why.text;
        refusal_ = std::move(why);
        return false;
    }

private:
    std::string failure_;
    std::optional<Refusal> refusal_;
};

// What an elevation file says of its heights beside the samples themselves.
struct HeightFacts {
    std::optional<double> noData;            // the void value, as the file writes it
    std::string heightUnit;                  // "m" when the file says its heights are metres
    std::optional<GroundPlacement> placement;
};

// What a header reader found. A refused source has its reason in report.refusal (the box names
// what the file is and what is wrong), and no decoder.
struct OpenedSource {
    ReaderReport report;  // what was found, a line each: kind, size, depth, channels, compression
    std::string kind;     // "PNG", "TIFF", "OpenEXR", ... for the report and the boxes
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    PixelLayout layout;
    HeightFacts heights;  // for one-channel signed or floating-point sources: their heights
    std::unique_ptr<RowDecoder> rows;  // reads from the ByteSource given to open(), which outlives it
};

struct SourceFormat {
    const char* id;    // "png", "tiff", ...
    const char* name;  // as the log and the boxes name it
    // True when the first bytes (as many of the first 64 as the file has) are this format's.
    bool (*sniff)(std::span<const std::uint8_t> head);
    OpenedSource (*open)(ByteSource& source);
    // The names such files usually have, for the open dialog's filter ("*.png;*.PNG").
    const char* patterns;
    // A format without content of its own is claimed by the file's name and size instead, and
    // opened knowing the name (which may say where the data lie); nullptr for the others.
    bool (*claimsName)(std::string_view fileName, std::uint64_t size);
    OpenedSource (*openNamed)(ByteSource& source, std::string_view fileName);
};

// Every format that opens through the table, in the order they are tried.
std::span<const SourceFormat> sourceFormats();
// The format whose sniff takes the source's first bytes; nullptr when none does.
const SourceFormat* sniffSourceFormat(ByteSource& source);
// The format that claims a file of this name (the path's last part is what counts) and size, or
// else the one whose sniff takes its first bytes; nullptr when none does.
const SourceFormat* findSourceFormat(ByteSource& source, std::string_view path);
// Opens the source with `format`, giving the name to a format that opens by name.
OpenedSource openSourceFormat(const SourceFormat& format, ByteSource& source, std::string_view path);

// Refusals every reader shares, so their boxes read alike.
Refusal unreadableSource(const std::string& kind, const std::string& what);
// The pixel data stop short of what the header announces.
Refusal truncatedSource();

}  // namespace kelvarin
