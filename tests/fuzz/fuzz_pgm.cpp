// The PGM reader on its own, then the header tokens and the P2 and P5 data steps, through Convert > PGM to 16-bit TIF.
#include "fuzz_job.h"
#include "fuzz_readers.h"
#include "ui/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    fuzz::checkPgmReader(data, size);
    for (const ConversionOptions& options : {ConversionOptions{}, fuzz::teRawOptions()}) {
        fuzz::runAndCheck({ids::PgmToTif, options, data, size});
    }
    return 0;
}
