// The PNG reader on its own (the chunk walk at open, then every row, twice, on bytes in memory),
// then whole File > Open... jobs. An interlaced image is held whole, so a job may allocate what
// Deflate's largest ratio makes of the input. And the writer's deflate the other way round: the
// input, cut in two pieces where its first byte says, deflated and inflated back by zlib.
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "formats/run_deflate.h"
#include "fuzz_job.h"
#include "fuzz_readers.h"
#include "fuzz_source_rows.h"

namespace {

void checkRunDeflate(const std::uint8_t* data, std::size_t size) {
    using kelvarin::deflateRuns;
    using kelvarin::runDeflateBound;
    const std::size_t cut = size == 0 ? 0 : data[0] * size / 256;
    std::vector<std::uint8_t> stream(runDeflateBound(cut) + runDeflateBound(size - cut));
    std::size_t made = deflateRuns(std::span(data, cut), false, stream.data());
    kelvarin::fuzz::check(made <= runDeflateBound(cut), "a piece past its bound");
    const std::size_t second = deflateRuns(std::span(data + cut, size - cut), true, stream.data() + made);
    kelvarin::fuzz::check(second <= runDeflateBound(size - cut), "a piece past its bound");
    made += second;
    std::vector<std::uint8_t> back(size + 1);
    z_stream z{};
    kelvarin::fuzz::check(inflateInit2(&z, -15) == Z_OK, "no inflate state");
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(made);
    z.next_out = back.data();
    z.avail_out = static_cast<uInt>(back.size());
    const int status = inflate(&z, Z_FINISH);
    const std::size_t got = back.size() - z.avail_out;
    inflateEnd(&z);
    kelvarin::fuzz::check(status == Z_STREAM_END && z.avail_in == 0 && got == size &&
                              std::equal(data, data + size, back.begin()),
                          "deflated runs that do not inflate to their input");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvarin::fuzz::checkPngReader(data, size);
    kelvarin::fuzz::runOpenJobs(data, size, 1100);
    checkRunDeflate(data, size);
    return 0;
}
