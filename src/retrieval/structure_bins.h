#pragma once

#include <cstdint>

namespace orvane {

/// The colour bin of every patch for the structure histogram. Patch k's mean colour is
/// (c0[k], c1[k], c2[k]) as stored; its channels are truncated to integers (NaN counts 0,
/// values past int32 are held to it) and turned to HSV by ColorFeature::PatchToHsv, then
/// quantised: 8 hue levels of 32, `levels` levels of 256 / `levels` for saturation and value
/// (the top level taking everything above it), bin = L (L qh + qs) + qv, and a bin outside
/// 0 .. 8 L^2 - 1 (only negative levels make one) counts as the last. `levels` is 1 .. 64.
void StructureBins(const double* c0, const double* c1, const double* c2, std::uint32_t count,
                   std::uint32_t levels, std::uint32_t* bins);

/// StructureBins one patch at a time, on any processor: the reference for the vector path.
void StructureBinsPortable(const double* c0, const double* c1, const double* c2,
                           std::uint32_t count, std::uint32_t levels, std::uint32_t* bins);

}  // namespace orvane
