#pragma once

#include <cstdint>

namespace orvane {

/// Colour space of the patch values stored in a PQZ file.
enum ColorSpaceCode : std::uint16_t { kColorSpaceRgb = 0, kColorSpaceYcc = 1, kColorSpaceHsv = 2 };

struct CommonParameters {
  std::uint16_t ColorSpace = kColorSpaceRgb;
  std::uint32_t PatchWidth = 8;
  std::uint32_t PatchHeight = 8;
};

/// Controls of the basis learning.
struct LearningParameters {
  double ConversionCondition = 0.0001;    ///< convergence threshold of the ICA iteration
  std::uint32_t MaxIterations = 0;        ///< 0: principal components only
  std::uint32_t DimensionReduction = 96;  ///< number of bases D kept
};

/// Method of the basis learning chosen for a batch conversion; it overrides `MaxIterations`
/// (see ApplyLearningMethod).
enum class LearningMethod { kPca, kIca };

/// Quantisation and coding controls of the three stored components.
struct CompressionParameters {
  std::uint32_t AverageQuantizeStep = 1;  ///< derived from CoeffQuantizeStep and PatchWidth
  std::uint32_t CoeffQuantizeStep = 1;
  std::uint32_t DoChangeStep = 0;     ///< not 0: per-basis coefficient steps
  std::int32_t BasePrecisionBit = 7;  ///< 0: PrecisionBit is used for the bases
  std::int32_t PrecisionBit = 16;     ///< magnitude classes P of the entropy coder
  std::int32_t MaxZeroRun = 16;       ///< longest zero run R of one symbol
};

/// One complete record of encoding parameters; default-constructed it holds the built-in
/// defaults used when no config.ini can be opened.
struct EncodingParameters {
  CommonParameters Common;
  LearningParameters Learning;
  CompressionParameters Compression;
};

}  // namespace orvane
