// The 8 x 24 register tile for processors with AVX-512: 24 accumulators of eight doubles,
// three loads of the B panel and eight broadcasts of A per step of the depth.
#include <immintrin.h>

#include "foundation/product_kernels.h"

namespace Tarn::detail {
namespace {

constexpr std::uint32_t kRows = 8;
constexpr std::uint32_t kColumns = 24;

__attribute__((target("avx512f"))) void Tile8x24(std::uint32_t depth, const double* a,
                                                 const double* b, double* c, std::size_t ldc,
                                                 bool accumulate) {
  __m512d acc[kRows][3];
#pragma GCC unroll 8
  for (std::uint32_t r = 0; r < kRows; ++r) {
#pragma GCC unroll 3
    for (int q = 0; q < 3; ++q) {
      acc[r][q] = accumulate ? _mm512_loadu_pd(c + r * ldc + 8 * q) : _mm512_setzero_pd();
    }
  }
  for (std::uint32_t k = 0; k < depth; ++k) {
    const __m512d b0 = _mm512_loadu_pd(b), b1 = _mm512_loadu_pd(b + 8),
                  b2 = _mm512_loadu_pd(b + 16);
#pragma GCC unroll 8
    for (std::uint32_t r = 0; r < kRows; ++r) {
      const __m512d x = _mm512_set1_pd(a[r]);
      acc[r][0] = _mm512_fmadd_pd(x, b0, acc[r][0]);
      acc[r][1] = _mm512_fmadd_pd(x, b1, acc[r][1]);
      acc[r][2] = _mm512_fmadd_pd(x, b2, acc[r][2]);
    }
    a += kRows;
    b += kColumns;
  }
#pragma GCC unroll 8
  for (std::uint32_t r = 0; r < kRows; ++r) {
#pragma GCC unroll 3
    for (int q = 0; q < 3; ++q) _mm512_storeu_pd(c + r * ldc + 8 * q, acc[r][q]);
  }
}

}  // namespace

KernelShape Avx512Kernel() { return {Tile8x24, kRows, kColumns}; }

}  // namespace Tarn::detail
