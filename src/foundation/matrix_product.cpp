// The blocked product kernel. Both operands are walked along rows (B arrives transposed),
// so every dot product reads contiguous memory. The order of additions depends only on the
// shapes, which keeps results bit-identical from run to run on one machine.
#include <algorithm>
#include <cstdint>

#include "foundation/matrix.h"

namespace Tarn::detail {
namespace {

constexpr std::uint32_t kBlock = 144;

// Two doubles in one register; GCC and Clang map it onto SSE2 (or wider) instructions.
typedef double Pair __attribute__((vector_size(16)));

inline Pair LoadPair(const double* p) {
  Pair v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

inline double Sum(Pair v) { return v[0] + v[1]; }

// Plain dot product unrolled by 12 values into four partial sums, then the remainder.
inline double Dot(const double* a, const double* b, std::uint32_t len) {
  double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  std::uint32_t k = 0;
  for (; k + 12 <= len; k += 12) {
    s0 += a[k] * b[k] + a[k + 4] * b[k + 4] + a[k + 8] * b[k + 8];
    s1 += a[k + 1] * b[k + 1] + a[k + 5] * b[k + 5] + a[k + 9] * b[k + 9];
    s2 += a[k + 2] * b[k + 2] + a[k + 6] * b[k + 6] + a[k + 10] * b[k + 10];
    s3 += a[k + 3] * b[k + 3] + a[k + 7] * b[k + 7] + a[k + 11] * b[k + 11];
  }
  for (; k < len; ++k) s0 += a[k] * b[k];
  return (s0 + s1) + (s2 + s3);
}

// Eight dot products at once: rows a0, a1 of A against rows b0..b3 of Bt. Sharing the
// loads between the eight sums is what lifts the kernel above a plain dot product.
inline void Dot2x4(const double* a0, const double* a1, const double* const b[4],
                   std::uint32_t len, double* c0, double* c1) {
  Pair s00{0, 0}, s01{0, 0}, s02{0, 0}, s03{0, 0};
  Pair s10{0, 0}, s11{0, 0}, s12{0, 0}, s13{0, 0};
  std::uint32_t k = 0;
  for (; k + 2 <= len; k += 2) {
    const Pair x0 = LoadPair(a0 + k), x1 = LoadPair(a1 + k);
    const Pair y0 = LoadPair(b[0] + k), y1 = LoadPair(b[1] + k);
    const Pair y2 = LoadPair(b[2] + k), y3 = LoadPair(b[3] + k);
    s00 += x0 * y0;
    s01 += x0 * y1;
    s02 += x0 * y2;
    s03 += x0 * y3;
    s10 += x1 * y0;
    s11 += x1 * y1;
    s12 += x1 * y2;
    s13 += x1 * y3;
  }
  double r0[4] = {Sum(s00), Sum(s01), Sum(s02), Sum(s03)};
  double r1[4] = {Sum(s10), Sum(s11), Sum(s12), Sum(s13)};
  for (; k < len; ++k) {
    for (int j = 0; j < 4; ++j) {
      r0[j] += a0[k] * b[j][k];
      r1[j] += a1[k] * b[j][k];
    }
  }
  for (int j = 0; j < 4; ++j) {
    c0[j] += r0[j];
    c1[j] += r1[j];
  }
}

}  // namespace

void MultiplyTransposed(const double* a, const double* bt, double* c, std::uint32_t m,
                        std::uint32_t n, std::uint32_t k) {
  std::fill(c, c + static_cast<std::size_t>(m) * n, 0.0);
  for (std::uint32_t i0 = 0; i0 < m; i0 += kBlock) {
    const std::uint32_t i1 = std::min(m, i0 + kBlock);
    for (std::uint32_t j0 = 0; j0 < n; j0 += kBlock) {
      const std::uint32_t j1 = std::min(n, j0 + kBlock);
      for (std::uint32_t k0 = 0; k0 < k; k0 += kBlock) {
        const std::uint32_t len = std::min(k, k0 + kBlock) - k0;
        std::uint32_t i = i0;
        for (; i + 2 <= i1; i += 2) {
          const double* a0 = a + static_cast<std::size_t>(i) * k + k0;
          const double* a1 = a0 + k;
          double* c0 = c + static_cast<std::size_t>(i) * n;
          double* c1 = c0 + n;
          std::uint32_t j = j0;
          for (; j + 4 <= j1; j += 4) {
            const double* b[4];
            for (int q = 0; q < 4; ++q) b[q] = bt + static_cast<std::size_t>(j + q) * k + k0;
            Dot2x4(a0, a1, b, len, c0 + j, c1 + j);
          }
          for (; j < j1; ++j) {
            const double* bj = bt + static_cast<std::size_t>(j) * k + k0;
            c0[j] += Dot(a0, bj, len);
            c1[j] += Dot(a1, bj, len);
          }
        }
        for (; i < i1; ++i) {
          const double* ai = a + static_cast<std::size_t>(i) * k + k0;
          double* ci = c + static_cast<std::size_t>(i) * n;
          for (std::uint32_t j = j0; j < j1; ++j) {
            ci[j] += Dot(ai, bt + static_cast<std::size_t>(j) * k + k0, len);
          }
        }
      }
    }
  }
}

}  // namespace Tarn::detail
