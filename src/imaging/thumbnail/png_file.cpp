#include "imaging/thumbnail/png_file.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QSaveFile>
#include <cstdio>

namespace orvane {
namespace {

constexpr int kPngWriteQuality = 80;

bool WritePng(const QImage& picture, QIODevice& device) {
  QImageWriter writer(&device, "png");
  // Qt's PNG writer maps quality 80 to zlib level 1: a thumbnail of a photo comes out some
  // 5 % larger than at the default level and is written in a third of the time, which a
  // page of new thumbnails notices.
  writer.setQuality(kPngWriteQuality);
  return writer.write(picture);
}

// QSaveFile writes a temporary file in the target's folder (so the rename stays on one file
// system and is atomic), flushes it to the disk on commit() and discards it unless commit()
// is reached.
bool WriteSynced(const QImage& picture, const QString& path, FileAccess access) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    return false;
  }
  // On an open QSaveFile this changes the temporary file, so the target never appears with
  // wider rights.
  if (access == FileAccess::kOwnerOnly &&
      !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
    file.cancelWriting();
    return false;
  }
  if (!WritePng(picture, file)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

// The same steps without the flush, which costs more than writing a small file: a fresh
// temporary name beside the target, made with its rights from the start (the umask applies
// as it does to any new file), then renamed over the target.
bool WriteUnsynced(const QImage& picture, const QString& path, FileAccess access) {
  const QFileDevice::Permissions rights =
      access == FileAccess::kOwnerOnly
          ? QFileDevice::ReadOwner | QFileDevice::WriteOwner
          : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
  // NewOnly: a name another writer holds is never shared; a clash tries another name.
  QFile file;
  for (int attempt = 0; attempt < 8 && !file.isOpen(); ++attempt) {
    file.setFileName(path + QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8,
                                                          16, QLatin1Char('0')));
    file.open(QIODevice::WriteOnly | QIODevice::NewOnly, rights);
  }
  if (!file.isOpen()) {
    return false;
  }
  const bool written = WritePng(picture, file) && file.flush();
  file.close();
  if (!written || file.error() != QFileDevice::NoError ||
      std::rename(QFile::encodeName(file.fileName()).constData(),
                  QFile::encodeName(path).constData()) != 0) {
    file.remove();
    return false;
  }
  return true;
}

}  // namespace

bool WritePngFileAtomically(const QImage& picture, const QString& path, FileAccess access,
                            Durability durability) {
  if (picture.isNull() || path.isEmpty()) {
    return false;
  }
  return durability == Durability::kSynced ? WriteSynced(picture, path, access)
                                           : WriteUnsynced(picture, path, access);
}

}  // namespace orvane
