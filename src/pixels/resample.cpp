#include "pixels/resample.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "pixels/resample_taps.h"
#include "pixels/simd_clones.h"

namespace kelvarin {

namespace {

// Result rows go on in groups of about this many bytes.
constexpr std::size_t kGroupBytes = std::size_t{1} << 20;
// A thread of its own is worth this many result columns at least.
constexpr std::uint32_t kColumnsWorthAThread = 512;

// The sample as the filters weigh it, 0 to 1, and back: the float product is rounded half up.
float unitSample(std::uint16_t sample) { return static_cast<float>(sample) / 65535.0f; }

KELVARIN_INLINE std::uint16_t fromUnit(float value) {
    const float clamped = value < 0 ? 0.0f : value > 1 ? 1.0f : value;
    return static_cast<std::uint16_t>(static_cast<int>(clamped * 65535.0f + 0.5));
}

// The row loops, each lane's arithmetic that of one sample.

// Columns [first, end) of a row resampled across: tap t of column c is index[t * width + c]
// weighing weight[t * width + c]; a column of fewer taps is padded with weights of 0, which
// add nothing to its sum.
KELVARIN_SIMD_CLONES void sumAcross(const float* unit, const std::uint32_t* index, const float* weight,
                                    std::uint32_t taps, std::uint32_t width, std::uint32_t first, std::uint32_t end,
                                    float* into) {
    for (std::uint32_t c = first; c < end; ++c) into[c] = 0;
    for (std::uint32_t t = 0; t < taps; ++t) {
        const std::uint32_t* const at = index + std::size_t{t} * width;
        const float* const by = weight + std::size_t{t} * width;
        for (std::uint32_t c = first; c < end; ++c) into[c] += unit[at[c]] * by[c];
    }
}

KELVARIN_SIMD_CLONES void addWeighted(float* into, const float* row, float weight, std::uint32_t first,
                                      std::uint32_t end) {
    for (std::uint32_t c = first; c < end; ++c) into[c] += row[c] * weight;
}

KELVARIN_SIMD_CLONES void toSamples(const float* sums, std::uint32_t first, std::uint32_t end, std::uint16_t* out) {
    for (std::uint32_t c = first; c < end; ++c) out[c] = fromUnit(sums[c]);
}

}  // namespace

// What the rows of a resampling need, worked out once: the taps, when each result row can be
// made, and the few rows held in the making.
//
// A result row sums its taps, the source rows resampled across, in order. Either those rows are
// kept in a ring until the last result row that names them is made (`gathering`: the few source
// rows under a row of an image that grows), or each source row, once resampled across, is added
// into the sums of the result rows it weighs in, which are kept in a ring until they are complete
// (the few result rows over a source row of an image that shrinks). The additions, and so the
// samples, are the same either way; the smaller ring is taken.
struct RowResampler::Plan {
    ImageSize from, to;
    ResampleTaps down;
    // The source row after whose arrival result row k is made: the last of its taps, or of those
    // of a row above it (rows are made in order); -1 for rows above every tap.
    std::vector<std::int64_t> madeAt;
    bool gathering = true;
    std::uint32_t ringRows = 1;
    std::vector<float> ring;  // ringRows x to.width
    // For every source row, the result rows it is added into and its weight, in the order of
    // their taps (when not gathering).
    ResampleTaps spread;
    std::vector<float> acrossRow, sums;  // to.width each
    std::uint32_t groupRows = 1;
    std::vector<std::uint16_t> group;  // groupRows x to.width: the rows made in a step
    // Each thread's columns of the result, and the source columns their taps reach.
    struct Slice {
        std::uint32_t first = 0, end = 0, sourceFirst = 0, sourceEnd = 0;
        std::vector<float> unit;
    };
    std::vector<Slice> slices;
    // The taps across, column by column in rows of to.width (see sumAcross).
    std::uint32_t acrossTaps = 0;
    std::vector<std::uint32_t> acrossIndex;
    std::vector<float> acrossWeight;

    float* ringRow(std::uint64_t row) { return ring.data() + (row % ringRows) * to.width; }

    Plan(ImageSize from, ImageSize to) : from(from), to(to) {
        const ResampleTaps across = resampleTaps(from.width, to.width);
        down = resampleTaps(from.height, to.height);
        for (std::uint32_t c = 0; c < to.width; ++c)
            acrossTaps = std::max(acrossTaps, across.first[c + 1] - across.first[c]);
        acrossIndex.resize(std::size_t{acrossTaps} * to.width);
        acrossWeight.assign(acrossIndex.size(), 0.0f);
        for (std::uint32_t c = 0; c < to.width; ++c) {
            // The padding reads the column's last sample again (its weights sum to 1, so it has one).
            const std::uint32_t begin = across.first[c], count = across.first[c + 1] - begin;
            for (std::uint32_t t = 0; t < acrossTaps && count != 0; ++t) {
                const std::uint32_t tap = begin + std::min(t, count - 1);
                acrossIndex[std::size_t{t} * to.width + c] = across.index[tap];
                if (t < count) acrossWeight[std::size_t{t} * to.width + c] = across.weight[tap];
            }
        }
        madeAt.resize(to.height);
        std::int64_t last = -1;
        std::uint64_t gatherRows = 1;
        for (std::uint32_t k = 0; k < to.height; ++k) {
            if (down.first[k] != down.first[k + 1]) {
                last = std::max<std::int64_t>(last, down.index[down.first[k + 1] - 1]);
                gatherRows = std::max<std::uint64_t>(gatherRows, static_cast<std::uint64_t>(last - down.index[down.first[k]] + 1));
            }
            madeAt[k] = last;
        }
        // Spreading holds the rows from the first one not made yet to the last one a source row
        // has been added into: the last whose first tap has come.
        std::vector<std::int64_t> lastBegun(from.height, -1);
        for (std::uint32_t k = 0; k < to.height; ++k)
            if (down.first[k] != down.first[k + 1]) lastBegun[down.index[down.first[k]]] = k;
        std::uint64_t spreadRows = 1;
        std::uint32_t unmade = 0;
        std::int64_t touched = -1;
        for (std::uint32_t y = 0; y < from.height; ++y) {
            while (unmade < to.height && madeAt[unmade] < static_cast<std::int64_t>(y)) ++unmade;
            touched = std::max(touched, lastBegun[y]);
            if (touched >= static_cast<std::int64_t>(unmade))
                spreadRows = std::max<std::uint64_t>(spreadRows, static_cast<std::uint64_t>(touched - unmade + 1));
        }
        gathering = gatherRows <= spreadRows;
        ringRows = static_cast<std::uint32_t>(gathering ? gatherRows : spreadRows);
        if (!gathering) {
            // The spread: the taps turned round, source row by source row.
            spread.first.assign(std::size_t{from.height} + 1, 0);
            for (std::uint32_t index : down.index) ++spread.first[index + 1];
            for (std::uint32_t y = 0; y < from.height; ++y) spread.first[y + 1] += spread.first[y];
            spread.index.resize(down.index.size());
            spread.weight.resize(down.index.size());
            std::vector<std::uint32_t> next(spread.first.begin(), spread.first.end() - 1);
            for (std::uint32_t k = 0; k < to.height; ++k)
                for (std::uint32_t t = down.first[k]; t < down.first[k + 1]; ++t) {
                    const std::uint32_t at = next[down.index[t]]++;
                    spread.index[at] = k;
                    spread.weight[at] = down.weight[t];
                }
        }
        ring.assign(std::size_t{ringRows} * to.width, 0.0f);
        acrossRow.resize(gathering ? 0 : to.width);
        sums.resize(gathering ? to.width : 0);
        groupRows = static_cast<std::uint32_t>(
            std::clamp<std::size_t>(kGroupBytes / (std::size_t{to.width} * sizeof(std::uint16_t)), 1, to.height));
        group.resize(std::size_t{groupRows} * to.width);
    }

    void shareColumns(unsigned threads) {
        slices.resize(threads);
        for (unsigned i = 0; i < threads; ++i) {
            Slice& slice = slices[i];
            slice.first = static_cast<std::uint32_t>(std::uint64_t{to.width} * i / threads);
            slice.end = static_cast<std::uint32_t>(std::uint64_t{to.width} * (i + 1) / threads);
            std::uint32_t low = from.width, high = 0;
            for (std::uint32_t t = 0; t < acrossTaps; ++t)
                for (std::uint32_t c = slice.first; c < slice.end; ++c) {
                    low = std::min(low, acrossIndex[std::size_t{t} * to.width + c]);
                    high = std::max(high, acrossIndex[std::size_t{t} * to.width + c] + 1);
                }
            slice.sourceFirst = std::min(low, high);
            slice.sourceEnd = high;
            slice.unit.resize(high - slice.sourceFirst);
        }
    }

    // Source row y, resampled across into `into` (the slice's columns).
    void resampleAcross(Slice& slice, const std::uint16_t* row, float* into) const {
        float* const unit = slice.unit.data() - slice.sourceFirst;
        for (std::uint32_t x = slice.sourceFirst; x < slice.sourceEnd; ++x) unit[x] = unitSample(row[x]);
        sumAcross(unit, acrossIndex.data(), acrossWeight.data(), acrossTaps, to.width, slice.first, slice.end, into);
    }

    void takeIn(Slice& slice, std::uint32_t y, const std::uint16_t* row) {
        if (gathering) return resampleAcross(slice, row, ringRow(y));
        resampleAcross(slice, row, acrossRow.data());
        for (std::uint32_t e = spread.first[y]; e < spread.first[y + 1]; ++e) {
            float* const into = ringRow(spread.index[e]);
            const float weight = spread.weight[e];
            addWeighted(into, acrossRow.data(), weight, slice.first, slice.end);
        }
    }

    void make(const Slice& slice, std::uint32_t k, std::uint16_t* out) {
        if (gathering) {
            std::fill(sums.begin() + slice.first, sums.begin() + slice.end, 0.0f);
            for (std::uint32_t t = down.first[k]; t < down.first[k + 1]; ++t) {
                const float* const row = ringRow(down.index[t]);
                const float weight = down.weight[t];
                addWeighted(sums.data(), row, weight, slice.first, slice.end);
            }
            toSamples(sums.data(), slice.first, slice.end, out);
            return;
        }
        float* const row = ringRow(k);
        for (std::uint32_t c = slice.first; c < slice.end; ++c) {
            out[c] = fromUnit(row[c]);
            row[c] = 0;
        }
    }

    // A step of one slice: the result rows [made, makeEnd) that were waiting, and the source rows
    // [in, inEnd) (the first at `rows`), each followed by the result rows it completes.
    void step(Slice& slice, const std::uint16_t* rows, std::uint32_t in, std::uint32_t inEnd, std::uint32_t made,
              std::uint32_t makeEnd) {
        std::uint32_t k = made;
        const auto makeUpTo = [&](std::int64_t sourceRow) {
            for (; k < makeEnd && madeAt[k] <= sourceRow; ++k) make(slice, k, group.data() + std::size_t{k - made} * to.width);
        };
        makeUpTo(static_cast<std::int64_t>(in) - 1);
        for (std::uint32_t y = in; y < inEnd; ++y) {
            takeIn(slice, y, rows + std::size_t{y - in} * from.width);
            makeUpTo(y);
        }
    }
};

// Threads that wait for a step and run their part of it beside the caller's.
struct RowResampler::Crew {
    std::mutex lock;
    std::condition_variable begun, ended;
    std::uint64_t generation = 0;
    unsigned pending = 0;
    bool quit = false;
    const std::function<void(unsigned)>* task = nullptr;
    std::vector<std::thread> threads;

    explicit Crew(unsigned helpers) {
        for (unsigned i = 0; i < helpers; ++i) {
            try {
                threads.emplace_back([this, i] { serve(i + 1); });
            } catch (const std::system_error&) {
                break;  // no more threads to be had: fewer do the work
            }
        }
    }
    ~Crew() {
        {
            const std::lock_guard<std::mutex> hold(lock);
            quit = true;
        }
        begun.notify_all();
        for (std::thread& thread : threads) thread.join();
    }
    unsigned size() const { return static_cast<unsigned>(threads.size()) + 1; }

    void serve(unsigned part) {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            begun.wait(hold, [&] { return quit || generation != seen; });
            if (quit) return;
            seen = generation;
            const std::function<void(unsigned)>& run = *task;
            hold.unlock();
            run(part);
            hold.lock();
            if (--pending == 0) ended.notify_one();
        }
    }

    // Runs part 0 here and the others on the threads; returns when every part is done.
    void run(const std::function<void(unsigned)>& parts) {
        if (threads.empty()) return parts(0);
        {
            const std::lock_guard<std::mutex> hold(lock);
            task = &parts;
            pending = static_cast<unsigned>(threads.size());
            ++generation;
        }
        begun.notify_all();
        parts(0);
        std::unique_lock<std::mutex> hold(lock);
        ended.wait(hold, [&] { return pending == 0; });
    }
};

RowResampler::RowResampler(ImageSize from, ImageSize to, unsigned threads) : plan_(std::make_unique<Plan>(from, to)) {
    unsigned wanted = threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
    wanted = std::min(wanted, std::max(1u, to.width / kColumnsWorthAThread));
    if (std::uint64_t{to.width} * to.height < kResampleSamplesWorthAThread) wanted = 1;
    crew_ = std::make_unique<Crew>(wanted - 1);
    plan_->shareColumns(crew_->size());
}

RowResampler::~RowResampler() = default;

bool RowResampler::addRows(const std::uint16_t* samples, std::uint32_t rows, const Made& made) {
    Plan& plan = *plan_;
    if (failed_ || rows > plan.from.height - rowsIn_) return false;
    const std::uint32_t end = rowsIn_ + rows;
    if (plan.from == plan.to) {
        // The same size: the rows as they are, in groups.
        for (std::uint32_t row = 0; row < rows; row += plan.groupRows) {
            const std::size_t count = std::size_t{std::min(plan.groupRows, rows - row)} * plan.to.width;
            const std::uint16_t* const part = samples + std::size_t{row} * plan.to.width;
            std::copy(part, part + count, plan.group.begin());
            rowsIn_ = rowsMade_ = rowsIn_ + static_cast<std::uint32_t>(count / plan.to.width);
            if (!made(plan.group.data(), count)) {
                failed_ = true;
                return false;
            }
        }
        return true;
    }
    for (;;) {
        // Source rows below the last result row's taps change nothing.
        if (rowsMade_ == plan.to.height) {
            rowsIn_ = end;
            return true;
        }
        // The next step: source rows in until the next result row can be made, and result rows
        // made, until the group is full or the rows at hand are all in.
        std::uint32_t inEnd = rowsIn_, makeEnd = rowsMade_;
        while (makeEnd < plan.to.height && makeEnd - rowsMade_ < plan.groupRows) {
            if (plan.madeAt[makeEnd] < static_cast<std::int64_t>(inEnd)) ++makeEnd;
            else if (inEnd < end) ++inEnd;
            else break;
        }
        if (inEnd == rowsIn_ && makeEnd == rowsMade_) return true;
        const std::uint16_t* const first = samples + std::size_t{rowsIn_ - (end - rows)} * plan.from.width;
        const std::function<void(unsigned)> parts = [&](unsigned part) {
            plan.step(plan.slices[part], first, rowsIn_, inEnd, rowsMade_, makeEnd);
        };
        crew_->run(parts);
        rowsIn_ = inEnd;
        if (makeEnd != rowsMade_) {
            const std::size_t count = std::size_t{makeEnd - rowsMade_} * plan.to.width;
            rowsMade_ = makeEnd;
            if (!made(plan.group.data(), count)) {
                failed_ = true;
                return false;
            }
        }
    }
}

bool resampleGrey(std::span<const std::uint16_t> source, ImageSize from, std::span<std::uint16_t> target,
                  ImageSize to, unsigned threads) {
    if (from.width == 0 || from.height == 0 || to.width == 0 || to.height == 0) return false;
    if (source.size() != std::uint64_t{from.width} * from.height || target.size() != std::uint64_t{to.width} * to.height)
        return false;
    try {
        RowResampler resampler(from, to, threads);
        std::size_t at = 0;
        const auto collect = [&](const std::uint16_t* samples, std::size_t count) {
            std::copy(samples, samples + count, target.begin() + static_cast<std::ptrdiff_t>(at));
            at += count;
            return true;
        };
        return resampler.addRows(source.data(), from.height, collect) && resampler.rowsMade() == to.height;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace kelvarin
