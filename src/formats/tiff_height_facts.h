// What a TIFF of heights says beside its samples: the GDAL no-data value (tag 42113) and where
// the GeoTIFF tags put its pixels on the ground.
#pragma once

#include "formats/byte_source.h"
#include "formats/source_format.h"
#include "formats/tiff_directory.h"

namespace kelvarin {

// Unreadable or absurd tags are left out, as if the file had none: the heights still convert.
HeightFacts tiffHeightFacts(ByteSource& source, const TiffDirectory& directory);

}  // namespace kelvarin
