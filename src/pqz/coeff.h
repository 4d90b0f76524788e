#pragma once

#include <cstdint>

#include "pqz/encoding_parameters.h"
#include "pqz/pqz_component.h"

namespace orvane {

/// The coefficients: G x D, one row per patch, one column per basis. They are only clamped
/// to what P magnitude classes can hold; their quantisation is folded into the projection
/// matrix of the encoder.
class CCoeff : public CPQZComponent {
 public:
  /// P = PrecisionBit, R = MaxZeroRun.
  ResultCode Setup(const CompressionParameters& parameters);

  /// Clamps every value to [-(2^P - 1), 2^P - 1], without rounding. 22 for P outside 1..32.
  ResultCode Quantize() override;

 protected:
  void ShapeFromHeader(const PqzHeader& header, std::uint32_t& rows,
                       std::uint32_t& columns) const override;
};

}  // namespace orvane
