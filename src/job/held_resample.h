// An image written at another size than it comes in: held whole as its samples arrive, resampled
// aside (the result's top half as soon as the rows it is made from are in, the rest once the
// image is complete; the job's thread goes on answering the window and can give the work up when
// the user stops the job), then handed on in parts, between which a stop is looked for again.
// The one grey file and the tiles of a set both take this path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/image_size.h"
#include "base/large_memory.h"
#include "job/resample_aside.h"

namespace kelvarin {

// The work after the last sample, and how far it is (0 to 1): false stops it.
enum class FinishStage { Resampling, Writing };
using FinishProgress = std::function<bool(FinishStage stage, double fraction)>;

class HeldResample {
public:
    // An image of `from` samples follows, to be resampled to `to`; false when it does not fit in
    // memory.
    [[nodiscard]] bool begin(ImageSize from, ImageSize to);
    // The next samples in row order; false when they run past the end of the image.
    [[nodiscard]] bool add(const std::uint16_t* samples, std::size_t count);
    bool complete() const { return held_ == std::size_t{from_.width} * from_.height; }
    ImageSize to() const { return to_; }

    enum class Outcome { Done, Stopped, OutOfMemory, HandOnFailed };
    // Resamples the complete image (aside when there is `progress` to ask, here otherwise), calls
    // `resampled` once, and hands the result to `handOn` in row order, in parts of 1 MiB. The held
    // image is let go as soon as it is resampled. A false from `resampled` or `handOn` ends it.
    using HandOn = std::function<bool(std::uint16_t* samples, std::size_t count)>;
    Outcome finish(const FinishProgress& progress, const std::function<bool()>& resampled, const HandOn& handOn);

private:
    std::unique_ptr<ResampleAside> aside_;  // holds the image, from_.width x from_.height, filled by add()
    ImageSize from_{}, to_{};
    std::size_t held_ = 0;
};

}  // namespace kelvarin
