#include "imaging/qt_image.h"

#include <QList>
#include <QRgb>
#include <cstring>
#include <vector>

namespace orvane {

namespace {

// COLORREF (0x00BBGGRR) from QRgb (0xAARRGGBB) and back.
std::uint32_t ColourOf(QRgb rgb) {
  return static_cast<std::uint32_t>(qRed(rgb)) | static_cast<std::uint32_t>(qGreen(rgb)) << 8 |
         static_cast<std::uint32_t>(qBlue(rgb)) << 16;
}

QRgb RgbOf(std::uint32_t colour) {
  return qRgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
              static_cast<int>((colour >> 16) & 0xFF));
}

bool FromIndexed(const QImage& picture, CImageEx& image) {
  const int width = picture.width();
  const int height = picture.height();
  if (!image.Create(width, height, 8)) {
    return false;
  }
  std::vector<std::uint32_t> table;
  if (picture.format() == QImage::Format_Grayscale8) {
    for (int i = 0; i < 256; ++i) {
      table.push_back(static_cast<std::uint32_t>(i) * 0x010101u);
    }
  } else {
    const QList<QRgb> colours = picture.colorTable();
    for (qsizetype i = 0; i < colours.size() && i < 256; ++i) {
      table.push_back(ColourOf(colours[i]));
    }
  }
  image.SetColourTable(table);
  for (int y = 0; y < height; ++y) {
    std::memcpy(image.GetBits() + static_cast<std::ptrdiff_t>(y) * image.GetPitch(),
                picture.constScanLine(y), static_cast<std::size_t>(width));
  }
  return true;
}

bool FromArgb(const QImage& picture, CImageEx& image) {
  const int width = picture.width();
  const int height = picture.height();
  if (!image.Create(width, height, 32)) {
    return false;
  }
  image.SetHasAlpha(true);
  for (int y = 0; y < height; ++y) {
    const auto* source = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    std::uint8_t* target = image.GetBits() + static_cast<std::ptrdiff_t>(y) * image.GetPitch();
    for (int x = 0; x < width; ++x, target += 4) {
      target[0] = static_cast<std::uint8_t>(qBlue(source[x]));
      target[1] = static_cast<std::uint8_t>(qGreen(source[x]));
      target[2] = static_cast<std::uint8_t>(qRed(source[x]));
      target[3] = static_cast<std::uint8_t>(qAlpha(source[x]));
    }
  }
  return true;
}

// `picture` is Format_RGB32, Format_RGB888 or Format_BGR888.
bool FromRgb(const QImage& picture, CImageEx& image) {
  const int width = picture.width();
  const int height = picture.height();
  if (!image.Create(width, height, 24)) {
    return false;
  }
  const QImage::Format format = picture.format();
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
  for (int y = 0; y < height; ++y) {
    const uchar* source = picture.constScanLine(y);
    std::uint8_t* target = image.GetBits() + static_cast<std::ptrdiff_t>(y) * image.GetPitch();
    if (format == QImage::Format_BGR888) {
      std::memcpy(target, source, rowBytes);
    } else if (format == QImage::Format_RGB888) {
      for (int x = 0; x < width; ++x, source += 3, target += 3) {
        target[0] = source[2];
        target[1] = source[1];
        target[2] = source[0];
      }
    } else {
      const auto* pixels = reinterpret_cast<const QRgb*>(source);
      for (int x = 0; x < width; ++x, target += 3) {
        target[0] = static_cast<std::uint8_t>(qBlue(pixels[x]));
        target[1] = static_cast<std::uint8_t>(qGreen(pixels[x]));
        target[2] = static_cast<std::uint8_t>(qRed(pixels[x]));
      }
    }
  }
  return true;
}

}  // namespace

QImage ToQImage(const CImageEx& image) {
  if (image.IsNull()) {
    return QImage();
  }
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  QImage picture;
  switch (image.GetBPP()) {
    case 8: {
      picture = QImage(width, height, QImage::Format_Indexed8);
      if (picture.isNull()) {
        return picture;
      }
      QList<QRgb> table;
      for (std::uint32_t colour : image.GetColourTable()) {
        table.append(RgbOf(colour));
      }
      picture.setColorTable(table);
      for (int y = 0; y < height; ++y) {
        std::memcpy(picture.scanLine(y),
                    image.GetBits() + static_cast<std::ptrdiff_t>(y) * image.GetPitch(),
                    static_cast<std::size_t>(width));
      }
      return picture;
    }
    case 24:
      // Both keep blue, green, red bytes in rows padded to 4 bytes; only the row order differs.
      picture = QImage(width, height, QImage::Format_BGR888);
      if (picture.isNull()) {
        return picture;
      }
      for (int y = 0; y < height; ++y) {
        std::memcpy(picture.scanLine(y),
                    image.GetBits() + static_cast<std::ptrdiff_t>(y) * image.GetPitch(),
                    3 * static_cast<std::size_t>(width));
      }
      return picture;
    case 32: {
      const bool alpha = image.HasAlpha();
      picture = QImage(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
      if (picture.isNull()) {
        return picture;
      }
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* source =
            image.GetBits() + static_cast<std::ptrdiff_t>(y) * image.GetPitch();
        auto* target = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x, source += 4) {
          target[x] = qRgba(source[2], source[1], source[0], alpha ? source[3] : 0xFF);
        }
      }
      return picture;
    }
    default:
      return QImage();
  }
}

bool FromQImage(const QImage& picture, CImageEx& image) {
  image.Destroy();
  if (picture.isNull()) {
    return false;
  }
  // Convert only what the three depths cannot hold as they are; the common decoder outputs
  // (RGB32 from JPEG, RGB888, ARGB32, Indexed8) are copied without a second full-size copy.
  if (picture.hasAlphaChannel()) {
    if (picture.format() == QImage::Format_ARGB32) {
      return FromArgb(picture, image);
    }
    const QImage converted = picture.convertToFormat(QImage::Format_ARGB32);
    return !converted.isNull() && FromArgb(converted, image);
  }
  switch (picture.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
      return FromIndexed(picture, image);
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: {
      const QImage converted = picture.convertToFormat(QImage::Format_Indexed8);
      return !converted.isNull() && FromIndexed(converted, image);
    }
    case QImage::Format_Grayscale16: {
      const QImage converted = picture.convertToFormat(QImage::Format_Grayscale8);
      return !converted.isNull() && FromIndexed(converted, image);
    }
    case QImage::Format_RGB32:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
      return FromRgb(picture, image);
    default: {
      const QImage converted = picture.convertToFormat(QImage::Format_RGB32);
      return !converted.isNull() && FromRgb(converted, image);
    }
  }
}

}  // namespace orvane
