// The TIFF reader on its own, then the TIFF header and IFD walk and the sample conversion, through File > Open TIF, with the
// default options, with Swap alone (which may only reorder bytes), with every pixel option and in
// the TE>Raw mode. The first two bytes also decide PGM and Radiance sources, so those readers are
// reached from here too.
#include "fuzz_job.h"
#include "fuzz_readers.h"
#include "ui/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    fuzz::checkTiffReader(data, size);
    ConversionOptions swapOnly;
    swapOnly.swapByteOrder = true;
    const auto plain = fuzz::runAndCheck({ids::OpenTif, ConversionOptions{}, data, size});
    fuzz::checkSwapOnlyReorders(plain, fuzz::runAndCheck({ids::OpenTif, swapOnly, data, size}));
    fuzz::runAndCheck({ids::OpenTif, fuzz::styledOptions(), data, size});
    fuzz::runAndCheck({ids::OpenTif, fuzz::teRawOptions(), data, size});
    return 0;
}
