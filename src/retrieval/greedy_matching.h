#pragma once

#include <cstdint>

#include "foundation/matrix.h"

namespace orvane {

/// Greedy pairing over the leading k x k block of M (k at most its rows and columns). For
/// e = 0..k-1 the largest value of the block of rows and columns e..k-1 is picked (rows
/// top-down, columns left to right, first maximum wins); it counts with weight k - e. Row h
/// of the pick is then overwritten with row e and its column g with column e, so that what
/// was at e stays available. Returns the weighted mean of the picks, 0 when k is 0. M is
/// consumed: its values afterwards are scratch. `rowMax`, when given, holds the largest of
/// the first k values of each of the first k rows, none of which may be NaN: the search for
/// the first picks then starts from it.
double GreedyMatch(Tarn::Matrix<double>& m, std::uint32_t k, const double* rowMax = nullptr);

}  // namespace orvane
