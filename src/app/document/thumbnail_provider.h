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
#include "imaging/thumbnail/thumbnail_cache.h"

namespace orvane {

/// One thumbnail to make: the list item it is for and the file it shows.
struct ThumbnailRequest {
  int item = 0;
  std::string path;
};

/// Makes the 96 x 96 thumbnail of the file at `path` through the shared thumbnail cache and
/// stores the image's type code in `type`. The thumbnail is drawn from the file's 128-pixel
/// cache picture, fitted with its aspect kept on the background colour of its type: a valid
/// entry is used as it is; without one the picture is made by MakeFileThumbnail and stored.
/// A file that cannot be read gets a failure entry, and a file with one gets a plain grey
/// thumbnail and TYPE_ORDINARY_IMAGE without being read again. A PQZ file (by name) has its
/// header's iteration flag as type, as its load gives it, any other file
/// TYPE_ORDINARY_IMAGE. Safe on any thread; makes QImages only.
QImage MakeThumbnailImage(const std::string& path, const ThumbnailCache& cache, std::uint16_t& type,
                          const CancelHook& cancel = {});

/// Makes the thumbnails of a page on a thread pool of its own, one cancellable job per
/// thumbnail, and hands each back on the thread the provider lives on as soon as it is made.
/// A new request abandons the unfinished work of the one before: every request has a
/// generation number, jobs of an older generation stop at their next check, and their late
/// results are dropped, so ThumbnailReady only ever carries thumbnails of the latest request.
/// The jobs read and fill the shared thumbnail cache; the interface thread never touches it.
class CThumbnailProvider : public QObject {
  Q_OBJECT

 public:
  /// Jobs through the user's shared thumbnail cache.
  explicit CThumbnailProvider(QObject* parent = nullptr);
  /// Jobs through `cache` (the benchmark's own).
  explicit CThumbnailProvider(ThumbnailCache cache, QObject* parent = nullptr);
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

  const ThumbnailCache m_cache;
  QThreadPool m_pool;
  std::atomic<std::uint64_t> m_generation{0};
  QList<QFuture<void>> m_jobs;
};

}  // namespace orvane
