// The Radiance reader on its own, then the header scan, the run-length decoding and the tone mapping, through File > Open HDR.
#include "fuzz_job.h"
#include "fuzz_readers.h"
#include "ui/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    fuzz::checkRadianceReader(data, size);
    for (const ConversionOptions& options : {ConversionOptions{}, fuzz::styledOptions(), fuzz::teRawOptions()}) {
        fuzz::runAndCheck({ids::OpenHdr, options, data, size});
    }
    return 0;
}
