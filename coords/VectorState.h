#pragma once
// Code built for plain SSE runs several times slower while the upper
// halves of the AVX registers hold data that no VZEROUPPER cleared (on
// x86-64 each legacy SSE instruction then waits on or merges them). Some
// libraries loaded with the GUI leave them so for the rest of the process,
// so long numeric loops clear them before they start: one instruction, and
// nothing on processors without AVX or other architectures.
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace coords_detail {

__attribute__((target("avx"))) inline void ZeroUpperAvx() { _mm256_zeroupper(); }

inline void ClearUpperVectorState() {
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx) ZeroUpperAvx();
}

}  // namespace coords_detail
#else
namespace coords_detail {
inline void ClearUpperVectorState() {}
}  // namespace coords_detail
#endif
