// The status log, the progress bar and the busy state the job and the window share.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "formats/file.h"
#include "job/port.h"

namespace kelvarin {

inline const std::string kDashLine(72, '-');
inline const std::string kEqualsLine(72, '=');

// The files a job works on: set by the dialogs, closed by the job.
struct FileState {
    std::unique_ptr<File> source;
    std::string sourcePath;
    std::unique_ptr<File> header;  // the text header of a BIN source
    std::string headerPath;
    std::unique_ptr<File> destination;
    std::string destinationPath;
};

class ProgressBar {
public:
    explicit ProgressBar(UiPort& port) : port_(port) {}
    void setRange(std::int32_t minimum, std::int32_t maximum);
    void setPosition(std::int32_t position);
    // The same position again: a window takes it to answer its events (a stop among them)
    // during work that does not move the bar.
    void pulse() { port_.setProgressPosition(position_); }
    std::int32_t maximum() const { return maximum_; }
    std::int32_t position() const { return position_; }

private:
    UiPort& port_;
    std::int32_t minimum_ = 0, maximum_ = 1, position_ = 0;
};

// Whether the eight conversion commands are greyed.
class BusyState {
public:
    explicit BusyState(UiPort& port) : port_(port) {}
    void setBusy();
    void end();
    bool busy() const { return busy_; }

private:
    UiPort& port_;
    bool busy_ = false;
};

class StatusLog {
public:
    StatusLog(UiPort& port, FileState& files, BusyState& busy, ProgressBar& progress)
        : port_(port), files_(files), busy_(busy), progress_(progress) {}

    void appendLine(std::string_view text);
    void clear();
    // The 1-based number the next line will get.
    std::int32_t lineCounter() const { return counter_; }
    // Closes the job's source, then "Closed file:", its path and a line of 72 "-".
    void logClosedSource();
    // Commands enabled again, progress at 0, a line of 72 "=".
    void endOfJob();

private:
    UiPort& port_;
    FileState& files_;
    BusyState& busy_;
    ProgressBar& progress_;
    std::int32_t counter_ = 1;
};

}  // namespace kelvarin
