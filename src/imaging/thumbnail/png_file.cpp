#include "imaging/thumbnail/png_file.h"

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

namespace orvane {
namespace {

constexpr int kPngWriteQuality = 80;

}  // namespace

bool WritePngFileAtomically(const QImage& picture, const QString& path, FileAccess access) {
  if (picture.isNull() || path.isEmpty()) {
    return false;
  }
  // QSaveFile writes a temporary file in the target's folder (so the rename stays on one file
  // system and is atomic) and discards it unless commit() is reached.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    return false;
  }
  // On an open QSaveFile this changes the temporary file, so the entry never appears with
  // wider rights.
  if (access == FileAccess::kOwnerOnly &&
      !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
    file.cancelWriting();
    return false;
  }
  QImageWriter writer(&file, "png");
  // Qt's PNG writer maps quality 80 to zlib level 1: a thumbnail of a photo comes out some
  // 5 % larger than at the default level and is written in a third of the time, which a
  // page of new thumbnails notices.
  writer.setQuality(kPngWriteQuality);
  if (!writer.write(picture)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace orvane
