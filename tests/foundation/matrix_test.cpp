#include "foundation/matrix.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "foundation/product_kernels.h"

namespace Tarn {
namespace {

Matrix<double> RandomMatrix(std::uint32_t rows, std::uint32_t columns, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  Matrix<double> m(rows, columns);
  for (std::uint32_t i = 0; i < m.Count(); ++i) m.Data()[i] = dist(rng);
  return m;
}

Matrix<double> NaiveProduct(const Matrix<double>& a, const Matrix<double>& b) {
  Matrix<double> c(a.Rows(), b.Columns());
  for (std::uint32_t i = 0; i < a.Rows(); ++i)
    for (std::uint32_t j = 0; j < b.Columns(); ++j) {
      long double s = 0;
      for (std::uint32_t k = 0; k < a.Columns(); ++k) s += a(i, k) * b(k, j);
      c(i, j) = static_cast<double>(s);
    }
  return c;
}

TEST(Matrix, SelfAssignmentKeepsValues) {
  Matrix<double> m = RandomMatrix(3, 4, 1);
  const Matrix<double> before = m;
  Matrix<double>& alias = m;
  m = alias;
  ASSERT_EQ(m.Rows(), 3u);
  ASSERT_EQ(m.Columns(), 4u);
  for (std::uint32_t i = 0; i < m.Count(); ++i) EXPECT_EQ(m.Data()[i], before.Data()[i]);
}

TEST(Matrix, AssigningAProductMovesItsStorage) {
  const Matrix<double> a = RandomMatrix(5, 3, 2), b = RandomMatrix(3, 7, 3);
  Matrix<double> product = a * b;
  const double* storage = product.Data();
  Matrix<double> target;
  target = std::move(product);
  EXPECT_TRUE(product.IsEmpty());
  EXPECT_EQ(product.Data(), nullptr);
  EXPECT_EQ(target.Data(), storage);
  EXPECT_EQ(target.Rows(), 5u);
  EXPECT_EQ(target.Columns(), 7u);
}

TEST(Matrix, EmptyOperandGivesEmptyProduct) {
  const Matrix<double> empty(0, 5);
  EXPECT_EQ(empty.Data(), nullptr);
  EXPECT_TRUE(empty.IsEmpty());
  const Matrix<double> product = empty * RandomMatrix(5, 4, 4);
  EXPECT_TRUE(product.IsEmpty());
  EXPECT_EQ(product.Rows(), 0u);
}

TEST(Matrix, ZeroInnerDimensionGivesZeroProduct) {
  const Matrix<double> a(3, 0), b(0, 2);
  const Matrix<double> product = a * b;
  ASSERT_EQ(product.Count(), 6u);
  for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(product.Data()[i], 0.0);
}

using detail::ProductPath;

std::string PathName(ProductPath path) {
  switch (path) {
    case ProductPath::kAvx512:
      return "Avx512";
    case ProductPath::kAvx2Fma:
      return "Avx2Fma";
    case ProductPath::kPortable:
      break;
  }
  return "Portable";
}

Matrix<double> ProductWith(ProductPath path, const Matrix<double>& a, const Matrix<double>& b) {
  Matrix<double> c(a.Rows(), b.Columns());
  const Matrix<double> bt = b.Transpose();
  detail::MultiplyTransposedWith(path, a.Data(), bt.Data(), c.Data(), a.Rows(), b.Columns(),
                                 a.Columns());
  return c;
}

// Every kernel the processor can run, on shapes that leave partial tiles in each direction,
// cross the depth and column blocks, or are smaller than one tile.
class ProductShapes
    : public ::testing::TestWithParam<
          std::tuple<ProductPath, std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>>> {};

TEST_P(ProductShapes, MatchesNaiveReference) {
  const ProductPath path = std::get<0>(GetParam());
  if (!detail::ProductPathAvailable(path)) GTEST_SKIP() << "processor lacks " << PathName(path);
  const auto [m, k, n] = std::get<1>(GetParam());
  const Matrix<double> a = RandomMatrix(m, k, m * 31 + k), b = RandomMatrix(k, n, n * 17 + 5);
  const Matrix<double> fast = ProductWith(path, a, b), slow = NaiveProduct(a, b);
  ASSERT_EQ(fast.Rows(), m);
  ASSERT_EQ(fast.Columns(), n);
  for (std::uint32_t i = 0; i < fast.Count(); ++i)
    ASSERT_NEAR(fast.Data()[i], slow.Data()[i], 1e-12 * (k + 1)) << i;
  // Without the transposed copy of B the product is the same, value for value.
  Matrix<double> plain(m, n);
  detail::MultiplyWith(path, a.Data(), b.Data(), plain.Data(), m, n, k);
  for (std::uint32_t i = 0; i < plain.Count(); ++i) ASSERT_EQ(plain.Data()[i], fast.Data()[i]);
  // A band of rows multiplied alone gives exactly the rows of the whole product.
  if (m > 3) {
    Matrix<double> band(m - 3, k);
    std::copy_n(a.Row(3), band.Count(), band.Data());
    const Matrix<double> part = ProductWith(path, band, b);
    for (std::uint32_t i = 0; i < part.Count(); ++i) ASSERT_EQ(part.Data()[i], fast.Row(3)[i]);
  }
}

std::string ShapeName(const ::testing::TestParamInfo<ProductShapes::ParamType>& info) {
  const auto& shape = std::get<1>(info.param);
  return PathName(std::get<0>(info.param)) + "_" + std::to_string(std::get<0>(shape)) + "x" +
         std::to_string(std::get<1>(shape)) + "x" + std::to_string(std::get<2>(shape));
}

INSTANTIATE_TEST_SUITE_P(
    AwkwardShapes, ProductShapes,
    ::testing::Combine(
        ::testing::Values(ProductPath::kPortable, ProductPath::kAvx2Fma, ProductPath::kAvx512),
        ::testing::Values(std::make_tuple(1u, 1u, 1u), std::make_tuple(1u, 13u, 1u),
                          std::make_tuple(1u, 150u, 7u), std::make_tuple(7u, 150u, 1u),
                          std::make_tuple(145u, 11u, 3u), std::make_tuple(13u, 289u, 146u),
                          std::make_tuple(300u, 96u, 5u), std::make_tuple(2u, 2u, 2u),
                          std::make_tuple(49u, 600u, 217u), std::make_tuple(25u, 7u, 409u))),
    ShapeName);

// xᵀx on every path: exactly symmetric and equal to the plain sums, for heights that leave
// partial depth blocks and widths that leave partial tiles.
TEST(Matrix, GramProductMatchesNaiveOnEveryPath) {
  for (const ProductPath path :
       {ProductPath::kPortable, ProductPath::kAvx2Fma, ProductPath::kAvx512}) {
    if (!detail::ProductPathAvailable(path)) continue;
    for (const auto& [rows, d] :
         {std::pair{1u, 1u}, std::pair{7u, 13u}, std::pair{300u, 50u}, std::pair{530u, 192u},
          std::pair{5u, 217u}, std::pair{2000u, 97u}}) {  // big enough for two threads
      const Matrix<double> x = RandomMatrix(rows, d, rows + 3 * d);
      Matrix<double> gram(d, d);
      detail::GramProductWith(path, x.Data(), rows, d, gram.Data());
      const Matrix<double> slow = NaiveProduct(x.Transpose(), x);
      for (std::uint32_t i = 0; i < d; ++i)
        for (std::uint32_t j = 0; j < d; ++j) {
          ASSERT_EQ(gram(i, j), gram(j, i)) << PathName(path);
          ASSERT_NEAR(gram(i, j), slow(i, j), 1e-12 * (rows + 1)) << PathName(path);
        }
    }
  }
}

// The sparse product skips the zero products only, so it equals the dense product of the same
// path value for value, for rows with no, some and only zeros and widths that leave every
// kind of tail.
TEST(Matrix, SparseProductEqualsTheDenseProductOnEveryPath) {
  std::mt19937 rng(11);
  for (const ProductPath path :
       {ProductPath::kPortable, ProductPath::kAvx2Fma, ProductPath::kAvx512}) {
    if (!detail::ProductPathAvailable(path)) continue;
    for (const auto& [m, k, n] :
         {std::tuple{9u, 96u, 192u}, std::tuple{5u, 1u, 1u}, std::tuple{4u, 5u, 7u},
          std::tuple{3u, 300u, 65u}, std::tuple{6u, 17u, 200u}, std::tuple{2u, 8u, 31u}}) {
      Matrix<double> a = RandomMatrix(m, k, m * 7 + k);
      for (std::uint32_t i = 0; i < a.Count(); ++i) {
        if (rng() % 10 < 7) a.Data()[i] = rng() % 2 ? 0.0 : -0.0;
      }
      for (std::uint32_t j = 0; j < k; ++j) a(0, j) = 0.0;  // a row of zeros alone
      const Matrix<double> b = RandomMatrix(k, n, n * 3 + 1);
      Matrix<double> dense(m, n), sparse(m, n);
      detail::MultiplyWith(path, a.Data(), b.Data(), dense.Data(), m, n, k);
      sparse.Fill(-1);
      detail::MultiplySparseWith(path, a.Data(), b.Data(), sparse.Data(), m, n, k);
      for (std::uint32_t i = 0; i < dense.Count(); ++i)
        ASSERT_EQ(sparse.Data()[i], dense.Data()[i])
            << PathName(path) << " " << m << "x" << k << "x" << n << " at " << i;
    }
  }
}

// Both ways of listing a row's non-zero positions agree with the plain test, tails, NaN and
// -0 included, and write no further than count + 8.
TEST(Matrix, NonzeroPositionsOnEveryPath) {
  std::vector<detail::NonzeroIndexer> indexers = {detail::PortableNonzeroIndexer()};
  if (detail::ProductPathAvailable(ProductPath::kAvx512) && __builtin_cpu_supports("avx512vl")) {
    indexers.push_back(detail::Avx512NonzeroIndexer());
  }
  std::mt19937 rng(4);
  for (const detail::NonzeroIndexer indexer : indexers) {
    for (std::uint32_t count = 0; count <= 41; ++count) {
      std::vector<double> values(count);
      for (double& v : values) {
        const unsigned pick = rng() % 6;
        v = pick == 0   ? std::numeric_limits<double>::quiet_NaN()
            : pick == 1 ? -0.0
            : pick < 4  ? 0.0
                        : static_cast<double>(rng() % 9) - 4.0;
      }
      std::vector<std::uint32_t> expected;
      for (std::uint32_t j = 0; j < count; ++j) {
        if (values[j] != 0.0) expected.push_back(j);
      }
      std::vector<std::uint32_t> out(count + 8 + 1, 0xDEADBEEF);
      const std::uint32_t found = indexer(values.data(), count, out.data());
      ASSERT_EQ(found, expected.size()) << count;
      EXPECT_EQ(std::vector<std::uint32_t>(out.begin(), out.begin() + found), expected) << count;
      EXPECT_EQ(out[count + 8], 0xDEADBEEF) << count;
    }
  }
}

TEST(Matrix, ParallelProductGivesTheSameValues) {
  for (const auto& [m, k, n] :
       {std::tuple{1000u, 96u, 192u}, std::tuple{131u, 20u, 7u}, std::tuple{3u, 5u, 2u}}) {
    const Matrix<double> a = RandomMatrix(m, k, m), b = RandomMatrix(k, n, n);
    const Matrix<double> bt = b.Transpose();
    Matrix<double> one(m, n), many(m, n);
    detail::MultiplyTransposed(a.Data(), bt.Data(), one.Data(), m, n, k);
    for (const unsigned threads : {0u, 2u, 3u, 7u}) {
      many.Fill(-1);
      detail::MultiplyTransposedParallel(a.Data(), bt.Data(), many.Data(), m, n, k, threads);
      for (std::uint32_t i = 0; i < one.Count(); ++i) ASSERT_EQ(many.Data()[i], one.Data()[i]);
    }
  }
}

TEST(Matrix, BestProductPathIsAvailable) {
  EXPECT_TRUE(detail::ProductPathAvailable(detail::BestProductPath()));
  EXPECT_TRUE(detail::ProductPathAvailable(ProductPath::kPortable));
}

TEST(Matrix, ProductIsDeterministic) {
  const Matrix<double> a = RandomMatrix(157, 193, 8), b = RandomMatrix(193, 97, 9);
  const Matrix<double> first = a * b, second = a * b;
  for (std::uint32_t i = 0; i < first.Count(); ++i) ASSERT_EQ(first.Data()[i], second.Data()[i]);
}

TEST(Matrix, TransposeAndDifference) {
  const Matrix<double> a = RandomMatrix(3, 5, 10);
  const Matrix<double> t = a.Transpose();
  ASSERT_EQ(t.Rows(), 5u);
  for (std::uint32_t r = 0; r < 3; ++r)
    for (std::uint32_t c = 0; c < 5; ++c) EXPECT_EQ(t(c, r), a(r, c));
  const Matrix<double> zero = a - a;
  for (std::uint32_t i = 0; i < zero.Count(); ++i) EXPECT_EQ(zero.Data()[i], 0.0);
}

TEST(Matrix, DivisionByZeroThrows) {
  const Matrix<double> a = RandomMatrix(2, 2, 11);
  try {
    (void)(a / 0.0);
    FAIL() << "no exception";
  } catch (const MatrixException& e) {
    EXPECT_EQ(std::string(e.message), "devided by 0");
  }
  const Matrix<double> half = a / 2.0;
  EXPECT_DOUBLE_EQ(half(1, 1), a(1, 1) / 2.0);
}

TEST(Matrix, InvertWithoutPivotingReportsSingularAtZeroPivot) {
  Matrix<double> swap(2, 2);
  swap(0, 0) = 0;
  swap(0, 1) = 1;
  swap(1, 0) = 1;
  swap(1, 1) = 0;
  EXPECT_EQ(swap.Invert(), 0.0);
}

TEST(Matrix, InvertGivesInverseAndDeterminant) {
  Matrix<double> a = RandomMatrix(6, 6, 12);
  for (std::uint32_t i = 0; i < 6; ++i) a(i, i) += 4.0;  // diagonally dominant: no zero pivot
  Matrix<double> inverse = a;
  EXPECT_NE(inverse.Invert(), 0.0);
  const Matrix<double> identity = a * inverse;
  for (std::uint32_t r = 0; r < 6; ++r)
    for (std::uint32_t c = 0; c < 6; ++c) EXPECT_NEAR(identity(r, c), r == c ? 1.0 : 0.0, 1e-12);

  Matrix<double> diag(2, 2);
  diag.SetIdentity();
  diag(0, 0) = 3;
  diag(1, 1) = -2;
  EXPECT_DOUBLE_EQ(diag.Invert(), -6.0);
  EXPECT_DOUBLE_EQ(diag(0, 0), 1.0 / 3.0);
}

TEST(Matrix, OversizedAllocationThrowsInsteadOfWrapping) {
  // 65536 x 8193 doubles need just over 2^32 bytes.
  EXPECT_THROW(Matrix<double>(65536, 8193), MatrixException);
  EXPECT_THROW(Matrix<double>(0xFFFFFFFFu, 0xFFFFFFFFu), MatrixException);
  Int32Vector v;
  EXPECT_THROW(v.Resize(0x40000000u), MatrixException);
}

TEST(Vector, MovesCopiesAndReduces) {
  DoubleVector v(3);
  v[0] = 3;
  v[1] = -4;
  v[2] = 0;
  EXPECT_DOUBLE_EQ(static_cast<double>(v.SumOfSquares()), 25.0);
  const DoubleVector a = v.Abs();
  EXPECT_EQ(a[1], 4.0);
  const DoubleVector s = v.Scale(2.0);
  EXPECT_EQ(s[0], 6.0);
  DoubleVector moved = std::move(v);
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(moved.Length(), 3u);
  const Vector<double> column = Matrix<double>(2, 1).Column(0);
  EXPECT_EQ(column.Length(), 2u);
}

}  // namespace
}  // namespace Tarn
