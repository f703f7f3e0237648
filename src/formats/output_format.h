// Which file a destination gets, by the extension of its name.
#pragma once

#include <string_view>

namespace kelvarin {

enum class OutputFormat {
    Tiff,  // the 302-byte greyscale TIFF: .tif, .tiff and any other name
    Png,   // .png: 16-bit greyscale PNG
    R16,   // .r16: bare 16-bit samples
};

// By the extension of the last part of the path, in any case; a name without one, or with
// another, is a TIFF.
OutputFormat outputFormatFor(std::string_view path);

}  // namespace kelvarin
