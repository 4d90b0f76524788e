#include "pqz/decode_budget.h"

#include <algorithm>

namespace orvane {
namespace {

// A band's means, coefficients and patch vectors stay near this size, so that a band fits the
// caches of the product and the arranging while the per-band overhead stays small.
constexpr std::uint64_t kBandBytes = std::uint64_t{8} << 20;
constexpr std::uint64_t kDoubleBytes = sizeof(double);

// Pixels the limits admit for a file of `fileLength` bytes.
bool PixelsAdmitted(std::uint64_t pixels, std::uint64_t fileLength, const DecodeLimits& limits) {
  if (pixels > limits.MaxPixels) return false;
  const std::uint64_t perByte = limits.PixelsPerFileByte;
  const std::uint64_t earned = perByte != 0 && fileLength > limits.MaxPixels / perByte
                                   ? limits.MaxPixels
                                   : fileLength * perByte;
  return pixels <= limits.FreePixels || pixels <= earned;
}

}  // namespace

ResultCode PlanDecode(const PqzHeader& header, std::uint64_t fileLength, const DecodeLimits& limits,
                      DecodePlan& plan) {
  // The header passed CheckPqzHeaderSizes: every count below fits 32 bits.
  const PatchGrid grid = GridOf(header);
  const std::uint64_t pixels = static_cast<std::uint64_t>(header.ImageWidth) *
                               static_cast<std::uint64_t>(header.ImageHeight);
  // Every patch is made whole before its pixels inside the picture are kept, so a patch far
  // larger than the picture costs its full size: the patch pixels are weighed as well.
  const std::uint64_t patchPixels =
      std::uint64_t{grid.Patches} * std::uint64_t{grid.PixelsPerPatch};
  if (!PixelsAdmitted(std::max(pixels, patchPixels), fileLength, limits)) return kNoMemory;

  const std::uint64_t dimension = static_cast<std::uint64_t>(header.Dimension);
  const std::uint64_t patchLength = 3 * std::uint64_t{grid.PixelsPerPatch};
  const std::uint64_t whole = 2 * dimension * patchLength * kDoubleBytes;
  const std::uint64_t perRow =
      std::uint64_t{grid.Columns} * (3 + dimension + patchLength) * kDoubleBytes;
  if (whole > limits.MaxWorkingBytes || limits.MaxWorkingBytes - whole < perRow) {
    return kNoMemory;
  }
  const std::uint64_t room = std::min(limits.MaxWorkingBytes - whole, kBandBytes);
  plan.BandRows = static_cast<std::uint32_t>(
      std::clamp<std::uint64_t>(room / perRow, 1, std::uint64_t{grid.Rows}));
  return kSuccess;
}

ResultCode CheckPreviewLimits(const PqzHeader& header, std::uint64_t fileLength,
                              const DecodeLimits& limits) {
  return PixelsAdmitted(GridOf(header).Patches, fileLength, limits) ? kSuccess : kNoMemory;
}

ResultCode CheckSectionLimit(std::uint64_t rows, std::uint64_t columns,
                             const DecodeLimits& limits) {
  // Both counts are below 2^32, so the product cannot overflow before the comparison.
  const std::uint64_t values = rows * columns;
  return values <= limits.MaxWorkingBytes / kDoubleBytes ? kSuccess : kNoMemory;
}

}  // namespace orvane
