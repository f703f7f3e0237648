#include "job/status_log.h"

namespace kelvarin {

void ProgressBar::setRange(std::int32_t minimum, std::int32_t maximum) {
    minimum_ = minimum;
    maximum_ = maximum < 1 ? 1 : maximum;
    port_.setProgressRange(minimum_, maximum_);
}

void ProgressBar::setPosition(std::int32_t position) {
    position_ = position;
    port_.setProgressPosition(position);
}

void BusyState::setBusy() {
    if (busy_) return;
    busy_ = true;
    port_.setConversionCommandsEnabled(false);
}

void BusyState::end() {
    busy_ = false;
    port_.setConversionCommandsEnabled(true);
}

void StatusLog::appendLine(std::string_view text) {
    port_.appendLogLine(text);
    ++counter_;
}

void StatusLog::clear() {
    port_.clearLog();
    counter_ = 1;
}

void StatusLog::logClosedSource() {
    files_.source.reset();
    appendLine("Closed file:");
    appendLine(files_.sourcePath);
    appendLine(kDashLine);
}

void StatusLog::endOfJob() {
    busy_.end();
    progress_.setPosition(0);
    appendLine(kEqualsLine);
}

}  // namespace kelvarin
