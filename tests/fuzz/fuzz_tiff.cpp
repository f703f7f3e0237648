// The TIFF reader on its own, then the TIFF header and IFD walk and the sample conversion, through
// File > Open TIF: with every pixel option, once with Swap and once without (which may only
// reorder bytes), and in the TE>Raw mode. The defaults need no job of their own: their conversion
// is one pass over the strips, which the styled jobs make after their analysis pass. The first two
// bytes also decide PGM and Radiance sources, so those readers are reached from here too.
#include "fuzz_job.h"
#include "fuzz_readers.h"
#include "ui/ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    fuzz::checkTiffReader(data, size);
    ConversionOptions unswapped = fuzz::styledOptions();
    unswapped.swapByteOrder = false;
    const auto plain = fuzz::runAndCheck({ids::OpenTif, unswapped, data, size});
    fuzz::checkSwapOnlyReorders(plain, fuzz::runAndCheck({ids::OpenTif, fuzz::styledOptions(), data, size}));
    fuzz::runAndCheck({ids::OpenTif, fuzz::teRawOptions(), data, size});
    return 0;
}
