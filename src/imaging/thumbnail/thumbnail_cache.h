#pragma once

#include <QImage>
#include <QString>

namespace orvane {

/// What the shared cache knows of a file.
enum class CacheLookup {
  kMiss,    ///< nothing valid: make the thumbnail (and store it)
  kHit,     ///< a valid thumbnail was read
  kFailed,  ///< this program failed on this very version of the file before
};

/// The freedesktop shared thumbnail cache, which the file managers and other viewers share:
/// `ROOT/normal/<md5 of the file's URI>.png` holds a PNG of at most 128 x 128 pixels carrying
/// the file's URI (`Thumb::URI`) and modification time in seconds (`Thumb::MTime`), and
/// `ROOT/fail/orvane-VERSION/<md5>.png` marks a file this program could not read. ROOT is
/// `$XDG_CACHE_HOME/thumbnails` (`~/.cache/thumbnails` when unset). Folders are made with mode
/// 0700, files with mode 0600, each written beside its place and renamed into it when
/// complete, so another process never reads half a thumbnail.
///
/// An entry is valid only while its URI and MTime keys match the file: a file changed since
/// (or a hash collision) reads as a miss, and storing again replaces the entry. Safe to use
/// from several threads and processes at once; the object holds only the root.
class ThumbnailCache {
 public:
  /// Longest side of a `normal` thumbnail.
  static constexpr int kNormalSide = 128;

  /// The cache of the user's `$XDG_CACHE_HOME`.
  ThumbnailCache();
  /// The cache under `root` (for tests and for programs with a cache of their own).
  explicit ThumbnailCache(QString root);

  const QString& Root() const { return m_root; }

  /// The entry of the local file `path`: kHit with `thumbnail` set, kFailed, or kMiss (also
  /// for a file that does not exist, and for an entry that is not a valid thumbnail of the
  /// file). `thumbnail` is written only on a hit.
  CacheLookup Lookup(const QString& path, QImage& thumbnail) const;

  /// Stores `picture` as the thumbnail of `path`, scaled down to fit 128 x 128 when larger.
  /// False when the file does not exist, lies inside the cache itself (thumbnails are never
  /// made of thumbnails) or the entry cannot be written.
  bool Store(const QString& path, const QImage& picture) const;

  /// Records that this program could not read the current version of `path`; the next
  /// Lookup answers kFailed until the file changes.
  bool StoreFailure(const QString& path) const;

  /// The file URI the entries of `path` are keyed by: `file://` and the absolute path,
  /// percent-encoded.
  static QByteArray FileUri(const QString& path);
  /// Where the thumbnail of `path` is (or would be) kept.
  QString NormalEntryPath(const QString& path) const;
  /// Where the failure entry of `path` is (or would be) kept.
  QString FailureEntryPath(const QString& path) const;

 private:
  bool WriteEntry(const QString& entry, const QString& path, QImage picture) const;

  QString m_root;
};

}  // namespace orvane
