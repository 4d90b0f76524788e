#include "retrieval/job/search_job.h"

#include <QPromise>
#include <utility>

#include <QtConcurrent/QtConcurrentRun>

#include "retrieval/retrieval_search.h"
#include "retrieval/search_progress.h"

namespace orvane {

SearchJob::SearchJob(QObject* parent) : QObject(parent) {
  connect(&m_watcher, &QFutureWatcher<SearchOutcome>::finished, this, &SearchJob::OnWorkerFinished);
}

SearchJob::~SearchJob() {
  // The worker emits Progress through this object: it must have ended before the object goes.
  m_watcher.disconnect(this);
  m_watcher.cancel();
  m_watcher.waitForFinished();
}

bool SearchJob::Start(SearchRequest request) {
  if (m_bRunning) return false;
  m_bRunning = true;
  m_outcome = SearchOutcome{};
  m_watcher.setFuture(QtConcurrent::run(
      [this](QPromise<SearchOutcome>& promise, SearchRequest req) {
        RetrievalSearch search(req.feature, req.colorWeight);
        search.SetProgress([&](SearchPhase phase, std::size_t index, std::size_t count) {
          if (promise.isCanceled()) return false;
          emit Progress(QString::fromStdString(ProgressCaption(phase, index, count)),
                        ProgressPercent(index, count));
          return true;
        });
        SearchOutcome outcome;
        outcome.code = search.Run(req.queryPath, req.queryType, req.records);
        if (outcome.code == kSuccess) outcome.records = std::move(req.records);
        promise.addResult(std::move(outcome));
      },
      std::move(request)));
  return true;
}

void SearchJob::Cancel() {
  if (m_bRunning) m_watcher.cancel();
}

bool SearchJob::IsRunning() const { return m_bRunning; }

SearchOutcome SearchJob::TakeOutcome() { return std::move(m_outcome); }

void SearchJob::OnWorkerFinished() {
  const QFuture<SearchOutcome> future = m_watcher.future();
  // A cancelled promise keeps no result.
  if (!future.isCanceled() && future.resultCount() > 0) {
    m_outcome = future.result();
  } else {
    m_outcome = SearchOutcome{};
  }
  m_bRunning = false;
  emit Finished(m_outcome.code);
}

}  // namespace orvane
