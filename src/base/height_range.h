// The heights a height map spans, and where an elevation file's samples lie on the ground: the
// small records the options, the readers and the report share.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvarin {

// Heights from `low` to `high` are spread over the levels 1 to 65535; low < high when the user
// gives them, low == high for a file whose valid samples are all one height.
struct HeightRange {
    double low = 0;
    double high = 0;
};

// Either a range, or the sentence that says why the text is none.
struct HeightRangeParse {
    std::optional<HeightRange> range;
    std::string refusal;
};

// Accepts "LO:HI" ("-120:4810.5", blanks around the parts): two decimal numbers, LO below HI,
// read without the C locale.
HeightRangeParse parseHeightRange(std::string_view text);

// "LO:HI" with each number in its shortest text that reads back as the same double.
std::string heightRangeText(HeightRange range);

// Where the samples of an elevation file lie on the ground, as its georeferencing gives it.
struct GroundPlacement {
    double pixelWidth = 0;   // ground units a column
    double pixelHeight = 0;  // ground units a row
    double originX = 0;      // the top-left corner of the top-left pixel
    double originY = 0;
    std::string units;       // "degree", "metre", ... when the file says; empty when it does not
};

}  // namespace kelvarin
