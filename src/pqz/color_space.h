#pragma once

#include <cmath>
#include <cstdint>

#include "foundation/result_code.h"
#include "pqz/encoding_parameters.h"

namespace orvane {

/// A pixel colour: red in bits 0-7, green in 8-15, blue in 16-23 (0x00BBGGRR).
using ColorValue = std::uint32_t;

/// One pixel in a file's colour space: (R, G, B), (Y, Cb, Cr) or (H, S, V), each on a 0-255 scale.
struct ColorTriple {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

inline constexpr ColorValue MakeColorValue(std::uint32_t red, std::uint32_t green,
                                           std::uint32_t blue) {
  return (red & 0xFFu) | ((green & 0xFFu) << 8) | ((blue & 0xFFu) << 16);
}
inline constexpr std::uint32_t RedOf(ColorValue color) { return color & 0xFFu; }
inline constexpr std::uint32_t GreenOf(ColorValue color) { return (color >> 8) & 0xFFu; }
inline constexpr std::uint32_t BlueOf(ColorValue color) { return (color >> 16) & 0xFFu; }

/// Clamps to [0, 255] and truncates toward zero (127.9 gives 127). NaN gives 0 and infinities
/// the nearer end, so no value reaches an undefined float-to-integer conversion.
inline std::uint32_t ClampChannel(double value) {
  if (!(value > 0.0)) return 0;  // also NaN
  if (value >= 255.0) return 255;
  return static_cast<std::uint32_t>(value);
}

/// Each conversion is a type with two static functions, so that a pixel loop written as a
/// template over it (see VisitColorConversion) inlines the arithmetic.
struct RgbConversion {
  static ColorTriple Forward(ColorValue color) {
    return {static_cast<double>(RedOf(color)), static_cast<double>(GreenOf(color)),
            static_cast<double>(BlueOf(color))};
  }
  static ColorValue Inverse(double x, double y, double z) {
    return MakeColorValue(ClampChannel(x), ClampChannel(y), ClampChannel(z));
  }
};

/// Luma and colour differences. The forward luma weights are 0.29831, 0.58661, 0.11448 (the
/// format's own, not 0.299 / 0.587 / 0.114); the inverse is the usual one.
struct YccConversion {
  static ColorTriple Forward(ColorValue color) {
    const double r = RedOf(color);
    const double g = GreenOf(color);
    const double b = BlueOf(color);
    return {0.29831 * r + 0.58661 * g + 0.11448 * b, 0.5 * b - (0.33126 * g + 0.16874 * r) + 128.0,
            0.5 * r - 0.41863 * g - 0.08131 * b + 128.0};
  }
  static ColorValue Inverse(double x, double y, double z) {
    const double cb = y - 128.0;
    const double cr = z - 128.0;
    return MakeColorValue(ClampChannel(x + 1.402 * cr),
                          ClampChannel(x - 0.34414 * cb - 0.71414 * cr),
                          ClampChannel(x + 1.772 * cb));
  }
};

/// Hue on a 0-255 scale (42.5 per sixth of the circle), saturation 0-255, value 0-255.
struct HsvConversion {
  static ColorTriple Forward(ColorValue color) {
    const int r = static_cast<int>(RedOf(color));
    const int g = static_cast<int>(GreenOf(color));
    const int b = static_cast<int>(BlueOf(color));
    // Ties: red wins over green, and blue is the maximum only when strictly above both.
    enum class Channel { kRed, kGreen, kBlue };
    Channel top = r >= g ? Channel::kRed : Channel::kGreen;
    int high = r >= g ? r : g;
    if (b > high) {
      top = Channel::kBlue;
      high = b;
    }
    const int low = r < g ? (r < b ? r : b) : (g < b ? g : b);
    const double z = high;
    const double y = high == 0 ? 0.0 : static_cast<double>(high - low) * 255.0 / high;
    if (y == 0.0) return {0.0, y, z};
    const double d = high - low;
    double hue = top == Channel::kRed     ? (g - b) / d
                 : top == Channel::kGreen ? (b - r) / d + 2.0
                                          : (r - g) / d + 4.0;
    hue *= 42.5;
    if (hue < 0.0) hue += 255.0;
    return {hue, y, z};
  }

  static ColorValue Inverse(double x, double y, double z) {
    const double s = y / 255.0;
    const double h6 = x * 6.0 / 255.0;
    int sector = 0;
    double f = 0.0;
    if (h6 > -1.0 && h6 < 6.0) {
      sector = static_cast<int>(h6);  // in range, so the truncation is defined
      f = h6 - sector;
    } else {
      // A hue past the circle (255 or more, or below -42.5 after quantisation) folds onto
      // sector 0 with its own fraction, so sector 6 continues red smoothly. NaN lands here too
      // and, through the NaN-safe clamp, gives a definite colour.
      f = h6 - std::trunc(h6);
    }
    const std::uint32_t v = ClampChannel(z);
    const std::uint32_t p = ClampChannel(z * (1.0 - s));
    const std::uint32_t q = ClampChannel(z * (1.0 - f * s));
    const std::uint32_t t = ClampChannel(z * (1.0 - s * (1.0 - f)));
    switch (sector) {
      case 1:
        return MakeColorValue(q, v, p);
      case 2:
        return MakeColorValue(p, v, t);
      case 3:
        return MakeColorValue(p, q, v);
      case 4:
        return MakeColorValue(t, p, v);
      case 5:
        return MakeColorValue(v, p, q);
      default:
        return MakeColorValue(v, t, p);
    }
  }
};

/// Forward (colour value to triple) and inverse (triple to colour value) of one colour space.
struct ColorConversion {
  ColorTriple (*Forward)(ColorValue) = nullptr;
  ColorValue (*Inverse)(double, double, double) = nullptr;
};

/// The conversions of `colorSpace` (0 RGB, 1 YCC, 2 HSV) into `conversion`; any other code gives
/// kUnsupportedColorSpace and leaves `conversion` unchanged.
ResultCode FindColorConversion(std::uint16_t colorSpace, ColorConversion& conversion);

/// Calls `visitor` with an RgbConversion, YccConversion or HsvConversion value by `colorSpace`
/// and returns its result code; any other code gives kUnsupportedColorSpace without a call.
/// A generic lambda as visitor compiles one inlined pixel loop per colour space.
template <class Visitor>
ResultCode VisitColorConversion(std::uint16_t colorSpace, Visitor&& visitor) {
  switch (colorSpace) {
    case kColorSpaceRgb:
      return visitor(RgbConversion{});
    case kColorSpaceYcc:
      return visitor(YccConversion{});
    case kColorSpaceHsv:
      return visitor(HsvConversion{});
    default:
      return kUnsupportedColorSpace;
  }
}

}  // namespace orvane
