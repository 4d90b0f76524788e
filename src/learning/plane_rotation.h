#pragma once

#include <cmath>

namespace orvane::detail {

/// sqrt(a^2 + b^2) without intermediate overflow or destructive underflow: the larger
/// magnitude is factored out, so the square is only ever taken of a ratio of at most 1.
inline double Hypotenuse(double a, double b) {
  const double abs_a = std::fabs(a);
  const double abs_b = std::fabs(b);
  if (abs_a > abs_b) {
    const double ratio = abs_b / abs_a;
    return abs_a * std::sqrt(1.0 + ratio * ratio);
  }
  if (abs_b == 0.0) return 0.0;
  const double ratio = abs_a / abs_b;
  return abs_b * std::sqrt(1.0 + ratio * ratio);
}

/// |magnitude| carrying the sign of `sign` (a zero `sign` counts as positive).
inline double WithSignOf(double magnitude, double sign) {
  return sign >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

}  // namespace orvane::detail
