#include "retrieval/structure_bins.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <immintrin.h>

#include "retrieval/color_feature.h"
#include "retrieval/trunc_to_int.h"

namespace orvane {
namespace {

constexpr double kIntHigh = std::numeric_limits<std::int32_t>::max();
constexpr double kIntLow = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kHueLevels = 8;

// How saturation and value become levels: dividing by a power of two is multiplying by its
// inverse, exactly; other steps divide.
struct LevelScale {
  explicit LevelScale(std::uint32_t levels)
      : top(levels - 1),
        step(256.0 / levels),
        inverse(1.0 / step),
        powerOfTwo(std::ldexp(1.0, std::ilogb(step)) == step) {}
  double Scaled(double x) const { return powerOfTwo ? x * inverse : x / step; }
  std::int64_t top;
  double step;
  double inverse;
  bool powerOfTwo;
};

// The vector path below, four patches a step, in doubles: every value is an integer of at
// most 41 bits, so each operation is exact or the same IEEE operation as the portable path's
// (the saturation's integer division is the truncated double quotient, which for a dividend
// below 2^41 and a divisor below 2^31 cannot round across an integer).
__attribute__((target("avx2"))) inline __m256d TruncAvx2(__m256d x) {
  x = _mm256_blendv_pd(x, _mm256_setzero_pd(), _mm256_cmp_pd(x, x, _CMP_UNORD_Q));
  x = _mm256_min_pd(_mm256_max_pd(x, _mm256_set1_pd(kIntLow)), _mm256_set1_pd(kIntHigh));
  return _mm256_round_pd(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}

__attribute__((target("avx2"))) inline __m256d Select(__m256d when, __m256d yes, __m256d no) {
  return _mm256_blendv_pd(no, yes, when);
}

__attribute__((target("avx2"))) inline __m256d LevelAvx2(__m256d x, const LevelScale& scale) {
  const __m256d scaled = scale.powerOfTwo ? _mm256_mul_pd(x, _mm256_set1_pd(scale.inverse))
                                          : _mm256_div_pd(x, _mm256_set1_pd(scale.step));
  return _mm256_min_pd(TruncAvx2(scaled), _mm256_set1_pd(static_cast<double>(scale.top)));
}

__attribute__((target("avx2"))) void StructureBinsAvx2(const double* c0, const double* c1,
                                                       const double* c2, std::uint32_t count,
                                                       std::uint32_t levels, std::uint32_t* bins) {
  const LevelScale scale(levels);
  const __m256d zero = _mm256_setzero_pd();
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d two = _mm256_set1_pd(2.0);
  const __m256d L = _mm256_set1_pd(levels);
  const __m256d last = _mm256_set1_pd(static_cast<double>(kHueLevels * levels * levels - 1));
  std::uint32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const __m256d a0 = TruncAvx2(_mm256_loadu_pd(c0 + k));
    const __m256d a1 = TruncAvx2(_mm256_loadu_pd(c1 + k));
    const __m256d a2 = TruncAvx2(_mm256_loadu_pd(c2 + k));
    // PatchToHsv: the largest channel (the first of equals), saturation, then hue.
    const __m256d upper = _mm256_max_pd(a0, a1);
    const __m256d second = _mm256_cmp_pd(a0, a1, _CMP_LT_OQ);
    const __m256d third = _mm256_cmp_pd(a2, upper, _CMP_GT_OQ);
    const __m256d channel = Select(third, two, Select(second, one, zero));
    const __m256d high = _mm256_max_pd(upper, a2);
    const __m256d low = _mm256_min_pd(_mm256_min_pd(a0, a1), a2);
    const __m256d diff = _mm256_sub_pd(high, low);
    const __m256d black = _mm256_cmp_pd(high, zero, _CMP_EQ_OQ);
    __m256d s = _mm256_div_pd(_mm256_mul_pd(diff, _mm256_set1_pd(255.0)), Select(black, one, high));
    s = _mm256_round_pd(s, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    s = _mm256_min_pd(_mm256_max_pd(s, _mm256_set1_pd(kIntLow)), _mm256_set1_pd(kIntHigh));
    s = Select(black, zero, s);
    const __m256d across = Select(third, _mm256_sub_pd(a0, a1),
                                  Select(second, _mm256_sub_pd(a2, a0), _mm256_sub_pd(a1, a2)));
    const __m256d flat = _mm256_cmp_pd(diff, zero, _CMP_EQ_OQ);
    const __m256d t =
        _mm256_add_pd(_mm256_div_pd(across, Select(flat, one, diff)), _mm256_mul_pd(two, channel));
    __m256d h = _mm256_round_pd(_mm256_mul_pd(t, _mm256_set1_pd(42.5)),
                                _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    h = Select(_mm256_cmp_pd(h, zero, _CMP_LT_OQ), _mm256_add_pd(h, _mm256_set1_pd(255.0)), h);
    h = Select(_mm256_cmp_pd(s, zero, _CMP_EQ_OQ), zero, h);
    // The levels and the bin.
    const __m256d qh = _mm256_min_pd(TruncAvx2(_mm256_mul_pd(h, _mm256_set1_pd(1.0 / 32))),
                                     _mm256_set1_pd(kHueLevels - 1));
    const __m256d qs = LevelAvx2(s, scale);
    const __m256d qv = LevelAvx2(high, scale);
    __m256d bin = _mm256_add_pd(_mm256_mul_pd(L, _mm256_add_pd(_mm256_mul_pd(L, qh), qs)), qv);
    bin = Select(
        _mm256_or_pd(_mm256_cmp_pd(bin, zero, _CMP_LT_OQ), _mm256_cmp_pd(bin, last, _CMP_GT_OQ)),
        last, bin);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bins + k), _mm256_cvttpd_epi32(bin));
  }
  StructureBinsPortable(c0 + k, c1 + k, c2 + k, count - k, levels, bins + k);
}

}  // namespace

void StructureBinsPortable(const double* c0, const double* c1, const double* c2,
                           std::uint32_t count, std::uint32_t levels, std::uint32_t* bins) {
  const LevelScale scale(levels);
  const std::int64_t count8 = kHueLevels * levels * levels;
  const auto level = [&](std::int32_t x) {
    return std::min(TruncToInt(scale.Scaled(x)), scale.top);
  };
  for (std::uint32_t k = 0; k < count; ++k) {
    const PatchHsv hsv = ColorFeature::PatchToHsv(static_cast<std::int32_t>(TruncToInt(c0[k])),
                                                  static_cast<std::int32_t>(TruncToInt(c1[k])),
                                                  static_cast<std::int32_t>(TruncToInt(c2[k])));
    const std::int64_t qh = std::min<std::int64_t>(TruncToInt(hsv.h * (1.0 / 32)), kHueLevels - 1);
    const std::int64_t bin = levels * (levels * qh + level(hsv.s)) + level(hsv.v);
    bins[k] = bin < 0 || bin >= count8 ? static_cast<std::uint32_t>(count8 - 1)
                                       : static_cast<std::uint32_t>(bin);
  }
}

void StructureBins(const double* c0, const double* c1, const double* c2, std::uint32_t count,
                   std::uint32_t levels, std::uint32_t* bins) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    StructureBinsAvx2(c0, c1, c2, count, levels, bins);
  } else {
    StructureBinsPortable(c0, c1, c2, count, levels, bins);
  }
}

}  // namespace orvane
