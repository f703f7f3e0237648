// The conversion commands in one table: for each, the menu command, the source kind its job
// opens, the name the CLI and batch runs know it by, the files it takes, what a batch folder
// stands for, the box a success shows, the MIME types the desktop entry opens with it, and the
// help page that describes it. The
// command handler, the CLI's commands and batch commands, and the desktop entry's list follow it.
#pragma once

#include <span>
#include <string_view>

#include "job/job_request.h"

namespace kelvarin {

struct SourceCommand {
    int commandId;
    std::string_view cliName;             // "open", "tif", ...
    std::size_t files;                    // files on the CLI: sources, headers and the destination
    SourceKind kind;                      // None: a terrain set, which has a job of its own
    std::string_view successText;         // the box after a successful job
    bool modeWarning;                     // the job shows the options warning first
    std::span<const std::string_view> batchExtensions;  // lower case, with the dot; none: not in batches
    std::span<const std::string_view> mimeTypes;        // the desktop entry opens these with the program
    int helpId;                           // the help page that tells what the command takes
};

std::span<const SourceCommand> sourceCommands();
// Nullptr for a name or id of no conversion command.
const SourceCommand* findSourceCommand(std::string_view cliName);
const SourceCommand* findSourceCommand(int commandId);

}  // namespace kelvarin
