#include "retrieval/job/search_job.h"

#include <QSignalSpy>
#include <QTest>

#include "retrieval/feature_kind.h"
#include "retrieval/folder_listing.h"
#include "retrieval/job/similarity_tooltip.h"
#include "retrieval_test_support.h"

namespace orvane {

class SearchJobTest : public QObject {
  Q_OBJECT

 private:
  SearchRequest MakeRequest(int files) {
    for (int i = 0; i < files; ++i) {
      std::string name = "f";
      name += std::to_string(i);
      name += ".pqz";
      test::WritePqz(m_dir.File(name), test::MakeSynthetic(64, 64, 8, 8, unsigned(i + 1)));
    }
    SearchRequest request;
    request.queryPath = m_dir.File("f0.pqz");
    request.queryType = 0;
    request.feature = FEATURE_CSD;
    request.colorWeight = 70;
    ListImageFiles(m_dir.Path().string(), false, request.records);
    return request;
  }

  test::TempDir m_dir;

 private slots:
  void RanksOffTheInterfaceThreadAndReportsEveryPhase() {
    SearchJob job;
    QSignalSpy progress(&job, &SearchJob::Progress);
    QSignalSpy finished(&job, &SearchJob::Finished);
    QVERIFY(job.Start(MakeRequest(3)));
    QVERIFY(job.IsRunning());
    QVERIFY(!job.Start(SearchRequest{}));  // one search at a time
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), int(kSuccess));
    QVERIFY(!job.IsRunning());
    const SearchOutcome outcome = job.TakeOutcome();
    QCOMPARE(outcome.records.size(), std::size_t(3));
    QCOMPARE(outcome.records[0].m_strName, std::string("f0.pqz"));
    QStringList captions;
    for (const QList<QVariant>& step : progress) captions << step.at(0).toString();
    QCOMPARE(captions,
             QStringList({"Loading images 0 / 3 ...", "Loading images 1 / 3 ...",
                          "Loading images 2 / 3 ...", "Calculating similarity 0 / 3 ...",
                          "Calculating similarity 1 / 3 ...", "Calculating similarity 2 / 3 ...",
                          "Replacing thumbnails 0 / 3 ...", "Replacing thumbnails 1 / 3 ...",
                          "Replacing thumbnails 2 / 3 ..."}));
    QCOMPARE(progress.at(4).at(1).toInt(), 33);
  }

  void LoadingCaptionSkipsRecordsThatAreNotCandidates() {
    SearchRequest request = MakeRequest(2);
    // Three records whose thumbnails are not made yet, the second a JPEG file.
    request.records.resize(2);
    FileRecord jpeg;
    jpeg.m_strName = "photo.jpg";
    jpeg.m_strPath = m_dir.File("photo.jpg");
    request.records.insert(request.records.begin() + 1, jpeg);
    SearchJob job;
    QSignalSpy progress(&job, &SearchJob::Progress);
    QSignalSpy finished(&job, &SearchJob::Finished);
    QVERIFY(job.Start(request));
    QVERIFY(finished.wait(10000));
    QStringList loading;
    for (const QList<QVariant>& step : progress) {
      if (step.at(0).toString().startsWith("Loading")) loading << step.at(0).toString();
    }
    QCOMPARE(loading, QStringList({"Loading images 0 / 3 ...", "Loading images 2 / 3 ..."}));
  }

  void CancelledSearchGivesNoRecords() {
    SearchJob job;
    QSignalSpy finished(&job, &SearchJob::Finished);
    // Cancel at the first step, before any file has been scored.
    connect(&job, &SearchJob::Progress, &job, [&job] { job.Cancel(); });
    QVERIFY(job.Start(MakeRequest(3)));
    job.Cancel();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), int(kCanceled));
    QVERIFY(job.TakeOutcome().records.empty());
  }

  void NoCandidateIsReported() {
    SearchRequest request = MakeRequest(1);
    request.queryType = 1;  // no file of the folder was made with ICA iterations
    SearchJob job;
    QSignalSpy finished(&job, &SearchJob::Finished);
    QVERIFY(job.Start(request));
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), int(kNotPqzFile));
  }

  void ToolTipNamesTheThreeSimilaritiesOfARankedRecord() {
    FileRecord listed;
    QVERIFY(SimilarityToolTip(listed).isEmpty());
    FileRecord ranked;
    ranked.m_dSimilarity = 0.5;
    ranked.m_dColorSimilarity = 0.75;
    ranked.m_dEdgeSimilarity = -1;
    QCOMPARE(SimilarityToolTip(ranked),
             QStringLiteral("Similarity: 0.5000\nColor: 0.7500\nEdge: unreadable"));
  }

  void DestroyingARunningJobWaitsForIt() {
    auto* job = new SearchJob;
    QVERIFY(job->Start(MakeRequest(3)));
    delete job;  // must neither crash nor leave the worker writing into a dead object
  }
};

}  // namespace orvane

QTEST_GUILESS_MAIN(orvane::SearchJobTest)
#include "search_job_test.moc"
