// What a save dialog's selected filter means for the name chosen: a bare name gets the filter's
// extension, so that the format of the file follows the filter the user picked.
#pragma once

#include <string>

#include "job/port.h"

namespace kelvarin {

// "png" for the pattern "*.png"; empty for a pattern that names no one extension ("*.*").
std::string filterExtension(const FileFilter& filter);

// The path with "." and the filter's extension behind it when its file name has no extension
// (and the filter names one); otherwise the path as it is.
std::string withFilterExtension(const std::string& path, const FileFilter& filter);

}  // namespace kelvarin
