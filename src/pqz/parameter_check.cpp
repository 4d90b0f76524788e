#include "pqz/parameter_check.h"

#include <cmath>

namespace orvane {
namespace {

constexpr std::uint32_t kMissingUnsigned = 0xFFFFFFFFu;
constexpr std::int32_t kMissingSigned = -1;
constexpr std::uint64_t kChannels = 3;

bool IsMissing(const EncodingParameters& p) {
  return p.Common.PatchWidth == kMissingUnsigned || p.Common.PatchHeight == kMissingUnsigned ||
         p.Learning.DimensionReduction == kMissingUnsigned ||
         p.Learning.MaxIterations == kMissingUnsigned ||
         p.Compression.MaxZeroRun == kMissingSigned || p.Compression.PrecisionBit == kMissingSigned;
}

bool IsWithin(std::int64_t value, std::int64_t low, std::int64_t high) {
  return value >= low && value <= high;
}

bool HasUnsafeValue(const EncodingParameters& p) {
  const CommonParameters& common = p.Common;
  const CompressionParameters& compression = p.Compression;
  return !IsWithin(common.PatchWidth, 1, kMaxPatchSide) ||
         !IsWithin(common.PatchHeight, 1, kMaxPatchSide) || p.Learning.DimensionReduction == 0 ||
         !IsWithin(compression.MaxZeroRun, 1, kMaxZeroRunLimit) ||
         !IsWithin(compression.PrecisionBit, 1, kMaxPrecisionBit) ||
         !IsWithin(compression.BasePrecisionBit, 0, kMaxPrecisionBit) ||
         common.ColorSpace > kMaxColorSpace || compression.CoeffQuantizeStep == 0 ||
         p.Learning.MaxIterations > kMaxLearningIterations ||
         !std::isfinite(p.Learning.ConversionCondition) || p.Learning.ConversionCondition < 0.0;
}

}  // namespace

ResultCode CheckParameters(const EncodingParameters& parameters) {
  if (IsMissing(parameters)) return kConfigLoadFailed;
  if (HasUnsafeValue(parameters)) return kInvalidConfigValue;
  // The sides are at most kMaxPatchSide here, so the 64-bit product is exact.
  const std::uint64_t patchValues =
      std::uint64_t{parameters.Common.PatchWidth} * parameters.Common.PatchHeight * kChannels;
  if (patchValues < parameters.Learning.DimensionReduction) return kInconsistentParameters;
  return kSuccess;
}

}  // namespace orvane
