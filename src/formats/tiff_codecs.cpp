#include "formats/tiff_codecs.h"


#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvarin {

namespace {

constexpr unsigned kClear = 256, kEnd = 257, kFirstFree = 258, kTableSize = 4096;

// The running sums stay in registers, and each sample is loaded and stored on its own (a row in
// a strip buffer need not be aligned for T): copying a whole pixel through an array of T makes
// every store wait on the load after it, several times slower.
template <typename T, std::size_t Stride>
void accumulateBy(std::uint8_t* row, std::size_t values) {
    T sum[Stride];
    for (std::size_t s = 0; s < Stride; ++s) std::memcpy(&sum[s], row + s * sizeof(T), sizeof(T));
    for (std::size_t i = Stride; i + Stride <= values; i += Stride) {
        std::uint8_t* at = row + i * sizeof(T);
        for (std::size_t s = 0; s < Stride; ++s) {
            T here;
            std::memcpy(&here, at + s * sizeof(T), sizeof(T));
            sum[s] = static_cast<T>(sum[s] + here);
            std::memcpy(at + s * sizeof(T), &sum[s], sizeof(T));
        }
    }
}

#if defined(__SSE2__)
// Lane i of the result is lane i - Shift of the registers before `r[k]` run together.
template <int Shift>
__m128i lanesBack(const __m128i* r, int k) {
    constexpr int whole = Shift / 8, part = Shift % 8;
    if constexpr (part == 0) {
        return r[k - whole];
    } else {
        return _mm_or_si128(_mm_slli_si128(r[k - whole], 2 * part), _mm_srli_si128(r[k - whole - 1], 16 - 2 * part));
    }
}

template <int Shift, int Registers>
void addLanesBack(__m128i* r) {
#pragma GCC unroll 4
    for (int k = Registers + 1; k >= 2; --k) r[k] = _mm_add_epi16(r[k], lanesBack<Shift>(r, k));
}

// 16-bit samples, `S` a pixel, eight pixels at a time: in S registers, each lane gains the lane S
// before it, then 2S, then 4S before, which sums the eight pixels' samples of each channel. The
// sums before them come in from a register holding only the last pixel's sums (the rest zero,
// as are the lanes before it): every lane but the last pixel's has met it on the way; those get
// it at the end.
template <int S>
void accumulate16(std::uint8_t* row, std::size_t values) {
    __m128i r[S + 2];
    r[0] = _mm_setzero_si128();
    r[1] = r[0];
    std::size_t i = 0;
    for (; i + 8 * S <= values; i += 8 * S) {
#pragma GCC unroll 4
        for (int k = 0; k < S; ++k)
            r[k + 2] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * (i + 8 * k)));
        addLanesBack<S, S>(r);
        addLanesBack<2 * S, S>(r);
        addLanesBack<4 * S, S>(r);
        r[S + 1] = _mm_add_epi16(r[S + 1], r[1]);
#pragma GCC unroll 4
        for (int k = 0; k < S; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 2 * (i + 8 * k)), r[k + 2]);
        r[1] = _mm_slli_si128(_mm_srli_si128(r[S + 1], 16 - 2 * S), 16 - 2 * S);
    }
    for (i = std::max<std::size_t>(i, S); i < values; ++i) {
        std::uint16_t before, here;
        std::memcpy(&before, row + 2 * (i - S), 2);
        std::memcpy(&here, row + 2 * i, 2);
        here = static_cast<std::uint16_t>(here + before);
        std::memcpy(row + 2 * i, &here, 2);
    }
}
#endif

template <typename T>
void accumulate(std::uint8_t* row, std::size_t values, std::size_t stride) {
    if (values < stride) return;
#if defined(__SSE2__)
    if constexpr (sizeof(T) == 2) {
        switch (stride) {
            case 1: return accumulate16<1>(row, values);
            case 2: return accumulate16<2>(row, values);
            case 3: return accumulate16<3>(row, values);
            case 4: return accumulate16<4>(row, values);
            default: break;
        }
    }
#endif
    switch (stride) {
        case 1: return accumulateBy<T, 1>(row, values);
        case 2: return accumulateBy<T, 2>(row, values);
        case 3: return accumulateBy<T, 3>(row, values);
        case 4: return accumulateBy<T, 4>(row, values);
        default: break;
    }
    for (std::size_t i = stride; i < values; ++i) {
        T before, here;
        std::memcpy(&before, row + (i - stride) * sizeof(T), sizeof(T));
        std::memcpy(&here, row + i * sizeof(T), sizeof(T));
        here = static_cast<T>(here + before);
        std::memcpy(row + i * sizeof(T), &here, sizeof(T));
    }
}

}  // namespace

bool nativeIsBigEndian() { return std::endian::native == std::endian::big; }

CodecStatus decodePackBits(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room,
                           std::size_t& produced) {
    std::size_t at = 0, put = 0;
    while (put < room) {
        if (at >= size) {
            produced = put;
            return CodecStatus::Short;
        }
        const int n = static_cast<std::int8_t>(in[at++]);
        if (n >= 0) {
            // A literal run; one cut short by the data's end gives what is there.
            const std::size_t run = std::min<std::size_t>({static_cast<std::size_t>(n) + 1, size - at, room - put});
            std::memcpy(out + put, in + at, run);
            put += run;
            at += static_cast<std::size_t>(n) + 1;
        } else if (n != -128) {
            if (at >= size) break;
            const std::size_t run = std::min<std::size_t>(static_cast<std::size_t>(1 - n), room - put);
            std::memset(out + put, in[at++], run);
            put += run;
        }
    }
    produced = put;
    return put == room ? CodecStatus::Ok : CodecStatus::Short;
}

bool isOldStyleLzw(const std::uint8_t* in, std::size_t size) { return size >= 2 && in[0] == 0 && (in[1] & 1) != 0; }

CodecStatus decodeLzw(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room,
                      std::size_t& produced) {
    // A code above 255 stands for the string an earlier code wrote followed by one more byte, so
    // every such string lies in the output already: the table keeps where (`start`) and how long
    // it is, and a code is copied from there. A string may overlap its own copy (the code just
    // being defined), which a forward copy byte by byte handles.
    struct Table {
        std::size_t start[kTableSize];
        std::uint16_t length[kTableSize];
    };
    static thread_local Table table;
    // Plain pointers: the loop below then needs no thread-local lookups.
    std::size_t* const start = table.start;
    std::uint16_t* const length = table.length;
    for (unsigned i = 0; i < 256; ++i) length[i] = 1;
    std::size_t at = 0, put = 0, previousStart = 0;
    std::uint64_t buffer = 0;
    unsigned held = 0, width = 9, next = kFirstFree;
    int previous = -1;
    produced = 0;
    while (put < room) {
        while (held <= 56 && at < size) {
            buffer = (buffer << 8) | in[at++];
            held += 8;
        }
        if (held < width) break;
        const auto code = static_cast<unsigned>((buffer >> (held - width)) & ((1u << width) - 1));
        held -= width;
        if (code == kEnd) break;
        if (code == kClear) {
            width = 9;
            next = kFirstFree;
            previous = -1;
            continue;
        }
        if (previous < 0) {
            if (code > 255) return CodecStatus::Bad;
            previousStart = put;
            out[put++] = static_cast<std::uint8_t>(code);
            previous = static_cast<int>(code);
            continue;
        }
        if (code > next || (code == next && next >= kTableSize)) return CodecStatus::Bad;
        if (next < kTableSize) {
            start[next] = previousStart;
            length[next] = static_cast<std::uint16_t>(length[previous] + 1);
            ++next;
            if (next >= (1u << width) - 1 && width < 12) ++width;
        }
        previousStart = put;
        previous = static_cast<int>(code);
        if (code < 256) {
            out[put++] = static_cast<std::uint8_t>(code);
            continue;
        }
        // A string that runs past the room is cut.
        const std::size_t n = std::min<std::size_t>(length[code], room - put);
        const std::uint8_t* from = out + start[code];
        std::uint8_t* to = out + put;
        const auto distance = static_cast<std::size_t>(to - from);
        if (n <= 8 && distance >= 8 && room - put >= 8) {
            // Most strings are short: one 8-byte move, whose bytes past the string are written
            // over by the codes that follow.
            std::memcpy(to, from, 8);
        } else if (distance >= n) {
            std::memcpy(to, from, n);
        } else {
            for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
        }
        put += n;
    }
    produced = put;
    return put == room ? CodecStatus::Ok : CodecStatus::Short;
}

CodecStatus Inflater::decode(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room,
                             std::size_t& produced) {
    switch (inflate_.whole(in, size, out, room, produced)) {
        case InflateResult::Full: return CodecStatus::Ok;
        case InflateResult::Damaged: return CodecStatus::Bad;
        case InflateResult::NoMemory: return CodecStatus::NoMemory;
        default: return CodecStatus::Short;
    }
}

void undoHorizontalPredictor(std::uint8_t* row, std::size_t pixels, std::size_t samples, std::size_t bytes) {
    const std::size_t values = pixels * samples;
    switch (bytes) {
        case 1: accumulate<std::uint8_t>(row, values, samples); break;
        case 2: accumulate<std::uint16_t>(row, values, samples); break;
        case 4: accumulate<std::uint32_t>(row, values, samples); break;
        default: accumulate<std::uint64_t>(row, values, samples); break;
    }
}

void undoFloatPredictor(std::uint8_t* row, std::size_t pixels, std::size_t samples, std::size_t bytes,
                        std::uint8_t* scratch) {
    const std::size_t values = pixels * samples, count = values * bytes;
    for (std::size_t i = samples; i < count; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - samples]);
    std::memcpy(scratch, row, count);
    const bool big = nativeIsBigEndian();
    for (std::size_t v = 0; v < values; ++v)
        for (std::size_t b = 0; b < bytes; ++b)
            row[v * bytes + b] = scratch[(big ? b : bytes - 1 - b) * values + v];
}

void swapSampleBytes(std::uint8_t* data, std::size_t count, std::size_t bytes) {
    if (bytes == 2) {
        for (std::size_t i = 0; i < count; ++i) std::swap(data[2 * i], data[2 * i + 1]);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) std::reverse(data + i * bytes, data + (i + 1) * bytes);
}

}  // namespace kelvarin
