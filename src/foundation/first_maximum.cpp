#include "foundation/first_maximum.h"

#include <immintrin.h>

namespace orvane {
namespace {

// Bit l set where v[l] == wanted, for l < 4.
__attribute__((target("avx2"))) inline unsigned Hits(const double* v, __m256d wanted) {
  return static_cast<unsigned>(
      _mm256_movemask_pd(_mm256_cmp_pd(_mm256_loadu_pd(v), wanted, _CMP_EQ_OQ)));
}

// The largest value that is not NaN, starting from v[0] (not NaN), then the first index that
// holds it: the scan's answer. maxpd returns its second operand when the first is NaN, so a
// NaN lane never replaces what the lane holds. Sixteen values a step in both passes: four
// maxima side by side, so that no step waits for the one before, and four compares tested
// together.
__attribute__((target("avx2"))) std::uint32_t FirstMaximumAvx2(const double* v,
                                                               std::uint32_t count) {
  __m256d best[4];
  for (__m256d& b : best) b = _mm256_set1_pd(v[0]);
  std::uint32_t i = 0;
  for (; i + 16 <= count; i += 16) {
#pragma GCC unroll 4
    for (int q = 0; q < 4; ++q) best[q] = _mm256_max_pd(_mm256_loadu_pd(v + i + 4 * q), best[q]);
  }
  for (; i + 4 <= count; i += 4) best[0] = _mm256_max_pd(_mm256_loadu_pd(v + i), best[0]);
  // No lane holds a NaN, so the order of these maxima does not matter.
  const __m256d all =
      _mm256_max_pd(_mm256_max_pd(best[0], best[1]), _mm256_max_pd(best[2], best[3]));
  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, all);
  double most = lanes[0];
  for (const double lane : lanes) most = lane > most ? lane : most;
  for (; i < count; ++i) most = v[i] > most ? v[i] : most;
  const __m256d wanted = _mm256_set1_pd(most);
  for (i = 0; i + 16 <= count; i += 16) {
    const unsigned found = Hits(v + i, wanted) | Hits(v + i + 4, wanted) << 4 |
                           Hits(v + i + 8, wanted) << 8 | Hits(v + i + 12, wanted) << 12;
    if (found != 0) return i + static_cast<std::uint32_t>(__builtin_ctz(found));
  }
  for (; i + 4 <= count; i += 4) {
    const unsigned found = Hits(v + i, wanted);
    if (found != 0) return i + static_cast<std::uint32_t>(__builtin_ctz(found));
  }
  for (; i < count; ++i) {
    if (v[i] == most) return i;
  }
  return 0;  // not reached: `most` is one of the values
}

}  // namespace

std::uint32_t FirstMaximumPortable(const double* values, std::uint32_t count) {
  double best = values[0];
  std::uint32_t arg = 0;
  for (std::uint32_t i = 1; i < count; ++i) {
    if (values[i] > best) {
      best = values[i];
      arg = i;
    }
  }
  return arg;
}

std::uint32_t FirstMaximum(const double* values, std::uint32_t count) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  // A NaN in front stays the answer; short runs are not worth the two passes.
  if (!avx2 || count < 8 || values[0] != values[0]) return FirstMaximumPortable(values, count);
  return FirstMaximumAvx2(values, count);
}

}  // namespace orvane
