#include "imaging/thumbnail/thumbnail_cache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include "imaging/thumbnail/png_file.h"

#ifndef ORVANE_VERSION
#error "ORVANE_VERSION must give the program's version"
#endif

namespace orvane {
namespace {

constexpr const char* kUriKey = "Thumb::URI";
constexpr const char* kMTimeKey = "Thumb::MTime";
constexpr const char* kSizeKey = "Thumb::Size";
constexpr const char* kSoftwareKey = "Software";
constexpr const char* kSoftware = "Orvane " ORVANE_VERSION;
constexpr const char* kFailureFolder = "fail/orvane-" ORVANE_VERSION;

// A cached thumbnail is small; anything claiming more than this is not one of ours, and is
// never decoded.
constexpr int kLargestEntrySide = 1024;

QString EntryName(const QString& path) {
  return QString::fromLatin1(
             QCryptographicHash::hash(ThumbnailCache::FileUri(path), QCryptographicHash::Md5)
                 .toHex()) +
         QStringLiteral(".png");
}

// The file's modification time in whole seconds as the keys spell it; empty for a file that
// does not exist.
QString MTimeOf(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) {
    return {};
  }
  return QString::number(info.lastModified().toSecsSinceEpoch());
}

// Makes `leaf` and the folders between it and `root` (root included) that do not exist yet,
// each readable by the user alone; folders that exist are left as their owner set them.
bool MakePrivateFolders(const QString& root, const QString& leaf) {
  // The root's parent ($XDG_CACHE_HOME) is an ordinary folder of the user's.
  if (!QDir().mkpath(QFileInfo(root).path())) {
    return false;
  }
  QStringList chain;
  for (QString folder = leaf; folder.size() >= root.size(); folder = QFileInfo(folder).path()) {
    chain.prepend(folder);
    if (folder == root) {
      break;
    }
  }
  for (const QString& folder : chain) {
    if (QFileInfo(folder).isDir()) {
      continue;
    }
    // A folder made meanwhile by another process is as good as one made here.
    if (!QDir().mkdir(folder) && !QFileInfo(folder).isDir()) {
      return false;
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  return true;
}

// Reads the entry at `entry` when it is a valid entry of `path` as it is now.
bool ReadValidEntry(const QString& entry, const QString& path, QImage& picture) {
  const QString mtime = MTimeOf(path);
  if (mtime.isEmpty()) {
    return false;
  }
  QImageReader reader(entry, "png");
  const QSize size = reader.size();
  if (!size.isValid() || size.width() > kLargestEntrySide || size.height() > kLargestEntrySide) {
    return false;
  }
  QImage read = reader.read();
  // The keys are read from the picture: the reader's own text() splits "key: value" pairs at
  // the first colon and so cannot name "Thumb::URI".
  if (read.isNull() ||
      read.text(QString::fromLatin1(kUriKey)) !=
          QString::fromLatin1(ThumbnailCache::FileUri(path)) ||
      read.text(QString::fromLatin1(kMTimeKey)) != mtime) {
    return false;
  }
  picture = std::move(read);
  return true;
}

// The folder the shared cache lives in, found as the other programs find it: $XDG_CACHE_HOME
// when it is an absolute path, ~/.cache when it is relative (such a value is to be ignored),
// else the platform's cache folder. The variable is read here because Qt's test mode moves
// the standard folders to ~/.qttest whatever it says, and a test points the cache at a folder
// of its own through it.
QString CacheHome() {
  const QString home = QFile::decodeName(qgetenv("XDG_CACHE_HOME"));
  if (home.isEmpty()) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  }
  return QDir::isAbsolutePath(home) ? home : QDir::homePath() + QStringLiteral("/.cache");
}

}  // namespace

ThumbnailCache::ThumbnailCache() : ThumbnailCache(CacheHome() + QStringLiteral("/thumbnails")) {}

ThumbnailCache::ThumbnailCache(QString root) : m_root(std::move(root)) {}

QByteArray ThumbnailCache::FileUri(const QString& path) {
  return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
}

QString ThumbnailCache::NormalEntryPath(const QString& path) const {
  return m_root + QStringLiteral("/normal/") + EntryName(path);
}

QString ThumbnailCache::FailureEntryPath(const QString& path) const {
  return m_root + QLatin1Char('/') + QString::fromLatin1(kFailureFolder) + QLatin1Char('/') +
         EntryName(path);
}

CacheLookup ThumbnailCache::Lookup(const QString& path, QImage& thumbnail) const {
  QImage picture;
  if (ReadValidEntry(NormalEntryPath(path), path, picture)) {
    if (picture.width() > kNormalSide || picture.height() > kNormalSide) {
      return CacheLookup::kMiss;  // a "large" thumbnail filed under "normal" by mistake
    }
    thumbnail = std::move(picture);
    return CacheLookup::kHit;
  }
  if (ReadValidEntry(FailureEntryPath(path), path, picture)) {
    return CacheLookup::kFailed;
  }
  return CacheLookup::kMiss;
}

bool ThumbnailCache::Store(const QString& path, const QImage& picture) const {
  if (picture.isNull()) {
    return false;
  }
  QImage thumbnail = picture;
  if (picture.width() > kNormalSide || picture.height() > kNormalSide) {
    thumbnail =
        picture.scaled(kNormalSide, kNormalSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return WriteEntry(NormalEntryPath(path), path, std::move(thumbnail));
}

bool ThumbnailCache::StoreFailure(const QString& path) const {
  QImage mark(1, 1, QImage::Format_ARGB32);
  mark.fill(Qt::transparent);
  return WriteEntry(FailureEntryPath(path), path, std::move(mark));
}

bool ThumbnailCache::WriteEntry(const QString& entry, const QString& path, QImage picture) const {
  const QString mtime = MTimeOf(path);
  if (mtime.isEmpty()) {
    return false;
  }
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const QString root = QFileInfo(m_root).absoluteFilePath() + QLatin1Char('/');
  if (absolute.startsWith(root)) {
    return false;
  }
  if (!MakePrivateFolders(QFileInfo(m_root).absoluteFilePath(), QFileInfo(entry).absolutePath())) {
    return false;
  }
  picture.setText(QString::fromLatin1(kUriKey), QString::fromLatin1(FileUri(path)));
  picture.setText(QString::fromLatin1(kMTimeKey), mtime);
  picture.setText(QString::fromLatin1(kSizeKey), QString::number(QFileInfo(path).size()));
  picture.setText(QString::fromLatin1(kSoftwareKey), QString::fromLatin1(kSoftware));
  // An entry a crash leaves half written reads as a miss and is made again.
  return WritePngFileAtomically(picture, entry, FileAccess::kOwnerOnly, Durability::kUnsynced);
}

}  // namespace orvane
