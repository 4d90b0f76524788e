#include <QImageReader>
#include <QTemporaryDir>
#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "imageio_test_support.h"
#include "imaging/image_file.h"

namespace orvane {
namespace {

using test::Local;

// 5 x 3, every pixel its own colour.
CImageEx MakeImage(int bpp) {
  CImageEx image;
  if (image.Create(5, 3, bpp)) {
    if (bpp == 8) {
      std::array<std::uint32_t, 15> table{};
      for (std::uint32_t i = 0; i < table.size(); ++i) {
        table[i] = i * 0x110B07u;
      }
      image.SetColourTable(table);
    }
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        image.SetPixel(x, y, static_cast<std::uint32_t>(5 * y + x) * 0x110B07u);
      }
    }
  }
  return image;
}

void ExpectSamePixels(const CImageEx& expected, const CImageEx& actual) {
  ASSERT_EQ(actual.GetWidth(), expected.GetWidth());
  ASSERT_EQ(actual.GetHeight(), expected.GetHeight());
  for (int y = 0; y < expected.GetHeight(); ++y) {
    for (int x = 0; x < expected.GetWidth(); ++x) {
      EXPECT_EQ(actual.GetPixel(x, y), expected.GetPixel(x, y)) << x << "," << y;
    }
  }
}

struct FormatCase {
  const char* fileName;
  QByteArray magic;       // the first bytes of a file of the intended format
  QByteArray otherMagic;  // a second accepted start (TIFF has two byte orders)
  bool lossless;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.fileName; }

class SaveImageFileFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SaveImageFileFormats, ExtensionChoosesTheWriterWhateverItsCase) {
  const FormatCase c = GetParam();
  QTemporaryDir dir;
  const QString path = dir.filePath(c.fileName);
  const CImageEx image = MakeImage(24);
  ASSERT_TRUE(SaveImageFile(image, Local(path)));
  const QByteArray bytes = test::ReadBytes(path);
  EXPECT_TRUE(bytes.startsWith(c.magic) ||
              (!c.otherMagic.isEmpty() && bytes.startsWith(c.otherMagic)))
      << bytes.left(8).toHex().constData();
  EXPECT_EQ(test::Entries(dir.path()), QStringList{c.fileName});

  CImageEx loaded;
  ASSERT_TRUE(LoadImageFile(loaded, Local(path)));
  EXPECT_EQ(loaded.GetWidth(), 5);
  EXPECT_EQ(loaded.GetHeight(), 3);
  if (c.lossless) {
    ExpectSamePixels(image, loaded);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, SaveImageFileFormats,
    ::testing::Values(FormatCase{"out.BMP", "BM", {}, true}, FormatCase{"out.bmp", "BM", {}, true},
                      FormatCase{"out.Png", "\x89PNG\r\n", {}, true},
                      FormatCase{"out.JPG", "\xFF\xD8\xFF", {}, false},
                      FormatCase{"out.jpeg", "\xFF\xD8\xFF", {}, false},
                      FormatCase{"out.TIFF", QByteArray("II*\0", 4), QByteArray("MM\0*", 4), true},
                      FormatCase{"out.tif", QByteArray("II*\0", 4), QByteArray("MM\0*", 4), true}));

class SaveImageFileRefused : public ::testing::TestWithParam<const char*> {};

TEST_P(SaveImageFileRefused, NoWriterForTheExtensionWritesNothing) {
  QTemporaryDir dir;
  EXPECT_FALSE(SaveImageFile(MakeImage(24), Local(dir.filePath(GetParam()))));
  EXPECT_TRUE(test::Entries(dir.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Names, SaveImageFileRefused,
                         ::testing::Values("out.xyz", "out.XYZ", "no-extension", "out.", "out.bmpx",
                                           "out.pqz"));

TEST(SaveImageFile, FailedWriteLeavesTheExistingTargetUntouched) {
  QTemporaryDir dir;
  const QString target = dir.filePath("keep.jpg");
  const QByteArray precious("the earlier picture");
  ASSERT_TRUE(test::WriteBytes(target, precious));

  // JPEG cannot hold a row of more than 65500 pixels: the writer fails after the file
  // was opened.
  CImageEx wide;
  ASSERT_TRUE(wide.Create(70000, 1, 24));
  EXPECT_FALSE(SaveImageFile(wide, Local(target)));
  EXPECT_EQ(test::ReadBytes(target), precious);
  EXPECT_EQ(test::Entries(dir.path()), QStringList{"keep.jpg"});

  // An empty image is refused before anything is opened.
  EXPECT_FALSE(SaveImageFile(CImageEx(), Local(target)));
  EXPECT_EQ(test::ReadBytes(target), precious);
}

TEST(SaveImageFile, ReplacesAnExistingFileOnSuccess) {
  QTemporaryDir dir;
  const QString target = dir.filePath("replace.png");
  ASSERT_TRUE(test::WriteBytes(target, "old"));
  ASSERT_TRUE(SaveImageFile(MakeImage(24), Local(target)));
  EXPECT_TRUE(test::ReadBytes(target).startsWith("\x89PNG"));
  EXPECT_EQ(test::Entries(dir.path()), QStringList{"replace.png"});
}

TEST(SaveImageFile, MissingFolderFailsAndCreatesNothing) {
  QTemporaryDir dir;
  EXPECT_FALSE(SaveImageFile(MakeImage(24), Local(dir.filePath("absent/out.bmp"))));
  EXPECT_TRUE(test::Entries(dir.path()).isEmpty());
}

struct RoundTripCase {
  int bpp;
  const char* fileName;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.bpp << " " << c.fileName; }

class SaveImageFileRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(SaveImageFileRoundTrip, LosslessFormatsKeepEveryColour) {
  const RoundTripCase c = GetParam();
  QTemporaryDir dir;
  const QString path = dir.filePath(c.fileName);
  const CImageEx image = MakeImage(c.bpp);
  ASSERT_TRUE(SaveImageFile(image, Local(path)));
  CImageEx loaded;
  ASSERT_TRUE(LoadImageFile(loaded, Local(path)));
  ExpectSamePixels(image, loaded);
  if (c.bpp == 8) {
    EXPECT_EQ(loaded.GetBPP(), 8);
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, SaveImageFileRoundTrip,
                         ::testing::Values(RoundTripCase{8, "p.png"}, RoundTripCase{8, "p.bmp"},
                                           RoundTripCase{24, "c.ppm"}, RoundTripCase{32, "c.png"},
                                           RoundTripCase{32, "c.bmp"}));

TEST(SaveImageFile, AlphaSurvivesAPngRoundTrip) {
  CImageEx image;
  ASSERT_TRUE(image.Create(2, 1, 32));
  image.SetHasAlpha(true);
  image.SetPixel(0, 0, 0x102030);
  image.SetPixel(1, 0, 0x405060);
  image.GetBits()[7] = 0x80;  // second pixel half transparent
  QTemporaryDir dir;
  const QString path = dir.filePath("alpha.png");
  ASSERT_TRUE(SaveImageFile(image, Local(path)));
  CImageEx loaded;
  ASSERT_TRUE(LoadImageFile(loaded, Local(path)));
  ASSERT_TRUE(loaded.HasAlpha());
  EXPECT_EQ(loaded.GetPixel(1, 0), 0x405060u);
  EXPECT_EQ(loaded.GetBits()[3], 0xFF);
  EXPECT_EQ(loaded.GetBits()[7], 0x80);
}

// Handing the picture over writes it in place (rows reordered inside its own buffer); the
// file must still hold the picture upright, and an image sharing the pixels must not see
// them move. Odd and even heights reorder differently around the middle row.
TEST(SaveImageFile, HandedOverPictureIsWrittenUprightAndSharersKeepTheirPixels) {
  for (const char* name : {"c.png", "c.ppm", "c.bmp"}) {
    for (int height : {3, 4}) {
      SCOPED_TRACE(std::string(name) + " height " + std::to_string(height));
      CImageEx expected;
      ASSERT_TRUE(expected.Create(5, height, 24));
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < 5; ++x) {
          expected.SetPixel(x, y, static_cast<std::uint32_t>(5 * y + x) * 0x110B07u);
        }
      }
      QTemporaryDir dir;
      const QString alone = dir.filePath(QString("alone-") + name);
      CImageEx handed;
      handed.CopyFrom(expected);  // shares the pixels, which must stay as they are
      ASSERT_TRUE(SaveImageFile(std::move(handed), Local(alone)));
      EXPECT_TRUE(handed.IsNull());
      CImageEx loaded;
      ASSERT_TRUE(LoadImageFile(loaded, Local(alone)));
      ExpectSamePixels(expected, loaded);

      CImageEx sole;
      ASSERT_TRUE(sole.Create(5, height, 24));
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < 5; ++x) sole.SetPixel(x, y, expected.GetPixel(x, y));
      }
      const QString own = dir.filePath(QString("own-") + name);
      ASSERT_TRUE(SaveImageFile(std::move(sole), Local(own)));
      ASSERT_TRUE(LoadImageFile(loaded, Local(own)));
      ExpectSamePixels(expected, loaded);
    }
  }
}

}  // namespace
}  // namespace orvane
