#pragma once

#include <cstdint>

#include "foundation/result_code.h"
#include "pqz/encoding_parameters.h"

namespace orvane {

/// Limits of the values an encoding can use safely.
inline constexpr std::uint32_t kMaxPatchSide = 32;
inline constexpr std::int32_t kMaxZeroRunLimit = 256;
inline constexpr std::int32_t kMaxPrecisionBit = 24;
inline constexpr std::uint16_t kMaxColorSpace = kColorSpaceHsv;
/// Most ICA steps an encoding may ask for. Learning converges in tens of steps when it does at
/// all; 100,000 steps already take hours on a photo, and beyond that a typing slip (or a
/// negative number read as unsigned) would keep an encoder busy for ever.
inline constexpr std::uint32_t kMaxLearningIterations = 100000;

/// The checks a record passes before the codec encodes with it, in this order:
/// - kConfigLoadFailed (10) when PatchWidth, PatchHeight, DimensionReduction, MaxIterations,
///   MaxZeroRun or PrecisionBit is missing: the -1 the loader leaves (0xFFFFFFFF in the unsigned
///   fields);
/// - kInvalidConfigValue (20) for values that cannot encode safely: a patch side of 0 or above
///   kMaxPatchSide, DimensionReduction 0, MaxZeroRun outside 1..256 (0 would never end a run),
///   PrecisionBit outside 1..24, BasePrecisionBit outside 0..24, ColorSpace outside 0..2,
///   CoeffQuantizeStep 0 (the per-basis steps divide by it), MaxIterations above
///   kMaxLearningIterations, a ConversionCondition that is not a number, infinite or
///   negative (the learning could never meet it, or would meet it at once by accident);
/// - kInconsistentParameters (17) when PatchWidth x PatchHeight x 3 < DimensionReduction: more
///   bases than a patch has values.
/// The built-in defaults pass.
ResultCode CheckParameters(const EncodingParameters& parameters);

}  // namespace orvane
