#include "learning/tanh_nonlinearity.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace orvane {
namespace {

// A few units in the last place.
constexpr double kRelativeTolerance = 1e-15;

// sech² y from the definition, in extended precision so that cosh² does not overflow over
// the range tested.
double ReferenceSlope(double y) {
  const long double c = std::cosh(static_cast<long double>(y));
  return static_cast<double>(1.0L / (c * c));
}

// Each value on its own, so that every slope is seen rather than only their sum.
void ExpectMatchesLibm(const std::vector<double>& ys) {
  for (const double y : ys) {
    double value = y;
    const double slope = TanhWithSlopeSum(&value, 1);
    const double t = std::tanh(y);
    EXPECT_NEAR(value, t, kRelativeTolerance * std::fabs(t)) << "tanh(" << y << ")";
    EXPECT_EQ(std::signbit(value), std::signbit(y)) << y;
    const double s = ReferenceSlope(y);
    EXPECT_NEAR(slope, s, kRelativeTolerance * s) << "sech²(" << y << ")";
  }
}

TEST(TanhWithSlopeSum, MatchesLibmFromTinyToHugeArguments) {
  ExpectMatchesLibm({0.0, -0.0, 1e-300, -1e-200, 1e-17, 3e-9, -2.5e-5, 0.01, 0.3465, -0.3466, 0.5,
                     -1.0, 2.0, 7.25, -18.0, 19.5, 40.0, -300.0, 349.0});
}

TEST(TanhWithSlopeSum, DenseSweepStaysWithinFewUnitsInLastPlace) {
  std::vector<double> ys;
  for (double y = -30.0; y <= 30.0; y += 0.000997) ys.push_back(y);
  ExpectMatchesLibm(ys);
}

TEST(TanhWithSlopeSum, SlopeBeyondExponentRangeIsNegligibleAndFinite) {
  // sech²(360) = 4e^-720 ≈ 8e-313; anything of order 1e-303 or less is as good in a sum.
  double y = -360.0;
  const double slope = TanhWithSlopeSum(&y, 1);
  EXPECT_GE(slope, 0.0);
  EXPECT_LT(slope, 1e-302);
  EXPECT_EQ(y, -1.0);
}

TEST(TanhWithSlopeSum, PairedValuesGiveSameBitsAsSingleOnesAndSumTheirSlopes) {
  std::vector<double> row;
  for (int i = 0; i < 101; ++i) row.push_back(std::sin(i * 0.37) * (1 + i % 7));
  std::vector<double> paired = row;
  const double sum = TanhWithSlopeSum(paired.data(), static_cast<std::uint32_t>(paired.size()));
  long double slopes = 0.0L;
  // The sum in its documented order, whatever vector width computed it: even and odd
  // positions in two running sums, then the odd last value.
  double lanes[2] = {0.0, 0.0};
  for (std::size_t i = 0; i < row.size(); ++i) {
    double single = row[i];
    const double slope = TanhWithSlopeSum(&single, 1);
    slopes += slope;
    if (i + 1 < row.size()) lanes[i % 2] += slope;
    EXPECT_EQ(std::memcmp(&single, &paired[i], sizeof single), 0) << i;
  }
  EXPECT_NEAR(sum, static_cast<double>(slopes), 1e-13 * sum);
  double single = row.back();
  EXPECT_EQ(sum, lanes[0] + lanes[1] + TanhWithSlopeSum(&single, 1));
}

TEST(TanhWithSlopeSum, InfinitiesGiveUnitTanhAndNoSlope) {
  std::vector<double> v = {std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(), 0.0};
  const double sum = TanhWithSlopeSum(v.data(), 3);
  EXPECT_EQ(v[0], 1.0);
  EXPECT_EQ(v[1], -1.0);
  EXPECT_EQ(v[2], 0.0);
  EXPECT_NEAR(sum, 1.0, 1e-300);
}

}  // namespace
}  // namespace orvane
