#include "job/status_log.h"

#include <algorithm>

namespace kelvarin {

void ProgressBar::setRange(std::int32_t minimum, std::int32_t maximum) {
    minimum_ = minimum;
    maximum_ = maximum < 1 ? 1 : maximum;
    if (stages_ == 0) {
        port_.setProgressRange(minimum_, maximum_);
    } else {
        port_.setProgressRange(0, stages_ * kStageSteps);
    }
}

void ProgressBar::setPosition(std::int32_t position) {
    position_ = position;
    port_.setProgressPosition(stages_ == 0 ? position : shownPosition());
}

std::int32_t ProgressBar::shownPosition() const {
    const std::int64_t span = std::int64_t{maximum_} - minimum_;
    const std::int64_t done = span <= 0 ? 1 : std::clamp<std::int64_t>(std::int64_t{position_} - minimum_, 0, span);
    const std::int64_t within = span <= 0 ? kStageSteps : done * kStageSteps / span;
    return static_cast<std::int32_t>(stage_ * kStageSteps + within);
}

void ProgressBar::beginStages(int count) {
    stages_ = count;
    stage_ = 0;
    setRange(minimum_, maximum_);
}

void ProgressBar::nextStage() {
    if (stages_ == 0 || stage_ + 1 >= stages_) return;
    ++stage_;
    // The new stage starts empty.
    minimum_ = 0;
    maximum_ = kStageSteps;
    setPosition(0);
}

void ProgressBar::setStageFraction(double fraction) {
    if (stages_ == 0) return pulse();
    setPosition(static_cast<std::int32_t>(std::clamp(fraction, 0.0, 1.0) * kStageSteps));
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
    progress_.endStages();
    progress_.setPosition(0);
    appendLine(kEqualsLine);
}

}  // namespace kelvarin
