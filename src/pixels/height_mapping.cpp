#include "pixels/height_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "pixels/pixel_layouts.h"

namespace kelvarin {

namespace {

// Round half to even, whatever the floating-point environment's rounding mode.
double roundHalfEven(double t) {
    const double below = std::floor(t);
    const double fraction = t - below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0)) return below + 1.0;
    return below;
}

}  // namespace

bool mapsHeights(const PixelLayout& layout) {
    if (layout.colourChannels() != 1) return false;
    if (layout.type == SampleType::Signed) return layout.bits == 8 || layout.bits == 16 || layout.bits == 32;
    if (layout.type == SampleType::Float) return layout.bits == 16 || layout.bits == 32 || layout.bits == 64;
    return false;
}

void HeightTally::merge(const HeightTally& other) {
    low = std::min(low, other.low);
    high = std::max(high, other.high);
    valid += other.valid;
    voids += other.voids;
    clipped += other.clipped;
}

std::optional<HeightRange> HeightTally::range() const {
    if (valid == 0) return std::nullopt;
    return HeightRange{low, high};
}

HeightMapping::HeightMapping(HeightRange range) : low_(range.low), high_(range.high), span_(0), scale_(1) {
    span_ = high_ - low_;
    // Float64 heights near the type's limits: the difference is taken of halves, and divided
    // before it is multiplied, rather than becoming infinite.
    if (!std::isfinite(span_ * 65534.0)) {
        span_ = high_ / 2 - low_ / 2;
        scale_ = 0.5;
    }
}

std::uint16_t HeightMapping::level(double h, bool& clipped) const {
    clipped = h < low_ || h > high_;
    if (h <= low_ || !(span_ > 0)) return 1;
    if (h >= high_) return 65535;
    const double t = roundHalfEven(scale_ == 1 ? (h - low_) * 65534.0 / span_ : (h / 2 - low_ / 2) / span_ * 65534.0);
    return static_cast<std::uint16_t>(1 + std::min(t, 65534.0));
}

HeightSampler::HeightSampler(const PixelLayout& layout, std::optional<double> noData)
    : layout_(layout), floatNoData_(std::numeric_limits<double>::quiet_NaN()) {
    if (!noData || std::isnan(*noData)) return;
    const double v = *noData;
    if (layout.type == SampleType::Signed) {
        // An integer sample equals the value only when the value is that integer.
        const double top = std::ldexp(1.0, static_cast<int>(layout.bits) - 1);
        if (std::nearbyint(v) == v && v >= -top && v < top) {
            integerVoid_ = true;
            integerNoData_ = static_cast<std::int64_t>(v);
        }
        return;
    }
    // Floats and halves compare with the nearest float; doubles with the value itself. A value
    // beyond the float range is no float sample's.
    if (layout.bits == 64)
        floatNoData_ = v;
    else if (std::fabs(v) <= static_cast<double>(std::numeric_limits<float>::max()) || std::isinf(v))
        floatNoData_ = static_cast<double>(static_cast<float>(v));
}

template <typename Visit>
void HeightSampler::each(const std::uint8_t* in, std::size_t pixels, Visit&& visit) const {
    const std::size_t step = layout_.bytesPerPixel();
    const auto integers = [&]<typename T>(T) {
        for (std::size_t i = 0; i < pixels; ++i, in += step) {
            const T v = loadSample<T>(in);
            visit(i, static_cast<double>(v), integerVoid_ && v == integerNoData_);
        }
    };
    const auto floats = [&]<typename T>(T) {
        for (std::size_t i = 0; i < pixels; ++i, in += step) {
            double v;
            if constexpr (sizeof(T) == 2)
                v = halfToFloat(loadSample<std::uint16_t>(in));
            else
                v = static_cast<double>(loadSample<T>(in));
            visit(i, v, !std::isfinite(v) || v == floatNoData_);
        }
    };
    if (layout_.type == SampleType::Signed) {
        if (layout_.bits == 8) integers(std::int8_t{});
        if (layout_.bits == 16) integers(std::int16_t{});
        if (layout_.bits == 32) integers(std::int32_t{});
    } else if (layout_.type == SampleType::Float) {
        if (layout_.bits == 16) floats(std::uint16_t{});
        if (layout_.bits == 32) floats(float{});
        if (layout_.bits == 64) floats(double{});
    }
}

void HeightSampler::tally(const std::uint8_t* in, std::size_t pixels, HeightTally& found) const {
    double low = found.low, high = found.high;
    std::uint64_t voids = 0;
    each(in, pixels, [&](std::size_t, double v, bool isVoid) {
        if (isVoid) {
            ++voids;
            return;
        }
        low = std::min(low, v);
        high = std::max(high, v);
    });
    found.low = low;
    found.high = high;
    found.voids += voids;
    found.valid += pixels - voids;
}

void HeightSampler::map(const HeightMapping& mapping, const std::uint8_t* in, std::size_t pixels, std::uint16_t* out,
                        HeightTally& found) const {
    std::uint64_t voids = 0, clipped = 0;
    double low = found.low, high = found.high;
    each(in, pixels, [&](std::size_t i, double v, bool isVoid) {
        if (isVoid) {
            out[i] = 0;
            ++voids;
            return;
        }
        low = std::min(low, v);
        high = std::max(high, v);
        bool outside = false;
        out[i] = mapping.level(v, outside);
        clipped += outside ? 1 : 0;
    });
    found.low = low;
    found.high = high;
    found.voids += voids;
    found.valid += pixels - voids;
    found.clipped += clipped;
}

}  // namespace kelvarin
