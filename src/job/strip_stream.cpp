#include "job/strip_stream.h"

#include <algorithm>

#include "job/job_context.h"

namespace kelvarin {

StripStream::StripStream(JobContext& job, std::uint64_t totalBytes)
    : job_(job), strips_(job.image.strips), total_(totalBytes) {
    if (strips_.empty()) strips_.push_back({job.image.dataOffset, totalBytes});
    starts_.reserve(strips_.size());
    std::uint64_t start = 0;
    for (const Strip& strip : strips_) {
        starts_.push_back(start);
        start += strip.bytes;
    }
    if (job.session.sourceAccess != SourceAccess::Map || !job.hasSource()) return;
    // The view is used only when every byte the stream hands out lies inside it; otherwise the
    // reads find and report the short file.
    const std::uint64_t fileSize = job.source().size();
    std::uint64_t needed = total_;
    for (const Strip& strip : strips_) {
        const std::uint64_t used = std::min(strip.bytes, needed);
        if (strip.offset > fileSize || used > fileSize - strip.offset) return;
        needed -= used;
    }
    if (needed == 0) view_ = job.source().mapped();
}

const std::uint8_t* StripStream::next(std::size_t count, std::uint8_t* buffer) {
    if (view_ && count <= remaining()) {
        while (strip_ < strips_.size() && inStrip_ == strips_[strip_].bytes) {
            ++strip_;
            inStrip_ = 0;
            positioned_ = false;
        }
        // The header step has checked that every strip lies inside the file.
        if (strip_ < strips_.size() && count <= strips_[strip_].bytes - inStrip_) {
            const std::uint8_t* at = view_ + strips_[strip_].offset + inStrip_;
            inStrip_ += count;
            done_ += count;
            positioned_ = false;
            return at;
        }
        // Across strips: copied out of the view piece by piece.
        for (std::size_t put = 0; put < count;) {
            while (inStrip_ == strips_[strip_].bytes) {
                ++strip_;
                inStrip_ = 0;
            }
            const std::size_t part =
                static_cast<std::size_t>(std::min<std::uint64_t>(count - put, strips_[strip_].bytes - inStrip_));
            std::copy_n(view_ + strips_[strip_].offset + inStrip_, part, buffer + put);
            put += part;
            inStrip_ += part;
            done_ += part;
        }
        positioned_ = false;
        return buffer;
    }
    return read(buffer, count) ? buffer : nullptr;
}

bool StripStream::read(std::uint8_t* into, std::size_t count) {
    if (count > remaining()) {
        // Never read beyond the pixel data: reported as a truncated source. From the end of the
        // file the read comes up short whether or not the seek there succeeded.
        (void)job_.source().seek(job_.source().size());
        return job_.readSource(into, count);
    }
    while (count > 0) {
        while (strip_ < strips_.size() && inStrip_ == strips_[strip_].bytes) {
            ++strip_;
            inStrip_ = 0;
            positioned_ = false;
        }
        if (!positioned_) {
            // The header step has checked that every strip lies inside the file; a seek there
            // does not fail on a file that is read only.
            (void)job_.source().seek(strips_[strip_].offset + inStrip_);
            positioned_ = true;
        }
        const std::size_t part =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, strips_[strip_].bytes - inStrip_));
        if (!job_.readSource(into, part)) return false;
        into += part;
        count -= part;
        inStrip_ += part;
        done_ += part;
    }
    return true;
}

bool StripStream::readAt(std::uint64_t position, std::size_t count, std::uint8_t* into) const {
    if (!job_.hasSource() || position > total_ || count > total_ - position) return false;
    // The strip holding `position`: the last one that starts at or before it.
    std::size_t strip = static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), position) -
                                                 starts_.begin()) - 1;
    std::uint64_t inStrip = position - starts_[strip];
    File& source = job_.source();
    while (count > 0) {
        while (strip < strips_.size() && inStrip == strips_[strip].bytes) {
            ++strip;
            inStrip = 0;
        }
        if (strip == strips_.size()) return false;
        const std::size_t part =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, strips_[strip].bytes - inStrip));
        if (source.readAt(strips_[strip].offset + inStrip, into, part) != part) return false;
        into += part;
        count -= part;
        inStrip += part;
    }
    return true;
}

void StripStream::rewind() {
    done_ = 0;
    strip_ = 0;
    inStrip_ = 0;
    positioned_ = false;
}

}  // namespace kelvarin
