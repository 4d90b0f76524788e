#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace orvane {

/// trunc(x) as an integer. The means of a sound file are small integers, but a hostile file
/// can store anything its section coding expresses; converting an out-of-range double is
/// undefined, so the value is first held to the int32 range (NaN, which no decoder produces,
/// counts 0).
inline std::int64_t TruncToInt(double x) {
  constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
  constexpr double kLow = std::numeric_limits<std::int32_t>::min();
  if (std::isnan(x)) return 0;
  if (x >= kHigh) return static_cast<std::int64_t>(kHigh);
  if (x <= kLow) return static_cast<std::int64_t>(kLow);
  return static_cast<std::int64_t>(x);
}

}  // namespace orvane
