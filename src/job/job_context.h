// The state of one conversion job, handed to every stage the driver calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "formats/reader_report.h"
#include "formats/source_format.h"
#include "job/grey_output.h"
#include "job/session.h"
#include "job/tiled_output.h"
#include "job/source_image.h"

namespace kelvarin {

class JobContext {
public:
    // A new job: the reports of the last one go.
    explicit JobContext(Session& session) : session(session) { session.lastReports.clear(); }

    StatusLog& log() { return session.log; }
    ProgressBar& progress() { return session.progress; }
    ConversionOptions& options() { return session.options; }
    const Clock& clock() const { return session.clock; }
    File& source() { return *session.files.source; }
    File& destination() { return *session.files.destination; }
    bool hasSource() const { return session.files.source != nullptr; }
    bool hasDestination() const { return session.files.destination != nullptr; }
    const std::string& sourcePath() const { return session.files.sourcePath; }
    const std::string& destinationPath() const { return session.files.destinationPath; }

    std::int64_t now() const { return session.clock.secondsStamp(); }
    std::int64_t secondsSince(std::int64_t stamp) const { return now() - stamp; }

    // A reader's refusal: its box with the error icon, its stop lines, the source closed with its
    // closing lines. Always returns false so a stage can `return job.refuse(...)`.
    bool refuse(const Refusal& refusal);
    // Logs what a reader found, in order, and refuses the source when the reader did. False
    // when the source was refused.
    bool relay(const ReaderReport& report);

    // Appends bytes to the destination; a failed write is reported once (box and STOP line)
    // and makes the job fail.
    bool writeOutput(const void* data, std::size_t count);
    // The destination's grey image: image.width x image.length native samples in row order
    // follow, to be written as `destinationEncoding` says (a TIFF's samples in
    // image.outputByteOrder). Called after the header is written.
    // With `countedInBlocks`, the data stage counts the samples for the report where it converts
    // them, into reportCounts() (each sample once, before it is written).
    void beginSamples(bool countedInBlocks = false);
    // Where the data stage counts, when it is to; nothing otherwise.
    BlockCounts* reportCounts() { return samples_ ? samples_->blockCounts() : nullptr; }
    // Writes the next samples of that image (they are put into the destination's byte order in
    // place); a failure is reported once, as by writeOutput, and makes the job fail.
    bool writeSamples(std::uint16_t* samples, std::size_t count);
    // Reads exactly `count` source bytes; a short read is reported as a truncated source.
    bool readSource(void* data, std::size_t count);
    // After a piece of work on the source's mapped view: false when the file turned out to be
    // shortened meanwhile (the view read zeros), reported as readSource reports a short read.
    bool sourceViewWhole();
    // Closes the source without log lines (the stage logs its own closing report).
    void closeSource();
    // Closes the complete destination and moves it into place under its name; a failed flush or
    // move, or a grey image with samples missing, is reported like a failed write (and the old
    // file of that name is left as it was).
    bool closeDestination();
    // Drops a destination that must not survive a failed job: what was written is deleted, and
    // a file the name held before stays exactly as it was.
    void discardDestination();

    // A read of the source on another thread came up short: reported here, on the job's
    // thread, as readSource() reports one. Always false.
    bool sourceReadShort();
    bool ioFailed() const { return ioFailed_; }
    // True once the user has asked to stop: the first call that finds it logs the stop line and
    // makes the job fail like a failed write (the destination is dropped, the old file stays).
    // Stages call it between blocks, bands, tiles and files; every write calls it too.
    bool stopped();
    // What the report says about the source: its kind and samples, and the extremes the analysis
    // found (set by the data stage when one ran).
    SourceFacts sourceFacts() const;

    std::optional<SourceAnalysis> analysis;
    // An elevation source's heights: what the first pass found and the range its levels span.
    std::optional<HeightSummary> heights;

    Session& session;
    SourceImage image;
    // A source opened through the format table (SourceKind::Image): what its reader found, and
    // the bytes its row decoder reads.
    std::unique_ptr<ByteSource> openedBytes;
    OpenedSource opened;
    // The destination's format and size, chosen when it is opened; a TIFF at the image's size
    // until then.
    GreyEncoding destinationEncoding;
    // The grid the image is cut into, when the options ask for tiles: the tiles are then the
    // destination, and the file chosen in the Save dialog only names them.
    std::optional<TileGrid> tileGrid;
    std::int64_t startSeconds = 0;
    // The log's line when resampling changes the map's proportions; the report warns of it too.
    std::optional<std::string> aspectChanged;

private:
    void reportWriteFailure();
    void reportTruncatedSource();
    bool ioFailed_ = false;
    // What the system said when the destination could not be written, for the log.
    std::string writeReason_;
    std::optional<GreyOutput> samples_;
    std::unique_ptr<TiledOutput> tiles_;
    bool closeTiles();
    KeepGoing keepGoing();
    // A written image's report joins the job's, with the vertical scale where it is known.
    void keepReport(FinishedReport report);
};

}  // namespace kelvarin
