// The PNG reader on its own (the chunk walk at open, then every row, twice, on bytes in memory),
// then whole File > Open... jobs. An interlaced image is held whole, so a job may allocate what
// Deflate's largest ratio makes of the input. The input as a deflate stream, inflated by ours
// (whole, and pulled in pieces) and by zlib: the same bytes and the same verdict. And the
// writer's deflate the other way round: the input, cut in two pieces where its first byte says,
// deflated and inflated back by zlib.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "formats/inflate.h"
#include "formats/run_deflate.h"
#include "fuzz_job.h"
#include "fuzz_readers.h"
#include "fuzz_source_rows.h"

namespace {

using kelvarin::InflateResult;

// More than the span our inflate hands out from, so that its window slides.
constexpr std::size_t kInflateRoom = 300000;

class Pieces final : public kelvarin::InflateSource {
public:
    explicit Pieces(const std::vector<std::uint8_t>& data) : data_(data) {}
    std::size_t pull(std::uint8_t* to, std::size_t room) override {
        const std::size_t step = std::min({room, std::size_t{13}, data_.size() - at_});
        std::memcpy(to, data_.data() + at_, step);
        at_ += step;
        return step;
    }

private:
    const std::vector<std::uint8_t>& data_;
    std::size_t at_ = 0;
};

// "verdict bytes why" of an inflate, for comparing.
std::string verdict(InflateResult result, const std::uint8_t* out, std::size_t made, const char* why) {
    return std::to_string(static_cast<int>(result)) + " " + std::string(out, out + made) + " " + why;
}

void checkInflate(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> stream{0x78, 0x01};
    stream.insert(stream.end(), data, data + size);
    static std::vector<std::uint8_t> out(kInflateRoom);  // kept from input to input, as our inflate is
    z_stream z{};
    kelvarin::fuzz::check(inflateInit(&z) == Z_OK, "no inflate state");
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_NO_FLUSH);
    const std::size_t made = out.size() - z.avail_out;
    // All the bytes asked for are a full read, whatever zlib found after them.
    InflateResult result = InflateResult::Truncated;
    if (status == Z_STREAM_END) result = InflateResult::End;
    if (status == Z_DATA_ERROR || status == Z_NEED_DICT) result = InflateResult::Damaged;
    if (made == out.size()) result = InflateResult::Full;
    const std::string theirs =
        verdict(result, out.data(), made, result == InflateResult::Damaged && z.msg ? z.msg : "");
    inflateEnd(&z);

    static kelvarin::Inflate ours;
    std::size_t ourMade = 0;
    result = ours.whole(stream.data(), stream.size(), out.data(), out.size(), ourMade);
    kelvarin::fuzz::check(
        verdict(result, out.data(), ourMade, result == InflateResult::Damaged ? ours.failure() : "") == theirs,
        "our inflate and zlib's disagree on a whole stream");
    Pieces pieces(stream);
    ours.reset(pieces);
    result = ours.read(out.data(), out.size(), ourMade);
    kelvarin::fuzz::check(
        verdict(result, out.data(), ourMade, result == InflateResult::Damaged ? ours.failure() : "") == theirs,
        "our inflate and zlib's disagree on a stream in pieces");
}

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
    checkInflate(data, size);
    return 0;
}
