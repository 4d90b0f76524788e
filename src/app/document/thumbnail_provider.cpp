#include "app/document/thumbnail_provider.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPromise>
#include <algorithm>

#include <QtConcurrent/QtConcurrentRun>

#include "app/dialogs/fit_geometry.h"
#include "imaging/file_type.h"
#include "imaging/image_ex.h"
#include "imaging/thumbnail/file_thumbnail.h"
#include "pqz/pqz_header.h"

namespace orvane {
namespace {

QColor ToQColor(std::uint32_t bgr) {
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QImage BlankThumbnail(std::uint16_t type) {
  QImage thumbnail(kThumbnailSide, kThumbnailSide, QImage::Format_RGB32);
  thumbnail.fill(ToQColor(BackgroundColour(type)));
  return thumbnail;
}

// The 96 x 96 thumbnail of a cache picture: fitted into the box with its aspect kept and
// centred, as CImageEx::FitToBox places it, on the background colour of `type`. A cache
// picture is at most 128 pixels, so a photo shrinks by about 3 : 4; the smooth scaler
// averages the pixels each target pixel covers, where sampling would drop every fourth row
// and column. Pictures smaller than the box are enlarged pixel by pixel, so that a small
// icon keeps its sharp edges.
QImage FitIntoThumbnail(const QImage& picture, std::uint16_t type) {
  QImage thumbnail = BlankThumbnail(type);
  const QRect box = FittedRect(picture.size(), QSize(kThumbnailSide, kThumbnailSide));
  if (picture.isNull() || !box.isValid()) return thumbnail;
  QPainter painter(&thumbnail);
  if (box.width() < picture.width() || box.height() < picture.height()) {
    // In one format whether the picture was just made (a PQZ picture has 24 bits) or read
    // back from its PNG entry, so that a revisit shows the very same thumbnail.
    painter.drawImage(box.topLeft(), ScaleSmoothly(picture, box.size()));
  } else {
    painter.drawImage(box, picture);
  }
  return thumbnail;
}

// The type code a listed file gets once its picture was made, the one its load gives it: a
// PQZ file (recognised by name, as the loading decides) carries its header's iteration flag,
// any other file is an ordinary image. Only the 44 header bytes are read.
std::uint16_t LoadedTypeOf(const std::string& path) {
  std::uint16_t iterationFlag = 0;
  if (GetFileTypeCode(path) == FILE_TYPE_PQZ && ProbePqzFile(path, &iterationFlag) == kSuccess) {
    return iterationFlag;
  }
  return TYPE_ORDINARY_IMAGE;
}

// Whether a failed MakeFileThumbnail says something lasting about this version of the file,
// worth a failure entry: its bytes were read and are no picture (or one beyond the limits).
// A file that cannot be opened may be readable once its rights change, which leaves its
// modification time alone; a cancelled or refused call says nothing about the file.
bool IsLastingFailure(ResultCode rc, const QString& name) {
  return rc != kCanceled && rc != kCannotOpenFile && rc != kInvalidArguments &&
         QFileInfo(name).isReadable();
}

}  // namespace

QImage MakeThumbnailImage(const std::string& path, const ThumbnailCache& cache, std::uint16_t& type,
                          const CancelHook& cancel) {
  type = TYPE_ORDINARY_IMAGE;
  // File names are bytes in the locale's encoding, not necessarily UTF-8.
  const QString name = QFile::decodeName(QByteArray::fromStdString(path));
  QImage picture;
  switch (cache.Lookup(name, picture)) {
    case CacheLookup::kHit:
      break;
    case CacheLookup::kFailed:
      return BlankThumbnail(type);
    case CacheLookup::kMiss: {
      if (IsCanceled(cancel)) return BlankThumbnail(type);
      const ResultCode rc = MakeFileThumbnail(path, ThumbnailCache::kNormalSide, picture, cancel);
      if (rc != kSuccess) {
        if (IsLastingFailure(rc, name)) cache.StoreFailure(name);
        return BlankThumbnail(type);
      }
      // Stored even when the page has been left meanwhile: the decode is done, and the next
      // visit finds it. A file inside the cache itself is not stored, which Store refuses.
      cache.Store(name, picture);
      if (IsCanceled(cancel)) return BlankThumbnail(type);
      break;
    }
  }
  type = LoadedTypeOf(path);
  return FitIntoThumbnail(picture, type);
}

CThumbnailProvider::CThumbnailProvider(QObject* parent)
    : CThumbnailProvider(ThumbnailCache(), parent) {}

CThumbnailProvider::CThumbnailProvider(ThumbnailCache cache, QObject* parent)
    : QObject(parent), m_cache(std::move(cache)) {
  m_pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
}

CThumbnailProvider::~CThumbnailProvider() {
  Cancel();
  m_pool.waitForDone();
}

void CThumbnailProvider::Cancel() {
  ++m_generation;
  for (QFuture<void>& job : m_jobs) job.cancel();
  m_jobs.clear();
}

std::uint64_t CThumbnailProvider::Request(std::vector<ThumbnailRequest> requests) {
  Cancel();
  const std::uint64_t generation = m_generation.load();
  for (ThumbnailRequest& request : requests) {
    m_jobs.append(QtConcurrent::run(
        &m_pool,
        [this, generation](QPromise<void>& promise, ThumbnailRequest job) {
          const CancelHook cancel = [this, generation, &promise] {
            return promise.isCanceled() || m_generation.load() != generation;
          };
          if (cancel()) return;
          std::uint16_t type = TYPE_ORDINARY_IMAGE;
          const QImage thumbnail = MakeThumbnailImage(job.path, m_cache, type, cancel);
          if (cancel()) return;
          // Delivered through the provider's event loop; a provider that is gone by then
          // takes the posted call with it.
          QMetaObject::invokeMethod(
              this,
              [this, generation, item = job.item, thumbnail, type] {
                Deliver(generation, item, thumbnail, type);
              },
              Qt::QueuedConnection);
        },
        std::move(request)));
  }
  return generation;
}

void CThumbnailProvider::Deliver(std::uint64_t generation, int item, const QImage& thumbnail,
                                 int type) {
  if (generation != m_generation.load()) return;  // a late result of abandoned work
  emit ThumbnailReady(item, thumbnail, type);
}

}  // namespace orvane
