#pragma once

#include <cstdint>

#include "pqz/decode_limits.h"

namespace orvane::fuzz {

/// Limits scaled to the fuzzers' inputs of a few KiB. A flat picture codes in almost nothing,
/// so with the program's limits a mutated header could ask for 2^26 pixels or millions of
/// patch means: legitimate work that takes seconds under the sanitizers. Every path through
/// the limits (refused, admitted for free, earned by the file's bytes) stays reachable at a
/// few hundred thousand pixels and a few MiB of working memory.
inline DecodeLimits FuzzDecodeLimits() {
  DecodeLimits limits;
  limits.MaxPixels = std::uint64_t{1} << 20;
  limits.MaxWorkingBytes = std::uint64_t{4} << 20;
  limits.FreePixels = std::uint64_t{1} << 18;
  limits.PixelsPerFileByte = 128;
  return limits;
}

}  // namespace orvane::fuzz
