#include "imaging/image_file.h"

#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

#include "foundation/small_helpers.h"
#include "imaging/qt_image.h"

namespace orvane {

namespace {

QByteArray LowerAsciiText(QByteArray text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

// The writer format whose name equals the path's extension, or an empty array. The extension
// runs from the last dot of the whole path, so a name without one matches nothing.
QByteArray WriterFormatFor(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot + 1 == path.size()) {
    return {};
  }
  const QByteArray extension = LowerAsciiText(QByteArray::fromStdString(path.substr(dot + 1)));
  for (const QByteArray& format : QImageWriter::supportedImageFormats()) {
    if (LowerAsciiText(format) == extension) {
      return format;
    }
  }
  return {};
}

}  // namespace

void SetImageReaderAllocationLimit() {
  QImageReader::setAllocationLimit(kImageReaderAllocationLimitMb);
}

bool LoadImageFile(CImageEx& image, const std::string& path) {
  image.Destroy();
  // decodeName: file names are bytes in the locale's encoding, not necessarily UTF-8.
  QImageReader reader(QFile::decodeName(QByteArray::fromStdString(path)));
  reader.setAutoTransform(true);
  const QImage picture = reader.read();
  if (picture.isNull()) {
    return false;
  }
  return FromQImage(picture, image);
}

bool SaveImageFile(const CImageEx& image, const std::string& path) {
  if (image.IsNull() || path.empty()) {
    return false;
  }
  const QByteArray format = WriterFormatFor(path);
  if (format.isEmpty()) {
    return false;
  }
  const QImage picture = ToQImage(image);
  if (picture.isNull()) {
    return false;
  }
  // QSaveFile writes beside the target and renames only on commit; leaving this scope without
  // a commit discards the temporary file.
  QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
  if (!file.open(QIODevice::WriteOnly)) {
    return false;
  }
  QImageWriter writer(&file, format);
  if (!writer.write(picture)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace orvane
