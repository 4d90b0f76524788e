#include "imaging/image_file.h"

#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>

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
  // BMP is built into the writer. Listing the formats loads every image plugin (several
  // milliseconds on a program's first save), which a decode to BMP never needs.
  if (extension == "bmp") return extension;
  for (const QByteArray& format : QImageWriter::supportedImageFormats()) {
    if (LowerAsciiText(format) == extension) {
      return format;
    }
  }
  return {};
}

void PutLe(std::uint8_t* at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A 24-bit image is stored bottom-up in rows padded to 4 bytes, which is exactly the pixel
// array of an uncompressed BMP file: the file is its header and one write of the buffer. This
// keeps a decoded picture from being copied (and converted) once more on its way out, which
// for the largest pictures would cost more memory than the picture itself. The header is the
// one Qt's writer gives for the same picture.
bool WriteBmp24(const CImageEx& image, QSaveFile& file) {
  const std::uint64_t stride = static_cast<std::uint64_t>(-image.GetPitch());
  const std::uint64_t pixelBytes = stride * static_cast<std::uint64_t>(image.GetHeight());
  constexpr std::uint32_t kHeaderBytes = 14 + 40;
  constexpr std::uint32_t kPixelsPerMeter = 3937;
  if (pixelBytes + kHeaderBytes > UINT32_MAX) return false;
  std::array<std::uint8_t, kHeaderBytes> header{};
  header[0] = 'B';
  header[1] = 'M';
  PutLe(&header[2], static_cast<std::uint32_t>(pixelBytes + kHeaderBytes), 4);
  PutLe(&header[10], kHeaderBytes, 4);
  PutLe(&header[14], 40, 4);
  PutLe(&header[18], static_cast<std::uint32_t>(image.GetWidth()), 4);
  PutLe(&header[22], static_cast<std::uint32_t>(image.GetHeight()), 4);  // positive: bottom-up
  PutLe(&header[26], 1, 2);
  PutLe(&header[28], 24, 2);
  PutLe(&header[34], static_cast<std::uint32_t>(pixelBytes), 4);
  PutLe(&header[38], kPixelsPerMeter, 4);
  PutLe(&header[42], kPixelsPerMeter, 4);
  // The bottom row comes first in memory.
  const char* lowest = reinterpret_cast<const char*>(
      image.GetBits() + static_cast<std::ptrdiff_t>(image.GetHeight() - 1) * image.GetPitch());
  return file.write(reinterpret_cast<const char*>(header.data()), header.size()) ==
             static_cast<qint64>(header.size()) &&
         file.write(lowest, static_cast<qint64>(pixelBytes)) == static_cast<qint64>(pixelBytes);
}

// Writes with Qt's writer for `format`; commits only a complete file.
bool WriteWithQt(const QImage& picture, const QByteArray& format, QSaveFile& file) {
  if (picture.isNull() || !file.open(QIODevice::WriteOnly)) {
    return false;
  }
  QImageWriter writer(&file, format);
  if (!writer.write(picture)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
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
  // QSaveFile writes beside the target and renames only on commit; leaving this scope without
  // a commit discards the temporary file.
  QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
  if (format == "bmp" && image.GetBPP() == 24 && image.GetPitch() < 0) {
    if (!file.open(QIODevice::WriteOnly) || !WriteBmp24(image, file)) {
      file.cancelWriting();
      return false;
    }
    return file.commit();
  }
  return WriteWithQt(ToQImage(image), format, file);
}

bool SaveImageFile(CImageEx&& image, const std::string& path) {
  CImageEx owned = std::move(image);
  const QByteArray format = WriterFormatFor(path);
  if (owned.IsNull() || owned.GetBPP() != 24 || owned.GetPitch() >= 0 || owned.SharesPixels() ||
      format.isEmpty() || format == "bmp") {
    return SaveImageFile(owned, path);
  }
  // Bottom-up rows reversed in place run top-down from the buffer's start, which is a
  // blue-green-red picture Qt's writers read without a copy. `owned` is not used as an image
  // after this, so its rows may be left in any order.
  const int height = owned.GetHeight();
  const std::size_t stride = static_cast<std::size_t>(-owned.GetPitch());
  std::uint8_t* first =
      owned.GetBits() + static_cast<std::ptrdiff_t>(height - 1) * owned.GetPitch();
  for (int y = 0; y < height / 2; ++y) {
    std::uint8_t* upper = first + static_cast<std::size_t>(y) * stride;
    std::uint8_t* lower = first + static_cast<std::size_t>(height - 1 - y) * stride;
    std::swap_ranges(upper, upper + stride, lower);
  }
  const QImage picture(static_cast<const uchar*>(first), owned.GetWidth(), height,
                       static_cast<qsizetype>(stride), QImage::Format_BGR888);
  QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
  return WriteWithQt(picture, format, file);
}

}  // namespace orvane
