#include "foundation/first_maximum.h"

#include <immintrin.h>

namespace orvane {
namespace {

// The largest value that is not NaN, starting from v[0] (not NaN), then the first index that
// holds it: the scan's answer. maxpd returns its second operand when the first is NaN, so a
// NaN lane never replaces what the lane holds.
__attribute__((target("avx2"))) std::uint32_t FirstMaximumAvx2(const double* v,
                                                               std::uint32_t count) {
  __m256d best = _mm256_set1_pd(v[0]);
  std::uint32_t i = 0;
  for (; i + 4 <= count; i += 4) best = _mm256_max_pd(_mm256_loadu_pd(v + i), best);
  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, best);
  double most = lanes[0];
  for (const double lane : lanes) most = lane > most ? lane : most;
  for (; i < count; ++i) most = v[i] > most ? v[i] : most;
  const __m256d wanted = _mm256_set1_pd(most);
  for (i = 0; i + 4 <= count; i += 4) {
    const int hits = _mm256_movemask_pd(_mm256_cmp_pd(_mm256_loadu_pd(v + i), wanted, _CMP_EQ_OQ));
    if (hits != 0)
      return i + static_cast<std::uint32_t>(__builtin_ctz(static_cast<unsigned>(hits)));
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
