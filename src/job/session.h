// Everything that lives as long as the program runs: the options, the job request, the file
// state, the log, the progress bar and the busy state, all reaching the platform through one port.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/conversion_options.h"
#include "base/installed_memory.h"
#include "formats/file.h"
#include "job/clock.h"
#include "job/job_request.h"
#include "job/port.h"
#include "job/status_log.h"
#include "job/stop_request.h"
#include "pixels/height_report.h"

namespace kelvarin {

// How a job reads its source. Preferred: a TIFF's strips by reads into buffers of the job's own,
// which is 15-35 % faster than reading them through a memory map on the machine we measure on (the
// conversion's loads from the mapped page cache wait on address translation; a read copies in the
// kernel), and a Radiance picture through a memory map, which saves holding the whole file. Map
// and Read use the one way for every source. A map that cannot be had falls back to reads.
enum class SourceAccess { Preferred, Map, Read };

// How much memory a job may keep the greys of an analysis pass in: an eighth of the machine's,
// at most 512 MiB (the greys of an 8192 x 8192 48-bit image take 128 MiB, of a 96-bit
// floating-point one 256 MiB). Larger images keep the greys of their last part only.
inline std::uint64_t defaultHeldGreyBytes() {
    static const std::uint64_t bytes = std::min<std::uint64_t>(installedMemoryBytes() / 8, std::uint64_t{512} << 20);
    return bytes;
}

class Session {
public:
    // Jobs read and write through `fileSystem`: the disk unless a test or a fuzz target hands
    // another.
    Session(UiPort& port, const Clock& clock, FileSystem& fileSystem = diskFileSystem())
        : port(port), clock(clock), fileSystem(fileSystem), progress(port), busy(port),
          log(port, files, busy, progress) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void setBusy() { busy.setBusy(); }

    UiPort& port;
    const Clock& clock;
    FileSystem& fileSystem;
    ConversionOptions options;
    JobRequest request;
    FileState files;
    // A file dropped on the window: the next source dialog is answered with it instead of being
    // shown (the destination and any later dialog are asked as usual).
    std::optional<std::string> droppedSource;
    ProgressBar progress;
    BusyState busy;
    StatusLog log;
    // Set when the user has asked to stop the job that runs.
    StopRequest stop;
    // Whether the reports of written images gather a preview too (a window shows it; the CLI
    // does not), and the reports of the last job's images: one, or a terrain set's three tiles.
    PreviewGathering reportPreview = PreviewGathering::Skip;
    // Whether written images are counted for a report at all; a bench turns it off to time the
    // report's cost. Off, a job reports nothing and writes exactly the same bytes.
    bool countReports = true;
    std::vector<FinishedReport> lastReports;
    // How the data stages run: on this many threads (0: one per core), and how they get at a
    // source's bytes. Front ends may set them; the job never changes them.
    unsigned conversionThreads = 0;
    SourceAccess sourceAccess = SourceAccess::Preferred;
    // The work a thread takes at a time: TIFF sources in whole blocks of about this many source
    // bytes, Radiance sources in whole rows of about an eighth as many pixels. Small numbers
    // (tests) give many blocks to small images.
    std::uint64_t conversionChunkBytes = std::uint64_t{2} << 20;
    // The memory an analysis pass may keep the greys it weighed in, so that the conversion after
    // it need not read or decode those pixels again (0: none).
    std::uint64_t heldGreyBytes = defaultHeldGreyBytes();
};

}  // namespace kelvarin
