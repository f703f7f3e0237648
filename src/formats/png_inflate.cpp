#include "formats/png_inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include "formats/inflate.h"

namespace kelvarin {

namespace {

// Inflated bytes after the last row that are taken as trailing padding of a writer; a stream
// that goes on beyond them is not the image it claims to be.
constexpr std::uint64_t kTrailingBytesAllowed = 65536;
// Inflating ahead: blocks of this size, at most this many waiting. Large enough that handing
// one over costs nothing next to inflating it, few enough to stay a few MiB.
constexpr std::size_t kAheadBlock = std::size_t{1} << 20;
constexpr std::size_t kBlocksAhead = 4;

std::uint32_t bigEndian32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

}  // namespace

// The IDAT chunks' data, pulled by the inflater as it needs it; each chunk's CRC is compared at
// its end.
struct PngInflate::Stream final : InflateSource {
    ByteSource& source;
    const std::uint64_t firstIdat;
    Inflate inflate;
    bool ended = false;
    std::uint64_t chunkNext = 0;  // the next data byte of the current IDAT chunk
    std::uint64_t chunkLeft = 0;  // its data bytes still to read
    uLong crc = 0;
    bool inputDone = false;
    std::string chunkFault;  // why the chunks could give no more, before their end
    std::string why;

    Stream(ByteSource& source, std::uint64_t firstIdat) : source(source), firstIdat(firstIdat) {}

    bool fail(std::string reason) {
        why = std::move(reason);
        return false;
    }

    void enterChunk(std::uint64_t at) {
        std::uint8_t head[8];
        if (!source.readAt(at, head, sizeof head) || std::memcmp(head + 4, "IDAT", 4) != 0) {
            inputDone = true;
            return;
        }
        chunkNext = at + 8;
        chunkLeft = bigEndian32(head);
        crc = crc32(crc32(0L, Z_NULL, 0), head + 4, 4);
    }

    bool reset() {
        ended = false;
        inputDone = false;
        chunkLeft = 0;
        chunkFault.clear();
        why.clear();
        enterChunk(firstIdat);
        inflate.reset(*this);
        return true;
    }

    std::size_t pull(std::uint8_t* to, std::size_t room) override {
        while (!inputDone && chunkLeft == 0) {
            std::uint8_t stored[4];
            if (!source.readAt(chunkNext, stored, 4)) return stop("The file ends inside chunk IDAT.");
            if (bigEndian32(stored) != crc) return stop("Bad CRC in chunk IDAT.");
            enterChunk(chunkNext + 4);
        }
        if (inputDone) return 0;
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(chunkLeft, room));
        if (!source.readAt(chunkNext, to, step)) return stop("The file ends inside chunk IDAT.");
        crc = crc32(crc, to, static_cast<uInt>(step));
        chunkNext += step;
        chunkLeft -= step;
        return step;
    }

    std::size_t stop(const char* reason) {
        chunkFault = reason;
        inputDone = true;
        return 0;
    }

    // False, with `why`, when the stream could not give all the bytes: a faulty chunk first,
    // else `endsEarly` when it ended or was cut short, else the damage.
    bool takeResult(InflateResult result, const char* endsEarly) {
        if (result == InflateResult::Full) return true;
        if (result == InflateResult::End) ended = true;
        if (!chunkFault.empty()) return fail(chunkFault);
        if (result == InflateResult::NoMemory) return fail("Not enough memory to inflate the image data.");
        if (result == InflateResult::Damaged)
            return fail(std::string("The image data is damaged (") + inflate.failure() + ").");
        return fail(endsEarly);
    }

    // Inflates `bytes` into `to`; `got` says how many came, also when it fails.
    bool inflateInto(std::uint8_t* to, std::size_t bytes, std::size_t& got) {
        if (ended) {
            got = 0;
            return fail("The image data inflates to fewer bytes than the image needs.");
        }
        const InflateResult result = inflate.read(to, bytes, got);
        return takeResult(result, result == InflateResult::End ? "The image data inflates to fewer bytes than the image needs."
                                                               : "The image data ends before the image does.");
    }

    bool finish() {
        std::uint8_t scratch[4096];
        std::uint64_t trailing = 0;
        while (!ended) {
            std::size_t made = 0;
            const InflateResult result = inflate.read(scratch, sizeof scratch, made);
            trailing += made;
            if (result != InflateResult::End &&
                !takeResult(result, "The image data ends before its compressed stream does."))
                return false;
            if (result == InflateResult::End) ended = true;
            if (trailing > kTrailingBytesAllowed)
                return fail("The image data inflates to more bytes than the image needs.");
        }
        // What is left of the chunks after the stream's end is read for their CRCs only.
        while (!inputDone) pull(scratch, sizeof scratch);
        return chunkFault.empty() || fail(chunkFault);
    }
};

PngInflate::PngInflate(ByteSource& source, std::uint64_t firstIdat, std::uint64_t expected, bool ahead)
    : expected_(expected), ahead_(ahead), stream_(std::make_unique<Stream>(source, firstIdat)) {}

PngInflate::~PngInflate() { stopAhead(); }

void PngInflate::stopAhead() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        cancel_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool PngInflate::restart() {
    stopAhead();
    failure_.clear();
    if (!stream_->reset()) {
        failure_ = stream_->why;
        return false;
    }
    if (!ahead_) return true;
    ready_.clear();
    current_ = Block{};
    done_ = false;
    cancel_ = false;
    aheadFailure_.clear();
    try {
        thread_ = std::thread([this] { inflateAhead(); });
    } catch (const std::system_error&) {
        done_ = true;
        failure_ = aheadFailure_ = "No thread could be started to inflate the image data.";
        return false;
    }
    return true;
}

// The thread's loop: blocks of the stream until the image has its bytes, then the stream's end.
// A fault stops it after handing over the bytes inflated before it, so the rows before the fault
// are read, and fail, as they would be without the thread.
void PngInflate::inflateAhead() {
    std::uint64_t produced = 0;
    bool ok = true;
    std::string why;
    while (ok && produced < expected_) {
        std::vector<std::uint8_t> bytes;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!spare_.empty()) {
                bytes = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kAheadBlock, expected_ - produced));
        std::size_t got = 0;
        try {
            bytes.resize(want);
            ok = stream_->inflateInto(bytes.data(), want, got);
            if (!ok) why = stream_->why;
        } catch (const std::bad_alloc&) {
            ok = false;
            why = "Not enough memory to inflate the image data.";
        }
        bytes.resize(got);
        produced += got;
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return cancel_ || ready_.size() < kBlocksAhead; });
        if (cancel_) return;
        if (got > 0) ready_.push_back(Block{std::move(bytes), 0});
        lock.unlock();
        changed_.notify_all();
    }
    if (ok && !stream_->finish()) why = stream_->why;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
        aheadFailure_ = std::move(why);
    }
    changed_.notify_all();
}

bool PngInflate::takeBlock() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || done_; });
    if (ready_.empty()) {
        failure_ = aheadFailure_.empty() ? "The image data inflates to fewer bytes than the image needs." : aheadFailure_;
        return false;
    }
    if (current_.bytes.capacity() > 0) spare_.push_back(std::move(current_.bytes));
    current_ = std::move(ready_.front());
    ready_.pop_front();
    lock.unlock();
    changed_.notify_all();
    return true;
}

bool PngInflate::read(std::uint8_t* to, std::size_t bytes) {
    if (!ahead_) {
        std::size_t got = 0;
        if (stream_->inflateInto(to, bytes, got)) return true;
        failure_ = stream_->why;
        return false;
    }
    while (bytes > 0) {
        if (current_.taken == current_.bytes.size() && !takeBlock()) return false;
        const std::size_t step = std::min(bytes, current_.bytes.size() - current_.taken);
        std::memcpy(to, current_.bytes.data() + current_.taken, step);
        current_.taken += step;
        to += step;
        bytes -= step;
    }
    return true;
}

bool PngInflate::finish() {
    if (!ahead_) {
        if (stream_->finish()) return true;
        failure_ = stream_->why;
        return false;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
    if (aheadFailure_.empty()) return true;
    failure_ = aheadFailure_;
    return false;
}

}  // namespace kelvarin
