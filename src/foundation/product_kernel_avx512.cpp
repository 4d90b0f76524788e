// The 8 x 24 register tile for processors with AVX-512: 24 accumulators of eight doubles,
// three loads of the B panel and eight broadcasts of A per step of the depth.
#include <immintrin.h>

#include "foundation/product_kernels.h"

namespace Tarn::detail {
namespace {

constexpr std::uint32_t kRows = 8;
constexpr std::uint32_t kColumns = 24;
constexpr std::uint32_t kLineValues = 8;  // doubles in a 64-byte cache line

// The tile's body; `kLaid` reads A where it lies (row r at a + r x lda) and fetches the
// lines of `ahead` (the same layout) one a step, else A is packed.
template <bool kLaid>
__attribute__((target("avx512f"), always_inline)) inline void Tile8x24Body(
    std::uint32_t depth, const double* a, std::size_t lda, const double* ahead, const double* b,
    double* c, std::size_t ldc, bool accumulate) {
  __m512d acc[kRows][3];
#pragma GCC unroll 8
  for (std::uint32_t r = 0; r < kRows; ++r) {
#pragma GCC unroll 3
    for (int q = 0; q < 3; ++q) {
      acc[r][q] = accumulate ? _mm512_loadu_pd(c + r * ldc + 8 * q) : _mm512_setzero_pd();
    }
  }
  if (!accumulate) {
    // The tile's lines of C are fetched for writing while the products run, so that the
    // stores at the end do not each wait for memory.
#pragma GCC unroll 8
    for (std::uint32_t r = 0; r < kRows; ++r) {
      __builtin_prefetch(c + r * ldc, 1);
      __builtin_prefetch(c + r * ldc + 8, 1);
      __builtin_prefetch(c + r * ldc + 16, 1);
      __builtin_prefetch(c + r * ldc + 23, 1);
    }
  }
  for (std::uint32_t k = 0; k < depth; ++k) {
    // Step k fetches the line holding value 8 (k / 8) of row k % 8, so that the call walks
    // about every line of the eight rows (a line is eight values); the rest is left to the
    // processor's own prefetching.
    if (kLaid) __builtin_prefetch(ahead + (k % kRows) * lda + (k / kRows) * kLineValues, 0, 2);
    const __m512d b0 = _mm512_loadu_pd(b), b1 = _mm512_loadu_pd(b + 8),
                  b2 = _mm512_loadu_pd(b + 16);
#pragma GCC unroll 8
    for (std::uint32_t r = 0; r < kRows; ++r) {
      const __m512d x = _mm512_set1_pd(kLaid ? a[r * lda] : a[r]);
      acc[r][0] = _mm512_fmadd_pd(x, b0, acc[r][0]);
      acc[r][1] = _mm512_fmadd_pd(x, b1, acc[r][1]);
      acc[r][2] = _mm512_fmadd_pd(x, b2, acc[r][2]);
    }
    a += kLaid ? 1 : kRows;
    b += kColumns;
  }
#pragma GCC unroll 8
  for (std::uint32_t r = 0; r < kRows; ++r) {
#pragma GCC unroll 3
    for (int q = 0; q < 3; ++q) _mm512_storeu_pd(c + r * ldc + 8 * q, acc[r][q]);
  }
}

__attribute__((target("avx512f"))) void Tile8x24(std::uint32_t depth, const double* a,
                                                 const double* b, double* c, std::size_t ldc,
                                                 bool accumulate) {
  Tile8x24Body<false>(depth, a, kRows, nullptr, b, c, ldc, accumulate);
}

__attribute__((target("avx512f"))) void Tile8x24Rows(std::uint32_t depth, const double* a,
                                                     std::size_t lda, const double* ahead,
                                                     const double* b, double* c, std::size_t ldc,
                                                     bool accumulate) {
  Tile8x24Body<true>(depth, a, lda, ahead, b, c, ldc, accumulate);
}

// GCC 12 reports the undefined source operand its own unpack and shuffle intrinsics pass to
// the masked builtins as maybe uninitialized; the full-width forms never read it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// Eight rows to depth-major groups, eight depths at a time through an 8 x 8 transpose in
// registers: pairs of rows interleaved, then 128-bit lanes gathered twice.
__attribute__((target("avx512f"))) void PackEightRows(const double* src, std::size_t stride,
                                                      std::uint32_t depth, double* dst,
                                                      std::uint32_t group) {
  std::uint32_t q = 0;
  for (; q + 8 <= depth; q += 8) {
    __m512d r[8];
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) r[i] = _mm512_loadu_pd(src + i * stride + q);
    __m512d t[8];
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
      t[2 * i] = _mm512_unpacklo_pd(r[2 * i], r[2 * i + 1]);
      t[2 * i + 1] = _mm512_unpackhi_pd(r[2 * i], r[2 * i + 1]);
    }
    // u[0..3] from rows 0-3, u[4..7] from rows 4-7: u[j] holds depths j and j + 4 (j < 4).
    __m512d u[8];
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h) {
      __m512d* th = t + 4 * h;
      __m512d* uh = u + 4 * h;
      uh[0] = _mm512_shuffle_f64x2(th[0], th[2], 0x88);
      uh[1] = _mm512_shuffle_f64x2(th[1], th[3], 0x88);
      uh[2] = _mm512_shuffle_f64x2(th[0], th[2], 0xDD);
      uh[3] = _mm512_shuffle_f64x2(th[1], th[3], 0xDD);
    }
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j) {
      _mm512_storeu_pd(dst + static_cast<std::size_t>(q + j) * group,
                       _mm512_shuffle_f64x2(u[j], u[4 + j], 0x88));
      _mm512_storeu_pd(dst + static_cast<std::size_t>(q + j + 4) * group,
                       _mm512_shuffle_f64x2(u[j], u[4 + j], 0xDD));
    }
  }
  for (; q < depth; ++q) {
    for (int i = 0; i < 8; ++i) dst[static_cast<std::size_t>(q) * group + i] = src[i * stride + q];
  }
}

#pragma GCC diagnostic pop

// A sparse row in blocks of 64 columns (eight accumulators), then of 8, then a masked tail;
// every element is one fused chain over the listed depths, as in Tile8x24.
__attribute__((target("avx512f"))) void SparseRow(const double* a, const std::uint32_t* nonzero,
                                                  std::uint32_t count, const double* b,
                                                  std::uint32_t n, double* c) {
  std::uint32_t c0 = 0;
  for (; c0 + 64 <= n; c0 += 64) {
    __m512d acc[8];
#pragma GCC unroll 8
    for (int q = 0; q < 8; ++q) acc[q] = _mm512_setzero_pd();
    for (std::uint32_t t = 0; t < count; ++t) {
      const __m512d x = _mm512_set1_pd(a[nonzero[t]]);
      const double* row = b + static_cast<std::size_t>(nonzero[t]) * n + c0;
#pragma GCC unroll 8
      for (int q = 0; q < 8; ++q) acc[q] = _mm512_fmadd_pd(x, _mm512_loadu_pd(row + 8 * q), acc[q]);
    }
#pragma GCC unroll 8
    for (int q = 0; q < 8; ++q) _mm512_storeu_pd(c + c0 + 8 * q, acc[q]);
  }
  for (; c0 < n; c0 += 8) {
    const __mmask8 mask =
        n - c0 >= 8 ? static_cast<__mmask8>(0xFF) : static_cast<__mmask8>((1u << (n - c0)) - 1);
    __m512d acc = _mm512_setzero_pd();
    for (std::uint32_t t = 0; t < count; ++t) {
      const __m512d x = _mm512_set1_pd(a[nonzero[t]]);
      const double* row = b + static_cast<std::size_t>(nonzero[t]) * n + c0;
      acc = _mm512_fmadd_pd(x, _mm512_maskz_loadu_pd(mask, row), acc);
    }
    _mm512_mask_storeu_pd(c + c0, mask, acc);
  }
}

// Eight values a step: a compare to a mask, the positions of its set lanes packed to the
// front of a register (in register: the memory form is slow on some processors) and stored
// whole; the tail is loaded under a mask so that nothing past the row is read.
__attribute__((target("avx512f,avx512vl"))) std::uint32_t NonzeroPositions(const double* values,
                                                                           std::uint32_t count,
                                                                           std::uint32_t* out) {
  const __m512d zero = _mm512_setzero_pd();
  __m256i positions = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i step = _mm256_set1_epi32(8);
  std::uint32_t found = 0;
  for (std::uint32_t j = 0; j < count; j += 8) {
    const __mmask8 inside = count - j >= 8 ? static_cast<__mmask8>(0xFF)
                                           : static_cast<__mmask8>((1u << (count - j)) - 1);
    const __m512d v = _mm512_maskz_loadu_pd(inside, values + j);
    const __mmask8 nonzero = _mm512_mask_cmp_pd_mask(inside, v, zero, _CMP_NEQ_UQ);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + found),
                        _mm256_maskz_compress_epi32(nonzero, positions));
    found += static_cast<std::uint32_t>(__builtin_popcount(nonzero));
    positions = _mm256_add_epi32(positions, step);
  }
  return found;
}

}  // namespace

KernelShape Avx512Kernel() { return {Tile8x24, kRows, kColumns, PackEightRows, Tile8x24Rows}; }
SparseRowKernel Avx512SparseRow() { return SparseRow; }
NonzeroIndexer Avx512NonzeroIndexer() { return NonzeroPositions; }

}  // namespace Tarn::detail
