#include "retrieval/ranking.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "retrieval/search_progress.h"

namespace orvane {
namespace {

struct CombineCase {
  double edge, color, weight, want;
};

class Combination : public testing::TestWithParam<CombineCase> {};

TEST_P(Combination, WeighsEdgeAgainstColour) {
  const CombineCase& c = GetParam();
  EXPECT_DOUBLE_EQ(CombineSimilarity(c.edge, c.color, c.weight), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Combination,
    testing::Values(
        // Weight 100: the Edge similarity, even an unreadable -1, has no effect.
        CombineCase{-1.0, 0.3, 1.0, 0.3}, CombineCase{0.9, 0.3, 1.0, 0.3},
        // Weight 0: the colour similarity has none.
        CombineCase{0.4, -1.0, 0.0, 0.4}, CombineCase{0.4, 0.95, 0.0, 0.4},
        // 70 %: 0.3 x 0.5 + 0.7 x 1.
        CombineCase{0.5, 1.0, 0.7, 0.85},
        // Neither section readable: -1 whatever the weight.
        CombineCase{-1.0, -1.0, 0.7, -1.0}));

TEST(Combination, ANonNumberBecomesMinusOneSoThatItCanBeOrdered) {
  EXPECT_EQ(CombineSimilarity(std::numeric_limits<double>::quiet_NaN(), 0.5, 0.5), -1.0);
}

FileRecord Record(const std::string& name, double similarity) {
  FileRecord r;
  r.m_strName = name;
  r.m_dSimilarity = similarity;
  return r;
}

std::string Names(const std::vector<FileRecord>& records) {
  std::string names;
  for (const FileRecord& r : records) names += r.m_strName + " ";
  return names;
}

TEST(RankRecords, LargestFirstAndEqualSimilaritiesKeepTheListOrder) {
  std::vector<FileRecord> records = {Record("a", 0.5),  Record("b", 0.9), Record("c", 0.5),
                                     Record("d", -1.0), Record("e", 0.5), Record("f", 0.9),
                                     Record("g", 0.5)};
  RankRecords(records);
  EXPECT_EQ(Names(records), "b f a c e g d ");
  // Ranking a ranked list changes nothing: repeated searches agree.
  RankRecords(records);
  EXPECT_EQ(Names(records), "b f a c e g d ");
}

TEST(RankRecords, ScoreRecordSetsAllThreeSimilarities) {
  FileRecord r;
  ScoreRecord(r, 0.2, 0.6, 0.5);
  EXPECT_EQ(r.m_dEdgeSimilarity, 0.2);
  EXPECT_EQ(r.m_dColorSimilarity, 0.6);
  EXPECT_DOUBLE_EQ(r.m_dSimilarity, 0.4);
}

TEST(Progress, CaptionsAndBarPositions) {
  EXPECT_EQ(ProgressCaption(SearchPhase::kLoading, 0, 3), "Loading images 0 / 3 ...");
  EXPECT_EQ(ProgressCaption(SearchPhase::kCalculating, 4, 5), "Calculating similarity 4 / 5 ...");
  EXPECT_EQ(ProgressCaption(SearchPhase::kReplacing, 119, 120),
            "Replacing thumbnails 119 / 120 ...");
  EXPECT_EQ(ProgressPercent(2, 3), 66);
  EXPECT_EQ(ProgressPercent(119, 120), 99);  // never 100 inside a phase
  EXPECT_EQ(ProgressPercent(0, 0), 0);
}

}  // namespace
}  // namespace orvane
