#include "learning/tanh_nonlinearity.h"

#include <cstring>

namespace orvane {
namespace {

// Two doubles (and their bit patterns) in one register; GCC and Clang map the arithmetic onto
// SSE2 instructions at any optimisation level, which libm's scalar calls cannot offer.
typedef double Pair __attribute__((vector_size(16)));
typedef std::uint64_t PairBits __attribute__((vector_size(16)));

constexpr std::uint64_t kSignBit = 0x8000000000000000ull;

// exp(x) − 1 into q and exp(x) into e, for x <= 0.
//
// x = k·ln2 + r with integer k and |r| <= ln2 / 2, so exp(x) = 2^k · (1 + expm1(r)) and
// expm1(x) = 2^k · expm1(r) + (2^k − 1). expm1(r) is its Taylor series to r^13, whose
// truncation error (|r|^14 / 14!) is far below the rounding unit. Writing both results as
// 2^k · expm1(r) plus an exact term keeps each accurate: q for tiny |x| (no 1 − e
// cancellation), e for large |x| (no 1 + q cancellation).
//
// Written for any width of vector (V doubles, B their bit patterns), so that every width
// gives every value the same bits.
template <typename V, typename B>
__attribute__((always_inline)) inline void ExpAndExpm1(const V& argument, V& q, V& e) {
  V x = argument;
  // Below −700 exp is under 1e-304: tanh is ±1 and sech² negligible already, and 2^k stays a
  // normal number.
  const V lowest = V{} - 700.0;
  x = x < lowest ? lowest : x;

  // Round x / ln2 to the nearest integer k by adding 1.5 · 2^52: the sum has no fraction bits
  // left, and its low mantissa bits hold k in two's complement.
  const V shifted = x * 1.4426950408889634 + 6755399441055744.0;
  const V k = shifted - 6755399441055744.0;
  // ln2 in two parts: k · ln2_hi is exact, so r keeps full precision.
  const V r = (x - k * 6.93147180369123816490e-01) - k * 1.90821492927058770002e-10;

  V p = V{} + 1.0 / 6227020800.0;  // 1/13!
  p = p * r + 1.0 / 479001600.0;
  p = p * r + 1.0 / 39916800.0;
  p = p * r + 1.0 / 3628800.0;
  p = p * r + 1.0 / 362880.0;
  p = p * r + 1.0 / 40320.0;
  p = p * r + 1.0 / 5040.0;
  p = p * r + 1.0 / 720.0;
  p = p * r + 1.0 / 120.0;
  p = p * r + 1.0 / 24.0;
  p = p * r + 1.0 / 6.0;
  p = p * r + 0.5;
  const V expm1_r = r + r * r * p;

  // 2^k built from its exponent field, k + 1023 (between 13 and 1023 here).
  const B exponent = ((B)shifted + 1023u) << 52;
  const V scale = (V)exponent;
  q = scale * expm1_r + (scale - 1.0);
  e = scale * expm1_r + scale;
}

// tanh|y| = −expm1(−2|y|) / (1 + exp(−2|y|)) and sech² y = 4 exp(−2|y|) / (1 + exp(−2|y|))²;
// the sign of y is put back on tanh (after clearing the one −0 / 1 gives for y = 0).
template <typename V, typename B>
__attribute__((always_inline)) inline void TanhOf(const V& y, V& tanh, V& slope) {
  const B bits = (B)y;
  const B sign = bits & kSignBit;
  const V magnitude = (V)(bits & ~kSignBit);
  V q, e;
  ExpAndExpm1<V, B>(-2.0 * magnitude, q, e);
  const V denominator = 1.0 + e;
  slope = 4.0 * e / (denominator * denominator);
  const V t = -q / denominator;
  tanh = (V)(((B)t & ~kSignBit) | sign);
}

inline Pair TanhPair(Pair y, Pair& slope) {
  Pair t;
  TanhOf<Pair, PairBits>(y, t, slope);
  return t;
}

// Eight values at a time where the processor has AVX-512. The slopes are added to the same
// two running sums in the same order as the pairs would add them, so the sum keeps its bits.
typedef double Octet __attribute__((vector_size(64)));
typedef std::uint64_t OctetBits __attribute__((vector_size(64)));

__attribute__((target("avx512f"))) std::uint32_t TanhOctets(double* values, std::uint32_t count,
                                                            Pair& sum) {
  std::uint32_t j = 0;
  for (; j + 8 <= count; j += 8) {
    Octet y;
    std::memcpy(&y, values + j, sizeof y);
    Octet slope;
    Octet t;
    TanhOf<Octet, OctetBits>(y, t, slope);
    for (int i = 0; i < 8; i += 2) sum += Pair{slope[i], slope[i + 1]};
    std::memcpy(values + j, &t, sizeof t);
  }
  return j;
}

bool HasAvx512() {
  static const bool has = __builtin_cpu_supports("avx512f");
  return has;
}

}  // namespace

double TanhWithSlopeSum(double* values, std::uint32_t count) {
  Pair sum = {0.0, 0.0};
  std::uint32_t j = HasAvx512() ? TanhOctets(values, count, sum) : 0;
  for (; j + 2 <= count; j += 2) {
    Pair y;
    std::memcpy(&y, values + j, sizeof y);
    Pair slope;
    const Pair t = TanhPair(y, slope);
    sum += slope;
    std::memcpy(values + j, &t, sizeof t);
  }
  double total = sum[0] + sum[1];
  if (j < count) {
    Pair slope;
    const Pair t = TanhPair(Pair{values[j], 0.0}, slope);
    total += slope[0];
    values[j] = t[0];
  }
  return total;
}

}  // namespace orvane
