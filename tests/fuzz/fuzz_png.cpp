// The PNG reader on its own (the chunk walk at open, then every row, twice, on bytes in memory),
// then whole File > Open... jobs. An interlaced image is held whole, so a job may allocate what
// Deflate's largest ratio makes of the input.
#include "fuzz_job.h"
#include "fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvarin::fuzz::checkPngReader(data, size);
    kelvarin::fuzz::runOpenJobs(data, size, 1100);
    return 0;
}
