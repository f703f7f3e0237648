// The PNG reader on its own: the chunk walk at open, then every row, twice, on bytes in memory.
// PNG sources do not reach a conversion job yet, so no job runs here.
#include "fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvarin::fuzz::checkPngReader(data, size);
    return 0;
}
