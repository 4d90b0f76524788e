#include "pqz/patch_arranger.h"

#include <algorithm>
#include <cstdint>

#include "imaging/image_ex.h"
#include "pqz/color_space.h"

namespace orvane {
namespace {

// Clamp to [0, 255] and truncate, as the colour conversions do; NaN becomes 0.
inline std::uint8_t ClampByte(double value) {
  return static_cast<std::uint8_t>(ClampChannel(value));
}

// ClampByte as selections the compiler turns into minimum and maximum instructions instead of
// branches: a value not above 0 (NaN included) gives 0, one of 255 or more 255, the rest their
// integer part.
inline std::uint8_t ClampByteBranchless(double value) {
  const double low = value > 0.0 ? value : 0.0;
  const double clamped = low < 255.0 ? low : 255.0;
  return static_cast<std::uint8_t>(static_cast<std::int32_t>(clamped));
}

// Per-pixel path: converts each triple through the colour space's inverse and sets the pixel.
template <class Conversion>
void ArrangeGeneric(const PatchMatrix& patches, std::uint32_t firstPatch,
                    const Tarn::Matrix<double>& means, const PatchGrid& grid,
                    const PqzHeader& header, CImageEx& image) {
  const std::uint32_t pw = static_cast<std::uint32_t>(header.PatchWidth);
  const std::uint32_t ph = static_cast<std::uint32_t>(header.PatchHeight);
  const std::uint32_t n = grid.PixelsPerPatch;
  const std::uint32_t width = static_cast<std::uint32_t>(header.ImageWidth);
  const std::uint32_t height = static_cast<std::uint32_t>(header.ImageHeight);
  for (std::uint32_t r = 0; r < patches.Rows(); ++r) {
    const std::uint32_t k = firstPatch + r;
    const std::uint32_t x0 = (k % grid.Columns) * pw;
    const std::uint32_t y0 = (k / grid.Columns) * ph;
    const double* row = patches.Row(r);
    const double m0 = means(0, r), m1 = means(1, r), m2 = means(2, r);
    for (std::uint32_t dy = 0; dy < ph && y0 + dy < height; ++dy) {
      for (std::uint32_t dx = 0; dx < pw && x0 + dx < width; ++dx) {
        const std::uint32_t i = dy * pw + dx;
        const ColorValue colour =
            Conversion::Inverse(row[i] + m0, row[n + i] + m1, row[2 * n + i] + m2);
        image.SetPixel(static_cast<int>(x0 + dx), static_cast<int>(y0 + dy), colour);
      }
    }
  }
}

// Direct path for RGB: the clamped channel values go straight into the blue, green, red bytes
// of the image rows, with no colour value in between.
void ArrangeDirect(const PatchMatrix& patches, std::uint32_t firstPatch,
                   const Tarn::Matrix<double>& means, const PatchGrid& grid,
                   const PqzHeader& header, CImageEx& image) {
  const std::uint32_t pw = static_cast<std::uint32_t>(header.PatchWidth);
  const std::uint32_t ph = static_cast<std::uint32_t>(header.PatchHeight);
  const std::uint32_t n = grid.PixelsPerPatch;
  const std::uint32_t width = static_cast<std::uint32_t>(header.ImageWidth);
  const std::uint32_t height = static_cast<std::uint32_t>(header.ImageHeight);
  std::uint8_t* const top = image.GetBits();
  const std::ptrdiff_t pitch = image.GetPitch();
  for (std::uint32_t r = 0; r < patches.Rows(); ++r) {
    const std::uint32_t k = firstPatch + r;
    const std::uint32_t x0 = (k % grid.Columns) * pw;
    const std::uint32_t y0 = (k / grid.Columns) * ph;
    const std::uint32_t columns = std::min(pw, width - x0);
    const double* red = patches.Row(r);
    const double* green = red + n;
    const double* blue = green + n;
    const double m0 = means(0, r), m1 = means(1, r), m2 = means(2, r);
    for (std::uint32_t dy = 0; dy < ph && y0 + dy < height; ++dy) {
      std::uint8_t* out = top + static_cast<std::ptrdiff_t>(y0 + dy) * pitch + 3 * x0;
      const std::uint32_t base = dy * pw;
      for (std::uint32_t dx = 0; dx < columns; ++dx) {
        out[3 * dx] = ClampByteBranchless(blue[base + dx] + m2);
        out[3 * dx + 1] = ClampByteBranchless(green[base + dx] + m1);
        out[3 * dx + 2] = ClampByteBranchless(red[base + dx] + m0);
      }
    }
  }
}

}  // namespace

ResultCode ArrangePatches(const PatchMatrix& patches, const Tarn::Matrix<double>& means,
                          const PqzHeader& header, CImageEx& image, ArrangePath path,
                          std::uint32_t firstPatch) {
  const PatchGrid grid = GridOf(header);
  if (firstPatch > grid.Patches || patches.Rows() > grid.Patches - firstPatch ||
      means.Rows() != 3 || means.Columns() != patches.Rows()) {
    return kInvalidArguments;
  }
  const bool direct = header.ColorSpace == kColorSpaceRgb && header.PatchWidth % 4 == 0 &&
                      header.PatchHeight % 4 == 0 && image.GetBPP() == 24;
  if (path == ArrangePath::kDirect && !direct) return kInvalidArguments;
  if (path != ArrangePath::kGeneric && direct) {
    ArrangeDirect(patches, firstPatch, means, grid, header, image);
    return kSuccess;
  }
  return VisitColorConversion(header.ColorSpace, [&](auto conversion) {
    (void)conversion;
    ArrangeGeneric<decltype(conversion)>(patches, firstPatch, means, grid, header, image);
    return kSuccess;
  });
}

ResultCode DrawPatchMeans(const Tarn::Matrix<double>& means, const PqzHeader& header,
                          CImageEx& image, std::uint32_t firstPatch) {
  const PatchGrid grid = GridOf(header);
  if (firstPatch > grid.Patches || means.Columns() > grid.Patches - firstPatch ||
      means.Rows() != 3) {
    return kInvalidArguments;
  }
  return VisitColorConversion(header.ColorSpace, [&](auto conversion) {
    (void)conversion;
    using Conversion = decltype(conversion);
    for (std::uint32_t r = 0; r < means.Columns(); ++r) {
      const std::uint32_t k = firstPatch + r;
      image.SetPixel(static_cast<int>(k % grid.Columns), static_cast<int>(k / grid.Columns),
                     Conversion::Inverse(means(0, r), means(1, r), means(2, r)));
    }
    return kSuccess;
  });
}

}  // namespace orvane
