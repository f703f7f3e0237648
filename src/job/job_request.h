// What a menu command hands the conversion job.
#pragma once

#include <cstdint>

namespace kelvarin {

enum class SourceKind : std::int32_t { None = 0, Tif = 1, Rgbe = 2, Pgm = 3, Raw = 4, Bin = 5, Image = 6 };
// Image: any source the format table opens, recognised by its content (File > Open...).

struct JobRequest {
    SourceKind kind = SourceKind::None;
};

}  // namespace kelvarin
