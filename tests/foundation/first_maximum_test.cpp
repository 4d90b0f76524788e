#include "foundation/first_maximum.h"

#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace orvane {
namespace {

// Ties everywhere (few levels), NaN in front, inside and at the tail, and every length
// around the vector width: the vector scan must answer as the one-value-at-a-time scan does.
TEST(FirstMaximum, AnswersAsTheScanWithTiesAndNaN) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::mt19937 rng(3);
  for (int trial = 0; trial < 2000; ++trial) {
    const std::uint32_t count = 1 + rng() % 100;
    std::vector<double> v(count);
    for (double& x : v) x = static_cast<double>(rng() % (trial % 2 == 0 ? 3 : 1000));
    if (trial % 5 == 0) v[rng() % count] = nan;
    if (trial % 7 == 0) v[0] = nan;
    if (trial % 11 == 0) v[count - 1] = std::numeric_limits<double>::infinity();
    if (trial % 13 == 0) v[rng() % count] = -0.0;
    ASSERT_EQ(FirstMaximum(v.data(), count), FirstMaximumPortable(v.data(), count))
        << "trial " << trial;
  }
  const std::vector<double> twice = {1, 5, 2, 5, 5, 0, 1, 2, 3, 4};
  EXPECT_EQ(FirstMaximum(twice.data(), 10), 1u);
}

}  // namespace
}  // namespace orvane
