// The OpenEXR reader through the table of source formats (open, then every row twice), then whole
// File > Open... jobs. The image is held whole, as floats, so a job may allocate what the
// largest compression ratio makes of the input, twice over.
#include "fuzz_job.h"
#include "fuzz_source_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvarin::fuzz::decodeEveryRowTwice(data, size);
    kelvarin::fuzz::runOpenJobs(data, size, 8192);
    return 0;
}
