#include "pqz/color_space.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include <gtest/gtest.h>

namespace orvane {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

::testing::AssertionResult ColorIs(ColorValue actual, std::uint32_t r, std::uint32_t g,
                                   std::uint32_t b) {
  if (actual == MakeColorValue(r, g, b)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "got (" << RedOf(actual) << ", " << GreenOf(actual) << ", " << BlueOf(actual)
         << "), want (" << r << ", " << g << ", " << b << ")";
}

TEST(ColorValue, PacksRedLowAndBlueHigh) {
  EXPECT_EQ(MakeColorValue(0x11, 0x22, 0x33), 0x00332211u);
  EXPECT_EQ(RedOf(0x00332211u), 0x11u);
  EXPECT_EQ(GreenOf(0x00332211u), 0x22u);
  EXPECT_EQ(BlueOf(0x00332211u), 0x33u);
  EXPECT_EQ(BlueOf(0xFF332211u), 0x33u);  // the top byte is no channel
}

struct ClampCase {
  double value;
  std::uint32_t expected;
};

class ChannelClamp : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ChannelClamp, ClampsThenTruncatesWithoutUndefinedConversion) {
  EXPECT_EQ(ClampChannel(GetParam().value), GetParam().expected);
  // The RGB inverse applies the same rule to each channel independently.
  EXPECT_TRUE(
      ColorIs(RgbConversion::Inverse(GetParam().value, 10, 20), GetParam().expected, 10, 20));
  EXPECT_TRUE(
      ColorIs(RgbConversion::Inverse(30, 10, GetParam().value), 30, 10, GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Values, ChannelClamp,
                         ::testing::Values(ClampCase{300.0, 255}, ClampCase{-4.0, 0},
                                           ClampCase{127.9, 127}, ClampCase{254.999, 254},
                                           ClampCase{255.0, 255}, ClampCase{0.99, 0},
                                           ClampCase{-0.5, 0}, ClampCase{kNaN, 0},
                                           ClampCase{kInf, 255}, ClampCase{-kInf, 0},
                                           ClampCase{1e300, 255}, ClampCase{-1e300, 0}));

TEST(YccConversion, UsesTheFormatsLumaWeights) {
  // 0.29831, 0.58661 and 0.11448 of full scale; the textbook weights would give 76.245,
  // 149.685 and 29.07.
  EXPECT_NEAR(YccConversion::Forward(MakeColorValue(255, 0, 0)).x, 76.06905, 1e-9);
  EXPECT_NEAR(YccConversion::Forward(MakeColorValue(0, 255, 0)).x, 149.58555, 1e-9);
  EXPECT_NEAR(YccConversion::Forward(MakeColorValue(0, 0, 255)).x, 29.1924, 1e-9);
  const ColorTriple blue = YccConversion::Forward(MakeColorValue(0, 0, 200));
  EXPECT_NEAR(blue.y, 228.0, 1e-9);
  EXPECT_NEAR(blue.z, 128.0 - 16.262, 1e-9);
}

TEST(YccConversion, InverseAddsWeightedColourDifferences) {
  EXPECT_TRUE(ColorIs(YccConversion::Inverse(128, 128, 128), 128, 128, 128));
  // Cr = +100: R = 100 + 140.2, G = 100 - 71.414, B = 100.
  EXPECT_TRUE(ColorIs(YccConversion::Inverse(100, 128, 228), 240, 28, 100));
  // Cb = -50: R = 100, G = 100 + 17.207, B = 100 - 88.6.
  EXPECT_TRUE(ColorIs(YccConversion::Inverse(100, 78, 128), 100, 117, 11));
  EXPECT_TRUE(ColorIs(YccConversion::Inverse(kNaN, kNaN, kNaN), 0, 0, 0));
}

struct HsvForwardCase {
  const char* name;
  std::uint32_t r, g, b;
  double hue, saturation, value;
};

class HsvForward : public ::testing::TestWithParam<HsvForwardCase> {};

TEST_P(HsvForward, FollowsTheTieAndWrapRules) {
  const HsvForwardCase& c = GetParam();
  const ColorTriple hsv = HsvConversion::Forward(MakeColorValue(c.r, c.g, c.b));
  EXPECT_NEAR(hsv.x, c.hue, 1e-9);
  EXPECT_NEAR(hsv.y, c.saturation, 1e-9);
  EXPECT_NEAR(hsv.z, c.value, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, HsvForward,
    ::testing::Values(HsvForwardCase{"Black", 0, 0, 0, 0, 0, 0},
                      HsvForwardCase{"White", 255, 255, 255, 0, 0, 255},
                      HsvForwardCase{"Grey", 90, 90, 90, 0, 0, 90},
                      HsvForwardCase{"Red", 255, 0, 0, 0, 255, 255},
                      HsvForwardCase{"Green", 0, 255, 0, 85, 255, 255},
                      HsvForwardCase{"Blue", 0, 0, 255, 170, 255, 255},
                      HsvForwardCase{"RedGreenTieIsRed", 200, 200, 0, 42.5, 255, 200},
                      HsvForwardCase{"GreenBlueTieIsGreen", 0, 200, 200, 127.5, 255, 200},
                      HsvForwardCase{"RedBlueTieIsRed", 200, 0, 200, 212.5, 255, 200},
                      HsvForwardCase{"NegativeHueWrapsBelow255", 255, 0, 1, 255 - 42.5 / 255, 255,
                                     255},
                      HsvForwardCase{"HalfSaturation", 100, 50, 50, 0, 127.5, 100},
                      HsvForwardCase{"BlueAboveRedGreenTie", 10, 10, 20, 127.5 + 42.5, 127.5, 20}),
    [](const ::testing::TestParamInfo<HsvForwardCase>& info) { return info.param.name; });

TEST(HsvInverse, ZeroSaturationGivesGrey) {
  for (const double hue : {0.0, 42.5, 100.0, 200.0, 254.9}) {
    for (const double value : {0.0, 1.0, 127.9, 255.0}) {
      const auto v = static_cast<std::uint32_t>(value);
      EXPECT_TRUE(ColorIs(HsvConversion::Inverse(hue, 0, value), v, v, v)) << hue << " " << value;
    }
  }
  EXPECT_TRUE(ColorIs(HsvConversion::Inverse(30, 0, 300), 255, 255, 255));
}

TEST(HsvInverse, PlacesPrimariesInTheirSectors) {
  EXPECT_TRUE(ColorIs(HsvConversion::Inverse(0, 255, 255), 255, 0, 0));
  EXPECT_TRUE(ColorIs(HsvConversion::Inverse(85, 255, 255), 0, 255, 0));
  EXPECT_TRUE(ColorIs(HsvConversion::Inverse(170, 255, 255), 0, 0, 255));
  EXPECT_TRUE(ColorIs(HsvConversion::Inverse(42.5, 255, 200), 200, 200, 0));
  EXPECT_TRUE(ColorIs(HsvConversion::Inverse(212.5, 255, 200), 200, 0, 200));
}

TEST(HsvInverse, FoldsHueBeyondTheCircleOntoSectorZero) {
  // Sector 6 continues red: hue 255 is hue 0.
  EXPECT_TRUE(ColorIs(HsvConversion::Inverse(255, 255, 200), 200, 0, 0));
  EXPECT_EQ(HsvConversion::Inverse(255, 120, 180), HsvConversion::Inverse(0, 120, 180));
  // Every hue outside the circle gets sector 0's layout (V, t, p): red is V and, at full
  // saturation, blue is p = 0. The result never depends on an earlier pixel.
  for (const double hue : {255.0, 260.0, 300.0, 1e9, 1e300, kInf, -43.0, -1000.0, -kInf, kNaN}) {
    const ColorValue before = HsvConversion::Inverse(hue, 255, 200);
    HsvConversion::Inverse(170, 255, 255);  // an unrelated pixel in between
    const ColorValue color = HsvConversion::Inverse(hue, 255, 200);
    EXPECT_EQ(color, before) << hue;
    EXPECT_EQ(RedOf(color), 200u) << hue;
    EXPECT_EQ(BlueOf(color), 0u) << hue;
  }
}

TEST(HsvInverse, NaNSaturationAndValueGiveDefiniteColour) {
  EXPECT_TRUE(ColorIs(HsvConversion::Inverse(100, kNaN, kNaN), 0, 0, 0));
  EXPECT_TRUE(ColorIs(HsvConversion::Inverse(100, 255, kInf), 0, 255, 255));
}

template <class Conversion>
int WorstRoundTripError(int step) {
  int worst = 0;
  for (int r = 0; r <= 255; r += step) {
    for (int g = 0; g <= 255; g += step) {
      for (int b = 0; b <= 255; b += step) {
        const ColorTriple t = Conversion::Forward(MakeColorValue(r, g, b));
        const ColorValue back = Conversion::Inverse(t.x, t.y, t.z);
        worst = std::max({worst, std::abs(static_cast<int>(RedOf(back)) - r),
                          std::abs(static_cast<int>(GreenOf(back)) - g),
                          std::abs(static_cast<int>(BlueOf(back)) - b)});
      }
    }
  }
  return worst;
}

TEST(ColorRoundTrip, StaysWithinOneLevel) {
  // Steps of 5 reach 0 and 255 in every channel: black, white and all saturated corners.
  EXPECT_EQ(WorstRoundTripError<RgbConversion>(5), 0);
  EXPECT_LE(WorstRoundTripError<YccConversion>(5), 1);
  EXPECT_LE(WorstRoundTripError<HsvConversion>(5), 1);
}

TEST(ColorConversionChoice, FindsTheConversionOfEachCode) {
  const ColorValue sample = MakeColorValue(200, 30, 90);
  ColorConversion conversion;
  ASSERT_EQ(FindColorConversion(kColorSpaceRgb, conversion), kSuccess);
  EXPECT_EQ(conversion.Forward(sample).x, 200.0);
  ASSERT_EQ(FindColorConversion(kColorSpaceYcc, conversion), kSuccess);
  EXPECT_EQ(conversion.Forward(sample).x, YccConversion::Forward(sample).x);
  EXPECT_EQ(conversion.Inverse(100, 128, 228), YccConversion::Inverse(100, 128, 228));
  ASSERT_EQ(FindColorConversion(kColorSpaceHsv, conversion), kSuccess);
  EXPECT_EQ(conversion.Forward(sample).x, HsvConversion::Forward(sample).x);
  EXPECT_EQ(conversion.Inverse(40, 200, 100), HsvConversion::Inverse(40, 200, 100));
}

TEST(ColorConversionChoice, RefusesUnknownCodeAndKeepsPreviousChoice) {
  ColorConversion conversion;
  ASSERT_EQ(FindColorConversion(kColorSpaceHsv, conversion), kSuccess);
  for (const std::uint16_t code : {3, 4, 0xFFFF}) {
    EXPECT_EQ(FindColorConversion(code, conversion), kUnsupportedColorSpace);
    EXPECT_EQ(conversion.Inverse, &HsvConversion::Inverse);
    bool called = false;
    EXPECT_EQ(VisitColorConversion(code,
                                   [&called](auto) {
                                     called = true;
                                     return kSuccess;
                                   }),
              kUnsupportedColorSpace);
    EXPECT_FALSE(called);
  }
}

TEST(ColorConversionChoice, PassesTheVisitorsResultOn) {
  EXPECT_EQ(VisitColorConversion(kColorSpaceYcc,
                                 [](auto space) {
                                   return decltype(space)::Inverse(100, 128, 228) ==
                                                  MakeColorValue(240, 28, 100)
                                              ? kReadFailed
                                              : kSuccess;
                                 }),
            kReadFailed);
}

}  // namespace
}  // namespace orvane
