#pragma once

#include <cstdint>

namespace orvane {

/// The ICA non-linearity over one row of component activities: replaces each of the `count`
/// values y by tanh(y) and returns the sum of the derivatives sech²(y) = 1 / cosh²(y).
///
/// Both come from one exponential per value, evaluated two values at a time. tanh is within a
/// few units in the last place of libm's for every y; so is sech² for |y| up to 349, where
/// 1/cosh² has long overflowed in double arithmetic. Beyond that sech² is below 1e-303 and is
/// returned as a value of that order, which no sum of slopes can notice. The summation order
/// depends only on `count`, so results are reproducible.
double TanhWithSlopeSum(double* values, std::uint32_t count);

}  // namespace orvane
