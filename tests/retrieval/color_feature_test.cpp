#include "retrieval/color_feature.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "retrieval/structure_bins.h"
#include "retrieval_test_support.h"

namespace orvane {
namespace {

using test::MakeAverages;

PatchGrid Grid(std::uint32_t columns, std::uint32_t rows) {
  return PatchGrid{columns, rows, columns * rows, 64};
}

Tarn::DoubleVector Vector(const std::vector<double>& values) {
  Tarn::DoubleVector v(static_cast<std::uint32_t>(values.size()));
  for (std::uint32_t i = 0; i < v.Length(); ++i) v[i] = values[i];
  return v;
}

double Sum(const Tarn::DoubleVector& v) {
  double s = 0;
  for (std::uint32_t i = 0; i < v.Length(); ++i) s += v[i];
  return s;
}

// ---------------------------------------------------------------------------------------
// PatchToHsv

struct HsvCase {
  std::int32_t x0, x1, x2;
  PatchHsv want;
};

class PatchToHsvCase : public testing::TestWithParam<HsvCase> {};

TEST_P(PatchToHsvCase, GivesTheRequiredHueSaturationAndValue) {
  const HsvCase& c = GetParam();
  EXPECT_EQ(ColorFeature::PatchToHsv(c.x0, c.x1, c.x2), c.want)
      << c.x0 << ", " << c.x1 << ", " << c.x2;
}

INSTANTIATE_TEST_SUITE_P(Table, PatchToHsvCase,
                         testing::Values(
                             // The worked example: maximum in channel 0, t = 32 / 64.
                             HsvCase{64, 32, 0, {21, 255, 64}},
                             // Equal channels: no saturation, no hue, bin by value alone.
                             HsvCase{0, 0, 0, {0, 0, 0}}, HsvCase{200, 200, 200, {0, 0, 200}},
                             // A negative sector position wraps by 255: t = -0.5 gives -21 + 255.
                             HsvCase{64, 0, 32, {234, 255, 64}},
                             // Channels 0 and 2 tie for the maximum: channel 0 wins (t = -1, h =
                             // 213); had channel 2 won, t would be 5 and h 212.
                             HsvCase{10, 0, 10, {213, 255, 10}},
                             // Maximum in channel 1 and in channel 2.
                             HsvCase{0, 100, 50, {106, 255, 100}},
                             HsvCase{50, 0, 100, {191, 255, 100}},
                             // Saturation by integer division: (100 - 60) x 255 / 100 = 102.
                             HsvCase{100, 60, 80, {234, 102, 100}},
                             // Extreme values from a hostile file stay defined.
                             HsvCase{2147483647, -2147483647 - 1, 0, {234, 510, 2147483647}}));

// HSV as a textbook writes it, one case at a time, as the reference for a sweep.
PatchHsv HsvByTheBook(std::int64_t r, std::int64_t g, std::int64_t b) {
  std::int64_t high = r, low = r;
  int channel = 0;
  if (g > high) {
    high = g;
    channel = 1;
  }
  if (b > high) {
    high = b;
    channel = 2;
  }
  if (g < low) low = g;
  if (b < low) low = b;
  PatchHsv hsv;
  hsv.v = static_cast<std::int32_t>(high);
  if (high == 0) return hsv;
  const std::int64_t s = (high - low) * 255 / high;
  hsv.s = static_cast<std::int32_t>(std::min<std::int64_t>(s, INT32_MAX));
  if (hsv.s == 0) return hsv;
  double t;
  const double diff = static_cast<double>(high - low);
  if (channel == 0) {
    t = static_cast<double>(g - b) / diff;
  } else if (channel == 1) {
    t = static_cast<double>(b - r) / diff + 2.0;
  } else {
    t = static_cast<double>(r - g) / diff + 4.0;
  }
  hsv.h = static_cast<std::int32_t>(t * 42.5);
  if (hsv.h < 0) hsv.h += 255;
  return hsv;
}

TEST(PatchToHsv, SweepOfTheChannelsMatchesTheTextbookForm) {
  std::vector<std::int32_t> levels = {-300, -1, 1, 2, 254, 256, 1000, 65535, 1 << 30};
  for (std::int32_t v = 0; v <= 255; v += 5) levels.push_back(v);
  for (const std::int32_t r : levels) {
    for (const std::int32_t g : levels) {
      for (const std::int32_t b : levels) {
        ASSERT_EQ(ColorFeature::PatchToHsv(r, g, b), HsvByTheBook(r, g, b))
            << r << ", " << g << ", " << b;
      }
    }
  }
}

// The structure histogram's bins, four patches at a time, are those of one patch at a time:
// for every level count, for means of photos and of hostile files (NaN, infinities, values
// past int32, fractions, negatives) and for counts that leave a tail.
TEST(StructureBins, TheVectorPathGivesEveryBinOfThePortableOne) {
  std::mt19937 rng(17);
  const double odd[] = {std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity(),
                        3e10,
                        -3e10,
                        2147483647.0,
                        -2147483648.0,
                        0.5,
                        -0.5,
                        -1,
                        255.9,
                        1e-300};
  // Black (largest channel 0) over negative channels, and a flat patch of them.
  std::vector<double> c[3] = {{0, 0, -0.5, -7}, {-1, -2147483648.0, 0, -7}, {-5, 0, -3e10, -7}};
  for (std::vector<double>& channel : c) {
    for (int k = 0; k < 3001; ++k) {
      const unsigned pick = rng() % 10;
      channel.push_back(pick == 0   ? odd[rng() % std::size(odd)]
                        : pick == 1 ? static_cast<double>(rng() % 4) * 85
                                    : static_cast<double>(rng() % 256));
    }
  }
  for (std::uint32_t levels = 1; levels <= ColorFeature::kMaxLevels; ++levels) {
    for (const std::uint32_t count : {0u, 3u, 4u, 3001u}) {
      std::vector<std::uint32_t> fast(count + 1, 7777), slow(count + 1, 7777);
      StructureBins(c[0].data(), c[1].data(), c[2].data(), count, levels, fast.data());
      StructureBinsPortable(c[0].data(), c[1].data(), c[2].data(), count, levels, slow.data());
      ASSERT_EQ(fast, slow) << levels << " levels, " << count << " patches";
    }
  }
}

// ---------------------------------------------------------------------------------------
// ComputeHistogram

struct HistogramCase {
  double r, g, b;
  std::uint32_t bin;
};

class HistogramBin : public testing::TestWithParam<HistogramCase> {};

TEST_P(HistogramBin, APatchFallsInTheRequiredBin) {
  const HistogramCase& c = GetParam();
  const Tarn::Matrix<double> averages =
      MakeAverages(Grid(1, 1), [&](std::uint32_t, std::uint32_t, double rgb[3]) {
        rgb[0] = c.r;
        rgb[1] = c.g;
        rgb[2] = c.b;
      });
  Tarn::DoubleVector histogram;
  ASSERT_EQ(ColorFeature(FEATURE_HISTOGRAM).ComputeHistogram(averages, histogram), kSuccess);
  ASSERT_EQ(histogram.Length(), 64u);
  for (std::uint32_t i = 0; i < 64; ++i) EXPECT_EQ(histogram[i], i == c.bin ? 1.0 : 0.0) << i;
}

INSTANTIATE_TEST_SUITE_P(Table, HistogramBin,
                         testing::Values(HistogramCase{0, 0, 0, 0},
                                         // 255 / 63.75 = 4, clamped to level 3.
                                         HistogramCase{255, 255, 255, 63},
                                         HistogramCase{255, 0, 0, 48},
                                         // 63 is level 0, 64 level 1 (the step is 63.75).
                                         HistogramCase{63, 64, 0, 4},
                                         // Above 255 (a larger quantisation step is not
                                         // undone) is clamped too.
                                         HistogramCase{1000, 0, 0, 48},
                                         // trunc(-1 / 63.75) is 0: no lower clamp needed.
                                         HistogramCase{-1, 0, 0, 0},
                                         // A negative level makes a negative bin: the last.
                                         HistogramCase{-64, 0, 0, 63},
                                         HistogramCase{1e300, -1e300, 0, 63}));

// ---------------------------------------------------------------------------------------
// ComputeBlockMean

TEST(BlockMean, FortyByThirtyPatchesMakeTenByEightCellsAllDividedByEighty) {
  const ColorFeature feature(FEATURE_BLOCK_MEAN);
  const Tarn::Matrix<double> averages =
      MakeAverages(Grid(40, 30), [](std::uint32_t, std::uint32_t, double rgb[3]) {
        rgb[0] = 1;
        rgb[1] = 2;
        rgb[2] = 0;
      });
  Tarn::Matrix<double> cells;
  ASSERT_EQ(feature.ComputeBlockMean(averages, Grid(40, 30), cells), kSuccess);
  ASSERT_EQ(cells.Rows(), 16u);
  ASSERT_EQ(cells.Columns(), 3u);
  for (std::uint32_t row = 0; row < 16; ++row) {
    // The last cell row holds 30 - 3 x 8 = 6 patch rows: 60 patches over the area 80.
    const double fill = row / 4 == 3 ? 0.75 : 1.0;
    EXPECT_DOUBLE_EQ(cells(row, 0), fill) << row;
    EXPECT_DOUBLE_EQ(cells(row, 1), 2 * fill) << row;
    EXPECT_EQ(cells(row, 2), 0.0) << row;
  }
}

// Grids of 1, 2 or 5 patch columns cannot be cut into 4 cells of ceil(C / 4) columns; each
// patch then belongs to cell min(c / bw, 3).
struct CellCase {
  std::uint32_t columns;
  std::vector<std::uint32_t> cellOfColumn;
};

class BlockMeanCells : public testing::TestWithParam<CellCase> {};

TEST_P(BlockMeanCells, EveryPatchLandsInExactlyOneCell) {
  const CellCase& c = GetParam();
  const ColorFeature feature(FEATURE_BLOCK_MEAN);
  // The same layout across rows and columns, so rows exercise the same clamp.
  const PatchGrid grid = Grid(c.columns, c.columns);
  const std::uint32_t bw = (c.columns + 3) / 4;
  for (std::uint32_t r = 0; r < c.columns; ++r) {
    for (std::uint32_t col = 0; col < c.columns; ++col) {
      const Tarn::Matrix<double> averages =
          MakeAverages(grid, [&](std::uint32_t pr, std::uint32_t pc, double rgb[3]) {
            rgb[1] = pr == r && pc == col ? 1.0 : 0.0;
          });
      Tarn::Matrix<double> cells;
      ASSERT_EQ(feature.ComputeBlockMean(averages, grid, cells), kSuccess);
      const std::uint32_t want = 4 * c.cellOfColumn[r] + c.cellOfColumn[col];
      for (std::uint32_t cell = 0; cell < 16; ++cell) {
        EXPECT_DOUBLE_EQ(cells(cell, 1), cell == want ? 1.0 / (bw * bw) : 0.0)
            << "patch (" << r << ", " << col << ") cell " << cell;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, BlockMeanCells,
                         testing::Values(CellCase{1, {0}}, CellCase{2, {0, 1}},
                                         CellCase{5, {0, 0, 1, 1, 2}},
                                         CellCase{7, {0, 0, 1, 1, 2, 2, 3}},
                                         CellCase{9, {0, 0, 0, 1, 1, 1, 2, 2, 2}}));

TEST(BlockMean, AveragesOfTheWrongShapeAreRefused) {
  const ColorFeature feature(FEATURE_BLOCK_MEAN);
  Tarn::Matrix<double> cells;
  EXPECT_EQ(feature.ComputeBlockMean(Tarn::Matrix<double>(3, 5), Grid(2, 2), cells),
            kInvalidValues);
  EXPECT_EQ(feature.ComputeBlockMean(Tarn::Matrix<double>(2, 4), Grid(2, 2), cells),
            kInvalidValues);
}

// ---------------------------------------------------------------------------------------
// ComputeStructureHistogram

class SmallGridCsd : public testing::TestWithParam<std::pair<std::uint32_t, std::uint32_t>> {};

TEST_P(SmallGridCsd, EightOrFewerPatchColumnsOrRowsGiveAnAllZeroDescriptor) {
  const auto [columns, rows] = GetParam();
  const Tarn::Matrix<double> averages =
      MakeAverages(Grid(columns, rows), [](std::uint32_t r, std::uint32_t c, double rgb[3]) {
        rgb[0] = 30 * r;
        rgb[1] = 20 * c;
        rgb[2] = 50;
      });
  Tarn::DoubleVector csd;
  ASSERT_EQ(ColorFeature(FEATURE_CSD).ComputeStructureHistogram(averages, Grid(columns, rows), csd),
            kSuccess);
  ASSERT_EQ(csd.Length(), 128u);
  for (std::uint32_t i = 0; i < 128; ++i) EXPECT_EQ(csd[i], 0.0) << i;
}

INSTANTIATE_TEST_SUITE_P(Sizes, SmallGridCsd,
                         testing::Values(std::pair{1u, 1u}, std::pair{8u, 8u}, std::pair{8u, 40u},
                                         std::pair{40u, 8u}, std::pair{9u, 3u}));

// Bin of a grey patch of value v: qh = qs = 0, qv = v / 64.
constexpr std::uint32_t kGreyBin = 2;                     // value 150
constexpr std::uint32_t kRedBin = 4 * (4 * 0 + 3) + 3;    // (255, 0, 0): h 0, s 255, v 255
constexpr std::uint32_t kGreenBin = 4 * (4 * 2 + 3) + 3;  // (0, 255, 0): h 85 -> qh 2

TEST(StructureHistogram, SixteenPatchesLeaveColumnsAndRowsTwelveToFifteenUncounted) {
  // Grey everywhere, red at (11, 11) (inside the window at (4, 4) only) and green in the
  // last four rows and columns, which no window reaches: origins 0 and 4 only, since 8 is not
  // below 16 - 8.
  const PatchGrid grid = Grid(16, 16);
  const Tarn::Matrix<double> averages =
      MakeAverages(grid, [](std::uint32_t r, std::uint32_t c, double rgb[3]) {
        const double grey[3] = {150, 150, 150}, red[3] = {255, 0, 0}, green[3] = {0, 255, 0};
        const double* pick = r >= 12 || c >= 12 ? green : r == 11 && c == 11 ? red : grey;
        for (int i = 0; i < 3; ++i) rgb[i] = pick[i];
      });
  Tarn::DoubleVector csd;
  ASSERT_EQ(ColorFeature(FEATURE_CSD).ComputeStructureHistogram(averages, grid, csd), kSuccess);
  // Four windows, each with grey; one of them also with red: T = 5.
  EXPECT_DOUBLE_EQ(csd[kGreyBin], 4.0 / 5.0);
  EXPECT_DOUBLE_EQ(csd[kRedBin], 1.0 / 5.0);
  EXPECT_EQ(csd[kGreenBin], 0.0);
  EXPECT_DOUBLE_EQ(Sum(csd), 1.0);
}

TEST(StructureHistogram, AColourCountsOncePerWindowWhateverItsArea) {
  // Nine columns and rows: one window at (0, 0). Half grey, half red: each bin 1/2.
  const PatchGrid grid = Grid(9, 9);
  const Tarn::Matrix<double> averages =
      MakeAverages(grid, [](std::uint32_t, std::uint32_t c, double rgb[3]) {
        rgb[0] = c < 2 ? 255 : 150;
        rgb[1] = rgb[2] = c < 2 ? 0 : 150;
      });
  Tarn::DoubleVector csd;
  ASSERT_EQ(ColorFeature(FEATURE_CSD).ComputeStructureHistogram(averages, grid, csd), kSuccess);
  EXPECT_DOUBLE_EQ(csd[kGreyBin], 0.5);
  EXPECT_DOUBLE_EQ(csd[kRedBin], 0.5);
}

// Random grids of a few colours, of every size from 9 to 23 patches a side: each bin is the
// share of the windows (8 x 8 patches, origins every 4 strictly below C - 8 and R - 8) that
// hold its colour, counted here window by window.
// Both ways of counting: L = 4 (128 bins, through block masks) and L = 6 (288 bins, window by
// window).
class StructureLevels : public testing::TestWithParam<std::uint32_t> {};

TEST_P(StructureLevels, MatchesAWindowByWindowCount) {
  const std::uint32_t levels = GetParam();
  const std::uint32_t bins = 8 * levels * levels;
  const double svStep = 256.0 / levels;
  std::mt19937 rng(11);
  const double palette[6][3] = {{150, 150, 150}, {255, 0, 0},  {0, 255, 0},
                                {20, 40, 200},   {90, 10, 60}, {250, 250, 10}};
  for (std::uint32_t columns = 9; columns <= 23; ++columns) {
    for (std::uint32_t rows = 9; rows <= 23; rows += 7) {
      const PatchGrid grid = Grid(columns, rows);
      std::vector<int> colour(grid.Patches);
      // Mostly grey, so that windows differ in the colours they hold.
      for (int& c : colour) c = rng() % 16 == 0 ? static_cast<int>(1 + rng() % 5) : 0;
      const Tarn::Matrix<double> averages =
          MakeAverages(grid, [&](std::uint32_t r, std::uint32_t c, double rgb[3]) {
            for (int i = 0; i < 3; ++i) rgb[i] = palette[colour[r * columns + c]][i];
          });
      std::vector<std::uint32_t> bin(grid.Patches);
      for (std::uint32_t k = 0; k < grid.Patches; ++k) {
        const double* p = palette[colour[k]];
        const PatchHsv hsv = ColorFeature::PatchToHsv(static_cast<std::int32_t>(p[0]),
                                                      static_cast<std::int32_t>(p[1]),
                                                      static_cast<std::int32_t>(p[2]));
        const auto level = [&](std::int32_t x) {
          return std::min(static_cast<std::uint32_t>(x / svStep), levels - 1);
        };
        bin[k] = levels * (levels * std::min<std::uint32_t>(hsv.h / 32, 7) + level(hsv.s)) +
                 level(hsv.v);
      }
      std::vector<double> counts(bins, 0.0);
      double total = 0;
      for (std::uint32_t y0 = 0; y0 + 8 < rows; y0 += 4) {
        for (std::uint32_t x0 = 0; x0 + 8 < columns; x0 += 4) {
          std::vector<bool> seen(bins, false);
          for (std::uint32_t y = y0; y < y0 + 8; ++y) {
            for (std::uint32_t x = x0; x < x0 + 8; ++x) seen[bin[y * columns + x]] = true;
          }
          for (std::uint32_t b = 0; b < bins; ++b) {
            counts[b] += seen[b] ? 1 : 0;
            total += seen[b] ? 1 : 0;
          }
        }
      }
      Tarn::DoubleVector csd;
      ASSERT_EQ(ColorFeature(FEATURE_CSD, levels).ComputeStructureHistogram(averages, grid, csd),
                kSuccess);
      for (std::uint32_t b = 0; b < bins; ++b) {
        ASSERT_EQ(csd[b], counts[b] / total) << columns << " x " << rows << " bin " << b;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, StructureLevels, testing::Values(4u, 6u));

// ---------------------------------------------------------------------------------------
// Similarity measures

TEST(BlockMeanSimilarity, BlackCellsMatchOnlyBlackCells) {
  Tarn::Matrix<double> query(2, 3), target(2, 3);
  query.Fill(0.0);
  target.Fill(0.0);
  // Cell 0 black in both (counts 1), cell 1 black only in the target (counts 0).
  query(1, 0) = 10;
  EXPECT_DOUBLE_EQ(ColorFeature::BlockMeanSimilarity(query, target), 0.5);
  // Cell 1 now the same hue at another brightness: cosine 1.
  target(1, 0) = 3;
  EXPECT_DOUBLE_EQ(ColorFeature::BlockMeanSimilarity(query, target), 1.0);
  // Orthogonal colours: cosine 0.
  target(1, 0) = 0;
  target(1, 2) = 7;
  EXPECT_DOUBLE_EQ(ColorFeature::BlockMeanSimilarity(query, target), 0.5);
}

TEST(BlockMeanSimilarity, AnEmptyQueryGivesZero) {
  Tarn::Matrix<double> target(16, 3);
  target.Fill(0.0);
  EXPECT_EQ(ColorFeature::BlockMeanSimilarity(Tarn::Matrix<double>(), target), 0.0);
}

struct HistogramPair {
  const char* name;
  std::vector<double> query, target;
  double want;
};

class HistogramSimilarityCase : public testing::TestWithParam<HistogramPair> {};

TEST_P(HistogramSimilarityCase, ComparesProportionsNotCounts) {
  const HistogramPair& c = GetParam();
  EXPECT_DOUBLE_EQ(ColorFeature::HistogramSimilarity(Vector(c.query), Vector(c.target)), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HistogramSimilarityCase,
    testing::Values(HistogramPair{"SameProportionsOtherSize", {1, 3, 0, 0}, {10, 30, 0, 0}, 1.0},
                    HistogramPair{"Disjoint", {5, 0, 0, 0}, {0, 0, 2, 2}, 0.0},
                    HistogramPair{"HalfOverlap", {1, 1, 0, 0}, {0, 1, 1, 0}, 0.5},
                    HistogramPair{"QuerySumsToZero", {0, 0, 0, 0}, {1, 1, 0, 0}, 0.0},
                    HistogramPair{"TargetSumsToZero", {1, 1, 0, 0}, {0, 0, 0, 0}, 0.0},
                    HistogramPair{"EmptyQuery", {}, {1, 1, 0, 0}, 0.0}),
    [](const testing::TestParamInfo<HistogramPair>& info) { return std::string(info.param.name); });

TEST(StructureSimilarity, IsTheHistogramIntersection) {
  EXPECT_DOUBLE_EQ(
      ColorFeature::StructureSimilarity(Vector({0.5, 0.5, 0}), Vector({0.2, 0.3, 0.5})), 0.5);
  EXPECT_EQ(ColorFeature::StructureSimilarity(Vector({0, 0, 0}), Vector({0, 0, 0})), 0.0);
  EXPECT_EQ(ColorFeature::StructureSimilarity(Tarn::DoubleVector(), Vector({1, 0})), 0.0);
}

// ---------------------------------------------------------------------------------------
// Files

TEST(ColorFeature, NoLevelsIsRefusedBeforeTheFileIsTouched) {
  ColorFeature feature(FEATURE_HISTOGRAM, 0);
  EXPECT_EQ(feature.LoadQuery("/nonexistent/query.pqz"), kInvalidValues);
}

// A file compared with itself, by kind and grid: 1, except CSD on grids of 8 or fewer patch
// columns or rows, whose descriptors are all zero.
struct SelfCase {
  std::int32_t kind;
  std::int32_t width, height;
  double want;
};

class SelfSimilarity : public testing::TestWithParam<SelfCase> {};

TEST_P(SelfSimilarity, AFileComparedWithItself) {
  const SelfCase& c = GetParam();
  test::TempDir dir;
  const std::string path = dir.File("self.pqz");
  ASSERT_EQ(test::WritePqz(path, test::MakeSynthetic(c.width, c.height, 8, 4, 3)), kSuccess);
  ColorFeature feature(c.kind);
  ASSERT_EQ(feature.LoadQuery(path), kSuccess);
  EXPECT_NEAR(feature.Similarity(path), c.want, 1e-12);
  EXPECT_EQ(feature.Similarity(dir.File("missing.pqz")), -1.0);
}

INSTANTIATE_TEST_SUITE_P(Table, SelfSimilarity,
                         testing::Values(SelfCase{FEATURE_BLOCK_MEAN, 80, 72, 1.0},
                                         SelfCase{FEATURE_BLOCK_MEAN, 8, 40, 1.0},
                                         SelfCase{FEATURE_HISTOGRAM, 80, 72, 1.0},
                                         SelfCase{FEATURE_CSD, 80, 72, 1.0},
                                         SelfCase{FEATURE_CSD, 64, 80, 0.0},
                                         SelfCase{FEATURE_CSD, 80, 64, 0.0}));

TEST(ColorFeature, AnUnknownKindBuildsNothingAndScoresZero) {
  test::TempDir dir;
  const std::string path = dir.File("a.pqz");
  ASSERT_EQ(test::WritePqz(path, test::MakeSynthetic(80, 72, 8, 4, 3)), kSuccess);
  ColorFeature feature(7);
  ASSERT_EQ(feature.LoadQuery(path), kSuccess);
  EXPECT_TRUE(feature.m_mDescriptor.IsEmpty());
  EXPECT_TRUE(feature.m_vDescriptor.IsEmpty());
  EXPECT_EQ(feature.Similarity(path), 0.0);
}

// Targets scored side by side get what each gets alone, in every pairing of files of other
// grids, files that cannot be read and files cut short, for every kind.
TEST(ColorFeature, TargetsTogetherScoreAsEachAlone) {
  test::TempDir dir;
  std::vector<std::string> paths;
  const char* const names[] = {"t1.pqz", "t2.pqz", "t3.pqz"};
  for (unsigned seed = 1; seed <= 3; ++seed) {
    paths.push_back(dir.File(names[seed - 1]));
    ASSERT_EQ(test::WritePqz(paths.back(), test::MakeSynthetic(40 + 24 * seed, 72, 8, 4, seed)),
              kSuccess);
  }
  paths.push_back(dir.File("missing.pqz"));
  paths.push_back(dir.File("damaged.pqz"));
  {
    std::ifstream in(paths[0], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Cut inside the averages' payload.
    bytes.resize(44 + 40 + 20);
    std::ofstream(paths.back(), std::ios::binary) << bytes;
  }
  for (const std::int32_t kind : {std::int32_t{FEATURE_BLOCK_MEAN}, std::int32_t{FEATURE_HISTOGRAM},
                                  std::int32_t{FEATURE_CSD}, std::int32_t{7}}) {
    ColorFeature color(kind);
    ASSERT_EQ(color.LoadQuery(paths[1]), kSuccess);
    std::vector<double> alone;
    for (const std::string& path : paths) alone.push_back(color.Similarity(path));
    for (std::size_t a = 0; a < paths.size(); ++a) {
      for (std::size_t b = 0; b < paths.size(); ++b) {
        const std::string* pair[2] = {&paths[a], &paths[b]};
        double together[2] = {-7, -7};
        color.SimilarityTogether(pair, 2, together);
        EXPECT_EQ(together[0], alone[a]) << kind << ": " << paths[a] << " beside " << paths[b];
        EXPECT_EQ(together[1], alone[b]) << kind << ": " << paths[b] << " beside " << paths[a];
      }
    }
    std::vector<const std::string*> all;
    for (const std::string& path : paths) all.push_back(&path);
    std::vector<double> together(all.size(), -7);
    color.SimilarityTogether(all.data(), all.size(), together.data());
    EXPECT_EQ(together, alone);
  }
  ColorFeature noLevels(FEATURE_HISTOGRAM, 0);
  const std::string* one[1] = {&paths[0]};
  double similarity = 0;
  noLevels.SimilarityTogether(one, 1, &similarity);
  EXPECT_EQ(similarity, -1.0);
}

}  // namespace
}  // namespace orvane
