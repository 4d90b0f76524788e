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

}  // namespace

KernelShape Avx2FmaKernel() { return {Tile6x8, kRows, kColumns, nullptr}; }

}  // namespace Tarn::detail
