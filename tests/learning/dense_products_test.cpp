#include "learning/dense_products.h"

#include <tuple>

#include <gtest/gtest.h>

#include "test_matrices.h"

namespace orvane {
namespace {

using testing_support::MaxDifference;
using testing_support::Product;
using testing_support::RandomMatrix;
using testing_support::Transposed;

// (rows, columns): shapes below, at and across the slice of rows and the band of columns
// that the Gram product works in.
class GramShapes : public ::testing::TestWithParam<std::tuple<std::uint32_t, std::uint32_t>> {};

TEST_P(GramShapes, MatchesTransposeTimesMatrixAndIsExactlySymmetric) {
  const auto [rows, columns] = GetParam();
  const auto x = RandomMatrix(rows, columns, rows * 31 + columns);
  const auto gram = GramMatrix(x);
  ASSERT_EQ(gram.Rows(), columns);
  ASSERT_EQ(gram.Columns(), columns);
  EXPECT_LT(MaxDifference(gram, Product(Transposed(x), x)), 1e-12 * (rows + 1));
  for (std::uint32_t i = 0; i < columns; ++i)
    for (std::uint32_t j = 0; j < i; ++j) ASSERT_EQ(gram(i, j), gram(j, i)) << i << "," << j;
}

INSTANTIATE_TEST_SUITE_P(Shapes, GramShapes,
                         ::testing::Values(std::make_tuple(1u, 1u), std::make_tuple(3u, 5u),
                                           std::make_tuple(1024u, 32u), std::make_tuple(2500u, 37u),
                                           std::make_tuple(1500u, 70u)));

TEST(GramMatrix, NoRowsGiveZeroMatrix) {
  const Tarn::Matrix<double> x(0, 4);
  const auto gram = GramMatrix(x);
  ASSERT_EQ(gram.Rows(), 4u);
  for (std::uint32_t i = 0; i < gram.Count(); ++i) EXPECT_EQ(gram.Data()[i], 0.0);
}

TEST(MultiplyByTranspose, MatchesProductWithTranspose) {
  const auto a = RandomMatrix(150, 23, 1), b = RandomMatrix(47, 23, 2);
  const auto c = MultiplyByTranspose(a, b);
  EXPECT_LT(MaxDifference(c, Product(a, Transposed(b))), 1e-13);
}

TEST(MultiplyByTranspose, EmptyInnerDimensionGivesZeros) {
  const Tarn::Matrix<double> a(3, 0), b(2, 0);
  const auto c = MultiplyByTranspose(a, b);
  ASSERT_EQ(c.Rows(), 3u);
  ASSERT_EQ(c.Columns(), 2u);
  for (std::uint32_t i = 0; i < c.Count(); ++i) EXPECT_EQ(c.Data()[i], 0.0);
}

}  // namespace
}  // namespace orvane
