// The 6 x 8 register tile for processors with AVX2 and FMA: 12 accumulators of four doubles,
// two loads of the B panel and six broadcasts of A per step of the depth.
#include <immintrin.h>

#include "foundation/product_kernels.h"

namespace Tarn::detail {
namespace {

constexpr std::uint32_t kRows = 6;
constexpr std::uint32_t kColumns = 8;

__attribute__((target("avx2,fma"))) void Tile6x8(std::uint32_t depth, const double* a,
                                                 const double* b, double* c, std::size_t ldc,
                                                 bool accumulate) {
  __m256d acc[kRows][2];
#pragma GCC unroll 6
  for (std::uint32_t r = 0; r < kRows; ++r) {
    acc[r][0] = accumulate ? _mm256_loadu_pd(c + r * ldc) : _mm256_setzero_pd();
    acc[r][1] = accumulate ? _mm256_loadu_pd(c + r * ldc + 4) : _mm256_setzero_pd();
  }
  if (!accumulate) {
    // The tile's lines of C are fetched for writing while the products run.
#pragma GCC unroll 6
    for (std::uint32_t r = 0; r < kRows; ++r) {
      __builtin_prefetch(c + r * ldc, 1);
      __builtin_prefetch(c + r * ldc + 7, 1);
    }
  }
  for (std::uint32_t k = 0; k < depth; ++k) {
    const __m256d b0 = _mm256_loadu_pd(b), b1 = _mm256_loadu_pd(b + 4);
#pragma GCC unroll 6
    for (std::uint32_t r = 0; r < kRows; ++r) {
      const __m256d x = _mm256_broadcast_sd(a + r);
      acc[r][0] = _mm256_fmadd_pd(x, b0, acc[r][0]);
      acc[r][1] = _mm256_fmadd_pd(x, b1, acc[r][1]);
    }
    a += kRows;
    b += kColumns;
  }
#pragma GCC unroll 6
  for (std::uint32_t r = 0; r < kRows; ++r) {
    _mm256_storeu_pd(c + r * ldc, acc[r][0]);
    _mm256_storeu_pd(c + r * ldc + 4, acc[r][1]);
  }
}

// A sparse row in blocks of 32 columns (eight accumulators), then of 4, then one column at a
// time; every element is one fused chain over the listed depths, as in Tile6x8.
__attribute__((target("avx2,fma"))) void SparseRow(const double* a, const std::uint32_t* nonzero,
                                                   std::uint32_t count, const double* b,
                                                   std::uint32_t n, double* c) {
  std::uint32_t c0 = 0;
  for (; c0 + 32 <= n; c0 += 32) {
    __m256d acc[8];
#pragma GCC unroll 8
    for (int q = 0; q < 8; ++q) acc[q] = _mm256_setzero_pd();
    for (std::uint32_t t = 0; t < count; ++t) {
      const __m256d x = _mm256_set1_pd(a[nonzero[t]]);
      const double* row = b + static_cast<std::size_t>(nonzero[t]) * n + c0;
#pragma GCC unroll 8
      for (int q = 0; q < 8; ++q) acc[q] = _mm256_fmadd_pd(x, _mm256_loadu_pd(row + 4 * q), acc[q]);
    }
#pragma GCC unroll 8
    for (int q = 0; q < 8; ++q) _mm256_storeu_pd(c + c0 + 4 * q, acc[q]);
  }
  for (; c0 + 4 <= n; c0 += 4) {
    __m256d acc = _mm256_setzero_pd();
    for (std::uint32_t t = 0; t < count; ++t) {
      const __m256d x = _mm256_set1_pd(a[nonzero[t]]);
      acc = _mm256_fmadd_pd(x, _mm256_loadu_pd(b + static_cast<std::size_t>(nonzero[t]) * n + c0),
                            acc);
    }
    _mm256_storeu_pd(c + c0, acc);
  }
  for (; c0 < n; ++c0) {
    __m128d acc = _mm_setzero_pd();
    for (std::uint32_t t = 0; t < count; ++t) {
      acc = _mm_fmadd_sd(_mm_set_sd(a[nonzero[t]]),
                         _mm_set_sd(b[static_cast<std::size_t>(nonzero[t]) * n + c0]), acc);
    }
    c[c0] = _mm_cvtsd_f64(acc);
  }
}

}  // namespace

KernelShape Avx2FmaKernel() { return {Tile6x8, kRows, kColumns, nullptr}; }
SparseRowKernel Avx2FmaSparseRow() { return SparseRow; }

}  // namespace Tarn::detail
