// Everything that lives as long as the program runs: the options, the job request, the file
// state, the log, the progress bar and the busy state, all reaching the platform through one port.
#pragma once

#include <string>

#include "base/conversion_options.h"
#include "formats/file.h"
#include "job/clock.h"
#include "job/job_request.h"
#include "job/port.h"
#include "job/status_log.h"

namespace kelvarin {

class Session {
public:
    // Jobs read and write through `fileSystem`: the disk unless a test or a fuzz target hands
    // another.
    Session(UiPort& port, const Clock& clock, FileSystem& fileSystem = diskFileSystem())
        : port(port), clock(clock), fileSystem(fileSystem), progress(port), busy(port),
          log(port, files, busy, progress) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    MessageAnswer message(std::string text, std::string caption, MessageIcon icon,
                          MessageButtons buttons = MessageButtons::Ok, bool taskModal = false) {
        return port.showMessage({std::move(text), std::move(caption), icon, buttons, taskModal, true});
    }
    void setBusy() { busy.setBusy(); }

    UiPort& port;
    const Clock& clock;
    FileSystem& fileSystem;
    ConversionOptions options;
    JobRequest request;
    FileState files;
    ProgressBar progress;
    BusyState busy;
    StatusLog log;
};

}  // namespace kelvarin
