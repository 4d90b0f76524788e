#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <array>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <zlib.h>

#include "imageio_test_support.h"
#include "imaging/image_file.h"

namespace orvane {
namespace {

using test::Local;
using test::ToRgb;

// A file to make with Qt: its pixels take the colours of a four-entry list in a fixed
// pattern, so every pixel's colour is known after loading.
struct LoadCase {
  const char* name;
  QImage::Format madeAs;
  const char* extension;
  QImage::Format qtReadsAs;  // checked first, so that the file really is of the intended kind
  std::array<std::uint32_t, 4> colours;  // 0x00BBGGRR
  std::array<int, 4> alphas;
  int expectedBpp;
};

constexpr std::array<int, 4> kOpaque{255, 255, 255, 255};
constexpr std::array<std::uint32_t, 4> kColours{0x0000FF, 0x20C040, 0xFF8001, 0x7F7F7F};
constexpr std::array<std::uint32_t, 4> kGreys{0x000000, 0x111111, 0x808080, 0xFFFFFF};

constexpr int kWidth = 5;  // odd, so that rows of every depth need padding
constexpr int kHeight = 3;

int ColourIndex(int x, int y) { return (x + 2 * y) % 4; }

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

QImage MakePicture(const LoadCase& c) {
  QImage picture(kWidth, kHeight, c.madeAs);
  const bool indexed = c.madeAs == QImage::Format_Indexed8 || c.madeAs == QImage::Format_Mono;
  const int tableSize = c.madeAs == QImage::Format_Mono ? 2 : 4;
  if (indexed) {
    QList<QRgb> table;
    for (int i = 0; i < tableSize; ++i) {
      table.append(ToRgb(c.colours[i], c.alphas[i]));
    }
    picture.setColorTable(table);
  }
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int i = ColourIndex(x, y);
      if (indexed) {
        picture.setPixel(x, y, static_cast<uint>(i % tableSize));
      } else {
        // 16-bit channels hold c * 257, which reduces exactly to the 8-bit value c.
        const QRgb rgb = ToRgb(c.colours[i], c.alphas[i]);
        picture.setPixelColor(x, y,
                              QColor::fromRgba64(qRed(rgb) * 257, qGreen(rgb) * 257,
                                                 qBlue(rgb) * 257, qAlpha(rgb) * 257));
      }
    }
  }
  return picture;
}

class LoadImageFileKinds : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadImageFileKinds, GetPixelGivesTheFilesColours) {
  const LoadCase c = GetParam();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QString("picture.") + c.extension);
  ASSERT_TRUE(QImageWriter(path).write(MakePicture(c)));
  ASSERT_EQ(QImageReader(path).read().format(), c.qtReadsAs);

  CImageEx image;
  ASSERT_TRUE(LoadImageFile(image, Local(path)));
  ASSERT_EQ(image.GetWidth(), kWidth);
  ASSERT_EQ(image.GetHeight(), kHeight);
  EXPECT_EQ(image.GetBPP(), c.expectedBpp);
  EXPECT_EQ(image.HasAlpha(), c.alphas != kOpaque);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int i = ColourIndex(x, y);
      EXPECT_EQ(image.GetPixel(x, y), c.colours[i]) << x << "," << y;
      if (image.HasAlpha()) {
        EXPECT_EQ(image.GetBits()[y * image.GetPitch() + 4 * x + 3], c.alphas[i]);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, LoadImageFileKinds,
                         ::testing::Values(LoadCase{"PalettePng", QImage::Format_Indexed8, "png",
                                                    QImage::Format_Indexed8, kColours, kOpaque, 8},
                                           LoadCase{"PaletteBmp", QImage::Format_Indexed8, "bmp",
                                                    QImage::Format_Indexed8, kColours, kOpaque, 8},
                                           LoadCase{"TwoColourPng",
                                                    QImage::Format_Mono,
                                                    "png",
                                                    QImage::Format_Mono,
                                                    {0x0000FF, 0x00FF00, 0x0000FF, 0x00FF00},
                                                    kOpaque,
                                                    8},
                                           LoadCase{"GreyPng", QImage::Format_Grayscale8, "png",
                                                    QImage::Format_Grayscale8, kGreys, kOpaque, 8},
                                           LoadCase{"Grey16Png", QImage::Format_Grayscale16, "png",
                                                    QImage::Format_Grayscale16, kGreys, kOpaque, 8},
                                           LoadCase{"Rgb16Png", QImage::Format_RGBX64, "png",
                                                    QImage::Format_RGBX64, kColours, kOpaque, 24},
                                           LoadCase{"Rgb24Png", QImage::Format_RGB888, "png",
                                                    QImage::Format_RGB32, kColours, kOpaque, 24},
                                           LoadCase{"Rgb24Bmp", QImage::Format_RGB888, "bmp",
                                                    QImage::Format_RGB32, kColours, kOpaque, 24},
                                           LoadCase{"Rgb24Tiff", QImage::Format_RGB888, "tif",
                                                    QImage::Format_RGB32, kColours, kOpaque, 24},
                                           LoadCase{"AlphaPng",
                                                    QImage::Format_ARGB32,
                                                    "png",
                                                    QImage::Format_ARGB32,
                                                    kColours,
                                                    {255, 128, 1, 200},
                                                    32},
                                           LoadCase{"Alpha16Png",
                                                    QImage::Format_RGBA64,
                                                    "png",
                                                    QImage::Format_RGBA64,
                                                    kColours,
                                                    {255, 128, 7, 200},
                                                    32},
                                           LoadCase{"TranslucentPalettePng",
                                                    QImage::Format_Indexed8,
                                                    "png",
                                                    QImage::Format_Indexed8,
                                                    kColours,
                                                    {255, 64, 255, 255},
                                                    32}),
                         [](const ::testing::TestParamInfo<LoadCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(LoadImageFile, JpegLoadsThroughThePlugin) {
  QTemporaryDir dir;
  const QString path = dir.filePath("photo.jpg");
  QImage picture(40, 24, QImage::Format_RGB32);
  picture.fill(QColor(200, 100, 50));
  ASSERT_TRUE(QImageWriter(path).write(picture));
  CImageEx image;
  ASSERT_TRUE(LoadImageFile(image, Local(path)));
  EXPECT_EQ(image.GetWidth(), 40);
  EXPECT_EQ(image.GetHeight(), 24);
  EXPECT_EQ(image.GetBPP(), 24);
  const std::uint32_t c = image.GetPixel(20, 12);
  EXPECT_NEAR(static_cast<int>(c & 0xFF), 200, 3);
  EXPECT_NEAR(static_cast<int>((c >> 8) & 0xFF), 100, 3);
  EXPECT_NEAR(static_cast<int>(c >> 16), 50, 3);
}

// An EXIF APP1 segment that holds only the orientation tag, little-endian TIFF layout.
QByteArray ExifOrientationSegment(std::uint16_t orientation) {
  QByteArray payload("Exif\0\0", 6);
  payload.append("II\x2A\0", 4);                  // byte order and TIFF magic
  payload.append("\x08\0\0\0", 4);                // first directory at offset 8
  payload.append("\x01\0", 2);                    // one entry
  payload.append("\x12\x01\x03\0\x01\0\0\0", 8);  // tag 0x0112, SHORT, count 1
  payload.append(static_cast<char>(orientation));
  payload.append("\0\0\0", 3);
  payload.append("\0\0\0\0", 4);  // no next directory
  QByteArray segment("\xFF\xE1", 2);
  const int length = static_cast<int>(payload.size()) + 2;
  segment.append(static_cast<char>(length >> 8));
  segment.append(static_cast<char>(length & 0xFF));
  return segment + payload;
}

TEST(LoadImageFile, TurnsPhotosUprightByTheirExifOrientation) {
  // 32 x 16, left half red, right half blue, tagged "rotate 90 degrees clockwise to view".
  QImage picture(32, 16, QImage::Format_RGB32);
  picture.fill(QColor(0, 0, 255));
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      picture.setPixel(x, y, qRgb(255, 0, 0));
    }
  }
  QTemporaryDir dir;
  const QString plain = dir.filePath("plain.jpg");
  QImageWriter writer(plain);
  writer.setQuality(95);
  ASSERT_TRUE(writer.write(picture));
  QByteArray jpeg = test::ReadBytes(plain);
  ASSERT_TRUE(jpeg.startsWith("\xFF\xD8"));
  jpeg.insert(2, ExifOrientationSegment(6));
  const QString rotated = dir.filePath("rotated.jpg");
  ASSERT_TRUE(test::WriteBytes(rotated, jpeg));

  CImageEx image;
  ASSERT_TRUE(LoadImageFile(image, Local(rotated)));
  ASSERT_EQ(image.GetWidth(), 16);
  ASSERT_EQ(image.GetHeight(), 32);
  // Turned clockwise, the left (red) half is on top.
  EXPECT_GT(image.GetPixel(8, 6) & 0xFF, 200u);
  EXPECT_LT(image.GetPixel(8, 6) >> 16, 50u);
  EXPECT_GT(image.GetPixel(8, 25) >> 16, 200u);
  EXPECT_LT(image.GetPixel(8, 25) & 0xFF, 50u);
}

// Qt's reader budget is process-wide, so a load must leave it to the program.
TEST(LoadImageFile, LeavesTheReaderAllocationLimitAlone) {
  const int before = QImageReader::allocationLimit();
  CImageEx image;
  ASSERT_TRUE(LoadImageFile(image, std::string(ORVANE_TEST_DATA_DIR) + "/photos/chelsea.png"));
  EXPECT_EQ(QImageReader::allocationLimit(), before);
}

TEST(LoadImageFile, LoadsPicturesAboveQtsDefaultAllocationLimitOnceTheProgramRaisedIt) {
  const int before = QImageReader::allocationLimit();
  SetImageReaderAllocationLimit();  // as the programs do at start
  struct Restore {
    int limit;
    ~Restore() { QImageReader::setAllocationLimit(limit); }
  } restore{before};
  // 6400 x 6000 at 32 bits is 147 MB, above the 128 MB that Qt allows by default.
  QImage picture(6400, 6000, QImage::Format_RGB32);
  ASSERT_FALSE(picture.isNull());
  picture.fill(QColor(1, 2, 3));
  picture.setPixel(6399, 5999, qRgb(9, 8, 7));
  QTemporaryDir dir;
  // BMP: the quickest format to write and read at this size.
  const QString path = dir.filePath("large.bmp");
  ASSERT_TRUE(QImageWriter(path).write(picture));
  picture = QImage();

  CImageEx image;
  ASSERT_TRUE(LoadImageFile(image, Local(path)));
  EXPECT_EQ(image.GetWidth(), 6400);
  EXPECT_EQ(image.GetHeight(), 6000);
  EXPECT_EQ(image.GetPixel(0, 0), 0x030201u);
  EXPECT_EQ(image.GetPixel(6399, 5999), 0x070809u);
}

// --- Failures -------------------------------------------------------------------------------

// An image that holds pixels before a load, to see that a failed load empties it.
CImageEx HoldingImage() {
  CImageEx image;
  image.Create(2, 2, 24);
  return image;
}

TEST(LoadImageFile, TextFileNamedPngFailsWithAnEmptyImage) {
  QTemporaryDir dir;
  const QString path = dir.filePath("notes.png");
  ASSERT_TRUE(test::WriteBytes(path, "This is not a picture.\n"));
  CImageEx image = HoldingImage();
  image.m_nImageType = 1;
  EXPECT_FALSE(LoadImageFile(image, Local(path)));
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.m_nImageType, 1);
}

TEST(LoadImageFile, MissingFileFailsWithAnEmptyImage) {
  QTemporaryDir dir;
  CImageEx image = HoldingImage();
  EXPECT_FALSE(LoadImageFile(image, Local(dir.filePath("missing.bmp"))));
  EXPECT_TRUE(image.IsNull());
  EXPECT_FALSE(LoadImageFile(image, ""));
}

TEST(LoadImageFile, PictureMisnamedAsAnotherTypeLoadsByItsContent) {
  QTemporaryDir dir;
  const QString path = dir.filePath("really-a-png.bmp");
  QImage picture(3, 1, QImage::Format_RGB32);
  picture.fill(QColor(10, 20, 30));
  ASSERT_TRUE(QImageWriter(path, "png").write(picture));
  CImageEx image;
  ASSERT_TRUE(LoadImageFile(image, Local(path)));
  EXPECT_EQ(image.GetPixel(2, 0), 0x1E140Au);
}

// A PNG whose header claims 60000 x 60000 pixels (14 GB decoded), with a valid checksum so
// that only the size can stop it.
QByteArray ForgedHugePng() {
  QImage tiny(1, 1, QImage::Format_RGB32);
  tiny.fill(Qt::white);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter(&buffer, "png").write(tiny);
  // Signature (8), IHDR length (4), "IHDR" (4), width at 16, height at 20, CRC at 29.
  for (int offset : {16, 20}) {
    png[offset] = 0;
    png[offset + 1] = 0;
    png[offset + 2] = static_cast<char>(60000 >> 8);
    png[offset + 3] = static_cast<char>(60000 & 0xFF);
  }
  const uLong crc =
      crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 4 + 13);  // type + data
  for (int i = 0; i < 4; ++i) {
    png[29 + i] = static_cast<char>((crc >> (24 - 8 * i)) & 0xFF);
  }
  return png;
}

TEST(LoadImageFile, RefusesForgedHugeDimensionsWithoutAllocating) {
  QTemporaryDir dir;
  const QString path = dir.filePath("forged.png");
  ASSERT_TRUE(test::WriteBytes(path, ForgedHugePng()));
  ASSERT_EQ(QImageReader(path).size(), QSize(60000, 60000));
  CImageEx image = HoldingImage();
  EXPECT_FALSE(LoadImageFile(image, Local(path)));
  EXPECT_TRUE(image.IsNull());
}

// --- Fixtures -------------------------------------------------------------------------------

TEST(LoadImageFile, CommittedPhotosLoadAsTwentyFourBitPictures) {
  const std::string folder = std::string(ORVANE_TEST_DATA_DIR) + "/photos/";
  for (const char* name : {"chelsea.png", "coffee.png", "astronaut.png", "rocket.png"}) {
    CImageEx image;
    ASSERT_TRUE(LoadImageFile(image, folder + name)) << name;
    EXPECT_EQ(image.GetBPP(), 24) << name;
    EXPECT_GE(image.GetWidth(), 120) << name;
    EXPECT_GE(image.GetHeight(), 120) << name;
  }
}

}  // namespace
}  // namespace orvane
