#pragma once

#include <cstdint>

namespace orvane {

/// The colour descriptor of a search. The values are the positions of the descriptors in the
/// retrieval panel's combo box, so a combo selection is a FeatureKind as it is.
enum FeatureKind : std::int32_t {
  FEATURE_BLOCK_MEAN = 0,  ///< mean colour of each cell of an L x L grid of patches
  FEATURE_HISTOGRAM = 1,   ///< counts of patches per quantised colour
  FEATURE_CSD = 2,         ///< colour structure histogram over 8 x 8 patch windows
};

/// Number of colour descriptors.
inline constexpr std::int32_t kFeatureKindCount = 3;

/// The combo texts of the descriptors, indexed by FeatureKind.
inline constexpr const char* kFeatureKindTexts[kFeatureKindCount] = {"Block mean", "Histogram",
                                                                     "MPEG-7 CSD"};

/// The colour weight in percent that goes with each descriptor when it is chosen, indexed by
/// FeatureKind: the colour descriptors differ in how much they can be trusted on their own.
inline constexpr std::int32_t kDefaultColorWeights[kFeatureKindCount] = {90, 75, 70};

/// The descriptor a search starts with, and its colour weight.
inline constexpr FeatureKind kDefaultFeatureKind = FEATURE_CSD;
inline constexpr std::int32_t kDefaultColorWeight = 70;

/// True for the three descriptors.
constexpr bool IsFeatureKind(std::int32_t kind) { return kind >= 0 && kind < kFeatureKindCount; }

}  // namespace orvane
