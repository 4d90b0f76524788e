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
inline void ExpAndExpm1(Pair x, Pair& q, Pair& e) {
  // Below −700 exp is under 1e-304: tanh is ±1 and sech² negligible already, and 2^k stays a
  // normal number.
  const Pair lowest = Pair{} - 700.0;
  x = x < lowest ? lowest : x;

  // Round x / ln2 to the nearest integer k by adding 1.5 · 2^52: the sum has no fraction bits
  // left, and its low mantissa bits hold k in two's complement.
  const Pair shifted = x * 1.4426950408889634 + 6755399441055744.0;
  const Pair k = shifted - 6755399441055744.0;
  // ln2 in two parts: k · ln2_hi is exact, so r keeps full precision.
  const Pair r = (x - k * 6.93147180369123816490e-01) - k * 1.90821492927058770002e-10;

  Pair p = Pair{} + 1.0 / 6227020800.0;  // 1/13!
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
  const Pair expm1_r = r + r * r * p;

  // 2^k built from its exponent field, k + 1023 (between 13 and 1023 here).
  const PairBits exponent = ((PairBits)shifted + 1023u) << 52;
  const Pair scale = (Pair)exponent;
  q = scale * expm1_r + (scale - 1.0);
  e = scale * expm1_r + scale;
}

// tanh|y| = −expm1(−2|y|) / (1 + exp(−2|y|)) and sech² y = 4 exp(−2|y|) / (1 + exp(−2|y|))²;
// the sign of y is put back on tanh (after clearing the one −0 / 1 gives for y = 0).
inline Pair TanhPair(Pair y, Pair& slope) {
  const PairBits bits = (PairBits)y;
  const PairBits sign = bits & kSignBit;
  const Pair magnitude = (Pair)(bits & ~kSignBit);
  Pair q, e;
  ExpAndExpm1(-2.0 * magnitude, q, e);
  const Pair denominator = 1.0 + e;
  slope = 4.0 * e / (denominator * denominator);
  const Pair t = -q / denominator;
  return (Pair)(((PairBits)t & ~kSignBit) | sign);
}

}  // namespace

double TanhWithSlopeSum(double* values, std::uint32_t count) {
  Pair sum = {0.0, 0.0};
  std::uint32_t j = 0;
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
