#include "imaging/qt_image.h"

#include <array>
#include <cstdint>

#include <gtest/gtest.h>

#include "imageio_test_support.h"

namespace orvane {
namespace {

using test::ToRgb;

TEST(ToQImage, TopRowComesFirstAtEveryDepth) {
  for (int bpp : {8, 24, 32}) {
    CImageEx image;
    ASSERT_TRUE(image.Create(3, 2, bpp));
    if (bpp == 8) {
      const std::array<std::uint32_t, 2> table{0x000000, 0x0000FF};
      image.SetColourTable(table);
    }
    image.SetPixel(2, 0, 0x0000FF);
    const QImage picture = ToQImage(image);
    ASSERT_EQ(picture.size(), QSize(3, 2));
    EXPECT_EQ(picture.pixel(2, 0), ToRgb(0x0000FF)) << bpp;
    EXPECT_EQ(picture.pixel(2, 1), ToRgb(0x000000)) << bpp;
    EXPECT_FALSE(picture.hasAlphaChannel()) << bpp;
  }
}

TEST(ToQImage, AlphaImageKeepsStraightAlpha) {
  CImageEx image;
  ASSERT_TRUE(image.Create(1, 1, 32));
  image.SetHasAlpha(true);
  image.SetPixel(0, 0, 0x336699);
  image.GetBits()[3] = 0x40;
  const QImage picture = ToQImage(image);
  EXPECT_EQ(picture.format(), QImage::Format_ARGB32);
  EXPECT_EQ(picture.pixel(0, 0), ToRgb(0x336699, 0x40));
}

TEST(ToQImage, EmptyImageGivesNullPicture) { EXPECT_TRUE(ToQImage(CImageEx()).isNull()); }

TEST(FromQImage, NullPictureEmptiesTheImage) {
  CImageEx image;
  ASSERT_TRUE(image.Create(2, 2, 24));
  EXPECT_FALSE(FromQImage(QImage(), image));
  EXPECT_TRUE(image.IsNull());
}

TEST(FromQImage, PremultipliedPictureGivesStraightColours) {
  QImage picture(1, 1, QImage::Format_ARGB32_Premultiplied);
  picture.setPixelColor(0, 0, QColor(200, 100, 50, 255));
  CImageEx image;
  ASSERT_TRUE(FromQImage(picture, image));
  EXPECT_EQ(image.GetBPP(), 32);
  EXPECT_EQ(image.GetPixel(0, 0), 0x3264C8u);
}

TEST(FromQImage, SixteenBitFivesSixFiveGivesTwentyFourBits) {
  QImage picture(2, 1, QImage::Format_RGB16);
  picture.setPixel(0, 0, qRgb(255, 255, 255));
  picture.setPixel(1, 0, qRgb(0, 0, 0));
  CImageEx image;
  ASSERT_TRUE(FromQImage(picture, image));
  EXPECT_EQ(image.GetBPP(), 24);
  EXPECT_EQ(image.GetPixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(image.GetPixel(1, 0), 0u);
}

}  // namespace
}  // namespace orvane
