// The TIFF header and IFD walk and the sample conversion, through File > Open TIF. The first two
// bytes also decide PGM and Radiance sources, so those readers are reached from here too.
#include "fuzz_job.h"
#include "ui/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    for (const ConversionOptions& options : {ConversionOptions{}, fuzz::styledOptions(), fuzz::teRawOptions()}) {
        fuzz::runAndCheck({ids::OpenTif, options, data, size});
    }
    return 0;
}
