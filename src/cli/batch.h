// Batch conversion: one conversion command over many sources, several jobs at once, every result
// in one output folder. Each job runs exactly as a single-file run would, through its own session
// and port; the batch only collects what the jobs print and reports in the order of the sources.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "base/conversion_options.h"

namespace kelvarin {

struct BatchSettings {
    std::optional<std::string> outDir;  // given: a batch run
    unsigned jobs = 0;                  // jobs at once; 0: one per core
    bool overwrite = false;             // existing results are replaced
    std::optional<std::string> format;  // the results' kind and extension: "tif", "png" or "r16"
    bool sharedRange = false;           // heights: one range over every source, found first
};

// Takes the batch option at argv[i] with its value (i then points at the value). Nothing when
// argv[i] is not a batch option; otherwise an empty text, or what is wrong with it.
std::optional<std::string> takeBatchOption(const std::vector<std::string>& argv, std::size_t& i,
                                           BatchSettings& settings);

// What makes the command line no batch run that can be started, if anything: batch options
// without --out-dir, a command the batch does not run, no SOURCE.
std::optional<std::string> batchUsageProblem(const BatchSettings& settings, const ConversionOptions& options,
                                             const std::string& command, const std::vector<std::string>& sources);

// Runs `command` on every source. Exit status: 0 when every job succeeded, 1 when any failed, 2
// when the batch was refused before any job started (nothing written then).
int runBatch(const BatchSettings& settings, const ConversionOptions& options, const std::string& command,
             const std::vector<std::string>& sources);

}  // namespace kelvarin
