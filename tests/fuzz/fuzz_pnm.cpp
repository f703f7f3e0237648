// The PNM and PFM readers through the table of source formats (open, then every row twice), then
// whole File > Open... jobs.
#include "fuzz_job.h"
#include "fuzz_source_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvarin::fuzz::decodeEveryRowTwice(data, size);
    kelvarin::fuzz::runOpenJobs(data, size);
    return 0;
}
