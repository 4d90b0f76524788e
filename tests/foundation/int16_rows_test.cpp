#include "foundation/int16_rows.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/int16_kernels.h"

namespace orvane {
namespace {

std::vector<double> RandomIntegers(std::uint32_t count, int largest, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> value(-largest, largest);
  std::vector<double> v(count);
  for (double& x : v) x = value(rng);
  return v;
}

std::vector<std::int32_t> Reference(const std::vector<double>& a, std::uint32_t m,
                                    const std::vector<double>& b, std::uint32_t n,
                                    std::uint32_t length) {
  std::vector<std::int32_t> c(static_cast<std::size_t>(m) * n);
  for (std::uint32_t i = 0; i < m; ++i) {
    for (std::uint32_t j = 0; j < n; ++j) {
      std::int64_t sum = 0;
      for (std::uint32_t k = 0; k < length; ++k) {
        sum += static_cast<std::int64_t>(a[i * length + k]) *
               static_cast<std::int64_t>(b[j * length + k]);
      }
      c[i * n + j] = static_cast<std::int32_t>(sum);
    }
  }
  return c;
}

TEST(Int16Rows, AssignRefusesWhatCouldLeaveInt32) {
  Int16Rows rows;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const double bad : {0.5, -1e-300, nan, inf, -inf, 32768.0, -32768.0}) {
    const std::vector<double> v = {1, bad, 3};
    EXPECT_FALSE(rows.Assign(v.data(), 1, 3)) << bad;
    EXPECT_TRUE(rows.IsEmpty());
  }
  // length x largest^2 must stay below 2^31: two values of 32767 do, three do not.
  const std::vector<double> big(3, -32767.0);
  EXPECT_TRUE(rows.Assign(big.data(), 1, 2));
  EXPECT_FALSE(rows.Assign(big.data(), 1, 3));
  EXPECT_TRUE(rows.Assign(big.data(), 3, 1));
  EXPECT_EQ(rows.Stride(), Int16Rows::kStrideMultiple);
}

TEST(Int16Rows, BothConversionsRefuseABadValueAnywhereInARow) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<detail::Int16Convert> converts = {detail::PortableInt16Convert()};
  if (Int16DotPathAvailable(Int16DotPath::kAvx2)) converts.push_back(detail::Avx2Int16Convert());
  if (Int16DotPathAvailable(Int16DotPath::kAvx512)) {
    converts.push_back(detail::Avx512Int16Convert());
  }
  for (const detail::Int16Convert convert : converts) {
    std::vector<double> row = RandomIntegers(21, 32767, 7);
    std::vector<std::int16_t> out(21);
    std::int32_t largest = 0;
    ASSERT_TRUE(convert(row.data(), 21, out.data(), largest));
    for (std::size_t k = 0; k < row.size(); ++k) EXPECT_EQ(out[k], row[k]);
    std::int32_t expected = 0;
    for (const double v : row)
      expected = std::max(expected, static_cast<std::int32_t>(std::fabs(v)));
    EXPECT_EQ(largest, expected);
    // In the vector steps (0, 9) and in the scalar tail (17, 20).
    for (const std::size_t at : {0u, 9u, 17u, 20u}) {
      for (const double bad : {nan, 2.5, -0.5, -32768.0, 32768.0, -2147483648.0, 1e10,
                               std::numeric_limits<double>::infinity()}) {
        std::vector<double> broken = row;
        broken[at] = bad;
        EXPECT_FALSE(convert(broken.data(), 21, out.data(), largest)) << at << " " << bad;
      }
    }
  }
}

TEST(Int16Rows, PaddingIsZeroAndSquareSumsAreExact) {
  const std::vector<double> v = RandomIntegers(5 * 33, 255, 1);
  Int16Rows rows;
  ASSERT_TRUE(rows.Assign(v.data(), 5, 33));
  ASSERT_EQ(rows.Stride(), 64u);
  std::vector<std::int64_t> sums(5);
  Int16SquareSums(rows, sums.data());
  for (std::uint32_t r = 0; r < 5; ++r) {
    for (std::uint32_t k = 33; k < 64; ++k) EXPECT_EQ(rows.Row(r)[k], 0);
    std::int64_t expected = 0;
    for (std::uint32_t k = 0; k < 33; ++k) expected += std::int64_t(v[r * 33 + k]) * v[r * 33 + k];
    EXPECT_EQ(sums[r], expected);
  }
}

TEST(Int16DotProducts, EveryPathMatchesThePlainSumOnAwkwardShapes) {
  for (const Int16DotPath path : {Int16DotPath::kPortable, Int16DotPath::kAvx2,
                                  Int16DotPath::kAvx512, Int16DotPath::kAvx512Bytes}) {
    if (!Int16DotPathAvailable(path)) continue;
    for (const std::uint32_t length : {1u, 2u, 31u, 32u, 33u, 192u, 200u}) {
      // The largest magnitude the bound admits at this length, so sums reach toward 2^31.
      const int largest = std::min(32767, static_cast<int>(std::sqrt(2147483647.0 / length)));
      for (const std::uint32_t m : {1u, 2u, 3u, 4u, 6u, 7u, 13u}) {
        for (const std::uint32_t n : {1u, 3u, 4u, 5u, 9u}) {
          const std::vector<double> a = RandomIntegers(m * length, largest, m * 31 + length);
          const std::vector<double> b = RandomIntegers(n * length, largest, n * 17 + length);
          Int16Rows ra, rb;
          ASSERT_TRUE(ra.Assign(a.data(), m, length));
          ASSERT_TRUE(rb.Assign(b.data(), n, length));
          std::vector<std::int32_t> c(m * n, -1);
          Int16DotProductsWith(path, ra, m, rb, n, c.data());
          EXPECT_EQ(c, Reference(a, m, b, n, length))
              << "path " << int(path) << " " << m << "x" << n << "x" << length;
        }
      }
    }
  }
}

TEST(Int16DotProducts, ExtremeValuesOfBothSignsAndLeadingCorners) {
  // Rows of +-32767 at the longest length the bound admits, and only a corner of the rows.
  const std::vector<double> a = {32767, -32767, 32767, 32767, -32767, -32767, 0, 1};
  Int16Rows r;
  ASSERT_TRUE(r.Assign(a.data(), 4, 2));
  for (const Int16DotPath path : {Int16DotPath::kPortable, Int16DotPath::kAvx2,
                                  Int16DotPath::kAvx512, Int16DotPath::kAvx512Bytes}) {
    if (!Int16DotPathAvailable(path)) continue;
    std::vector<std::int32_t> c(3 * 2);
    Int16DotProductsWith(path, r, 3, r, 2, c.data());
    EXPECT_EQ(c, Reference(a, 3, a, 2, 2)) << int(path);
  }
}

TEST(Int16DotProducts, BytePathMatchesThePlainSumOnAwkwardShapes) {
  if (!Int16DotPathAvailable(Int16DotPath::kAvx512Bytes)) GTEST_SKIP() << "no AVX-512 VNNI";
  // Values up to +-127, the byte path's bound, over tiles cut at every kind of edge: rows
  // around the tile's eight, columns around its 16, 32 and 48, depths around 4 and 32.
  for (const std::uint32_t length : {1u, 3u, 31u, 33u, 192u}) {
    for (const std::uint32_t m : {1u, 7u, 8u, 9u, 17u}) {
      for (const std::uint32_t n : {1u, 15u, 16u, 17u, 33u, 48u, 49u, 97u}) {
        const std::vector<double> a = RandomIntegers(m * length, 127, m * 7 + length);
        const std::vector<double> b = RandomIntegers(n * length, 127, n * 13 + length);
        Int16Rows ra, rb;
        ASSERT_TRUE(ra.Assign(a.data(), m, length));
        ASSERT_TRUE(rb.Assign(b.data(), n, length));
        std::vector<std::int32_t> c(m * n, -1);
        Int16DotProductsWith(Int16DotPath::kAvx512Bytes, ra, m, rb, n, c.data());
        EXPECT_EQ(c, Reference(a, m, b, n, length)) << m << "x" << n << "x" << length;
      }
    }
  }
}

TEST(Int16DotProducts, BytePathBoundsAndTheValueThatLeavesIt) {
  // +-127 everywhere gives the largest sums of both signs; one 128 (or -128) in either
  // operand sends the product down the 16-bit path, with the same results.
  const std::uint32_t length = 200, m = 9, n = 18;
  std::vector<double> a(m * length), b(n * length);
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = i % 3 == 0 ? -127 : 127;
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = i % 5 == 0 ? 127 : -127;
  for (const double outside : {0.0, 128.0, -128.0}) {
    for (const bool inLeft : {true, false}) {
      std::vector<double> left = a, right = b;
      if (outside != 0.0) (inLeft ? left[length + 5] : right[3 * length - 1]) = outside;
      Int16Rows ra, rb;
      ASSERT_TRUE(ra.Assign(left.data(), m, length));
      ASSERT_TRUE(rb.Assign(right.data(), n, length));
      std::vector<std::int32_t> c(m * n, -1), best(m * n, -2);
      Int16DotProducts(ra, m, rb, n, best.data());
      EXPECT_EQ(best, Reference(left, m, right, n, length)) << outside << inLeft;
      if (!Int16DotPathAvailable(Int16DotPath::kAvx512Bytes)) continue;
      Int16DotProductsWith(Int16DotPath::kAvx512Bytes, ra, m, rb, n, c.data());
      EXPECT_EQ(c, best) << outside << inLeft;
    }
  }
}

// The byte path keeps its left operand packed between products of rows with one stamp: rows
// rewritten in the same object, by any of the ways rows change, must be packed again, and a
// product with fewer or more of the same rows must see them all.
TEST(Int16DotProducts, BytePathSeesLeftRowsThatChangedInPlace) {
  if (!Int16DotPathAvailable(Int16DotPath::kAvx512Bytes)) GTEST_SKIP() << "no AVX-512 VNNI";
  const std::uint32_t length = 64, m = 12, n = 20;
  const std::vector<double> b = RandomIntegers(n * length, 127, 3);
  Int16Rows left, right;
  ASSERT_TRUE(right.Assign(b.data(), n, length));
  std::vector<std::int32_t> c(m * n);
  const auto product = [&](std::uint32_t rows) {
    c.assign(rows * n, -1);
    Int16DotProductsWith(Int16DotPath::kAvx512Bytes, left, rows, right, n, c.data());
    return c;
  };
  const std::vector<double> first = RandomIntegers(m * length, 127, 1);
  ASSERT_TRUE(left.Assign(first.data(), m, length));
  const std::uint64_t stamp = left.Stamp();
  EXPECT_NE(stamp, 0u);
  EXPECT_EQ(product(5), Reference(first, 5, b, n, length));
  EXPECT_EQ(product(m), Reference(first, m, b, n, length));
  const Int16Rows copy = left;
  EXPECT_EQ(copy.Stamp(), stamp);

  const std::vector<double> second = RandomIntegers(m * length, 127, 2);
  ASSERT_TRUE(left.Assign(second.data(), m, length));
  EXPECT_NE(left.Stamp(), stamp);
  EXPECT_EQ(product(m), Reference(second, m, b, n, length));

  // Written in place: Prepare and Finish.
  std::int16_t* rows = left.Prepare(m, length);
  for (std::uint32_t r = 0; r < m; ++r) {
    for (std::uint32_t k = 0; k < length; ++k) {
      rows[r * left.Stride() + k] = static_cast<std::int16_t>(first[r * length + k]);
    }
  }
  ASSERT_TRUE(left.Finish());
  EXPECT_EQ(product(m), Reference(first, m, b, n, length));
}

TEST(Int16Rows, LargestIsTheLargestMagnitude) {
  const std::vector<double> v = {3, -90, 17, 0, 89, -4};
  Int16Rows r;
  ASSERT_TRUE(r.Assign(v.data(), 2, 3));
  EXPECT_EQ(r.Largest(), 90);
  r.Clear();
  EXPECT_EQ(r.Largest(), 0);
}

// Rows written in place after Prepare are what Assign makes of the same values, on storage
// that held other rows before.
TEST(Int16Rows, RowsWrittenInPlaceMatchAssign) {
  const std::vector<double> v = RandomIntegers(5 * 37, 300, 9);
  Int16Rows assigned, written;
  ASSERT_TRUE(assigned.Assign(v.data(), 5, 37));
  const std::vector<double> old(8 * 40, -5.0);
  ASSERT_TRUE(written.Assign(old.data(), 8, 40));
  std::int16_t* values = written.Prepare(5, 37);
  ASSERT_EQ(written.Stride(), assigned.Stride());
  for (std::uint32_t r = 0; r < 5; ++r) {
    for (std::uint32_t k = 0; k < 37; ++k) {
      values[r * written.Stride() + k] = static_cast<std::int16_t>(v[r * 37 + k]);
    }
  }
  ASSERT_TRUE(written.Finish());
  EXPECT_EQ(written.Largest(), assigned.Largest());
  for (std::uint32_t r = 0; r < 5; ++r) {
    EXPECT_TRUE(std::equal(written.Row(r), written.Row(r) + written.Stride(), assigned.Row(r)));
  }
}

TEST(Int16Rows, FinishRefusesWhatAssignRefuses) {
  Int16Rows rows;
  rows.Prepare(1, 3)[1] = std::numeric_limits<std::int16_t>::min();
  EXPECT_FALSE(rows.Finish());
  EXPECT_TRUE(rows.IsEmpty());
  std::int16_t* values = rows.Prepare(1, 3);
  std::fill(values, values + 3, std::int16_t{-32767});
  EXPECT_FALSE(rows.Finish());  // 3 x 32767^2 passes 2^31
  values = rows.Prepare(1, 2);
  std::fill(values, values + 2, std::int16_t{-32767});
  ASSERT_TRUE(rows.Finish());
  EXPECT_EQ(rows.Largest(), 32767);
}

}  // namespace
}  // namespace orvane
