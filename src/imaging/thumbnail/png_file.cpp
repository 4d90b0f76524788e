#include "imaging/thumbnail/png_file.h"

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

namespace orvane {

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
  if (!writer.write(picture)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace orvane
