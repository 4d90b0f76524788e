#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/result_code.h"
#include "retrieval/file_record.h"

namespace orvane {

/// Everything one search needs, copied when it starts so that the list it ranks cannot change
/// under it.
struct SearchRequest {
  std::string queryPath;         ///< the query PQZ file
  std::uint16_t queryType = 0;   ///< the query's image type code (its IterationFlag)
  std::int32_t feature = 0;      ///< the colour descriptor, a FeatureKind
  std::int32_t colorWeight = 0;  ///< colour weight in percent
  std::vector<FileRecord> records;
};

/// The end of a search: its result code and, on success, the ranked records.
struct SearchOutcome {
  ResultCode code = kCanceled;
  std::vector<FileRecord> records;
};

/// Runs RetrievalSearch on a worker thread. Lives on the interface thread: Progress and
/// Finished arrive there, and nothing the job does touches the caller's list; the caller
/// replaces its list with the outcome's records only when the code is kSuccess, so a
/// cancelled or failed search leaves it as it was.
class SearchJob : public QObject {
  Q_OBJECT

 public:
  explicit SearchJob(QObject* parent = nullptr);
  /// Cancels a running search and waits for its worker.
  ~SearchJob() override;

  /// Starts a search; false (and nothing started) while another one runs.
  bool Start(SearchRequest request);
  /// Asks the running search to stop at its next step; Finished follows with kCanceled.
  void Cancel();
  bool IsRunning() const;

  /// The outcome of the search that finished last; valid in and after Finished.
  SearchOutcome TakeOutcome();

 signals:
  /// A step of the search: the progress dialog's caption and its bar position.
  void Progress(const QString& caption, int percent);
  /// The search ended with `code` (0 success, 25 no candidate, 29 cancelled, ...).
  void Finished(int code);

 private:
  void OnWorkerFinished();

  QFutureWatcher<SearchOutcome> m_watcher;
  SearchOutcome m_outcome;
  bool m_bRunning = false;
};

}  // namespace orvane
