// Resampling a whole grey image on threads of its own, so that the job's thread goes on moving
// the progress bar (a window answers its events then) and can give the work up when the user
// stops the job: a 16385 x 16385 image takes seconds, far longer than a stop may wait. The top
// half of the result starts as soon as the source rows it is made from are in, while the job's
// threads are still converting the rest.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "base/image_size.h"
#include "base/large_memory.h"

namespace kelvarin {

struct ResampleAsideResult {
    // The resampled samples; nothing when the resampling failed or was given up.
    std::optional<LargeArray<std::uint16_t>> samples;
    bool stopped = false;
};

class ResampleAside {
public:
    // Takes `source` (room for from.width x from.height samples, filled through source() in row
    // order) and `target` (room for to.width x to.height).
    ResampleAside(LargeArray<std::uint16_t> source, ImageSize from, LargeArray<std::uint16_t> target, ImageSize to);
    // A resampling still running is left to finish on its own; it lets the buffers go then.
    ~ResampleAside();
    ResampleAside(const ResampleAside&) = delete;
    ResampleAside& operator=(const ResampleAside&) = delete;

    std::uint16_t* source() const;
    // The source's first `rows` rows are in.
    void sourceRowsIn(std::uint32_t rows);
    // Resamples what has not been started yet, with the whole source in. `keepGoing` is called on
    // this thread every few tens of milliseconds while the others work; when it answers false,
    // the resampling is left to finish on its own and this returns at once with `stopped`.
    ResampleAsideResult finish(const std::function<bool()>& keepGoing);

private:
    struct Work;
    std::shared_ptr<Work> work_;
    std::thread top_;  // the result's top rows, once their source rows are in
};

// The whole of `source` at once, as ResampleAside resamples it.
ResampleAsideResult resampleAside(LargeArray<std::uint16_t> source, ImageSize from, LargeArray<std::uint16_t> target,
                                  ImageSize to, const std::function<bool()>& keepGoing);

}  // namespace kelvarin
