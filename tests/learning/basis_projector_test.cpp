#include "learning/basis_projector.h"

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "test_matrices.h"

namespace orvane {
namespace {

using testing_support::FromRows;
using testing_support::Identity;
using testing_support::MaxAbs;
using testing_support::MaxDifference;
using testing_support::Product;
using testing_support::RandomMatrix;
using Matrix = Tarn::Matrix<double>;
using Steps = std::vector<std::uint32_t>;

TEST(SortByNorm, StrongestFirstAndEqualNormsKeepTheirOrder) {
  Matrix bases = FromRows({{0, 3, 4}, {1, 0, 0}, {5, 0, 0}, {0, 0, 6}, {0, -4, 3}});
  const Tarn::DoubleVector norms = BasisProjector::SortByNorm(bases);
  EXPECT_EQ(
      MaxDifference(bases, FromRows({{0, 0, 6}, {0, 3, 4}, {5, 0, 0}, {0, -4, 3}, {1, 0, 0}})),
      0.0);
  ASSERT_EQ(norms.Length(), 5u);
  const double expected[] = {6, 5, 5, 5, 1};
  for (std::uint32_t i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(norms[i], expected[i]) << i;
}

// (precision, row, quantised row): the integer scale trunc(L / max), or L / max for a row above
// L, and truncation toward 0.
class Quantisation : public ::testing::TestWithParam<
                         std::tuple<std::uint32_t, std::vector<double>, std::vector<double>>> {};

TEST_P(Quantisation, ScalesByIntegerFactorAndTruncatesTowardZero) {
  const auto& [precision, row, expected] = GetParam();
  Matrix bases(1, static_cast<std::uint32_t>(row.size()));
  for (std::uint32_t c = 0; c < row.size(); ++c) bases(0, c) = row[c];
  BasisProjector(precision, 1, false).Quantize(bases);
  for (std::uint32_t c = 0; c < row.size(); ++c) EXPECT_EQ(bases(0, c), expected[c]) << c;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Quantisation,
    ::testing::Values(
        // L = 127, factor trunc(127 / 0.5) = 254.
        std::make_tuple(8u, std::vector<double>{0.5, -0.25, 0.1},
                        std::vector<double>{127, -63, 25}),
        // factor trunc(127 / 0.3) = 423: the largest value stays below L.
        std::make_tuple(8u, std::vector<double>{-0.3, 0.2}, std::vector<double>{-126, 84}),
        // L = 0: every basis becomes zeros.
        std::make_tuple(1u, std::vector<double>{0.5, -2.0}, std::vector<double>{0, 0}),
        std::make_tuple(8u, std::vector<double>{0, 0}, std::vector<double>{0, 0}),
        // A tiny basis still reaches full scale: its factor, 127 · 2^40, exceeds 32 bits.
        std::make_tuple(8u, std::vector<double>{std::ldexp(1.0, -40), -std::ldexp(1.0, -41)},
                        std::vector<double>{127, -63}),
        // A basis larger than L would get the factor 0 and vanish; the real factor L / max
        // puts its largest value on ±L instead (L = 63 here, factor 63 / 300 = 0.21).
        std::make_tuple(7u, std::vector<double>{-300.0, 150.0, 299.0, 4.0},
                        std::vector<double>{-63, 31, 62, 0}),
        std::make_tuple(8u, std::vector<double>{1e300, -1e300, 5e299},
                        std::vector<double>{127, -127, 63}),
        // L = 2^31 − 1 is the largest magnitude a 32-bit value can hold.
        std::make_tuple(32u, std::vector<double>{1.0, -1.0},
                        std::vector<double>{2147483647.0, -2147483647.0})));

struct StepCase {
  bool change;
  std::uint32_t q;
  std::vector<double> norms;
  Steps expected;
};

class CoefficientStepTable : public ::testing::TestWithParam<StepCase> {};

TEST_P(CoefficientStepTable, GivesStepsBeforeColumnScaling) {
  const StepCase& c = GetParam();
  Tarn::DoubleVector norms(static_cast<std::uint32_t>(c.norms.size()));
  for (std::uint32_t i = 0; i < c.norms.size(); ++i) norms[i] = c.norms[i];
  EXPECT_EQ(BasisProjector(8, c.q, c.change).CoefficientSteps(norms), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CoefficientStepTable,
    ::testing::Values(StepCase{true, 10, {4, 2, 1}, {2, 5, 10}},
                      StepCase{false, 10, {4, 2, 1}, {10, 10, 10}},
                      StepCase{false, 10, {4, 0}, {10, 10}}, StepCase{true, 10, {0, 0}, {1, 1}},
                      StepCase{true, 10, {4, 0}, {1, 1}},   // q · 0 / 4 = 0 and 0 / 0 both give 1
                      StepCase{true, 3, {100, 1}, {1, 3}},  // 0.03 truncates to 0, raised to 1
                      StepCase{true, 7, {3, 3, 3}, {7, 7, 7}}));

TEST(BasisProjector, ChangedStepsAreRescaledByIntegerNorms) {
  // Norms (4, 2, 1) give steps (2, 5, 10) with q = 10. Quantised at P = 8 (factors 31, 63,
  // 127) the integer norms are (124, 126, 127), so the stored factors are
  // trunc(norm / step) = (62, 25, 12) and Q = diag(factor / norm).
  Matrix bases = FromRows({{0, 2, 0}, {0, 0, 1}, {4, 0, 0}});
  Steps steps;
  Matrix q;
  ASSERT_EQ(BasisProjector(8, 10, true).Run(bases, steps, q), kSuccess);
  EXPECT_EQ(MaxDifference(bases, FromRows({{124, 0, 0}, {0, 126, 0}, {0, 0, 127}})), 0.0);
  EXPECT_EQ(steps, (Steps{62, 25, 12}));
  const Matrix expected = FromRows({{0.5, 0, 0}, {0, 25.0 / 126, 0}, {0, 0, 12.0 / 127}});
  EXPECT_LT(MaxDifference(q, expected), 1e-15);
}

TEST(BasisProjector, PrecisionOneZeroesBasesAndSkipsColumnScaling) {
  Matrix bases = RandomMatrix(3, 5, 2);
  Steps steps;
  Matrix q;
  ASSERT_EQ(BasisProjector(1, 4, false).Run(bases, steps, q), kSuccess);
  EXPECT_EQ(MaxAbs(bases), 0.0);
  EXPECT_EQ(steps, (Steps{4, 4, 4}));
  ASSERT_EQ(q.Rows(), 5u);
  ASSERT_EQ(q.Columns(), 3u);
  EXPECT_EQ(MaxAbs(q), 0.0);
}

TEST(BasisProjector, SquareSingularBasesTakeSvdPath) {
  // Gauss-Jordan would fail on this singular matrix; the SVD pseudo-inverse of 127·J is
  // J / 508, and the factor is trunc(127√2 / 1) = 179.
  Matrix bases = FromRows({{1, 1}, {1, 1}});
  Steps steps;
  Matrix q;
  ASSERT_EQ(BasisProjector(8, 1, false).Run(bases, steps, q), kSuccess);
  EXPECT_EQ(steps, (Steps{179, 179}));
  EXPECT_LT(MaxDifference(q, FromRows({{179.0 / 508, 179.0 / 508}, {179.0 / 508, 179.0 / 508}})),
            1e-12);
}

TEST(BasisProjector, NonSquareBasesTakeNormalEquationsPath) {
  // (3, 4) quantises to (93, 124), norm 155: Q = Bᵀ / 155² times 155 = (0.6, 0.8)ᵀ.
  Matrix bases = FromRows({{3, 4}});
  Steps steps;
  Matrix q;
  ASSERT_EQ(BasisProjector(8, 1, false).Run(bases, steps, q), kSuccess);
  EXPECT_EQ(MaxDifference(bases, FromRows({{93, 124}})), 0.0);
  EXPECT_EQ(steps, (Steps{155}));
  EXPECT_LT(MaxDifference(q, FromRows({{0.6}, {0.8}})), 1e-15);
}

TEST(BasisProjector, ZeroBasisKeepsStepAndUnscaledColumn) {
  Matrix bases = FromRows({{0, 0, 0, 0}, {1, 2, 0, 0}});
  Steps steps;
  Matrix q;
  ASSERT_EQ(BasisProjector(8, 6, false).Run(bases, steps, q), kSuccess);
  // The zero basis sorts last.
  EXPECT_EQ(steps[1], 6u);
  for (std::uint32_t r = 0; r < 4; ++r) EXPECT_NEAR(q(r, 1), 0.0, 1e-15);
}

TEST(BasisProjector, ProjectionAndDequantisedBasesRebuildPatchesInTheirSpan) {
  // The decoder rebuilds x as Σ coefficient_i · basis_i / factor_i; for x in the span of the
  // bases that must give x back.
  Matrix bases = RandomMatrix(5, 12, 3);
  Steps steps;
  Matrix q;
  ASSERT_EQ(BasisProjector(8, 4, true).Run(bases, steps, q), kSuccess);
  Matrix dequantised = bases;
  for (std::uint32_t i = 0; i < 5; ++i)
    for (std::uint32_t c = 0; c < 12; ++c) dequantised(i, c) /= steps[i];
  const Matrix x = Product(RandomMatrix(7, 5, 4), bases);
  EXPECT_LT(MaxDifference(Product(Product(x, q), dequantised), x), 1e-9 * MaxAbs(x));
}

TEST(BasisProjector, RankDeficientWideBasesGiveFiniteGeneralisedInverse) {
  // Two identical bases: BBᵀ is singular, yet B Q B must still be B (before column scaling,
  // here with steps that scale the columns back by exactly the norms).
  Matrix bases = FromRows({{1, 2, 2, 0}, {1, 2, 2, 0}, {0, 0, 0, 3}});
  Steps steps;
  Matrix q;
  ASSERT_EQ(BasisProjector(8, 1, false).Run(bases, steps, q), kSuccess);
  for (std::uint32_t i = 0; i < q.Count(); ++i) ASSERT_TRUE(std::isfinite(q.Data()[i]));
  Matrix unscaled = q;
  for (std::uint32_t r = 0; r < 4; ++r)
    for (std::uint32_t c = 0; c < 3; ++c) unscaled(r, c) /= steps[c];
  EXPECT_LT(MaxDifference(Product(Product(bases, unscaled), bases), bases), 1e-9);
}

class RefusedInput
    : public ::testing::TestWithParam<std::tuple<std::uint32_t, double, ResultCode>> {};

TEST_P(RefusedInput, LeavesEverythingUntouched) {
  const auto [precision, value, code] = GetParam();
  Matrix bases = FromRows({{1, 2}, {value, 1}});
  const Matrix before = bases;
  Steps steps{9};
  Matrix q = FromRows({{9}});
  EXPECT_EQ(BasisProjector(precision, 1, false).Run(bases, steps, q), code);
  EXPECT_EQ(steps, Steps{9});
  EXPECT_EQ(q.Rows(), 1u);
  if (std::isfinite(value)) {
    EXPECT_EQ(MaxDifference(bases, before), 0.0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RefusedInput,
    ::testing::Values(std::make_tuple(0u, 3.0, kInvalidValues),
                      std::make_tuple(33u, 3.0, kInvalidValues),
                      std::make_tuple(4294967295u, 3.0, kInvalidValues),
                      std::make_tuple(8u, std::numeric_limits<double>::quiet_NaN(), kInvalidValues),
                      std::make_tuple(8u, std::numeric_limits<double>::infinity(),
                                      kInvalidValues)));

TEST(BasisProjector, ZeroStepForNonZeroBasisIsDivisionByZero) {
  Matrix bases = FromRows({{1, 2}, {3, 1}});
  Steps steps{9};
  Matrix q = FromRows({{9}});
  EXPECT_EQ(BasisProjector(8, 0, false).Run(bases, steps, q), kDividedByZero);
  EXPECT_EQ(steps, Steps{9});
  EXPECT_EQ(q(0, 0), 9.0);
}

TEST(BasisProjector, ZeroBaseStepWithChangedStepsFallsBackToOne) {
  Matrix bases = FromRows({{4, 0}, {0, 1}});
  Steps steps;
  Matrix q;
  ASSERT_EQ(BasisProjector(8, 0, true).Run(bases, steps, q), kSuccess);
  EXPECT_EQ(steps, (Steps{124, 127}));  // steps 1 before scaling, then trunc(norm / 1)
}

}  // namespace
}  // namespace orvane
