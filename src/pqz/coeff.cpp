#include "pqz/coeff.h"

#include "pqz/run_size_symbols.h"

namespace orvane {

ResultCode CCoeff::Setup(const CompressionParameters& parameters) {
  SetCodingParameters(parameters.PrecisionBit, parameters.MaxZeroRun);
  return kSuccess;
}

void CCoeff::ShapeFromHeader(const PqzHeader& header, std::uint32_t& rows,
                             std::uint32_t& columns) const {
  rows = GridOf(header).Patches;
  columns = static_cast<std::uint32_t>(header.Dimension);
}

ResultCode CCoeff::Quantize() {
  const std::int32_t precision = Block().Precision;
  if (precision < 1 || precision > RunSizeAlphabet::kMaxPrecision) return kInvalidValues;
  const double limit = static_cast<double>((std::uint64_t{1} << precision) - 1);
  double* v = Data();
  for (std::uint32_t i = 0; i < Count(); ++i) {
    if (v[i] > limit) {
      v[i] = limit;
    } else if (v[i] < -limit) {
      v[i] = -limit;
    }
  }
  return kSuccess;
}

}  // namespace orvane
