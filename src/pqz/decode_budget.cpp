#include "pqz/decode_budget.h"

#include <algorithm>

namespace orvane {
namespace {

// A band's coefficients and patch vectors stay near this size, so that a band fits the
// caches of the product and the arranging while the per-band overhead stays small.
constexpr std::uint64_t kBandBytes = std::uint64_t{8} << 20;
constexpr std::uint64_t kDoubleBytes = sizeof(double);

std::uint64_t AverageBytes(const PatchGrid& grid) {
  return 3 * std::uint64_t{grid.Patches} * kDoubleBytes;
}

}  // namespace

ResultCode PlanDecode(const PqzHeader& header, std::uint64_t fileLength, const DecodeLimits& limits,
                      DecodePlan& plan) {
  // The header passed CheckPqzHeaderSizes: every count below fits 32 bits.
  const PatchGrid grid = GridOf(header);
  const std::uint64_t pixels = static_cast<std::uint64_t>(header.ImageWidth) *
                               static_cast<std::uint64_t>(header.ImageHeight);
  if (pixels > limits.MaxPixels) return kNoMemory;
  const std::uint64_t earned =
      fileLength > (limits.MaxPixels / std::max<std::uint64_t>(limits.PixelsPerFileByte, 1))
          ? limits.MaxPixels
          : fileLength * limits.PixelsPerFileByte;
  if (pixels > limits.FreePixels && pixels > earned) return kNoMemory;

  const std::uint64_t dimension = static_cast<std::uint64_t>(header.Dimension);
  const std::uint64_t patchLength = 3 * std::uint64_t{grid.PixelsPerPatch};
  const std::uint64_t whole = AverageBytes(grid) + 2 * dimension * patchLength * kDoubleBytes;
  const std::uint64_t perRow =
      std::uint64_t{grid.Columns} * (dimension + patchLength) * kDoubleBytes;
  if (whole > limits.MaxWorkingBytes || limits.MaxWorkingBytes - whole < perRow) {
    return kNoMemory;
  }
  const std::uint64_t room = std::min(limits.MaxWorkingBytes - whole, kBandBytes);
  plan.BandRows = static_cast<std::uint32_t>(
      std::clamp<std::uint64_t>(room / perRow, 1, std::uint64_t{grid.Rows}));
  return kSuccess;
}

ResultCode CheckPreviewLimits(const PqzHeader& header, const DecodeLimits& limits) {
  const PatchGrid grid = GridOf(header);
  if (grid.Patches > limits.MaxPixels) return kNoMemory;
  return AverageBytes(grid) <= limits.MaxWorkingBytes ? kSuccess : kNoMemory;
}

ResultCode CheckSectionLimit(std::uint64_t rows, std::uint64_t columns,
                             const DecodeLimits& limits) {
  // Both counts are below 2^32, so the product cannot overflow before the comparison.
  const std::uint64_t values = rows * columns;
  return values <= limits.MaxWorkingBytes / kDoubleBytes ? kSuccess : kNoMemory;
}

}  // namespace orvane
