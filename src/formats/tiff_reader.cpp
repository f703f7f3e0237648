#include "formats/tiff_reader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/number_text.h"

namespace kelvarin {

namespace {

enum : std::uint16_t { kShort = 3, kLong = 4 };

// No chunky image of at most 65535 rows needs more strips than rows.
constexpr std::uint32_t kMaxStrips = 65535;

struct IfdEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    Field4 field{};  // the value field exactly as in the file
};

const char kTagIssue[] = "KELVARIN - Tag issue.";
const char kFileIssue[] = "KELVARIN - File issue.";

Refusal refusal(std::string text, const char* caption, std::vector<std::string> lines) {
    return {std::move(text), caption, std::move(lines)};
}

class TiffHeaderReader {
public:
    TiffHeaderReader(ByteSource& source, const TiffReadSettings& settings, TiffHeader& header)
        : source_(source), settings_(settings), header_(header), report_(header.report),
          fileSize_(source.size()) {}

    bool run();

private:
    bool entry(const IfdEntry& e);
    bool finish();

    std::string tagText(const IfdEntry& e) const { return numberText(static_cast<std::uint32_t>(e.tag)); }
    void logEntry(const IfdEntry& e, const std::string& text) { report_.say(tagText(e) + text); }

    std::uint16_t fromTwoBytes(const std::uint8_t* b) const { return kelvarin::fromTwoBytes(settings_.order, b); }
    std::uint32_t fromFourBytes(const std::uint8_t* b) const { return kelvarin::fromFourBytes(settings_.order, b); }
    std::optional<std::uint32_t> decoded(const IfdEntry& e) const {
        if (e.type == kShort) return fromTwoBytes(e.field.data());
        if (e.type == kLong) return fromFourBytes(e.field.data());
        return std::nullopt;
    }
    bool refuse(std::string text, const char* caption, std::vector<std::string> lines) {
        return report_.refuse(refusal(std::move(text), caption, std::move(lines)));
    }
    bool wrongType(const IfdEntry& e) {
        return refuse("Tag" + tagText(e) + " issue: field type is neither SHORT nor LONG.", kTagIssue,
                      {"Interpreting tags, expecting SHORT or LONG.", ">>> Not a readable TIF file. STOP!"});
    }
    bool valuesOutside(const IfdEntry& e) {
        return refuse("Tag" + tagText(e) + " issue: its values lie beyond the end of the file.", kTagIssue,
                      {">>> Damaged TIF file. STOP!"});
    }
    bool fileIssue(std::string text, const char* line) { return refuse(std::move(text), kFileIssue, {line}); }
    // Reads `count` bytes at `offset`, or nothing when they are not all inside the file.
    bool readAt(std::uint64_t offset, std::uint8_t* into, std::size_t count) {
        return source_.readAt(offset, into, count);
    }
    // The SHORT or LONG values of a strip array, from the value field or from their offset.
    bool readArray(const IfdEntry& e, std::vector<std::uint64_t>& values);
    Field4 destinationField(const IfdEntry& e) const;
    Field4 lengthField() const;

    ByteSource& source_;
    const TiffReadSettings& settings_;
    TiffHeader& header_;
    ReaderReport& report_;
    std::uint64_t fileSize_;

    bool haveWidth_ = false, haveLength_ = false, haveBits_ = false, haveRows_ = false;
    std::vector<std::uint64_t> offsets_, byteCounts_;
    bool haveOffsets_ = false, haveByteCounts_ = false;
    std::optional<std::uint32_t> samplesTag_;
};

bool TiffHeaderReader::run() {
    std::uint8_t head[6] = {};
    if (!readAt(2, head, sizeof head))
        return fileIssue("TIF file issue: the file ends inside its header.", ">>> Not a readable TIF file. STOP!");
    report_.say("TIF Version (usually 42):" + numberText(static_cast<std::uint32_t>(fromTwoBytes(head))));
    const std::uint32_t ifdOffset = fromFourBytes(head + 2);
    report_.say("IFD start address (usually 8 for Bryce):" + numberText(ifdOffset));

    std::uint8_t countBytes[2] = {};
    if (!readAt(ifdOffset, countBytes, 2))
        return fileIssue("TIF file issue: the image file directory lies beyond the end of the file.",
                         ">>> IFD runs past the end of the file. STOP!");
    const std::uint32_t n = fromTwoBytes(countBytes);
    // Kept as is on purpose: the line gives the count plus one, and n + 2 entry slots are read,
    // not n, because a Bryce file's IFD holds one more entry than its count says; stored files
    // must keep reading exactly as they do.
    report_.say("Number of tags (Bryce notes 17 but has 18):" + numberText(n + 1));

    // The n counted entries must be in the file; the two extra slots may lie past its end in a
    // small file, and their missing bytes are taken as 0 (a tag 0 entry, which is ignored).
    const std::uint64_t entriesStart = std::uint64_t{ifdOffset} + 2;
    const std::uint64_t counted = std::uint64_t{n} * 12;
    if (entriesStart + counted > fileSize_)
        return fileIssue("TIF file issue: the image file directory runs past the end of the file.",
                         ">>> IFD runs past the end of the file. STOP!");
    std::vector<std::uint8_t> slots(counted + 24, 0);
    const std::uint64_t available = std::min<std::uint64_t>(slots.size(), fileSize_ - entriesStart);
    if (!readAt(entriesStart, slots.data(), static_cast<std::size_t>(available)))
        return fileIssue("TIF file issue: the image file directory cannot be read.",
                         ">>> IFD runs past the end of the file. STOP!");

    for (std::uint32_t i = 0; i < n + 2; ++i) {
        const std::uint8_t* p = slots.data() + std::size_t{i} * 12;
        IfdEntry e;
        e.tag = fromTwoBytes(p);
        e.type = fromTwoBytes(p + 2);
        e.count = fromFourBytes(p + 4);
        std::copy(p + 8, p + 12, e.field.begin());
        if (!entry(e)) return false;
    }
    return finish();
}

bool TiffHeaderReader::readArray(const IfdEntry& e, std::vector<std::uint64_t>& values) {
    if (e.type != kShort && e.type != kLong) return wrongType(e);
    if (e.count == 0 || e.count > kMaxStrips)
        return refuse("Tag" + tagText(e) + " issue: not 1 to 65535 strips.", kTagIssue,
                      {">>> Not a readable TIF file. STOP!"});
    const std::size_t size = e.type == kShort ? 2 : 4;
    std::vector<std::uint8_t> bytes(std::size_t{e.count} * size);
    if (bytes.size() <= 4) {
        std::copy(e.field.begin(), e.field.begin() + static_cast<std::ptrdiff_t>(bytes.size()), bytes.begin());
    } else if (!readAt(fromFourBytes(e.field.data()), bytes.data(), bytes.size())) {
        return valuesOutside(e);
    }
    values.clear();
    for (std::size_t i = 0; i < e.count; ++i)
        values.push_back(size == 2 ? fromTwoBytes(&bytes[i * 2]) : fromFourBytes(&bytes[i * 4]));
    return true;
}

Field4 TiffHeaderReader::destinationField(const IfdEntry& e) const {
    Field4 field = e.field;
    // A big-endian LONG below 65536 becomes a left-justified big-endian SHORT.
    if (settings_.order == ByteOrder::MM && e.type == kLong) field = {field[2], field[3], 0, 0};
    if (settings_.swapsBytes()) field = swapShortField(field);
    return field;
}

// The image length as a left-justified SHORT in the destination's byte order.
Field4 TiffHeaderReader::lengthField() const {
    const auto hi = static_cast<std::uint8_t>(header_.length >> 8), lo = static_cast<std::uint8_t>(header_.length);
    return settings_.outputOrder == ByteOrder::II ? Field4{lo, hi, 0, 0} : Field4{hi, lo, 0, 0};
}

bool TiffHeaderReader::entry(const IfdEntry& e) {
    switch (e.tag) {
        case 254: logEntry(e, " NewSubfile (skipped)"); return true;
        case 256:
        case 257: {
            const bool width = e.tag == 256;
            const auto value = decoded(e);
            if (!value) return wrongType(e);
            (width ? header_.width : header_.length) = *value;
            (width ? header_.destination.imageWidth : header_.destination.imageLength) = destinationField(e);
            (width ? haveWidth_ : haveLength_) = true;
            logEntry(e, (width ? " ImageWidth =" : " ImageLength =") + numberText(*value));
            if (*value == 0 || *value > 65535)
                return refuse("Tag" + tagText(e) + " issue: image size not 1 to 65535 pixels.", kTagIssue,
                              {">>> Image too large or empty. STOP!"});
            return true;
        }
        case 258: {
            logEntry(e, " BitsPerSample =" + numberText(e.count));
            if (e.count == 3) {
                if (e.type != kShort) return wrongType(e);
                std::uint8_t first[2] = {};
                if (!readAt(fromFourBytes(e.field.data()), first, 2)) return valuesOutside(e);
                const std::uint32_t bits = fromTwoBytes(first);
                if (bits != 8 && bits != 16 && bits != 32) {
                    return refuse(
                        "Tag 258 issue: not 8, 16 or 32 bit per colour.", kTagIssue,
                        {"Interpreting IFD tags, expecting 8/16/32 but got" + numberText(bits) + " bits instead.",
                         ">>> Not a Bryce saved or exported TIF file. STOP!"});
                }
                header_.bitsPerSample = bits;
                header_.samplesPerPixel = 3;
                haveBits_ = true;
                report_.say(bits == 8    ? " --> 24-bit per pixel source file."
                            : bits == 16 ? " --> 48-bit per pixel source file."
                                         : " --> 96-bit per pixel source file.");
                return true;
            }
            if (!settings_.teRaw) {
                return refuse("Tag 258 issue: not 3 values.", kTagIssue,
                              {"Interpreting IFD tags, expecting 3.", ">>> Not a Bryce exported TIF file. STOP!"});
            }
            if (e.count != 1 || decoded(e) != std::optional<std::uint32_t>(16)) {
                return refuse("Tag 258 issue: not 1 value or not 16 bit.", kTagIssue,
                              {"Interpreting IFD tags, expecting 1.",
                               ">>> Not a Bryce Terrain Editor exported TIF file. STOP!"});
            }
            header_.bitsPerSample = 16;
            header_.samplesPerPixel = 1;
            haveBits_ = true;
            return true;
        }
        case 259: {
            const std::uint32_t value =
                e.type == kShort ? fromTwoBytes(e.field.data()) : fromFourBytes(e.field.data());
            logEntry(e, " Compression =" + numberText(value));
            if (value != 1) {
                return refuse("Tag 259 issue: has data compression.", kFileIssue,
                              {"Interpreting tags, expecting 1.", ">>> Not a Bryce exported 48-bit TIF file. STOP!"});
            }
            return true;
        }
        case 262: logEntry(e, " PhotometricInterpretation (skipped)"); return true;
        case 273: {
            if (!readArray(e, offsets_)) return false;
            haveOffsets_ = true;
            logEntry(e, " StripOffset (DataStart) =" + numberText(static_cast<std::int64_t>(offsets_.front())));
            return true;
        }
        case 274: logEntry(e, " Orientation (skipped)"); return true;
        case 277: {
            const auto value = decoded(e);
            if (!value) return wrongType(e);
            samplesTag_ = *value;
            logEntry(e, " SamplesPerPixel =" + numberText(*value));
            if (*value != 3 && !settings_.teRaw) {
                return refuse("Tag 277 issue: not 3 bytes.", kTagIssue,
                              {"Interpreting tags, expecting 3.",
                               ">>> Not a Bryce exported 48 or 96-bit TIF file. STOP!"});
            }
            return true;
        }
        case 278: {
            const auto value = decoded(e);
            if (!value) return wrongType(e);
            header_.rowsPerStrip = *value;
            header_.destination.rowsPerStrip = destinationField(e);
            haveRows_ = true;
            logEntry(e, " RowsPerStrip =" + numberText(*value));
            return true;
        }
        case 279: {
            if (!readArray(e, byteCounts_)) return false;
            haveByteCounts_ = true;
            std::uint64_t total = 0;
            for (std::uint64_t count : byteCounts_) total += count;
            logEntry(e, " StripByteCounts:" + numberText(static_cast<std::int64_t>(total)) + " bytes (skipped)");
            return true;
        }
        case 282: logEntry(e, " XResolution (skipped)"); return true;
        case 283: logEntry(e, " YResolution (skipped)"); return true;
        case 284: {
            const auto value = decoded(e);
            if (!value) return wrongType(e);
            logEntry(e, " PlanarConfiguration =" + numberText(*value));
            if (*value != 1) {
                return refuse("Tag 284 issue: planes, not triplets.", kTagIssue,
                              {"Interpreting tags, expecting 1.", ">>> Not a Bryce exported 48-bit TIF file. STOP!"});
            }
            return true;
        }
        case 296: {
            const auto value = decoded(e);
            logEntry(e, " ResolutionUnit =" + numberText(value ? *value : fromFourBytes(e.field.data())));
            return true;
        }
        case 305: logEntry(e, " Software (Bryce points into image data)"); return true;
        case 306: logEntry(e, " Date Time (Bryce points into image data)"); return true;
        case 315: logEntry(e, " Artist (skipped)"); return true;
        case 316: logEntry(e, " Host Computer (skipped)"); return true;
        case 338: logEntry(e, " Extra Samples (skipped)"); return true;
        case 339: {
            // Values that fit into the value field (TIFF 6.0: up to 4 bytes) stand there.
            std::uint32_t format = 0;
            if (e.type == kShort && e.count <= 2) {
                format = fromTwoBytes(e.field.data());
            } else if (e.type == kLong && e.count <= 1) {
                format = fromFourBytes(e.field.data());
            } else if (e.type == kShort || e.type == kLong) {
                std::uint8_t value[4] = {};
                if (!readAt(fromFourBytes(e.field.data()), value, e.type == kShort ? 2 : 4))
                    return valuesOutside(e);
                format = e.type == kShort ? fromTwoBytes(value) : fromFourBytes(value);
            } else {
                return wrongType(e);
            }
            header_.sampleFormat = format;
            const char* text = format == 1   ? "unsigned integer."
                               : format == 2 ? "two's complement signed integer, handled as unsigned."
                               : format == 3 ? "IEEE floating point."
                                             : "Undefined or unknown. Cannot interpret data.";
            logEntry(e, std::string(" Sample Format = ") + text);
            if (format < 1 || format > 3) {
                return refuse("Tag 339 issue: sample format unknown.", kTagIssue,
                              {">>> Not a Bryce exported 48-bit TIF file. STOP!"});
            }
            return true;
        }
        default: logEntry(e, " Not needed (ignored)"); return true;
    }
}

bool TiffHeaderReader::finish() {
    const char* missing = !haveWidth_     ? "ImageWidth (256)"
                          : !haveLength_  ? "ImageLength (257)"
                          : !haveBits_    ? "BitsPerSample (258)"
                          : !haveOffsets_ ? "StripOffsets (273)"
                                          : nullptr;
    if (missing)
        return fileIssue(std::string("TIF file issue: no ") + missing + " tag.", ">>> Not a complete TIF file. STOP!");
    if (header_.samplesPerPixel == 3 && header_.sampleFormat == 3 && header_.bitsPerSample != 32) {
        return refuse("Tag 339 issue: floating point needs 32 bits per colour.", kTagIssue,
                      {">>> Not a Bryce exported 96-bit TIF file. STOP!"});
    }

    // A single BitsPerSample value with more samples per pixel (TE>Raw mode only gets here):
    // not greyscale, whatever the count says.
    if (header_.samplesPerPixel == 1 && samplesTag_ && *samplesTag_ > 1) header_.samplesPerPixel = *samplesTag_;
    const std::uint64_t pixelBytes =
        std::uint64_t{header_.width} * header_.length * header_.samplesPerPixel * (header_.bitsPerSample / 8);
    if (pixelBytes > 0xFFFFFFFFu)
        return fileIssue("TIF file issue: image data larger than 4 GiB.", ">>> Image too large. STOP!");

    // The pixel data of the strips in order; a single strip without a byte count holds the image.
    if (!haveByteCounts_ && offsets_.size() == 1) byteCounts_ = {pixelBytes};
    if (byteCounts_.size() != offsets_.size())
        return fileIssue("TIF file issue: StripOffsets and StripByteCounts do not match.",
                         ">>> Not a readable TIF file. STOP!");
    header_.strips.clear();
    std::uint64_t needed = pixelBytes, total = 0;
    for (std::size_t i = 0; i < offsets_.size(); ++i) {
        const std::uint64_t used = std::min(byteCounts_[i], needed);
        if (offsets_[i] > fileSize_ || used > fileSize_ - offsets_[i])
            return fileIssue("TIF file issue: the image data lies beyond the end of the file.",
                             ">>> Source file is truncated. STOP!");
        header_.strips.push_back({offsets_[i], byteCounts_[i]});
        needed -= used;
        total += byteCounts_[i];
    }
    if (needed > 0)
        return fileIssue("TIF file issue: the strips hold less than the image.", ">>> Source file is truncated. STOP!");
    if (total > 0xFFFFFFFFu)
        return fileIssue("TIF file issue: image data larger than 4 GiB.", ">>> Image too large. STOP!");
    header_.dataOffset = static_cast<std::uint32_t>(offsets_.front());

    // Our output is one strip of the whole image, so its RowsPerStrip is the length; the
    // source's field is kept where it says just that.
    if (!haveRows_ || header_.rowsPerStrip != header_.length) header_.destination.rowsPerStrip = lengthField();
    if (!haveRows_ || header_.rowsPerStrip == 0 || header_.rowsPerStrip > header_.length)
        header_.rowsPerStrip = header_.length;

    report_.say("DONE reading and interpreting IFD.");
    report_.say("");
    header_.outputDataBytes = header_.length * header_.width * 2;
    const Field4 bytes = toFourBytes(header_.outputDataBytes, settings_.order);
    header_.destination.stripByteCounts = settings_.swapsBytes() ? reverseFourBytes(bytes) : bytes;
    return true;
}

}  // namespace

TiffHeader readTiffHeader(ByteSource& source, const TiffReadSettings& settings) {
    TiffHeader header;
    TiffHeaderReader(source, settings, header).run();
    return header;
}

}  // namespace kelvarin
