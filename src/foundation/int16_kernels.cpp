// The conversion of integer-valued doubles to 16 bits, and the register tiles of the exact
// integer dot products: three rows against four, twelve
// accumulators of 32-bit lanes, each lane fed pairs of 16-bit products (vpmaddwd, or the fused
// vpdpwssd where AVX-512 VNNI is offered). Integer sums are exact, so the lane order and the
// final horizontal sums cannot change a result: every path gives the same values.
#include "foundation/int16_kernels.h"

#include <algorithm>

// GCC 12's AVX-512 intrinsics pass an undefined value as the unused source of their masked
// forms, which -Wuninitialized reports wherever they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

namespace orvane::detail {
namespace {

void PortableTile(const std::int16_t* const a[3], const std::int16_t* const b[4],
                  std::uint32_t stride, std::int32_t* c, std::size_t ldc) {
  for (int r = 0; r < 3; ++r) {
    for (int q = 0; q < 4; ++q) {
      std::int64_t sum = 0;
      for (std::uint32_t k = 0; k < stride; ++k) sum += std::int32_t{a[r][k]} * b[q][k];
      c[r * ldc + q] = static_cast<std::int32_t>(sum);
    }
  }
}

bool PortableConvert(const double* from, std::uint32_t length, std::int16_t* to,
                     std::int32_t& largest) {
  for (std::uint32_t k = 0; k < length; ++k) {
    const double v = from[k];
    if (!(v >= -32767.0 && v <= 32767.0)) return false;  // NaN too
    const auto i = static_cast<std::int32_t>(v);
    if (static_cast<double>(i) != v) return false;
    largest = std::max(largest, i < 0 ? -i : i);
    to[k] = static_cast<std::int16_t>(i);
  }
  return true;
}

// Raises `largest` to the vector steps' largest magnitudes, one a lane; false when one passes
// 32767.
bool TakeLargest(const std::uint32_t* lanes, int count, std::int32_t& largest) {
  for (int l = 0; l < count; ++l) {
    if (lanes[l] > 32767) return false;
    largest = std::max(largest, static_cast<std::int32_t>(lanes[l]));
  }
  return true;
}

// Eight values a step. A value is taken when it converts to a 32-bit integer and back to
// itself (so not NaN, a fraction or out of range, whose conversion gives the integer
// indefinite -2^31) and the integer's magnitude, taken unsigned so that -2^31 counts as 2^31,
// is at most 32767; the store saturates, and anything it changes is refused by the magnitude.
__attribute__((target("avx2"))) bool Avx2Convert(const double* from, std::uint32_t length,
                                                 std::int16_t* to, std::int32_t& largest) {
  __m256d changed = _mm256_setzero_pd();
  __m128i most = _mm_setzero_si128();
  std::uint32_t k = 0;
  for (; k + 8 <= length; k += 8) {
    const __m256d v0 = _mm256_loadu_pd(from + k), v1 = _mm256_loadu_pd(from + k + 4);
    const __m128i i0 = _mm256_cvttpd_epi32(v0), i1 = _mm256_cvttpd_epi32(v1);
    changed = _mm256_or_pd(changed, _mm256_cmp_pd(_mm256_cvtepi32_pd(i0), v0, _CMP_NEQ_UQ));
    changed = _mm256_or_pd(changed, _mm256_cmp_pd(_mm256_cvtepi32_pd(i1), v1, _CMP_NEQ_UQ));
    most = _mm_max_epu32(most, _mm_max_epu32(_mm_abs_epi32(i0), _mm_abs_epi32(i1)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), _mm_packs_epi32(i0, i1));
  }
  if (_mm256_movemask_pd(changed) != 0) return false;
  alignas(16) std::uint32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), most);
  return TakeLargest(lanes, 4, largest) && PortableConvert(from + k, length - k, to + k, largest);
}

// The same with whole AVX-512 registers of eight doubles. GCC 12 reports the undefined source
// its conversion intrinsics pass to the masked builtins as maybe uninitialized; the
// full-width forms never read it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f,avx2"))) bool Avx512Convert(const double* from, std::uint32_t length,
                                                           std::int16_t* to,
                                                           std::int32_t& largest) {
  __mmask8 changed = 0;
  __m256i most = _mm256_setzero_si256();
  std::uint32_t k = 0;
  for (; k + 8 <= length; k += 8) {
    const __m512d v = _mm512_loadu_pd(from + k);
    const __m256i i = _mm512_cvttpd_epi32(v);
    changed |= _mm512_cmp_pd_mask(_mm512_cvtepi32_pd(i), v, _CMP_NEQ_UQ);
    most = _mm256_max_epu32(most, _mm256_abs_epi32(i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k),
                     _mm_packs_epi32(_mm256_castsi256_si128(i), _mm256_extracti128_si256(i, 1)));
  }
  if (changed != 0) return false;
  alignas(32) std::uint32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), most);
  return TakeLargest(lanes, 8, largest) && PortableConvert(from + k, length - k, to + k, largest);
}
#pragma GCC diagnostic pop

// The four totals of four vectors of eight lanes, in order.
__attribute__((target("avx2"))) inline __m128i Sum4(__m256i w, __m256i x, __m256i y, __m256i z) {
  const __m256i wx = _mm256_hadd_epi32(w, x);
  const __m256i yz = _mm256_hadd_epi32(y, z);
  const __m256i wxyz = _mm256_hadd_epi32(wx, yz);
  return _mm_add_epi32(_mm256_castsi256_si128(wxyz), _mm256_extracti128_si256(wxyz, 1));
}

__attribute__((target("avx2"))) void Avx2Tile(const std::int16_t* const a[3],
                                              const std::int16_t* const b[4], std::uint32_t stride,
                                              std::int32_t* c, std::size_t ldc) {
  __m256i acc[3][4];
  for (auto& row : acc) {
    for (auto& v : row) v = _mm256_setzero_si256();
  }
  for (std::uint32_t k = 0; k < stride; k += 16) {
    __m256i bv[4];
#pragma GCC unroll 4
    for (int q = 0; q < 4; ++q)
      bv[q] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b[q] + k));
#pragma GCC unroll 3
    for (int r = 0; r < 3; ++r) {
      const __m256i av = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a[r] + k));
#pragma GCC unroll 4
      for (int q = 0; q < 4; ++q)
        acc[r][q] = _mm256_add_epi32(acc[r][q], _mm256_madd_epi16(av, bv[q]));
    }
  }
  for (int r = 0; r < 3; ++r) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(c + r * ldc),
                     Sum4(acc[r][0], acc[r][1], acc[r][2], acc[r][3]));
  }
}

__attribute__((target("avx512f,avx512bw,avx512vnni,avx2"))) void Avx512Tile(
    const std::int16_t* const a[3], const std::int16_t* const b[4], std::uint32_t stride,
    std::int32_t* c, std::size_t ldc) {
  __m512i acc[3][4];
  for (auto& row : acc) {
    for (auto& v : row) v = _mm512_setzero_si512();
  }
  for (std::uint32_t k = 0; k < stride; k += 32) {
    __m512i bv[4];
#pragma GCC unroll 4
    for (int q = 0; q < 4; ++q) bv[q] = _mm512_loadu_si512(b[q] + k);
#pragma GCC unroll 3
    for (int r = 0; r < 3; ++r) {
      const __m512i av = _mm512_loadu_si512(a[r] + k);
#pragma GCC unroll 4
      for (int q = 0; q < 4; ++q) acc[r][q] = _mm512_dpwssd_epi32(acc[r][q], av, bv[q]);
    }
  }
  for (int r = 0; r < 3; ++r) {
    __m256i halves[4];
#pragma GCC unroll 4
    for (int q = 0; q < 4; ++q) {
      halves[q] = _mm256_add_epi32(_mm512_castsi512_si256(acc[r][q]),
                                   _mm512_extracti64x4_epi64(acc[r][q], 1));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(c + r * ldc),
                     Sum4(halves[0], halves[1], halves[2], halves[3]));
  }
}

}  // namespace

Int16Convert PortableInt16Convert() { return PortableConvert; }
Int16Convert Avx2Int16Convert() { return Avx2Convert; }
Int16Convert Avx512Int16Convert() { return Avx512Convert; }
Int16Tile3x4 PortableInt16Tile() { return PortableTile; }
Int16Tile3x4 Avx2Int16Tile() { return Avx2Tile; }
Int16Tile3x4 Avx512Int16Tile() { return Avx512Tile; }

}  // namespace orvane::detail
