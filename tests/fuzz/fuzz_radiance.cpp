// The Radiance reader on its own, then the header scan, the run-length decoding and the tone
// mapping, through File > Open HDR, with every pixel option and in the TE>Raw mode. The options
// change only the tone mapping's arithmetic, not the job's steps, so the defaults need no job of
// their own.
#include "fuzz_job.h"
#include "fuzz_readers.h"
#include "ui/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    fuzz::checkRadianceReader(data, size);
    for (const ConversionOptions& options : {fuzz::styledOptions(), fuzz::teRawOptions()}) {
        fuzz::runAndCheck({ids::OpenHdr, options, data, size});
    }
    return 0;
}
