#include "imaging/image_ex.h"

#include <array>
#include <cstdint>
#include <memory>
#include <utility>

#include <gtest/gtest.h>

namespace orvane {
namespace {

// --- Layout ---------------------------------------------------------------------------------

TEST(CImageExLayout, ThreeByTwoImageIsBottomUpWithTwelveByteRows) {
  CImageEx image;
  ASSERT_TRUE(image.Create(3, 2, 24));
  EXPECT_EQ(image.GetWidth(), 3);
  EXPECT_EQ(image.GetHeight(), 2);
  EXPECT_EQ(image.GetBPP(), 24);
  EXPECT_EQ(image.GetPitch(), -12);

  // Row 1 begins 12 bytes before the top row and holds blue, green, red per pixel.
  image.SetPixel(2, 1, 0x00030201);
  const std::uint8_t* secondRow = image.GetBits() - 12;
  EXPECT_EQ(secondRow[6], 0x03);
  EXPECT_EQ(secondRow[7], 0x02);
  EXPECT_EQ(secondRow[8], 0x01);
  // A pixel written through the layout rule reads back through GetPixel.
  std::uint8_t* topRow = image.GetBits();
  topRow[3] = 0xC0;
  topRow[4] = 0xB0;
  topRow[5] = 0xA0;
  EXPECT_EQ(image.GetPixel(1, 0), 0x00C0B0A0u);
}

struct StrideCase {
  int width;
  int bpp;
  int stride;
};

class CImageExStride : public ::testing::TestWithParam<StrideCase> {};

TEST_P(CImageExStride, RowsArePaddedToWholeWords) {
  const StrideCase c = GetParam();
  CImageEx image;
  ASSERT_TRUE(image.Create(c.width, 3, c.bpp));
  EXPECT_EQ(image.GetPitch(), -c.stride);
  // Writing the last pixel of the top row and of the bottom row stays inside the buffer
  // (the sanitizer build catches a wrong stride here).
  image.SetPixel(c.width - 1, 0, 0x00FFFFFF);
  image.SetPixel(c.width - 1, 2, 0x00FFFFFF);
  EXPECT_EQ(image.GetPixel(c.width - 1, 2), c.bpp == 8 ? 0u : 0x00FFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(Depths, CImageExStride,
                         ::testing::Values(StrideCase{1, 24, 4}, StrideCase{4, 24, 12},
                                           StrideCase{5, 24, 16}, StrideCase{1, 8, 4},
                                           StrideCase{5, 8, 8}, StrideCase{3, 32, 12}));

TEST(CImageExLayout, CreateGivesBlackPixels) {
  CImageEx image;
  ASSERT_TRUE(image.Create(5, 4, 24));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(image.GetPixel(x, y), 0u);
    }
  }
}

// --- Create and Destroy -------------------------------------------------------------------

struct RefusedCreate {
  const char* what;
  int width;
  int height;
  int bpp;
};

class CImageExCreate : public ::testing::TestWithParam<RefusedCreate> {};

TEST_P(CImageExCreate, RefusesAndStaysEmpty) {
  const RefusedCreate c = GetParam();
  CImageEx image;
  EXPECT_FALSE(image.Create(c.width, c.height, c.bpp)) << c.what;
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.GetBits(), nullptr);
  EXPECT_EQ(image.GetWidth(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, CImageExCreate,
    ::testing::Values(RefusedCreate{"zero width", 0, 5, 24},
                      RefusedCreate{"negative height", 5, -1, 24},
                      RefusedCreate{"unsupported depth", 5, 5, 16}, RefusedCreate{"1 bit", 5, 5, 1},
                      RefusedCreate{"30 GB from a forged header", 100000, 100000, 24},
                      RefusedCreate{"row stride beyond int", 0x7FFFFFFF, 1, 32}));

TEST(CImageExCreate, RefusesToReplaceHeldPixels) {
  CImageEx image;
  ASSERT_TRUE(image.Create(2, 2, 24));
  image.SetPixel(0, 0, 0x123456);
  EXPECT_FALSE(image.Create(4, 4, 24));
  EXPECT_EQ(image.GetWidth(), 2);
  EXPECT_EQ(image.GetPixel(0, 0), 0x123456u);
}

TEST(CImageExCreate, DestroyEmptiesButKeepsTypeAndDrawRect) {
  CImageEx image;
  ASSERT_TRUE(image.Create(2, 2, 24));
  image.m_nImageType = 1;
  image.SetDrawRect(1, 2, 3, 4);
  image.Destroy();
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.GetBits(), nullptr);
  EXPECT_EQ(image.GetWidth(), 0);
  EXPECT_EQ(image.GetHeight(), 0);
  EXPECT_EQ(image.GetPitch(), 0);
  EXPECT_EQ(image.GetBPP(), 0);
  EXPECT_EQ(image.m_nImageType, 1);
  EXPECT_EQ(image.m_rcDraw, (DrawRect{1, 2, 3, 4}));
  // An emptied image can be created again.
  EXPECT_TRUE(image.Create(1, 1, 24));
}

// --- Pixels ---------------------------------------------------------------------------------

TEST(CImageExPixels, ThirtyTwoBitPixelsKeepChannelOrderAndBecomeOpaque) {
  CImageEx image;
  ASSERT_TRUE(image.Create(2, 1, 32));
  image.SetPixel(1, 0, 0x00112233);
  const std::uint8_t* p = image.GetBits() + 4;
  EXPECT_EQ(p[0], 0x11);
  EXPECT_EQ(p[1], 0x22);
  EXPECT_EQ(p[2], 0x33);
  EXPECT_EQ(p[3], 0xFF);
  EXPECT_EQ(image.GetPixel(1, 0), 0x00112233u);
}

TEST(CImageExPixels, AlphaIsOnlyForThirtyTwoBits) {
  CImageEx image;
  ASSERT_TRUE(image.Create(1, 1, 24));
  image.SetHasAlpha(true);
  EXPECT_FALSE(image.HasAlpha());
  CImageEx argb;
  ASSERT_TRUE(argb.Create(1, 1, 32));
  argb.SetHasAlpha(true);
  EXPECT_TRUE(argb.HasAlpha());
}

TEST(CImageExPixels, PaletteImageReadsTableColoursAndWritesNearestEntry) {
  CImageEx image;
  ASSERT_TRUE(image.Create(3, 1, 8));
  const std::array<std::uint32_t, 3> table{0x0000FF, 0x00FF00, 0xFF0000};
  ASSERT_TRUE(image.SetColourTable(table));
  image.GetBits()[1] = 2;
  EXPECT_EQ(image.GetPixel(1, 0), 0xFF0000u);
  // 0x10F010 is nearest to pure green; an exact table colour maps to its own entry.
  image.SetPixel(0, 0, 0x10F010);
  EXPECT_EQ(image.GetBits()[0], 1);
  image.SetPixel(2, 0, 0x0000FF);
  EXPECT_EQ(image.GetBits()[2], 0);
  EXPECT_EQ(image.GetColourTable().size(), 256u);
  EXPECT_EQ(image.GetColourTable()[2], 0xFF0000u);
}

TEST(CImageExPixels, ColourTableBelongsToEightBitImagesOnly) {
  CImageEx image;
  ASSERT_TRUE(image.Create(1, 1, 24));
  const std::array<std::uint32_t, 1> table{0x123456};
  EXPECT_FALSE(image.SetColourTable(table));
  EXPECT_TRUE(image.GetColourTable().empty());
}

TEST(CImageExPixels, OutsideTheImageReadsInvalidAndWritesNothing) {
  CImageEx image;
  ASSERT_TRUE(image.Create(3, 2, 24));
  image.Fill(0x445566);
  for (auto [x, y] : {std::pair{-1, 0}, std::pair{3, 0}, std::pair{0, -1}, std::pair{0, 2},
                      std::pair{-2147483647 - 1, 0}}) {
    EXPECT_EQ(image.GetPixel(x, y), kInvalidColour) << x << "," << y;
    image.SetPixel(x, y, 0);
  }
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(image.GetPixel(x, y), 0x445566u);
    }
  }
  CImageEx empty;
  EXPECT_EQ(empty.GetPixel(0, 0), kInvalidColour);
  empty.SetPixel(0, 0, 0);
  empty.Fill(0);
  EXPECT_TRUE(empty.IsNull());
}

// --- Sharing and moving -------------------------------------------------------------------

enum class FirstDestroyed { kOriginal, kCopy };

class CImageExSharing : public ::testing::TestWithParam<FirstDestroyed> {};

TEST_P(CImageExSharing, SharedPixelsOutliveWhicheverImageGoesFirst) {
  auto original = std::make_unique<CImageEx>();
  ASSERT_TRUE(original->Create(4, 3, 24));
  original->m_nImageType = 0;
  original->SetDrawRect(5, 6, 7, 8);
  auto copy = std::make_unique<CImageEx>();
  copy->CopyFrom(*original);

  EXPECT_EQ(copy->GetBits(), original->GetBits());
  EXPECT_EQ(copy->GetWidth(), 4);
  EXPECT_EQ(copy->GetPitch(), original->GetPitch());
  EXPECT_EQ(copy->m_nImageType, 0);
  EXPECT_EQ(copy->m_rcDraw, (DrawRect{5, 6, 7, 8}));
  // One bitmap: a pixel written through one image is seen through the other.
  original->SetPixel(3, 2, 0xABCDEF);
  EXPECT_EQ(copy->GetPixel(3, 2), 0xABCDEFu);

  // Whichever goes first, the survivor still reads and writes valid memory (the sanitizer
  // build turns a dangling buffer into a failure here).
  std::unique_ptr<CImageEx>& survivor = GetParam() == FirstDestroyed::kOriginal ? copy : original;
  if (GetParam() == FirstDestroyed::kOriginal) {
    original.reset();
  } else {
    copy.reset();
  }
  EXPECT_EQ(survivor->GetPixel(3, 2), 0xABCDEFu);
  survivor->SetPixel(0, 0, 0x010203);
  EXPECT_EQ(survivor->GetPixel(0, 0), 0x010203u);
}

INSTANTIATE_TEST_SUITE_P(EitherOrder, CImageExSharing,
                         ::testing::Values(FirstDestroyed::kOriginal, FirstDestroyed::kCopy));

TEST(CImageExSharing, DestroyingOneSharerLeavesTheOtherHolding) {
  CImageEx original;
  ASSERT_TRUE(original.Create(2, 2, 8));
  const std::array<std::uint32_t, 2> table{0x000000, 0x00FF00};
  original.SetColourTable(table);
  original.SetPixel(1, 1, 0x00FF00);
  CImageEx copy;
  copy.CopyFrom(original);
  original.Destroy();
  EXPECT_TRUE(original.IsNull());
  EXPECT_FALSE(copy.IsNull());
  EXPECT_EQ(copy.GetPixel(1, 1), 0x00FF00u);
}

TEST(CImageExSharing, CopyFromEmptyImageEmptiesTheTarget) {
  CImageEx holding;
  ASSERT_TRUE(holding.Create(2, 2, 24));
  const CImageEx empty;
  holding.CopyFrom(empty);
  EXPECT_TRUE(holding.IsNull());
  EXPECT_EQ(holding.GetBits(), nullptr);
}

TEST(CImageExMove, MovedFromImageIsEmptyAndTheTargetHoldsThePixels) {
  CImageEx source;
  ASSERT_TRUE(source.Create(3, 2, 24));
  source.SetPixel(2, 1, 0x0A0B0C);
  const std::uint8_t* bits = source.GetBits();
  CImageEx target(std::move(source));
  EXPECT_TRUE(source.IsNull());
  EXPECT_EQ(source.GetBits(), nullptr);
  EXPECT_EQ(source.GetWidth(), 0);
  EXPECT_EQ(target.GetBits(), bits);
  EXPECT_EQ(target.GetPixel(2, 1), 0x0A0B0Cu);

  CImageEx other;
  ASSERT_TRUE(other.Create(1, 1, 24));
  other = std::move(target);
  EXPECT_TRUE(target.IsNull());
  EXPECT_EQ(other.GetWidth(), 3);
  EXPECT_EQ(other.GetPixel(2, 1), 0x0A0B0Cu);
}

// --- FitToBox -------------------------------------------------------------------------------

struct FitCase {
  int width;
  int height;
  int boxWidth;
  int boxHeight;
  DrawRect expected;
};

class CImageExFitToBox : public ::testing::TestWithParam<FitCase> {};

TEST_P(CImageExFitToBox, TouchesTheBoxOnOneAxisAndCentresOnTheOther) {
  const FitCase c = GetParam();
  CImageEx image;
  ASSERT_TRUE(image.Create(c.width, c.height, 24));
  image.SetDrawRect(-1, -1, -1, -1);
  image.FitToBox(c.boxWidth, c.boxHeight);
  EXPECT_EQ(image.m_rcDraw, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Boxes, CImageExFitToBox,
                         ::testing::Values(FitCase{200, 100, 96, 96, {0, 24, 96, 48}},
                                           FitCase{100, 200, 96, 96, {24, 0, 48, 96}},
                                           // Small images are enlarged to fill the box.
                                           FitCase{10, 10, 96, 96, {0, 0, 96, 96}},
                                           FitCase{100, 100, 200, 96, {52, 0, 96, 96}},
                                           FitCase{1, 1000, 96, 96, {47, 0, 0, 96}}));

TEST(CImageExFitToBox, EmptyImageOrEmptyBoxGivesEmptyRectangle) {
  CImageEx empty;
  empty.SetDrawRect(1, 2, 3, 4);
  empty.FitToBox(96, 96);
  EXPECT_EQ(empty.m_rcDraw, DrawRect{});

  CImageEx image;
  ASSERT_TRUE(image.Create(4, 3, 24));
  image.FitToBox(0, 96);
  EXPECT_EQ(image.m_rcDraw, DrawRect{});
  image.FitToBox(96, -5);
  EXPECT_EQ(image.m_rcDraw, DrawRect{});
}

// --- Background colours -------------------------------------------------------------------

TEST(BackgroundColour, DarkRedAndDarkBlueForPqzTypesGreyForAllOthers) {
  EXPECT_EQ(BackgroundColour(0), 0x00007Fu);
  EXPECT_EQ(BackgroundColour(1), 0x7F0000u);
  for (std::uint16_t type :
       {TYPE_ORDINARY_IMAGE, TYPE_NOT_LOADED, std::uint16_t{2}, std::uint16_t{0xFFFF}}) {
    EXPECT_EQ(BackgroundColour(type), 0x7F7F7Fu) << type;
  }
}

}  // namespace
}  // namespace orvane
