// The Radiance header scan, the run-length decoding and the tone mapping, through File > Open HDR.
#include "fuzz_job.h"
#include "ui/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    for (const ConversionOptions& options : {ConversionOptions{}, fuzz::styledOptions(), fuzz::teRawOptions()}) {
        fuzz::runAndCheck({ids::OpenHdr, options, data, size});
    }
    return 0;
}
