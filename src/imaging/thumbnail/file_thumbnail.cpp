#include "imaging/thumbnail/file_thumbnail.h"

#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ostream>

#include "imaging/file_type.h"
#include "imaging/image_ex.h"
#include "imaging/loading/load_file.h"
#include "imaging/qt_image.h"
#include "pqz/decode_limits.h"
#include "pqz/pqz_codec.h"
#include "pqz/pqz_header.h"

namespace orvane {
namespace {

QString LocalName(const std::string& path) {
  // File names are bytes in the locale's encoding, not necessarily UTF-8.
  return QFile::decodeName(QByteArray::fromStdString(path));
}

bool WithinLimits(std::int64_t width, std::int64_t height, const DecodeLimits& limits) {
  return width > 0 && height > 0 &&
         static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= limits.MaxPixels;
}

// The header of the file when it is a PQZ file, whatever its name. False for any other file
// (an unreadable one included: the image reader then gives the exact reason).
bool ReadHeaderOf(const std::string& path, PqzHeader& header) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return false;
  }
  const bool ok = ReadPqzHeader(file, header) == kSuccess;
  std::fclose(file);
  return ok;
}

// The picture a PQZ thumbnail is made from: the preview through LoadFile, the program's one
// way of loading by name. A PQZ file under another name (a download without its extension,
// recognised by its content) cannot go through LoadFile, which decides by name, so it gets
// the codec's preview directly. The decoder's timing lines are dropped: a thumbnail is made
// quietly, often many at once.
ResultCode LoadPqzPicture(const std::string& path, const CancelHook& cancel,
                          const DecodeLimits& limits, QImage& picture) {
  std::ostream quiet(nullptr);
  CImageEx image;
  if (GetFileTypeCode(path) == FILE_TYPE_PQZ) {
    LoadContext context;
    context.Cancel = cancel;
    context.Limits = limits;
    context.Report = &quiet;
    if (const LoadResult loaded = LoadFile(image, path, LoadMode::kPreview, context);
        !loaded.Loaded()) {
      return loaded.Code;
    }
  } else {
    // The preview reads one section and has no steps to ask between; ask before it, as
    // LoadFile does.
    if (IsCanceled(cancel)) {
      return kCanceled;
    }
    PqzCodec codec;
    codec.SetDecodeLimits(limits);
    codec.SetReportSink(quiet);
    codec.SetCancelHook(cancel);
    if (const ResultCode rc = codec.Preview(image, path); rc != kSuccess) {
      return rc;
    }
  }
  picture = ToQImage(image);
  return picture.isNull() ? kNoMemory : kSuccess;
}

ResultCode MakePqzThumbnail(const std::string& path, const PqzHeader& header, int side,
                            const CancelHook& cancel, const DecodeLimits& limits,
                            QImage& thumbnail) {
  if (!WithinLimits(header.ImageWidth, header.ImageHeight, limits)) {
    return kNoMemory;
  }
  QImage picture;
  if (const ResultCode rc = LoadPqzPicture(path, cancel, limits, picture); rc != kSuccess) {
    return rc;
  }
  // The preview holds one pixel per patch; it is drawn at the size of the encoded picture
  // fitted into the box, so a thumbnail has the same size whichever way it was made.
  const QSize size = FitThumbnailSize(header.ImageWidth, header.ImageHeight, side);
  QImage scaled = ScaleSmoothly(picture, size);
  if (scaled.isNull()) {
    return kNoMemory;
  }
  thumbnail = std::move(scaled);
  return kSuccess;
}

ResultCode MakeReaderThumbnail(const std::string& path, int side, const DecodeLimits& limits,
                               QImage& thumbnail) {
  QImageReader reader(LocalName(path));
  reader.setAutoTransform(true);
  if (!reader.canRead()) {
    return QFile::exists(LocalName(path)) ? kInvalidFileType : kCannotOpenFile;
  }
  const QSize stored = reader.size();  // before the EXIF turn, as the reader decodes it
  if (stored.isValid() && !WithinLimits(stored.width(), stored.height(), limits)) {
    return kNoMemory;
  }
  const bool scaledDecode = stored.isValid() && reader.format() == "jpeg";
  if (scaledDecode) {
    // The reader stretches to exactly the size asked, so the size must keep the aspect.
    reader.setScaledSize(FitThumbnailSize(stored.width(), stored.height(), side));
  }
  QImage picture = reader.read();
  if (picture.isNull()) {
    return reader.error() == QImageReader::FileNotFoundError ? kCannotOpenFile : kInvalidFileType;
  }
  if (!scaledDecode) {
    if (!WithinLimits(picture.width(), picture.height(), limits)) {
      return kNoMemory;
    }
    const QSize size = FitThumbnailSize(picture.width(), picture.height(), side);
    if (size != picture.size()) {
      picture = ScaleSmoothly(picture, size);
      if (picture.isNull()) {
        return kNoMemory;
      }
    }
  }
  thumbnail = std::move(picture);
  return kSuccess;
}

}  // namespace

QImage ScaleSmoothly(const QImage& picture, QSize size) {
  const QImage::Format format =
      picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
  return picture.convertToFormat(format).scaled(size, Qt::IgnoreAspectRatio,
                                                Qt::SmoothTransformation);
}

QSize FitThumbnailSize(int width, int height, int side) {
  if (width <= 0 || height <= 0 || side <= 0) {
    return {};
  }
  if (width <= side && height <= side) {
    return {width, height};
  }
  const double scale = static_cast<double>(side) / std::max(width, height);
  const auto fit = [&](int length) {
    return std::clamp(static_cast<int>(std::lround(length * scale)), 1, side);
  };
  return {fit(width), fit(height)};
}

ResultCode MakeFileThumbnail(const std::string& path, int side, QImage& thumbnail,
                             const CancelHook& cancel, const DecodeLimits& limits) {
  if (side < 1 || side > kMaxThumbnailSide) {
    return kInvalidArguments;
  }
  PqzHeader header;
  if (ReadHeaderOf(path, header)) {
    return MakePqzThumbnail(path, header, side, cancel, limits, thumbnail);
  }
  return MakeReaderThumbnail(path, side, limits, thumbnail);
}

}  // namespace orvane
