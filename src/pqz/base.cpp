#include "pqz/base.h"

#include <algorithm>

namespace orvane {

ResultCode CBase::Setup(const CompressionParameters& parameters) {
  m_coeffQuantizeStep = parameters.CoeffQuantizeStep;
  m_doChangeStep = parameters.DoChangeStep;
  const std::int32_t precision =
      parameters.BasePrecisionBit != 0 ? parameters.BasePrecisionBit : parameters.PrecisionBit;
  SetCodingParameters(precision, parameters.MaxZeroRun);
  return kSuccess;
}

void CBase::ShapeFromHeader(const PqzHeader& header, std::uint32_t& rows,
                            std::uint32_t& columns) const {
  rows = static_cast<std::uint32_t>(header.Dimension);
  columns = 3 * GridOf(header).PixelsPerPatch;
}

ResultCode CBase::Dequantize() {
  if (m_stepTable.size() < Rows()) return kReadFailed;
  for (std::uint32_t r = 0; r < Rows(); ++r) {
    if (m_stepTable[r] == 0) return kDividedByZero;
  }
  for (std::uint32_t r = 0; r < Rows(); ++r) {
    const double factor = m_stepTable[r];
    double* v = Row(r);
    for (std::uint32_t j = 0; j < Columns(); ++j) v[j] /= factor;
  }
  return kSuccess;
}

ResultCode CBase::LoadSteps() { return LoadStepTable(m_stepTable); }

ResultCode CBase::StoreSteps() { return StoreStepTable(m_stepTable); }

ResultCode CBase::Predict() {
  const std::uint32_t n = Columns() / 3;
  for (std::uint32_t r = 0; r < Rows(); ++r) {
    double* v = Row(r);
    for (std::uint32_t k = 0; k < n; ++k) {
      v[n + k] -= v[k];
      v[2 * n + k] -= v[k];
    }
  }
  return kSuccess;
}

ResultCode CBase::Unpredict() {
  const std::uint32_t n = Columns() / 3;
  for (std::uint32_t r = 0; r < Rows(); ++r) {
    double* v = Row(r);
    for (std::uint32_t k = 0; k < n; ++k) {
      v[n + k] += v[k];
      v[2 * n + k] += v[k];
    }
  }
  return kSuccess;
}

std::pair<std::int16_t, std::int16_t> CBase::Unpredict(std::int16_t* data, std::uint32_t rows,
                                                       std::uint32_t columns, std::size_t stride) {
  // The range comes with the sums, so that the rows are not read once more for it; lowest
  // and highest apart keep the loop in 16 bits (and vectorised).
  const std::uint32_t n = columns / 3;
  std::int16_t lowest = 0, highest = 0;
  for (std::uint32_t r = 0; r < rows; ++r) {
    std::int16_t* v = data + r * stride;
    for (std::uint32_t k = 0; k < n; ++k) {
      const std::int16_t first = v[k];
      const auto second = static_cast<std::int16_t>(v[n + k] + first);
      const auto third = static_cast<std::int16_t>(v[2 * n + k] + first);
      v[n + k] = second;
      v[2 * n + k] = third;
      lowest = std::min({lowest, first, second, third});
      highest = std::max({highest, first, second, third});
    }
    for (std::uint32_t k = 3 * n; k < columns; ++k) {
      lowest = std::min(lowest, v[k]);
      highest = std::max(highest, v[k]);
    }
  }
  return {lowest, highest};
}

}  // namespace orvane
