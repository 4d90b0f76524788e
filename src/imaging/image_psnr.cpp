#include "imaging/image_psnr.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "imaging/image_ex.h"

namespace orvane {

double Psnr(const CImageEx& a, const CImageEx& b) {
  if (a.IsNull() || a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return 0.0;
  double sum = 0.0;
  for (int y = 0; y < a.GetHeight(); ++y) {
    for (int x = 0; x < a.GetWidth(); ++x) {
      const std::uint32_t p = a.GetPixel(x, y), q = b.GetPixel(x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        const double d = double((p >> shift) & 0xFF) - double((q >> shift) & 0xFF);
        sum += d * d;
      }
    }
  }
  if (sum == 0.0) return std::numeric_limits<double>::infinity();
  const double mse = sum / (3.0 * a.GetWidth() * a.GetHeight());
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace orvane
