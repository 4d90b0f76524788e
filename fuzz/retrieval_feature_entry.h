#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/result_code.h"

namespace orvane::fuzz {

/// What the search makes of one file's bytes.
struct FeatureOutcome {
  /// The first failure of the two section readers (patch means, then bases); 0 when both read.
  ResultCode Code = kSuccess;
  /// False when a similarity came out of its range: the colour similarities outside -1..1,
  /// Edge outside 0..1 (or -1 for an unreadable target), or not a number.
  bool SimilaritiesInRange = true;
  /// False when the 16-bit base reader and the double one disagree: another failure (22,
  /// for a section the 16-bit rows do not take, aside) or other values.
  bool SmallBasesAgree = true;
  /// False when a colour or the Edge similarity of the file scored beside itself, the walks
  /// side by side, differs from the one it gets alone.
  bool TogetherAgrees = true;
};

/// Treats `data` as a PQZ file and reads it the way a search does: the average and the base
/// section by themselves, the three colour descriptors and the Edge features with the file as
/// query and as target, all under FuzzDecodeLimits. Whatever the bytes, it must return: no crash,
/// hang or unbounded allocation.
FeatureOutcome ReadFeatureBytes(const std::uint8_t* data, std::size_t size);

}  // namespace orvane::fuzz
