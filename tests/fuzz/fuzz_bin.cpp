// 3DEM BIN matrices with their text header, through Convert > BIN to 16-bit TIF. The input is
// split in two: the first two bytes (low byte first) give the length of the header text that
// follows; the rest is the data file.
#include <algorithm>

#include "fuzz_job.h"
#include "fuzz_readers.h"
#include "ui/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    if (size < 2) return 0;
    const std::size_t headerSize = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
    const std::uint8_t* header = data + 2;
    const std::uint8_t* body = header + headerSize;
    const std::size_t bodySize = size - 2 - headerSize;
    fuzz::checkBinReader(header, headerSize, body, bodySize);
    for (const ConversionOptions& options : {ConversionOptions{}, fuzz::teRawOptions()}) {
        fuzz::runAndCheck({ids::BinToTif, options, body, bodySize, true, header, headerSize});
    }
    return 0;
}
