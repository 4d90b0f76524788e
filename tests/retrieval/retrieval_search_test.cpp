#include "retrieval/retrieval_search.h"

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "retrieval/edge_feature.h"
#include "retrieval/folder_listing.h"
#include "retrieval_test_support.h"

namespace orvane {
namespace {

using Step = std::tuple<SearchPhase, std::size_t, std::size_t>;

class SearchTest : public testing::Test {
 protected:
  std::string Write(const std::string& name, test::SyntheticPqz file) {
    const std::string path = m_dir.File(name);
    EXPECT_EQ(test::WritePqz(path, file), kSuccess);
    return path;
  }
  static FileRecord Record(const std::string& path, std::uint16_t type = TYPE_NOT_LOADED) {
    FileRecord r;
    r.m_strPath = path;
    r.m_strName = std::filesystem::path(path).filename().string();
    r.m_nType = type;
    return r;
  }
  static std::vector<std::string> Names(const std::vector<FileRecord>& records) {
    std::vector<std::string> names;
    for (const FileRecord& r : records) names.push_back(r.m_strName);
    return names;
  }
  test::TempDir m_dir;
};

TEST_F(SearchTest, TheQueryComesFirstWithOneAndOtherFlagsAndTypesLeave) {
  const std::string query = Write("query.pqz", test::MakeSynthetic(96, 80, 8, 12, 1));
  Write("other1.pqz", test::MakeSynthetic(96, 80, 8, 12, 2));
  Write("other2.pqz", test::MakeSynthetic(88, 72, 8, 12, 3));
  test::SyntheticPqz ica = test::MakeSynthetic(96, 80, 8, 12, 1);
  ica.iterationFlag = 1;
  Write("ica.pqz", ica);
  Write("fake.jpg", test::MakeSynthetic(96, 80, 8, 12, 1));  // a PQZ file by content only

  for (const std::int32_t kind : {FEATURE_BLOCK_MEAN, FEATURE_HISTOGRAM, FEATURE_CSD}) {
    std::vector<FileRecord> records;
    ASSERT_EQ(ListImageFiles(m_dir.Path().string(), false, records), kSuccess);
    ASSERT_EQ(records.size(), 5u);
    ASSERT_EQ(RetrievalSearch(kind, 50).Run(query, 0, records), kSuccess);
    ASSERT_EQ(records.size(), 3u) << kind;
    EXPECT_EQ(records[0].m_strName, "query.pqz");
    EXPECT_NEAR(records[0].m_dSimilarity, 1.0, 1e-12);
    EXPECT_NEAR(records[0].m_dColorSimilarity, 1.0, 1e-12);
    EXPECT_NEAR(records[0].m_dEdgeSimilarity, 1.0, 1e-12);
    for (const FileRecord& r : records) {
      EXPECT_NE(r.m_strName, "ica.pqz");
      EXPECT_EQ(r.m_nType, TYPE_NOT_LOADED);  // candidates keep their records as listed
    }
    EXPECT_GE(records[1].m_dSimilarity, records[2].m_dSimilarity);
  }
}

TEST_F(SearchTest, ADeletedCandidateScoresMinusOneAndSortsLast) {
  const std::string query = Write("query.pqz", test::MakeSynthetic(96, 80, 8, 12, 1));
  const std::string gone = Write("gone.pqz", test::MakeSynthetic(96, 80, 8, 12, 4));
  Write("kept.pqz", test::MakeSynthetic(96, 80, 8, 12, 5));
  std::vector<FileRecord> records;
  ASSERT_EQ(ListImageFiles(m_dir.Path().string(), false, records), kSuccess);
  ASSERT_EQ(Names(records), (std::vector<std::string>{"gone.pqz", "kept.pqz", "query.pqz"}));
  // A record whose thumbnail was made is a candidate by its type alone, so deleting its file
  // after the listing leaves it in the search.
  records[0].m_nType = 0;
  std::filesystem::remove(gone);
  ASSERT_EQ(RetrievalSearch(FEATURE_CSD, 70).Run(query, 0, records), kSuccess);
  ASSERT_EQ(Names(records), (std::vector<std::string>{"query.pqz", "kept.pqz", "gone.pqz"}));
  EXPECT_EQ(records[2].m_dColorSimilarity, -1.0);
  EXPECT_EQ(records[2].m_dEdgeSimilarity, -1.0);
  EXPECT_DOUBLE_EQ(records[2].m_dSimilarity, -1.0);
}

TEST_F(SearchTest, AnotherPatchSizeLosesOnlyItsEdgeSimilarity) {
  const std::string query = Write("query.pqz", test::MakeSynthetic(96, 80, 8, 12, 1));
  test::SyntheticPqz small = test::MakeSynthetic(96, 80, 4, 12, 1);
  small.averages = test::MakeAverages(
      test::GridOfSynthetic(small),
      [](std::uint32_t, std::uint32_t, double rgb[3]) { rgb[0] = 80, rgb[1] = 90, rgb[2] = 100; });
  const std::string other = Write("small.pqz", small);
  std::vector<FileRecord> records = {Record(other)};
  ASSERT_EQ(RetrievalSearch(FEATURE_BLOCK_MEAN, 70).Run(query, 0, records), kSuccess);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].m_dEdgeSimilarity, -1.0);
  EXPECT_GT(records[0].m_dColorSimilarity, 0.9);  // the same hues, block for block
}

TEST_F(SearchTest, ProgressCountsEveryRecordButTheSkippedOnes) {
  const std::string query = Write("query.pqz", test::MakeSynthetic(64, 64, 8, 6, 1));
  const std::string second = Write("second.pqz", test::MakeSynthetic(64, 64, 8, 6, 2));
  std::vector<FileRecord> records = {Record(query), Record(m_dir.File("photo.jpg")),
                                     Record(second)};
  std::vector<Step> steps;
  RetrievalSearch search(FEATURE_HISTOGRAM, 75);
  search.SetProgress([&](SearchPhase phase, std::size_t index, std::size_t count) {
    steps.emplace_back(phase, index, count);
    return true;
  });
  ASSERT_EQ(search.Run(query, 0, records), kSuccess);
  const std::vector<Step> want = {
      {SearchPhase::kLoading, 0, 3},     {SearchPhase::kLoading, 2, 3},
      {SearchPhase::kCalculating, 0, 2}, {SearchPhase::kCalculating, 1, 2},
      {SearchPhase::kReplacing, 0, 2},   {SearchPhase::kReplacing, 1, 2}};
  EXPECT_EQ(steps, want);
}

// Scoring on several threads gives the same ranked list, with the same similarities, as
// scoring on one, for a list longer than the threads have candidates in flight; candidates
// scored two at a time (and the odd one out alone) get the Edge similarity of each alone.
TEST_F(SearchTest, ThreadsDoNotChangeTheRanking) {
  const std::string query = Write("q.pqz", test::MakeSynthetic(64, 56, 8, 6, 1));
  std::vector<FileRecord> listing = {Record(query)};
  for (int i = 0; i < 24; ++i) {
    const std::string name = std::string("f").append(std::to_string(i));
    listing.push_back(
        Record(Write(name + ".pqz", test::MakeSynthetic(64 + 8 * (i % 3), 56, 8, 6, 2 + i % 9))));
  }
  for (const std::int32_t kind : {FEATURE_BLOCK_MEAN, FEATURE_HISTOGRAM, FEATURE_CSD}) {
    std::vector<std::vector<FileRecord>> results;
    for (const unsigned threads : {1u, 2u, 5u}) {
      std::vector<FileRecord> records = listing;
      RetrievalSearch search(kind, 40);
      search.SetThreads(threads);
      // Both the files probed and the candidates scored on several threads report in order.
      std::size_t loaded = 0, expected = 0;
      bool inOrder = true;
      search.SetProgress([&](SearchPhase phase, std::size_t index, std::size_t) {
        if (phase == SearchPhase::kLoading) inOrder = inOrder && index == loaded++;
        if (phase == SearchPhase::kCalculating) inOrder = inOrder && index == expected++;
        return true;
      });
      ASSERT_EQ(search.Run(query, 0, records), kSuccess);
      EXPECT_TRUE(inOrder);
      EXPECT_EQ(loaded, listing.size());
      EXPECT_EQ(expected, listing.size());
      results.push_back(records);
    }
    EdgeFeature edge;
    ASSERT_EQ(edge.LoadQuery(query), kSuccess);
    for (const FileRecord& record : results[0]) {
      EXPECT_EQ(record.m_dEdgeSimilarity, edge.Similarity(record.m_strPath)) << record.m_strPath;
    }
    for (std::size_t t = 1; t < results.size(); ++t) {
      ASSERT_EQ(Names(results[t]), Names(results[0])) << kind;
      for (std::size_t i = 0; i < results[0].size(); ++i) {
        EXPECT_EQ(results[t][i].m_dSimilarity, results[0][i].m_dSimilarity);
        EXPECT_EQ(results[t][i].m_dEdgeSimilarity, results[0][i].m_dEdgeSimilarity);
      }
    }
  }
}

// Cancelling at any step, of any phase, leaves the caller's list exactly as it was.
class Cancel : public SearchTest, public testing::WithParamInterface<std::size_t> {};

TEST_P(Cancel, LeavesTheListUnchangedAndReportsTwentyNine) {
  const std::string query = Write("query.pqz", test::MakeSynthetic(64, 64, 8, 6, 1));
  const std::string b = Write("b.pqz", test::MakeSynthetic(64, 64, 8, 6, 2));
  std::vector<FileRecord> records = {Record(b), Record(query)};
  records[0].m_dSimilarity = 0.25;
  std::size_t calls = 0;
  RetrievalSearch search(FEATURE_CSD, 70);
  search.SetProgress([&](SearchPhase, std::size_t, std::size_t) { return calls++ != GetParam(); });
  EXPECT_EQ(search.Run(query, 0, records), kCanceled);
  EXPECT_EQ(calls, GetParam() + 1);  // nothing runs after the refusal
  ASSERT_EQ(Names(records), (std::vector<std::string>{"b.pqz", "query.pqz"}));
  EXPECT_EQ(records[0].m_dSimilarity, 0.25);
  EXPECT_EQ(records[1].m_dSimilarity, 0.0);
}

// Two loading steps, two calculating steps, two replacing steps.
INSTANTIATE_TEST_SUITE_P(EverySteps, Cancel, testing::Range<std::size_t>(0, 6));

struct Refusal {
  const char* name;
  std::int32_t feature, weight;
  bool queryMissing;
  bool onlyJpegs;
  ResultCode want;
};

class Refused : public SearchTest, public testing::WithParamInterface<Refusal> {};

TEST_P(Refused, ASearchThatCannotRunLeavesTheListUnchanged) {
  const Refusal& c = GetParam();
  const std::string query = Write("query.pqz", test::MakeSynthetic(64, 64, 8, 6, 1));
  std::vector<FileRecord> records;
  if (c.onlyJpegs) {
    records = {Record(m_dir.File("a.jpg")), Record(m_dir.File("b.JPG"))};
  } else {
    records = {Record(query), Record(m_dir.File("a.jpg"))};
  }
  const std::vector<std::string> before = Names(records);
  const std::string path = c.queryMissing ? m_dir.File("deleted.pqz") : query;
  EXPECT_EQ(RetrievalSearch(c.feature, c.weight).Run(path, 0, records), c.want);
  EXPECT_EQ(Names(records), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Refused,
    testing::Values(Refusal{"NoPqzCandidate", FEATURE_CSD, 70, false, true, kNotPqzFile},
                    Refusal{"UnreadableQuery", FEATURE_CSD, 70, true, false, kReadFailed},
                    Refusal{"UnknownFeature", 3, 70, false, false, kInvalidValues},
                    Refusal{"NegativeWeight", FEATURE_CSD, -1, false, false, kInvalidValues},
                    Refusal{"WeightAboveHundred", FEATURE_CSD, 101, false, false, kInvalidValues}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(SearchTest, AnEmptyListHasNoCandidate) {
  const std::string query = Write("query.pqz", test::MakeSynthetic(64, 64, 8, 6, 1));
  std::vector<FileRecord> records;
  EXPECT_EQ(RetrievalSearch(FEATURE_CSD, 70).Run(query, 0, records), kNotPqzFile);
  EXPECT_TRUE(records.empty());
}

TEST_F(SearchTest, KnownTypesDecideWithoutTouchingTheFile) {
  const std::string query = Write("query.pqz", test::MakeSynthetic(64, 64, 8, 6, 1));
  // Neither file exists: a typed record needs no probe, and a PNG whose thumbnail says it
  // is a PQZ image of the query's type is a candidate like any other.
  std::vector<FileRecord> records = {Record(m_dir.File("x.png"), 0),
                                     Record(m_dir.File("y.pqz"), TYPE_ORDINARY_IMAGE),
                                     Record(m_dir.File("z.pqz"), 1)};
  ASSERT_EQ(RetrievalSearch(FEATURE_CSD, 70).Run(query, 0, records), kSuccess);
  ASSERT_EQ(Names(records), std::vector<std::string>{"x.png"});
  EXPECT_EQ(records[0].m_dSimilarity, -1.0);
}

}  // namespace
}  // namespace orvane
