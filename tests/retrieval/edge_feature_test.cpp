#include "retrieval/edge_feature.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "retrieval/greedy_matching.h"
#include "retrieval_test_support.h"

namespace orvane {
namespace {

Tarn::Matrix<double> Make(std::uint32_t rows, std::uint32_t columns,
                          const std::vector<double>& values) {
  Tarn::Matrix<double> m(rows, columns);
  for (std::uint32_t i = 0; i < m.Count(); ++i) m.Data()[i] = values[i];
  return m;
}

Tarn::DoubleVector Norms(const Tarn::Matrix<double>& m) {
  Tarn::DoubleVector norms;
  EXPECT_EQ(EdgeFeature::RowNorms(m, norms), kSuccess);
  return norms;
}

// ---------------------------------------------------------------------------------------
// GreedyBaseMatch

TEST(GreedyBaseMatch, PicksNinetyEightyFiftyWeightedThreeTwoOne) {
  // Picks: 0.9 at (1, 1); after row 1 := row 0 and column 1 := column 0, 0.8 at (2, 2);
  // after the same copies for e = 1 only 0.5 is left at (2, 2): (2.7 + 1.6 + 0.5) / 6.
  Tarn::Matrix<double> m = Make(3, 3,
                                {0.5, 0.1, 0.2,  //
                                 0.1, 0.9, 0.3,  //
                                 0.2, 0.1, 0.8});
  EXPECT_DOUBLE_EQ(EdgeFeature().GreedyBaseMatch(m), 0.8);
}

TEST(GreedyBaseMatch, APickedRowAndColumnLeaveTheBlockAndWhatWasAtEStays) {
  // e = 0 picks 0.9 at (2, 1). Row 2 := row 0 and then column 1 := column 0 leave
  // M(1, 1) = 0.1, M(1, 2) = 0.6, M(2, 1) = 0.3, M(2, 2) = 0.2: e = 1 picks 0.6 at (1, 2)
  // (not 0.9 again, nor the 0.5 that shared the picked column), and column 2 := column 1
  // leaves M(2, 2) = 0.3 for e = 2: (2.7 + 1.2 + 0.3) / 6.
  Tarn::Matrix<double> m = Make(3, 3,
                                {0.3, 0.4, 0.2,  //
                                 0.1, 0.5, 0.6,  //
                                 0.7, 0.9, 0.3});
  EXPECT_DOUBLE_EQ(EdgeFeature().GreedyBaseMatch(m), 0.7);
}

TEST(GreedyBaseMatch, TheFirstMaximumInScanOrderWins) {
  // e = 0 picks 0.9 at (0, 1). Then rows and columns 1..2 hold 0.3, 0.5 / 0.5, 0.5: the
  // first 0.5, at (1, 2), is picked, and column 2 := column 1 leaves M(2, 2) = 0.5:
  // (2.7 + 1.0 + 0.5) / 6 = 0.7. Taking the last of equal maxima instead, at (2, 2), would
  // leave 0.3 for the last pick (4.0 / 6).
  Tarn::Matrix<double> m = Make(3, 3,
                                {0.2, 0.9, 0.1,  //
                                 0.3, 0.1, 0.5,  //
                                 0.5, 0.5, 0.5});
  EXPECT_DOUBLE_EQ(EdgeFeature().GreedyBaseMatch(m), 0.7);
}

TEST(GreedyBaseMatch, KIsTheSmallerSideCappedByTheLimit) {
  // 2 x 3: K = 2, the third column is never picked although it holds the largest values.
  Tarn::Matrix<double> wide = Make(2, 3,
                                   {0.6, 0.1, 1.0,  //
                                    0.1, 0.4, 1.0});
  EXPECT_DOUBLE_EQ(EdgeFeature().GreedyBaseMatch(wide), (2 * 0.6 + 0.4) / 3.0);
  // A limit of 1 looks at M(0, 0) alone.
  Tarn::Matrix<double> square = Make(2, 2, {0.3, 0.9, 0.9, 0.9});
  EXPECT_DOUBLE_EQ(EdgeFeature(1).GreedyBaseMatch(square), 0.3);
}

// The matching as a plain search of the whole block at every step: the first maximum in
// row-major order wins.
double PlainGreedyMatch(Tarn::Matrix<double>& m, std::uint32_t k) {
  double num = 0.0, den = 0.0;
  for (std::uint32_t e = 0; e < k; ++e) {
    std::uint32_t h = e, g = e;
    double best = m(e, e);
    for (std::uint32_t r = e; r < k; ++r)
      for (std::uint32_t c = e; c < k; ++c)
        if (m(r, c) > best) {
          best = m(r, c);
          h = r;
          g = c;
        }
    num += (k - e) * best;
    den += k - e;
    if (h != e) std::copy(m.Row(e), m.Row(e) + m.Columns(), m.Row(h));
    if (g != e)
      for (std::uint32_t r = 0; r < m.Rows(); ++r) m(r, g) = m(r, e);
  }
  return k == 0 ? 0.0 : num / den;
}

// Few distinct values make many ties, where the order of the search decides.
TEST(GreedyBaseMatch, MatchesThePlainSearchOfTheWholeBlock) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    const std::uint32_t side = trial % 4 == 0 ? 100 : 40;
    const std::uint32_t rows = 1 + rng() % side, columns = 1 + rng() % side;
    const std::uint32_t limit = trial % 3 == 0 ? 1 + rng() % 30 : 0;
    const int levels = trial % 2 == 0 ? 3 : 1000;
    Tarn::Matrix<double> m(rows, columns);
    for (std::uint32_t i = 0; i < m.Count(); ++i) m.Data()[i] = (rng() % levels) / 7.0;
    Tarn::Matrix<double> plain = m;
    const std::uint32_t k = std::min({rows, columns, limit == 0 ? rows : limit});
    const double expected = PlainGreedyMatch(plain, k);
    // Told the rows' maxima over the block, the matching starts from them: the same picks.
    Tarn::Matrix<double> told = m;
    std::vector<double> rowMax(k);
    for (std::uint32_t r = 0; r < k; ++r) rowMax[r] = *std::max_element(m.Row(r), m.Row(r) + k);
    ASSERT_EQ(EdgeFeature(limit).GreedyBaseMatch(m), expected) << "trial " << trial;
    ASSERT_EQ(GreedyMatch(told, k, rowMax.data()), expected) << "trial " << trial;
  }
}

// With the rows' maxima told, rows are searched by coarse keys first; values closer than a
// key's width, negative ones and ones past 1 (which share the ends of the key range) must
// still be told apart by their values.
TEST(GreedyBaseMatch, ValuesThatShareAKeyAreToldApartByTheirValues) {
  std::mt19937 rng(23);
  const double bases[] = {-0.5, 0.25, 0.75, 1.0, 3.0};
  for (int trial = 0; trial < 200; ++trial) {
    const std::uint32_t k = 1 + rng() % 70;
    Tarn::Matrix<double> m(k, k);
    for (std::uint32_t i = 0; i < m.Count(); ++i) {
      m.Data()[i] = bases[rng() % 5] + (rng() % 8) * 1e-9;
    }
    Tarn::Matrix<double> plain = m;
    const double expected = PlainGreedyMatch(plain, k);
    std::vector<double> rowMax(k);
    for (std::uint32_t r = 0; r < k; ++r) rowMax[r] = *std::max_element(m.Row(r), m.Row(r) + k);
    ASSERT_EQ(GreedyMatch(m, k, rowMax.data()), expected) << "trial " << trial;
  }
}

// Signed zeros compare equal and infinities are values like others: the first in order wins.
TEST(GreedyBaseMatch, SignedZerosAndInfinitiesTieAsInThePlainSearch) {
  const double values[] = {-0.0, 0.0, 0.25, 1.0, std::numeric_limits<double>::infinity()};
  std::mt19937 rng(5);
  for (int trial = 0; trial < 200; ++trial) {
    const std::uint32_t rows = 1 + rng() % 30, columns = 1 + rng() % 30;
    Tarn::Matrix<double> m(rows, columns);
    for (std::uint32_t i = 0; i < m.Count(); ++i) m.Data()[i] = values[rng() % (trial % 2 ? 5 : 2)];
    Tarn::Matrix<double> plain = m;
    const double expected = PlainGreedyMatch(plain, std::min(rows, columns));
    const double got = EdgeFeature(0).GreedyBaseMatch(m);
    ASSERT_EQ(std::signbit(got), std::signbit(expected)) << "trial " << trial;
    ASSERT_EQ(got, expected) << "trial " << trial;
  }
}

// A NaN that is never the largest of its row leaves the pairing as it would be without it.
TEST(GreedyBaseMatch, ANaNThatIsNeverPickedChangesNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Tarn::Matrix<double> m = Make(3, 3,
                                {0.9, nan, 0.1,  //
                                 0.3, 0.4, 0.2,  //
                                 0.5, 0.6, 0.7});
  Tarn::Matrix<double> plain = m;
  const double expected = PlainGreedyMatch(plain, 3);
  EXPECT_EQ(EdgeFeature().GreedyBaseMatch(m), expected);
  EXPECT_DOUBLE_EQ(expected, (3 * 0.9 + 2 * 0.7 + 1 * 0.4) / 6);
}

TEST(GreedyBaseMatch, NothingToMatchGivesZero) {
  Tarn::Matrix<double> empty;
  EXPECT_EQ(EdgeFeature().GreedyBaseMatch(empty), 0.0);
  Tarn::Matrix<double> noColumns(3, 0);
  EXPECT_EQ(EdgeFeature().GreedyBaseMatch(noColumns), 0.0);
}

// ---------------------------------------------------------------------------------------
// BaseCorrelation

TEST(BaseCorrelation, IsTheAbsoluteCosineWithZeroBasesAlike) {
  const Tarn::Matrix<double> query = Make(3, 2,
                                          {3, 4,  //
                                           0, 0,  //
                                           1, 0});
  const Tarn::Matrix<double> target = Make(2, 2,
                                           {-4, 3,  //
                                            0, 0});
  Tarn::Matrix<double> m;
  ASSERT_EQ(EdgeFeature::BaseCorrelation(query, Norms(query), target, Norms(target), 0, m),
            kSuccess);
  ASSERT_EQ(m.Rows(), 3u);
  ASSERT_EQ(m.Columns(), 2u);
  EXPECT_DOUBLE_EQ(m(0, 0), 0.0);  // orthogonal
  EXPECT_EQ(m(0, 1), 0.0);         // a zero base against a non-zero one
  EXPECT_EQ(m(1, 0), 0.0);
  EXPECT_EQ(m(1, 1), 1.0);         // two zero bases
  EXPECT_DOUBLE_EQ(m(2, 0), 0.8);  // |-4| / 5: the sign does not matter
}

TEST(BaseCorrelation, OnlyTheCornerUnderTheLimitIsMade) {
  const Tarn::Matrix<double> a = test::RandomBases(5, 12, 1);
  const Tarn::Matrix<double> b = test::RandomBases(4, 12, 2);
  Tarn::Matrix<double> full, corner;
  ASSERT_EQ(EdgeFeature::BaseCorrelation(a, Norms(a), b, Norms(b), 0, full), kSuccess);
  ASSERT_EQ(EdgeFeature::BaseCorrelation(a, Norms(a), b, Norms(b), 3, corner), kSuccess);
  ASSERT_EQ(corner.Rows(), 3u);
  ASSERT_EQ(corner.Columns(), 3u);
  for (std::uint32_t i = 0; i < 3; ++i) {
    for (std::uint32_t j = 0; j < 3; ++j) EXPECT_EQ(corner(i, j), full(i, j));
  }
}

// Stored bases are small integers; their integer correlation must be the double one to the
// bit, zero bases, sign and the leading corner included, so that rankings and ties stay.
TEST(BaseCorrelation, IntegerBasesGiveTheDoubleValuesBitForBit) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> value(-255, 255);
  for (const std::uint32_t length : {3u, 48u, 192u}) {
    Tarn::Matrix<double> a(7, length), b(11, length);
    for (std::uint32_t i = 0; i < a.Count(); ++i) a.Data()[i] = value(rng);
    for (std::uint32_t i = 0; i < b.Count(); ++i) b.Data()[i] = value(rng);
    std::fill(a.Row(2), a.Row(2) + length, 0.0);  // zero bases on both sides
    std::fill(b.Row(4), b.Row(4) + length, 0.0);
    std::copy(a.Row(0), a.Row(0) + length, b.Row(1));  // a cosine of exactly 1
    for (std::uint32_t k = 0; k < length; ++k) b(3, k) = -a(5, k);
    Int16Rows a16, b16;
    ASSERT_TRUE(a16.Assign(a.Data(), a.Rows(), length));
    ASSERT_TRUE(b16.Assign(b.Data(), b.Rows(), length));
    Tarn::DoubleVector na, nb;
    ASSERT_EQ(EdgeFeature::RowNorms(b16, nb), kSuccess);
    const Tarn::DoubleVector expectedNorms = Norms(b);
    for (std::uint32_t r = 0; r < b.Rows(); ++r) EXPECT_EQ(nb[r], expectedNorms[r]);
    na = Norms(a);
    for (const std::uint32_t limit : {0u, 5u}) {
      Tarn::Matrix<double> viaDoubles, viaIntegers;
      ASSERT_EQ(EdgeFeature::BaseCorrelation(a, na, b, nb, limit, viaDoubles), kSuccess);
      std::vector<double> rowMax(12, -1.0);
      ASSERT_EQ(EdgeFeature::BaseCorrelation(a16, na, b16, nb, limit, viaIntegers, rowMax.data()),
                kSuccess);
      // The maxima of the leading square: 7 x 7, or 5 x 5 under the limit.
      const std::uint32_t k = std::min(viaIntegers.Rows(), viaIntegers.Columns());
      for (std::uint32_t i = 0; i < 12; ++i) {
        const double want =
            i < k ? *std::max_element(viaDoubles.Row(i), viaDoubles.Row(i) + k) : -1.0;
        EXPECT_EQ(rowMax[i], want) << length << " row " << i;
      }
      ASSERT_EQ(viaIntegers.Rows(), viaDoubles.Rows());
      ASSERT_EQ(viaIntegers.Columns(), viaDoubles.Columns());
      for (std::uint32_t i = 0; i < viaDoubles.Count(); ++i) {
        EXPECT_EQ(viaIntegers.Data()[i], viaDoubles.Data()[i]) << length << " at " << i;
      }
      for (std::uint32_t j = 0; j < viaIntegers.Columns(); ++j) {
        EXPECT_EQ(viaIntegers(2, j), j == 4 ? 1.0 : 0.0) << j;  // the zero query base
      }
      for (std::uint32_t i = 0; i < viaIntegers.Rows(); ++i) {
        EXPECT_EQ(viaIntegers(i, 4), i == 2 ? 1.0 : 0.0) << i;  // the zero target base
      }
    }
  }
}

TEST(BaseCorrelation, BasesOfDifferentLengthsAreRefused) {
  const Tarn::Matrix<double> a = test::RandomBases(2, 12, 1);
  const Tarn::Matrix<double> b = test::RandomBases(2, 6, 2);
  Tarn::Matrix<double> m;
  EXPECT_EQ(EdgeFeature::BaseCorrelation(a, Norms(a), b, Norms(b), 0, m), kInvalidValues);
}

// ---------------------------------------------------------------------------------------
// Files

// Every file test runs with bases of 8 bits (decoded straight into 16-bit rows) and of 24
// bits (decoded as doubles first).
class EdgeFiles : public testing::TestWithParam<std::int32_t> {
 protected:
  std::string Write(const std::string& name, test::SyntheticPqz file) {
    const std::string path = m_dir.File(name);
    file.basePrecision = GetParam();
    EXPECT_EQ(test::WritePqz(path, file), kSuccess);
    return path;
  }
  test::TempDir m_dir;
};

INSTANTIATE_TEST_SUITE_P(BasePrecisions, EdgeFiles, testing::Values(8, 24),
                         [](const auto& info) { return std::to_string(info.param) + "Bits"; });

TEST_P(EdgeFiles, BasesScoreTheSameHoweverTheyAreStored) {
  // Targets with bases of two patch layouts' worth of rows, some beyond the limit of 96.
  std::vector<test::SyntheticPqz> files;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    files.push_back(test::MakeSynthetic(40, 32, 8, seed * 30, seed));
  }
  files[2].bases.Fill(0.0);  // zero bases: cosines of 0 and 1
  EdgeFeature edge;
  ASSERT_EQ(edge.LoadQuery(Write("q.pqz", files[0])), kSuccess);
  for (std::size_t i = 0; i < files.size(); ++i) {
    test::SyntheticPqz wide = files[i];
    wide.basePrecision = 24;
    const std::string widePath = m_dir.File("wide.pqz");
    ASSERT_EQ(test::WritePqz(widePath, wide), kSuccess);
    EXPECT_EQ(edge.Similarity(Write("t.pqz", files[i])), edge.Similarity(widePath)) << i;
  }
}

TEST_P(EdgeFiles, AFileMatchesItselfWithOne) {
  const std::string path = Write("a.pqz", test::MakeSynthetic(48, 40, 8, 20, 5));
  EdgeFeature edge;
  ASSERT_EQ(edge.LoadQuery(path), kSuccess);
  EXPECT_NEAR(edge.Similarity(path), 1.0, 1e-12);
}

// A value past what 16-bit rows hold sends query and target the double way.
TEST_P(EdgeFiles, BasesBeyondSixteenBitsAreComparedAsDoubles) {
  if (GetParam() < 24) GTEST_SKIP() << "8 bits cannot store the value";
  test::SyntheticPqz wide = test::MakeSynthetic(48, 40, 8, 20, 5);
  wide.bases(3, 7) = 40000;
  test::SyntheticPqz narrow = test::MakeSynthetic(48, 40, 8, 20, 5);
  const std::string widePath = Write("wide.pqz", wide);
  const std::string narrowPath = Write("narrow.pqz", narrow);
  EdgeFeature edge;
  ASSERT_EQ(edge.LoadQuery(widePath), kSuccess);
  EXPECT_NEAR(edge.Similarity(widePath), 1.0, 1e-12);
  const double across = edge.Similarity(narrowPath);
  EXPECT_GT(across, 0.5);
  EXPECT_LT(across, 1.0);
  EdgeFeature back;
  ASSERT_EQ(back.LoadQuery(narrowPath), kSuccess);
  EXPECT_EQ(back.Similarity(widePath), across);  // the greedy pairing is symmetric here
}

TEST_P(EdgeFiles, BasesBeyondTheNinetySixthDoNotCount) {
  test::SyntheticPqz a = test::MakeSynthetic(32, 32, 8, 100, 5);
  test::SyntheticPqz b = test::MakeSynthetic(32, 32, 8, 100, 5);
  for (std::uint32_t r = 96; r < 100; ++r) {
    for (std::uint32_t c = 0; c < b.bases.Columns(); ++c) b.bases(r, c) = (r * c) % 7 - 3.0;
  }
  const std::string pathA = Write("a.pqz", a);
  const std::string pathB = Write("b.pqz", b);
  EdgeFeature capped;
  ASSERT_EQ(capped.LoadQuery(pathA), kSuccess);
  EXPECT_NEAR(capped.Similarity(pathB), 1.0, 1e-12);
  EdgeFeature all(0);
  ASSERT_EQ(all.LoadQuery(pathA), kSuccess);
  EXPECT_LT(all.Similarity(pathB), 0.999);
}

TEST_P(EdgeFiles, AnotherPatchSizeScoresMinusOne) {
  // 4 x 16 patches have as many values as 8 x 8 ones, so only the header can tell them apart.
  const std::string query = Write("q.pqz", test::MakeSynthetic(64, 64, 8, 10, 5));
  test::SyntheticPqz tall = test::MakeSynthetic(64, 64, 8, 10, 5);
  tall.patchWidth = 4;
  tall.patchHeight = 16;
  tall.averages = test::MakeAverages(
      test::GridOfSynthetic(tall),
      [](std::uint32_t, std::uint32_t, double rgb[3]) { rgb[0] = rgb[1] = rgb[2] = 9; });
  const std::string other = Write("t.pqz", tall);
  const std::string small = Write("s.pqz", test::MakeSynthetic(64, 64, 4, 10, 5));
  EdgeFeature edge;
  ASSERT_EQ(edge.LoadQuery(query), kSuccess);
  EXPECT_EQ(edge.Similarity(other), -1.0);
  EXPECT_EQ(edge.Similarity(small), -1.0);
}

TEST_P(EdgeFiles, WithoutQueryBasesAReadableTargetScoresZeroAndAMissingOneMinusOne) {
  const std::string target = Write("t.pqz", test::MakeSynthetic(32, 32, 8, 10, 5));
  EdgeFeature edge;
  EXPECT_EQ(edge.LoadQuery(m_dir.File("missing.pqz")), kReadFailed);
  EXPECT_TRUE(edge.m_mBases.IsEmpty());
  EXPECT_EQ(edge.Similarity(target), 0.0);
  EXPECT_EQ(edge.Similarity(m_dir.File("missing.pqz")), -1.0);
}

// Two targets scored side by side get what each gets alone, in every pairing of files that
// read into 16-bit rows, go the double way, have another patch size or cannot be read.
TEST_P(EdgeFiles, TwoTargetsTogetherScoreAsEachAlone) {
  std::vector<std::string> paths;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    const char name[] = {'t', static_cast<char>('0' + seed), '.', 'p', 'q', 'z', '\0'};
    paths.push_back(Write(name, test::MakeSynthetic(40, 32, 8, seed * 40, seed)));
  }
  test::SyntheticPqz zero = test::MakeSynthetic(40, 32, 8, 30, 4);
  zero.bases.Fill(0.0);
  paths.push_back(Write("zero.pqz", zero));
  paths.push_back(Write("small.pqz", test::MakeSynthetic(40, 32, 4, 10, 5)));
  if (GetParam() >= 24) {
    test::SyntheticPqz wide = test::MakeSynthetic(40, 32, 8, 20, 6);
    wide.bases(3, 7) = 40000;
    paths.push_back(Write("wide.pqz", wide));
  }
  paths.push_back(m_dir.File("missing.pqz"));
  const std::string damaged = m_dir.File("damaged.pqz");
  {
    std::ifstream in(paths[0], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() - bytes.size() / 4);
    std::ofstream(damaged, std::ios::binary) << bytes;
  }
  paths.push_back(damaged);
  for (const bool withQuery : {true, false}) {
    EdgeFeature edge;
    ASSERT_EQ(edge.LoadQuery(withQuery ? paths[0] : m_dir.File("missing.pqz")),
              withQuery ? kSuccess : kReadFailed);
    std::vector<double> alone;
    for (const std::string& path : paths) alone.push_back(edge.Similarity(path));
    // Every pair, and runs of three and of all the files (more than are walked at once).
    for (std::size_t a = 0; a < paths.size(); ++a) {
      for (std::size_t b = 0; b < paths.size(); ++b) {
        const std::string* pair[2] = {&paths[a], &paths[b]};
        double together[2] = {-7, -7};
        edge.SimilarityTogether(pair, 2, together);
        EXPECT_EQ(together[0], alone[a]) << paths[a] << " beside " << paths[b];
        EXPECT_EQ(together[1], alone[b]) << paths[b] << " beside " << paths[a];
      }
    }
    std::vector<const std::string*> all;
    for (const std::string& path : paths) all.push_back(&path);
    for (std::size_t first = 0; first + 3 <= all.size(); ++first) {
      double together[3] = {-7, -7, -7};
      edge.SimilarityTogether(all.data() + first, 3, together);
      for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(together[k], alone[first + k]);
    }
    std::vector<double> together(all.size(), -7);
    edge.SimilarityTogether(all.data(), all.size(), together.data());
    EXPECT_EQ(together, alone);
  }
}

}  // namespace
}  // namespace orvane
