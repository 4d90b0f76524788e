#pragma once

#include <QFuture>
#include <QImage>
#include <QList>
#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/cancel_hook.h"

namespace orvane {

/// One thumbnail to make: the list item it is for and the file it shows.
struct ThumbnailRequest {
  int item = 0;
  std::string path;
};

/// Makes the 96 x 96 thumbnail of the file at `path` and stores the image's type code in
/// `type`: an ordinary file through the image reader's scaled decoding (EXIF orientation
/// applied), a PQZ file through its preview, each fitted with its aspect kept on the
/// background colour of its type. A file that cannot be read gives a plain grey thumbnail and
/// TYPE_ORDINARY_IMAGE. Safe on any thread; makes QImages only.
QImage MakeThumbnailImage(const std::string& path, std::uint16_t& type,
                          const CancelHook& cancel = {});

/// Makes the thumbnails of a page on a thread pool of its own, one cancellable job per
/// thumbnail, and hands each back on the thread the provider lives on as soon as it is made.
/// A new request abandons the unfinished work of the one before: every request has a
/// generation number, jobs of an older generation stop at their next check, and their late
/// results are dropped, so ThumbnailReady only ever carries thumbnails of the latest request.
class CThumbnailProvider : public QObject {
  Q_OBJECT

 public:
  explicit CThumbnailProvider(QObject* parent = nullptr);
  /// Cancels the jobs and waits for those already running.
  ~CThumbnailProvider() override;

  /// Abandons the unfinished work and starts making `requests`. The new generation.
  std::uint64_t Request(std::vector<ThumbnailRequest> requests);
  /// Abandons the unfinished work without starting new work.
  void Cancel();
  std::uint64_t Generation() const { return m_generation.load(); }
  /// Waits until every job has finished (tests and the benchmark).
  void WaitForDone() { m_pool.waitForDone(); }

 signals:
  /// One thumbnail of the latest request, on the provider's thread.
  void ThumbnailReady(int item, const QImage& thumbnail, int type);

 private:
  void Deliver(std::uint64_t generation, int item, const QImage& thumbnail, int type);

  QThreadPool m_pool;
  std::atomic<std::uint64_t> m_generation{0};
  QList<QFuture<void>> m_jobs;
};

}  // namespace orvane
