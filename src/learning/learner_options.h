#pragma once

#include <cstdint>

namespace orvane {

/// Controls of one basis learning, as the caller (the codec, from its encoding parameters)
/// hands them over.
struct LearnerOptions {
  /// The ICA iteration stops once the mean change of the unmixing rows is below this.
  double ConversionCondition = 0.0001;
  /// Most ICA steps; 0 learns the principal components only.
  std::uint32_t MaxIterations = 0;
  /// Number of bases kept.
  std::uint32_t DimensionReduction = 96;
};

}  // namespace orvane
