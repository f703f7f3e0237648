// How the pixel loops are built. Included only by the pixel code's own .cpp files.
#pragma once

// GCC on Linux also builds the pixel loops for AVX-512 and AVX2 (four and two times the lanes)
// and picks one at load time. Every lane operation is the same IEEE operation in each build
// (no fused multiply-adds: see CMakeLists.txt), so the results are too.
// (KELVARIN_NO_SIMD_CLONES builds one version for the compiler's target, to test each alone.)
#if defined(__GNUC__) && !defined(__clang__) && defined(__linux__) && !defined(KELVARIN_NO_SIMD_CLONES)
#define KELVARIN_SIMD_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define KELVARIN_SIMD_CLONES
#endif

// The loops' helpers are inlined into those clones, so each gets them built for its own target.
#if defined(__GNUC__)
#define KELVARIN_INLINE [[gnu::always_inline]] inline
#else
#define KELVARIN_INLINE inline
#endif
