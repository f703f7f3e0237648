// An image written at another size than it comes in: resampled as its samples arrive, each row
// of the result handed on as soon as the source rows under it are in, so that the result is
// written while the source is still being converted and only a few rows are ever held. The one
// grey file and the tiles of a set both take this path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/image_size.h"
#include "pixels/resample.h"
#include "pixels/whole_rows.h"

namespace kelvarin {

// Asked between the groups of rows of a result that come of one part of the source, and once
// more when the image is complete: the window answers its events then, and false stops the job.
using KeepGoing = std::function<bool()>;

class StreamedResample {
public:
    using HandOn = std::function<bool(std::uint16_t* samples, std::size_t count)>;
    // An image of `from` samples follows, to be resampled to `to` on `threads` threads (0: as many
    // as the machine has). `start` is called once, before the first rows are handed on to
    // `handOn` (in row order, whole rows); false from either ends the resampling. False when the
    // rows in the making do not fit in memory.
    [[nodiscard]] bool begin(ImageSize from, ImageSize to, unsigned threads, std::function<bool()> start, HandOn handOn);
    // The next samples in row order (a call need not hold whole rows). False when they run past
    // the end of the image, or a hand-on failed or was stopped by `keepGoing`.
    [[nodiscard]] bool add(const std::uint16_t* samples, std::size_t count, const KeepGoing& keepGoing);
    bool complete() const;

    enum class Outcome { Done, Stopped, OutOfMemory, HandOnFailed };
    // With the whole image in, every row of the result has been handed on; `keepGoing` is asked a
    // last time whether to go on.
    Outcome finish(const KeepGoing& keepGoing);

private:
    bool handOn(std::uint16_t* samples, std::size_t count);

    std::unique_ptr<RowResampler> resampler_;
    ImageSize from_{}, to_{};
    std::function<bool()> start_;
    HandOn handOn_;
    bool started_ = false;
    const KeepGoing* keepGoing_ = nullptr;  // of the add() under way
    std::size_t groups_ = 0;                // handed on in that add()
    WholeRows rows_;
};

}  // namespace kelvarin
