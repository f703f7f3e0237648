// What a batch run converts: the command's source kinds, the sources that folders stand for, and
// one destination per source in the output folder, refused before any job starts when two
// sources meet in one destination or a destination is a source.
#pragma once

#include <string>
#include <vector>

#include "base/conversion_options.h"
#include "cli/batch.h"

namespace kelvarin {

struct BatchCommand {
    std::string name;
    int commandId;
    std::vector<std::string> extensions;  // lower case, with the dot
};

const BatchCommand* findBatchCommand(const std::string& name);

struct BatchItem {
    std::string source;       // as named on the command line (a folder's files: folder/name)
    std::string destination;  // DIR/NAME.tif as DIR was named
    std::string sourcePath, destinationPath;  // full paths, as a file dialog hands them back
};

// The items of the batch, or the reason it is refused. The output folder is made only once
// nothing else stands in the way, so a refused batch writes nothing.
bool planBatch(const BatchSettings& settings, const ConversionOptions& options, const BatchCommand& command,
               const std::vector<std::string>& named, std::vector<BatchItem>& items, std::string& problem);

}  // namespace kelvarin
