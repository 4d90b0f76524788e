#include "learning/svd.h"

#include <cmath>
#include <tuple>

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
using testing_support::Transposed;
using Matrix = Tarn::Matrix<double>;

// A random m x n matrix of rank at most r: (m x r) times (r x n).
Matrix RandomOfRank(std::uint32_t m, std::uint32_t n, std::uint32_t r, unsigned seed) {
  if (r >= std::min(m, n)) return RandomMatrix(m, n, seed);
  return Product(RandomMatrix(m, r, seed), RandomMatrix(r, n, seed + 1));
}

Matrix Diagonal(const Tarn::DoubleVector& w) {
  Matrix d(w.Length(), w.Length());
  d.Fill(0.0);
  for (std::uint32_t i = 0; i < w.Length(); ++i) d(i, i) = w[i];
  return d;
}

// The four Moore-Penrose conditions: A G A = A, G A G = G, A G and G A symmetric.
void ExpectMoorePenrose(const Matrix& a, const Matrix& g, double tolerance) {
  ASSERT_EQ(g.Rows(), a.Columns());
  ASSERT_EQ(g.Columns(), a.Rows());
  const Matrix ag = Product(a, g), ga = Product(g, a);
  EXPECT_LT(MaxDifference(Product(ag, a), a), tolerance);
  EXPECT_LT(MaxDifference(Product(ga, g), g), tolerance * (1 + MaxAbs(g)));
  EXPECT_LT(MaxDifference(ag, Transposed(ag)), tolerance);
  EXPECT_LT(MaxDifference(ga, Transposed(ga)), tolerance);
}

// (rows, columns, rank): square, tall, rank-deficient and zero matrices.
class SvdShapes
    : public ::testing::TestWithParam<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> {};

TEST_P(SvdShapes, FactorsRebuildMatrixWithOrthonormalFactors) {
  const auto [m, n, rank] = GetParam();
  const Matrix a = rank == 0 ? [&] {
    Matrix z(m, n);
    z.Fill(0.0);
    return z;
  }()
                             : RandomOfRank(m, n, rank, m * 100 + n);
  Matrix u = a;
  Tarn::DoubleVector w(n);
  Matrix v(n, n);
  ASSERT_EQ(SvdDecompose(u, w, v), 0);

  for (std::uint32_t i = 0; i < n; ++i) EXPECT_GE(w[i], 0.0) << i;
  const double scale = 1.0 + MaxAbs(a);
  EXPECT_LT(MaxDifference(Product(Product(u, Diagonal(w)), Transposed(v)), a), 1e-12 * scale * m);
  EXPECT_LT(MaxDifference(Product(Transposed(u), u), Identity(n)), 1e-12 * m);
  EXPECT_LT(MaxDifference(Product(Transposed(v), v), Identity(n)), 1e-12 * n);

  // Exactly `rank` singular values are clearly non-zero; which ones is not fixed (no sorting).
  std::uint32_t non_zero = 0;
  for (std::uint32_t i = 0; i < n; ++i) non_zero += w[i] > 1e-9 * scale;
  EXPECT_EQ(non_zero, std::min(rank, n));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SvdShapes,
    ::testing::Values(std::make_tuple(1u, 1u, 1u), std::make_tuple(2u, 2u, 2u),
                      std::make_tuple(5u, 5u, 5u), std::make_tuple(8u, 3u, 3u),
                      std::make_tuple(40u, 25u, 25u), std::make_tuple(96u, 96u, 96u),
                      std::make_tuple(192u, 96u, 96u), std::make_tuple(10u, 10u, 4u),
                      std::make_tuple(12u, 6u, 2u), std::make_tuple(30u, 30u, 1u),
                      std::make_tuple(6u, 4u, 0u)));

TEST(SvdDecompose, DiagonalWithNegativeEntryGivesNonNegativeValuesInColumnOrder) {
  Matrix a = FromRows({{3, 0, 0}, {0, -2, 0}, {0, 0, 0}});
  const Matrix original = a;
  Tarn::DoubleVector w(3);
  Matrix v(3, 3);
  ASSERT_EQ(SvdDecompose(a, w, v), 0);
  EXPECT_DOUBLE_EQ(w[0], 3.0);
  EXPECT_DOUBLE_EQ(w[1], 2.0);
  EXPECT_DOUBLE_EQ(w[2], 0.0);
  EXPECT_LT(MaxDifference(Product(Product(a, Diagonal(w)), Transposed(v)), original), 1e-15);

  const Matrix inverse = PseudoInverse(original);
  EXPECT_LT(MaxDifference(inverse, FromRows({{1.0 / 3, 0, 0}, {0, -0.5, 0}, {0, 0, 0}})), 1e-15);
}

TEST(SvdDecompose, RefusesFewerRowsThanColumnsWithoutTouchingInput) {
  Matrix a = FromRows({{1, 2, 3}});
  Tarn::DoubleVector w(3);
  w.Fill(7.0);
  Matrix v(3, 3);
  EXPECT_EQ(SvdDecompose(a, w, v), -1);
  EXPECT_EQ(MaxDifference(a, FromRows({{1, 2, 3}})), 0.0);
  EXPECT_EQ(w[0], 7.0);
}

TEST(SvdDecompose, SizesMissingOutputs) {
  Matrix a = RandomMatrix(4, 3, 5);
  Tarn::DoubleVector w;
  Matrix v;
  ASSERT_EQ(SvdDecompose(a, w, v), 0);
  EXPECT_EQ(w.Length(), 3u);
  EXPECT_EQ(v.Rows(), 3u);
  EXPECT_EQ(v.Columns(), 3u);
}

// 1 x 1 matrices: the cut-off at 1e-10 is absolute and strict.
class OneByOnePseudoInverse : public ::testing::TestWithParam<std::tuple<double, double>> {};

TEST_P(OneByOnePseudoInverse, InvertsAboveCutOffOnly) {
  const auto [x, expected] = GetParam();
  const Matrix inverse = PseudoInverse(FromRows({{x}}));
  ASSERT_EQ(inverse.Rows(), 1u);
  ASSERT_EQ(inverse.Columns(), 1u);
  EXPECT_DOUBLE_EQ(inverse(0, 0), expected);
}

INSTANTIATE_TEST_SUITE_P(Values, OneByOnePseudoInverse,
                         ::testing::Values(std::make_tuple(4.0, 0.25), std::make_tuple(-2.0, -0.5),
                                           std::make_tuple(2e-10, 5e9),
                                           std::make_tuple(-2e-10, -5e9),
                                           std::make_tuple(1e-10, 0.0), std::make_tuple(5e-11, 0.0),
                                           std::make_tuple(0.0, 0.0)));

TEST(PseudoInverse, DropsSingularValueBelowCutOffAndInvertsOneAbove) {
  // A = R · diag(1, 2e-10, 5e-11) with R orthogonal, so A⁺ = diag(1, 5e9, 0) · Rᵀ.
  const Matrix r = testing_support::RandomOrthogonal(3, 11);
  const Matrix a = Product(r, FromRows({{1, 0, 0}, {0, 2e-10, 0}, {0, 0, 5e-11}}));
  const Matrix inverse_times_r = Product(PseudoInverse(a), r);
  const Matrix expected = FromRows({{1, 0, 0}, {0, 5e9, 0}, {0, 0, 0}});
  // Rounding in A is about 1e-16, which the inverse amplifies by up to 1 / (2e-10)².
  for (std::uint32_t i = 0; i < 3; ++i)
    for (std::uint32_t j = 0; j < 3; ++j)
      EXPECT_NEAR(inverse_times_r(i, j), expected(i, j), 5e9 * 1e-4) << i << "," << j;
  EXPECT_NEAR(inverse_times_r(2, 2), 0.0, 1e-3);
}

// (rows, columns, rank): the pseudo-inverse meets the Moore-Penrose conditions whatever the
// shape, wide matrices included.
class PseudoInverseShapes
    : public ::testing::TestWithParam<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> {};

TEST_P(PseudoInverseShapes, MeetsMoorePenroseConditions) {
  const auto [m, n, rank] = GetParam();
  const Matrix a = RandomOfRank(m, n, rank, m * 7 + n);
  ExpectMoorePenrose(a, PseudoInverse(a), 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Shapes, PseudoInverseShapes,
                         ::testing::Values(std::make_tuple(6u, 6u, 6u), std::make_tuple(6u, 6u, 3u),
                                           std::make_tuple(9u, 4u, 4u), std::make_tuple(9u, 4u, 2u),
                                           std::make_tuple(4u, 9u, 4u),
                                           std::make_tuple(4u, 9u, 2u)));

TEST(GeneralizedInverse, WideFullRankIsRightInverse) {
  const Matrix a = RandomMatrix(5, 12, 21);
  const Matrix g = GeneralizedInverse(a);
  ASSERT_EQ(g.Rows(), 12u);
  ASSERT_EQ(g.Columns(), 5u);
  EXPECT_LT(MaxDifference(Product(a, g), Identity(5)), 1e-12);
  EXPECT_LT(MaxDifference(g, PseudoInverse(a)), 1e-10);
}

TEST(GeneralizedInverse, TallFullRankIsLeftInverse) {
  const Matrix a = RandomMatrix(12, 5, 22);
  const Matrix g = GeneralizedInverse(a);
  ASSERT_EQ(g.Rows(), 5u);
  ASSERT_EQ(g.Columns(), 12u);
  EXPECT_LT(MaxDifference(Product(g, a), Identity(5)), 1e-12);
}

TEST(GeneralizedInverse, SquareRegularIsInverse) {
  const Matrix a = RandomMatrix(7, 7, 23);
  EXPECT_LT(MaxDifference(Product(a, GeneralizedInverse(a)), Identity(7)), 1e-10);
}

// Inputs on which Gauss-Jordan elimination without pivoting breaks down, although a
// generalised inverse exists: each must still come back as the Moore-Penrose inverse.
TEST(GeneralizedInverse, ZeroPivotOfRegularMatrixStillInverts) {
  const Matrix a = FromRows({{0, 2}, {1, 0}});
  EXPECT_LT(MaxDifference(GeneralizedInverse(a), FromRows({{0, 1}, {0.5, 0}})), 1e-15);
}

TEST(GeneralizedInverse, UnderflowingDeterminantStillInverts) {
  Matrix a(200, 200);
  a.SetIdentity();
  for (std::uint32_t i = 0; i < 200; ++i) a(i, i) = 0.01;  // determinant 1e-400
  const Matrix g = GeneralizedInverse(a);
  for (std::uint32_t i = 0; i < 200; ++i) ASSERT_NEAR(g(i, i), 100.0, 1e-9);
  EXPECT_LT(MaxDifference(Product(a, g), Identity(200)), 1e-12);
}

TEST(GeneralizedInverse, RankDeficientWideMatrixGivesPseudoInverse) {
  // Duplicated rows make AAᵀ singular.
  const Matrix a = FromRows({{1, 2, 3, 4}, {1, 2, 3, 4}, {0, 1, 0, 1}});
  ExpectMoorePenrose(a, GeneralizedInverse(a), 1e-10);
}

TEST(GeneralizedInverse, RankDeficientTallMatrixGivesPseudoInverse) {
  const Matrix a = RandomOfRank(8, 4, 2, 31);
  ExpectMoorePenrose(a, GeneralizedInverse(a), 1e-10);
}

TEST(GeneralizedInverse, LeavesInputUnchanged) {
  const Matrix a = RandomMatrix(3, 6, 41);
  const Matrix copy = a;
  GeneralizedInverse(a);
  PseudoInverse(a);
  EXPECT_EQ(MaxDifference(a, copy), 0.0);
}

}  // namespace
}  // namespace orvane
