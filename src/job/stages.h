// The hand-over points of the conversion job: each reader, writer and data stage plugs in here
// by source kind and mode. Every stage returns true to go on; a stage that returns false has
// already shown its message box and written its log lines.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "job/port.h"

namespace kelvarin {

class JobContext;
class RgbeMap;

// Header steps: fill job.image from the source, or refuse it (the source is then closed).
bool tiffHeaderStep(JobContext& job);      // source positioned behind the two byte-order letters
bool pgmHeaderStep(JobContext& job);       // reads from offset 0 itself
bool radianceHeaderStep(JobContext& job);  // reads from offset 0 itself
bool rawHeaderStep(JobContext& job);
bool binHeaderStep(JobContext& job);       // also reads the BIN text header file
// A source of any kind the format table knows, recognised by its content.
bool imageHeaderStep(JobContext& job);
// A file the TIFF reader refuses, opened by the format table's TIFF reader instead: the job goes
// on as a SourceKind::Image job with that reader (true), or that reader's box refuses the file's
// layout (false). Nothing, and nothing logged, when no reader of the table opens the file either.
std::optional<bool> openWithFormatTable(JobContext& job);

// TE>Raw mode: asks for the RAW destination and copies the 16-bit data.
bool exportRaw(JobContext& job);

// Logs and writes the 302-byte greyscale TIFF header to the freshly created destination.
bool writeGreyTiffHeader(JobContext& job);

// Data stages, with the source positioned at job.image.dataOffset.
bool pgmDataStep(JobContext& job);
bool rawDataStep(JobContext& job);
bool binDataStep(JobContext& job);
// TIFF and Radiance sources: analysis passes, conversion and the closing report.
bool runDataConversion(JobContext& job);
// The part of runDataConversion for a source opened through the format table: its rows decoded
// band by band, put into the converters' RGB layout, analysed and converted as RGB TIFF samples.
bool convertDecoded(JobContext& job, std::int64_t& conversionStart);
// The Radiance part of runDataConversion: decode the scanlines and tone-map them into the
// destination. On failure it has already run its abort (box, lines, unfinished destination deleted).
bool convertRgbe(JobContext& job);
// The decoding phase of a Radiance job, with the source positioned at its pixel data: reads the
// data block, decodes it into `map` (allocated here) with progress and log lines. On failure it
// has run radianceAbort and returns false.
bool decodeRgbe(JobContext& job, std::unique_ptr<RgbeMap>& map);
// Undecodable pixel data: box, the message, the source closed, the half-written destination closed
// and deleted (the file the name held before stays), with their log lines.
void radianceAbort(JobContext& job, std::string_view message);
// A data stage that cannot go on: its box, its line, the source closed, the half-written
// destination closed and deleted (the file the name held before stays), with their log lines.
void abortDataStage(JobContext& job, const MessageBoxRequest& box, std::string_view line);

}  // namespace kelvarin
