// Headerless RAW terrain exports, through Convert > RAW to 16-bit TIF. The whole file is copied,
// so the TIFF may hold more than 2 x width x length bytes, never fewer; either way the samples
// written are the file's bytes unchanged.
#include "fuzz_job.h"
#include "fuzz_readers.h"
#include "ui/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    fuzz::checkRawReader(size);
    fuzz::runAndCheck(
        {ids::RawToTif, ConversionOptions{}, data, size, false, nullptr, 0, test::OutputKind::RawTiff, true});
    fuzz::runAndCheck({ids::RawToTif, fuzz::teRawOptions(), data, size, false, nullptr, 0,
                       test::OutputKind::RawExport, true});
    return 0;
}
