#include "foundation/small_helpers.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace orvane {
namespace {

// Norms taken four rows at a time are the one-row norms to the bit, for every count of rows
// left over, and keep RowNorm's extended-precision range.
TEST(RowNorms, EqualRowNormBitForBitWhateverTheRowCount) {
  std::mt19937 rng(3);
  std::normal_distribution<double> value(0.0, 1e3);
  for (std::uint32_t rows = 0; rows <= 9; ++rows) {
    for (std::uint32_t length : {0u, 1u, 7u, 192u}) {
      std::vector<double> data(static_cast<std::size_t>(rows) * length);
      for (double& v : data) v = value(rng);
      if (rows > 2 && length > 0) data[length] = std::numeric_limits<double>::max() / 2;
      std::vector<double> norms(rows, -1.0);
      RowNorms(data.data(), rows, length, norms.data());
      for (std::uint32_t r = 0; r < rows; ++r) {
        const double one = RowNorm(data.data() + static_cast<std::size_t>(r) * length, length);
        EXPECT_EQ(norms[r], one) << rows << " rows of " << length << ", row " << r;
        EXPECT_TRUE(std::isfinite(norms[r]));
      }
    }
  }
}

}  // namespace
}  // namespace orvane
