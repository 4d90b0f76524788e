#pragma once

#include <cstdint>

namespace orvane {

/// The index of the first maximum of `count` (at least 1) values, as the scan "best = v[0];
/// take v[i] when v[i] > best" finds it: a NaN is never taken, and a NaN in front is kept.
/// Vectorised where the processor has AVX2.
std::uint32_t FirstMaximum(const double* values, std::uint32_t count);

/// The same scan one value at a time, on every processor.
std::uint32_t FirstMaximumPortable(const double* values, std::uint32_t count);

}  // namespace orvane
