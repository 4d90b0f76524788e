#include "pqz/patch_arranger.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

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

// Four values of a channel plus its mean, as ClampByteBranchless gives them: the maximum
// with 0 takes 0 for NaN and -0 (it answers its second operand then), the minimum with 255
// caps, and the conversion truncates.
__attribute__((target("avx2"))) inline __m128i ClampFour(const double* values, __m256d mean) {
  const __m256d low =
      _mm256_max_pd(_mm256_add_pd(_mm256_loadu_pd(values), mean), _mm256_setzero_pd());
  return _mm256_cvttpd_epi32(_mm256_min_pd(low, _mm256_set1_pd(255.0)));
}

// One pixel row of a patch (a multiple of four pixels) into blue, green, red bytes, four
// pixels at a time: the same bytes as the scalar loop of ArrangeDirect.
__attribute__((target("avx2"))) void ArrangeRowAvx2(const double* red, const double* green,
                                                    const double* blue, double m0, double m1,
                                                    double m2, std::uint32_t columns,
                                                    std::uint8_t* out) {
  const __m256d mr = _mm256_set1_pd(m0), mg = _mm256_set1_pd(m1), mb = _mm256_set1_pd(m2);
  // Bytes 0, 4, 8, 12 of blue, green and red lanes interleaved into 12 bytes of 4 pixels.
  const __m128i order = _mm_setr_epi8(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, -1, -1, -1, -1);
  for (std::uint32_t dx = 0; dx < columns; dx += 4) {
    const __m128i b = ClampFour(blue + dx, mb);
    const __m128i g = ClampFour(green + dx, mg);
    const __m128i r = ClampFour(red + dx, mr);
    // Each 32-bit lane holds a byte value; gather lane bytes into b0 b1 b2 b3 g0.. r0.. first.
    const __m128i lanes =
        _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i bb = _mm_shuffle_epi8(b, lanes);
    const __m128i gg = _mm_shuffle_epi8(g, lanes);
    const __m128i rr = _mm_shuffle_epi8(r, lanes);
    const __m128i planes = _mm_or_si128(_mm_or_si128(bb, _mm_slli_si128(gg, 4)),
                                        _mm_slli_si128(rr, 8));  // b0..b3 g0..g3 r0..r3
    const __m128i pixels = _mm_shuffle_epi8(planes, order);
    std::uint8_t bytes[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), pixels);
    std::memcpy(out + 3 * dx, bytes, 12);
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
  static const bool vector = __builtin_cpu_supports("avx2");
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
      std::uint32_t dx = 0;
      if (vector) {
        dx = columns / 4 * 4;
        ArrangeRowAvx2(red + base, green + base, blue + base, m0, m1, m2, dx, out);
      }
      for (; dx < columns; ++dx) {
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
