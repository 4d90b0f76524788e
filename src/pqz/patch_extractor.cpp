#include "pqz/patch_extractor.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

#include "foundation/parallel_shares.h"
#include "imaging/image_ex.h"
#include "pqz/color_space.h"
#include "pqz/pqz_header.h"

namespace orvane {

namespace {

// Below this a thread costs more than the patches it would extract.
constexpr std::uint32_t kPatchesPerShare = 4096;

}  // namespace

ResultCode ExtractPatches(const CImageEx& image, const CommonParameters& common,
                          PatchMatrix& patches, Tarn::Matrix<double>& means) {
  if (image.IsNull()) return kInvalidValues;
  PqzHeader shape;
  shape.ImageWidth = image.GetWidth();
  shape.ImageHeight = image.GetHeight();
  shape.PatchWidth = static_cast<std::int32_t>(common.PatchWidth);
  shape.PatchHeight = static_cast<std::int32_t>(common.PatchHeight);
  shape.Dimension = 1;
  if (CheckPqzHeaderSizes(shape) != kSuccess) return kInvalidValues;
  const PatchGrid grid = GridOf(shape);
  const std::uint32_t pw = common.PatchWidth, ph = common.PatchHeight;
  const std::uint32_t n = grid.PixelsPerPatch;
  const int lastX = image.GetWidth() - 1, lastY = image.GetHeight() - 1;

  return VisitColorConversion(common.ColorSpace, [&](auto conversion) -> ResultCode {
    using Conversion = decltype(conversion);
    // Where each patch column reads in a pixel row: byte offsets of the clamped columns.
    std::vector<std::ptrdiff_t> offset;
    try {
      patches = PatchMatrix(pw, ph);
      patches.Resize(grid.Patches, 3 * n);
      means.Resize(3, grid.Patches);
      offset.resize(static_cast<std::size_t>(grid.Columns) * pw);
    } catch (const Tarn::MatrixException&) {
      return kNoMemory;
    } catch (const std::bad_alloc&) {
      return kNoMemory;
    }
    const int bytes = image.GetBPP() / 8;
    const bool direct = image.GetBPP() == 24 || image.GetBPP() == 32;
    for (std::size_t x = 0; x < offset.size(); ++x) {
      offset[x] = static_cast<std::ptrdiff_t>(std::min(static_cast<int>(x), lastX)) * bytes;
    }
    // Each patch is a row of its own, so the rows are filled on every core; for a photo the
    // first touch of the matrix's pages is most of the work.
    RunInShares(grid.Patches, 0, kPatchesPerShare,
                [&](unsigned, std::uint32_t first, std::uint32_t last) {
                  for (std::uint32_t k = first; k < last; ++k) {
                    const std::uint32_t x0 = (k % grid.Columns) * pw;
                    const std::uint32_t y0 = (k / grid.Columns) * ph;
                    double* row = patches.Row(k);
                    double sum[3] = {0.0, 0.0, 0.0};
                    for (std::uint32_t dy = 0; dy < ph; ++dy) {
                      const int y = std::min(static_cast<int>(y0 + dy), lastY);
                      const std::uint8_t* line =
                          image.GetBits() + static_cast<std::ptrdiff_t>(y) * image.GetPitch();
                      const std::ptrdiff_t* at = offset.data() + x0;
                      for (std::uint32_t dx = 0; dx < pw; ++dx) {
                        // Blue, green, red bytes: the colour value GetPixel would give, without its
                        // checks.
                        const std::uint8_t* p = line + at[dx];
                        const ColorValue color =
                            direct ? (std::uint32_t{p[2]} | std::uint32_t{p[1]} << 8 |
                                      std::uint32_t{p[0]} << 16)
                                   : image.GetPixel(std::min(static_cast<int>(x0 + dx), lastX), y);
                        const ColorTriple t = Conversion::Forward(color);
                        const std::uint32_t i = dy * pw + dx;
                        row[i] = t.x;
                        row[n + i] = t.y;
                        row[2 * n + i] = t.z;
                        sum[0] += t.x;
                        sum[1] += t.y;
                        sum[2] += t.z;
                      }
                    }
                    for (std::uint32_t c = 0; c < 3; ++c) {
                      const double mean = sum[c] / n;
                      double* plane = row + c * n;
                      for (std::uint32_t i = 0; i < n; ++i) plane[i] -= mean;
                      means(c, k) = mean;
                    }
                  }
                });
    return kSuccess;
  });
}

}  // namespace orvane
