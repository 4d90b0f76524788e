#include <array>
#include <cstdint>

#include <gtest/gtest.h>

#include "imaging/image_ex.h"

namespace orvane {
namespace {

// Counts the pixels of `image` that differ from `colour` inside [x0, x1) x [y0, y1).
int CountOther(const CImageEx& image, std::uint32_t colour, int x0, int y0, int x1, int y1) {
  int count = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      count += image.GetPixel(x, y) != colour ? 1 : 0;
    }
  }
  return count;
}

class EmptyImageThumbnail : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(EmptyImageThumbnail, ShowsOnlyTheTypesBackground) {
  CImageEx empty;
  empty.m_nImageType = GetParam();
  empty.FitToBox(kThumbnailSide, kThumbnailSide);
  const CImageEx thumbnail = empty.MakeThumbnail();
  ASSERT_FALSE(thumbnail.IsNull());
  EXPECT_EQ(thumbnail.GetWidth(), 96);
  EXPECT_EQ(thumbnail.GetHeight(), 96);
  EXPECT_EQ(thumbnail.GetBPP(), 24);
  EXPECT_EQ(thumbnail.m_nImageType, GetParam());
  EXPECT_EQ(CountOther(thumbnail, BackgroundColour(GetParam()), 0, 0, 96, 96), 0);
}

INSTANTIATE_TEST_SUITE_P(Types, EmptyImageThumbnail,
                         ::testing::Values(std::uint16_t{0}, std::uint16_t{1}, TYPE_ORDINARY_IMAGE,
                                           TYPE_NOT_LOADED));

TEST(Thumbnail, EnlargesEachSourcePixelIntoAWholeBlock) {
  // 3 x 2 in a 96 box: scale 32, drawn at y 16 with 96 x 64 pixels, so every source pixel
  // covers an exact 32 x 32 block and the rows above and below stay background.
  const std::array<std::array<std::uint32_t, 3>, 2> colours{
      {{0x0000FF, 0x00FF00, 0xFF0000}, {0x00FFFF, 0xFF00FF, 0xFFFF00}}};
  CImageEx image;
  ASSERT_TRUE(image.Create(3, 2, 24));
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      image.SetPixel(x, y, colours[y][x]);
    }
  }
  image.m_nImageType = 1;
  image.FitToBox(kThumbnailSide, kThumbnailSide);
  const CImageEx thumbnail = image.MakeThumbnail();
  const std::uint32_t background = BackgroundColour(1);
  EXPECT_EQ(CountOther(thumbnail, background, 0, 0, 96, 16), 0);
  EXPECT_EQ(CountOther(thumbnail, background, 0, 80, 96, 96), 0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(
          CountOther(thumbnail, colours[y][x], 32 * x, 16 + 32 * y, 32 * x + 32, 16 + 32 * y + 32),
          0)
          << "block " << x << "," << y;
    }
  }
}

// A source whose every pixel has its own colour, so that a thumbnail pixel tells exactly
// which source pixel it came from: red = x & 0xFF, green = y, blue = x >> 8.
CImageEx CoordinateImage(int width, int height) {
  CImageEx image;
  if (image.Create(width, height, 24)) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        image.SetPixel(x, y, static_cast<std::uint32_t>((x & 0xFF) | y << 8 | (x >> 8) << 16));
      }
    }
  }
  return image;
}

int SourceX(std::uint32_t colour) {
  return static_cast<int>((colour & 0xFF) | (colour >> 16) << 8);
}
int SourceY(std::uint32_t colour) { return static_cast<int>((colour >> 8) & 0xFF); }

TEST(Thumbnail, ShrinksByDroppingColumnsAndRowsWithoutBlending) {
  // 200 x 100 goes to 96 x 48 at y 24; target column i shows source column
  // floor(i * 200 / 96) and target row j source row floor(j * 100 / 48).
  CImageEx image = CoordinateImage(200, 100);
  image.FitToBox(kThumbnailSide, kThumbnailSide);
  const CImageEx thumbnail = image.MakeThumbnail();
  const std::uint32_t grey = BackgroundColour(TYPE_ORDINARY_IMAGE);
  EXPECT_EQ(CountOther(thumbnail, grey, 0, 0, 96, 24), 0);
  EXPECT_EQ(CountOther(thumbnail, grey, 0, 72, 96, 96), 0);

  // Corners and a few inner samples, from the sampling rule.
  struct Sample {
    int tx, ty, sx, sy;
  };
  for (const Sample s :
       {Sample{0, 24, 0, 0}, Sample{95, 24, 197, 0}, Sample{0, 71, 0, 97}, Sample{95, 71, 197, 97},
        Sample{1, 25, 2, 2}, Sample{47, 47, 97, 47}, Sample{48, 48, 100, 50}}) {
    const std::uint32_t c = thumbnail.GetPixel(s.tx, s.ty);
    EXPECT_EQ(SourceX(c), s.sx) << s.tx << "," << s.ty;
    EXPECT_EQ(SourceY(c), s.sy) << s.tx << "," << s.ty;
  }
  // Every pixel of the drawn area is an unaltered source pixel: its column depends only on
  // the target column and its row only on the target row, both non-decreasing.
  for (int ty = 24; ty < 72; ++ty) {
    for (int tx = 0; tx < 96; ++tx) {
      const std::uint32_t c = thumbnail.GetPixel(tx, ty);
      ASSERT_EQ(SourceX(c), SourceX(thumbnail.GetPixel(tx, 24)));
      ASSERT_EQ(SourceY(c), SourceY(thumbnail.GetPixel(0, ty)));
      ASSERT_EQ(c, image.GetPixel(SourceX(c), SourceY(c)));
      if (tx > 0) {
        ASSERT_GT(SourceX(c), SourceX(thumbnail.GetPixel(tx - 1, ty)));
      }
    }
  }
}

TEST(Thumbnail, ShowsPaletteAndAlphaImagesInTheirColours) {
  CImageEx palette;
  ASSERT_TRUE(palette.Create(2, 1, 8));
  const std::array<std::uint32_t, 2> table{0x204060, 0x80A0C0};
  palette.SetColourTable(table);
  palette.GetBits()[1] = 1;
  palette.FitToBox(kThumbnailSide, kThumbnailSide);
  const CImageEx fromPalette = palette.MakeThumbnail();
  EXPECT_EQ(CountOther(fromPalette, 0x204060, 0, 24, 48, 72), 0);
  EXPECT_EQ(CountOther(fromPalette, 0x80A0C0, 48, 24, 96, 72), 0);

  CImageEx argb;
  ASSERT_TRUE(argb.Create(1, 1, 32));
  argb.SetHasAlpha(true);
  std::uint8_t* p = argb.GetBits();
  p[0] = 0x30;  // blue
  p[1] = 0x20;  // green
  p[2] = 0x10;  // red
  p[3] = 0x40;  // alpha: not applied, the colour is drawn as it is stored
  argb.FitToBox(kThumbnailSide, kThumbnailSide);
  EXPECT_EQ(CountOther(argb.MakeThumbnail(), 0x302010, 0, 0, 96, 96), 0);
}

TEST(Thumbnail, ClipsADrawRectangleReachingOutsideTheThumbnail) {
  CImageEx image = CoordinateImage(10, 10);
  image.SetDrawRect(-10, -10, 200, 200);
  const CImageEx thumbnail = image.MakeThumbnail();
  // Target (0, 0) is column 10 of the rectangle: source floor(10 * 10 / 200) = 0; target 95
  // is column 105: source 5.
  EXPECT_EQ(SourceX(thumbnail.GetPixel(0, 0)), 0);
  EXPECT_EQ(SourceX(thumbnail.GetPixel(95, 95)), 5);
  EXPECT_EQ(SourceY(thumbnail.GetPixel(95, 95)), 5);
  EXPECT_EQ(SourceX(thumbnail.GetPixel(29, 0)), 1);
  EXPECT_EQ(SourceX(thumbnail.GetPixel(30, 0)), 2);

  // Wholly outside, or with a non-positive size, nothing is drawn.
  for (const DrawRect r : {DrawRect{96, 0, 10, 10}, DrawRect{-20, 0, 20, 96}, DrawRect{0, 0, 0, 96},
                           DrawRect{0, 0, -96, 96}}) {
    image.SetDrawRect(r.x, r.y, r.width, r.height);
    EXPECT_EQ(CountOther(image.MakeThumbnail(), 0x7F7F7F, 0, 0, 96, 96), 0)
        << r.x << "," << r.y << "," << r.width;
  }
}

TEST(DrawFitted, RefusesATargetSharingTheSourcePixels) {
  CImageEx image = CoordinateImage(4, 4);
  CImageEx alias;
  alias.CopyFrom(image);
  image.SetDrawRect(0, 0, 2, 2);
  EXPECT_FALSE(image.DrawFitted(alias));
  EXPECT_EQ(image.GetPixel(1, 1), 0x000101u);
  CImageEx empty;
  EXPECT_FALSE(image.DrawFitted(empty));
}

TEST(DrawFitted, DrawsIntoAPaletteTargetWithTheNearestColours) {
  CImageEx source;
  ASSERT_TRUE(source.Create(2, 1, 24));
  source.SetPixel(0, 0, 0xFFFFFF);
  source.SetPixel(1, 0, 0x000008);
  CImageEx target;
  ASSERT_TRUE(target.Create(4, 1, 8));
  const std::array<std::uint32_t, 2> table{0x000000, 0xFFFFFF};
  target.SetColourTable(table);
  source.SetDrawRect(0, 0, 4, 1);
  ASSERT_TRUE(source.DrawFitted(target));
  EXPECT_EQ(target.GetPixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(target.GetPixel(1, 0), 0xFFFFFFu);
  EXPECT_EQ(target.GetPixel(2, 0), 0x000000u);
  EXPECT_EQ(target.GetPixel(3, 0), 0x000000u);
}

}  // namespace
}  // namespace orvane
