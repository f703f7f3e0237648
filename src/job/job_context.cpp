#include "job/job_context.h"

#include "formats/system_reason.h"
#include "job/tile_steps.h"

namespace kelvarin {

bool JobContext::refuse(const Refusal& refusal) {
    session.port.showMessage(jobStopBox(refusal.text, refusal.caption));
    for (const std::string& line : refusal.lines) log().appendLine(line);
    log().logClosedSource();
    return false;
}

bool JobContext::relay(const ReaderReport& report) {
    for (const std::string& line : report.lines) log().appendLine(line);
    return report.refusal ? refuse(*report.refusal) : true;
}

void JobContext::reportWriteFailure() {
    ioFailed_ = true;
    if (tiles_ && tiles_->unopened()) {
        session.port.showMessage(jobStopBox("Cannot create the tile " + *tiles_->unopened() + ".",
                                          "KELVARIN - Write Error"));
        log().appendLine(">>> Writing the tiles failed. STOP!");
        return;
    }
    if ((samples_ && samples_->outOfMemory()) || (tiles_ && tiles_->outOfMemory())) {
        session.port.showMessage(jobStopBox("Not enough memory to resample the image.", "KELVARIN - Write Error"));
        log().appendLine(">>> Not enough memory to resample the image. STOP!");
        return;
    }
    session.port.showMessage(jobStopBox("Cannot write the converted file (disk full or no permission).",
                                      "KELVARIN - Write Error"));
    log().appendLine(">>> Writing the converted file failed. STOP!");
    if (!writeReason_.empty()) log().appendLine(reasonLine(writeReason_, destinationPath()));
}

bool JobContext::stopped() {
    if (!session.stop.requested()) return false;
    ioFailed_ = true;
    if (session.stop.firstNotice()) log().appendLine(kStoppedLine);
    return true;
}

bool JobContext::writeOutput(const void* data, std::size_t count) {
    if (ioFailed_ || stopped()) return false;
    clearSystemReason();
    if (hasDestination() && destination().write(data, count)) return true;
    writeReason_ = systemReason(ReasonSubject::Destination);
    reportWriteFailure();
    return false;
}

// Between the groups of rows a resampled image makes of one part of the source, and once more
// when it is complete, the window answers its events and the job stops when the user asks.
KeepGoing JobContext::keepGoing() {
    return [this] {
        progress().pulse();
        return !stopped();
    };
}

void JobContext::beginSamples(bool countedInBlocks) {
    if (tileGrid) {
        // The tiles count the whole map for the report themselves, as it is cut.
        tiles_ = makeTiledOutput(*this);
        tiles_->setKeepGoing(keepGoing());
        tiles_->begin(image.width, image.length);
        return;
    }
    GreyEncoding encoding = destinationEncoding;
    if (encoding.format == OutputFormat::Tiff) encoding.order = image.outputByteOrder;
    samples_.emplace(
        encoding, [this](const void* bytes, std::size_t count) { return writeOutput(bytes, count); },
        session.countReports ? std::optional(session.reportPreview) : std::nullopt);
    samples_->begin(image.width, image.length, countedInBlocks);
    samples_->setKeepGoing(keepGoing());
}

bool JobContext::writeSamples(std::uint16_t* samples, std::size_t count) {
    if (ioFailed_ || stopped()) return false;
    if (tiles_ ? tiles_->write(samples, count) : samples_ && samples_->write(samples, count)) return true;
    // A failed write has been reported by writeOutput; samples beyond the image have not.
    if (!ioFailed_) reportWriteFailure();
    return false;
}

void JobContext::reportTruncatedSource() {
    ioFailed_ = true;
    const Refusal truncated = truncatedSource();
    session.port.showMessage(jobStopBox(truncated.text, truncated.caption));
    for (const std::string& line : truncated.lines) log().appendLine(line);
}

bool JobContext::readSource(void* data, std::size_t count) {
    if (ioFailed_) return false;
    if (hasSource() && source().readExact(data, count)) return true;
    reportTruncatedSource();
    return false;
}

bool JobContext::sourceReadShort() {
    if (!ioFailed_) reportTruncatedSource();
    return false;
}

bool JobContext::sourceViewWhole() {
    if (ioFailed_) return false;
    if (!hasSource() || !source().shortened()) return true;
    reportTruncatedSource();
    return false;
}

void JobContext::closeSource() {
    // A source holds nothing unwritten: dropping it closes it.
    session.files.source.reset();
}

void JobContext::keepReport(FinishedReport report) {
    if (const std::optional<double>& step = options().metresPerStep) report.report.vertical = verticalScale(*step);
    if (aspectChanged)
        report.report.warnings.push_back(
            {"aspect", *aspectChanged + " The terrain is stretched: choose a size of the source's proportions."});
    session.lastReports.push_back(std::move(report));
}

bool JobContext::closeTiles() {
    const bool committed = !ioFailed_ && tiles_->finish();
    if (!committed) {
        if (!ioFailed_) reportWriteFailure();
        tiles_.reset();
        return false;
    }
    for (const std::string& name : tiles_->names()) log().appendLine("Tile: " + name + " written and closed.");
    if (std::optional<FinishedReport> report = tiles_->finishReport(destinationPath(), sourceFacts()))
        keepReport(std::move(*report));
    tiles_.reset();
    return true;
}

bool JobContext::closeDestination() {
    if (tiles_) return closeTiles();
    if (!session.files.destination) return !ioFailed_;
    // Never after a failure: a destination that takes its name is a complete one.
    const bool complete = !samples_ || samples_->finish();
    clearSystemReason();
    const bool committed = !ioFailed_ && complete && session.files.destination->commit();
    if (!committed && !ioFailed_) writeReason_ = systemReason(ReasonSubject::Destination);
    session.files.destination.reset();
    if (!committed && !ioFailed_) reportWriteFailure();
    if (committed && samples_) {
        if (std::optional<FinishedReport> report = samples_->finishReport(destinationPath(), sourceFacts()))
            keepReport(std::move(*report));
    }
    return !ioFailed_;
}

SourceFacts JobContext::sourceFacts() const {
    SourceFacts facts;
    facts.analysis = analysis;
    facts.heights = heights;
    switch (image.kind) {
        case SourceKind::Tif:
            facts.kind = "TIFF";
            facts.bitsPerSample = static_cast<int>(image.bitsPerSample);
            // SampleFormat 3: IEEE floating point; 2: signed integers (the conversion takes them as
            // unsigned, and the report says what the file holds).
            facts.sampleFormat = image.sampleFormat == 3   ? SourceSampleFormat::Float
                                 : image.sampleFormat == 2 ? SourceSampleFormat::SignedInteger
                                                           : SourceSampleFormat::UnsignedInteger;
            break;
        case SourceKind::Rgbe:
            facts.kind = "Radiance";
            facts.bitsPerSample = 8;
            facts.sampleFormat = SourceSampleFormat::Rgbe;
            break;
        case SourceKind::Pgm: facts.kind = "PGM", facts.bitsPerSample = 16; break;
        case SourceKind::Raw: facts.kind = "RAW", facts.bitsPerSample = 16; break;
        case SourceKind::Bin:
            facts.kind = "BIN";
            facts.bitsPerSample = 16;
            facts.sampleFormat = SourceSampleFormat::SignedInteger;
            break;
        case SourceKind::Image:
            facts.kind = opened.kind;
            facts.bitsPerSample = static_cast<int>(opened.layout.bits);
            facts.sampleFormat = opened.layout.type == SampleType::Float    ? SourceSampleFormat::Float
                                 : opened.layout.type == SampleType::Signed ? SourceSampleFormat::SignedInteger
                                                                            : SourceSampleFormat::UnsignedInteger;
            break;
        default: break;
    }
    return facts;
}

void JobContext::discardDestination() {
    session.files.destination.reset();
    tiles_.reset();
}

}  // namespace kelvarin
