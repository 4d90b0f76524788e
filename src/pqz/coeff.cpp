#include "pqz/coeff.h"

#include <cstdint>

#include "foundation/parallel_shares.h"
#include "pqz/run_size_symbols.h"

namespace orvane {

namespace {

// Values below which clamping on another thread costs more than it saves.
constexpr std::uint32_t kValuesPerShare = 1u << 20;

}  // namespace

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
  // A photo's coefficients run to hundreds of megabytes: clamped on every core.
  RunInShares(Count(), 0, kValuesPerShare,
              [v, limit](unsigned, std::uint32_t first, std::uint32_t last) {
                for (std::uint32_t i = first; i < last; ++i) {
                  if (v[i] > limit) {
                    v[i] = limit;
                  } else if (v[i] < -limit) {
                    v[i] = -limit;
                  }
                }
              });
  return kSuccess;
}

}  // namespace orvane
