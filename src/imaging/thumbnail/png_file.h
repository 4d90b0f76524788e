#pragma once

#include <QString>

class QImage;

namespace orvane {

/// Who may read a written file.
enum class FileAccess {
  kDefault,    ///< as the process's umask allows
  kOwnerOnly,  ///< mode 0600, from before the file has its name
};

/// Whether a written file is on the disk before it takes its name.
enum class Durability {
  /// Flushed to the disk first: after a crash the name holds the old file or the new one.
  kSynced,
  /// Not flushed, some milliseconds quicker a file: after a crash the name may hold an empty
  /// or partial file. For cache entries, whose readers take such a file for a missing entry.
  kUnsynced,
};

/// Writes `picture` as a PNG file at `path`, whatever the path's extension, with the
/// picture's text keys (QImage::setText) as PNG text chunks, at zlib's fastest level. The
/// file is written beside the target under a temporary name and renamed over it only when
/// complete, so readers never see a partial file, a failed write leaves nothing behind and an
/// existing target stays as it was. False for a null picture or a failed write.
bool WritePngFileAtomically(const QImage& picture, const QString& path,
                            FileAccess access = FileAccess::kDefault,
                            Durability durability = Durability::kSynced);

}  // namespace orvane
