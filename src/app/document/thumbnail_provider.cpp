#include "app/document/thumbnail_provider.h"

#include <QImageReader>
#include <QPainter>
#include <QPromise>
#include <algorithm>

#include <QtConcurrent/QtConcurrentRun>

#include "app/dialogs/fit_geometry.h"
#include "app/document/image_loading.h"
#include "imaging/file_type.h"
#include "imaging/image_ex.h"
#include "imaging/qt_image.h"

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

// Budget of one decoded ordinary image, in megabytes; the reader's own default of 128 MB
// would refuse ordinary large PNG or TIFF photos.
constexpr int kReaderAllocationLimitMb = 1024;
constexpr int kThumbnailDecodeQuality = 49;

QImage OrdinaryThumbnail(const std::string& path, const CancelHook& cancel) {
  QImage thumbnail = BlankThumbnail(TYPE_ORDINARY_IMAGE);
  QImageReader reader(QString::fromStdString(path));
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
  reader.setAllocationLimit(kReaderAllocationLimitMb);
  const QSize stored = reader.size();
  const QRect fitted = FittedRect(stored, QSize(kThumbnailSide, kThumbnailSide));
  // The reader stretches to exactly the size it is asked for, so it is given the fitted size.
  // The box is square, so fitting the stored size and turning the result by the EXIF
  // orientation gives the same picture as fitting the upright size. Pictures smaller than
  // the box are read at their size and enlarged below.
  const bool shrink = fitted.isValid() && fitted.width() < stored.width();
  if (shrink) reader.setScaledSize(fitted.size());
  // Below 50 the JPEG reader uses the fast integer transform without fancy upsampling: at an
  // eighth of the size nobody sees the difference, and the decode is markedly quicker.
  reader.setQuality(kThumbnailDecodeQuality);
  if (IsCanceled(cancel)) return thumbnail;
  QImage picture = reader.read();
  if (picture.isNull()) return thumbnail;
  const QRect box = FittedRect(picture.size(), QSize(kThumbnailSide, kThumbnailSide));
  QPainter painter(&thumbnail);
  if (shrink) {
    painter.drawImage(
        QPoint((kThumbnailSide - picture.width()) / 2, (kThumbnailSide - picture.height()) / 2),
        picture);
  } else {
    painter.drawImage(box, picture);
  }
  return thumbnail;
}

}  // namespace

QImage MakeThumbnailImage(const std::string& path, std::uint16_t& type, const CancelHook& cancel) {
  if (GetFileTypeCode(path) != FILE_TYPE_PQZ) {
    type = TYPE_ORDINARY_IMAGE;
    return OrdinaryThumbnail(path, cancel);
  }
  CImageEx image;
  LoadImageForView(image, path, LoadMode::kPreview, cancel);
  type = image.m_nImageType;
  image.FitToBox(kThumbnailSide, kThumbnailSide);
  const QImage thumbnail = ToQImage(image.MakeThumbnail());
  return thumbnail.isNull() ? BlankThumbnail(type) : thumbnail;
}

CThumbnailProvider::CThumbnailProvider(QObject* parent) : QObject(parent) {
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
          const QImage thumbnail = MakeThumbnailImage(job.path, type, cancel);
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
