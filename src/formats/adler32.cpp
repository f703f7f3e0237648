#include "formats/adler32.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvarin {

std::uint32_t adler32Update(std::uint32_t adler, const std::uint8_t* data, std::size_t size) {
    constexpr std::uint32_t kBase = 65521;
    std::uint64_t s1 = adler & 0xffff, s2 = adler >> 16;
#if defined(__SSE2__)
    // Sixteen bytes at a time: s1 gains their sum, s2 gains 16 times s1 before them and the
    // bytes weighted 16 down to 1. Sums of up to 64 KiB stay in 64 bits, and are reduced after.
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i lastWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    while (size >= 16) {
        std::size_t chunks = std::min<std::size_t>(size / 16, 4096);
        size -= chunks * 16;
        s2 += s1 * chunks * 16;
        __m128i sums = zero, sumsBefore = zero, weighted = zero;
        do {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
            sumsBefore = _mm_add_epi64(sumsBefore, sums);
            sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, zero));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), firstWeights));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), lastWeights));
            data += 16;
        } while (--chunks != 0);
        std::uint64_t lanes[2], before[2];
        std::uint32_t parts[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sums);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(before), sumsBefore);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(parts), weighted);
        s2 = (s2 + 16 * (before[0] + before[1]) + parts[0] + parts[1] + parts[2] + parts[3]) % kBase;
        s1 = (s1 + lanes[0] + lanes[1]) % kBase;
    }
#endif
    while (size > 0) {
        const std::size_t step = std::min<std::size_t>(size, 5552);
        for (std::size_t i = 0; i < step; ++i) {
            s1 += data[i];
            s2 += s1;
        }
        data += step;
        size -= step;
        s1 %= kBase;
        s2 %= kBase;
    }
    return static_cast<std::uint32_t>(s2 << 16 | s1);
}

}  // namespace kelvarin
