#include "pqz/average.h"

#include <cmath>
#include <new>

namespace orvane {

ResultCode CAverage::Setup(const CompressionParameters& parameters) {
  m_step = parameters.AverageQuantizeStep;
  try {
    m_stepTable.assign(3, m_step);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  SetCodingParameters(parameters.PrecisionBit, parameters.MaxZeroRun);
  return kSuccess;
}

void CAverage::ShapeFromHeader(const PqzHeader& header, std::uint32_t& rows,
                               std::uint32_t& columns) const {
  rows = 3;
  columns = GridOf(header).Patches;
}

ResultCode CAverage::Dequantize() {
  if (m_stepTable.size() < Rows()) return kReadFailed;
  for (std::uint32_t r = 0; r < Rows(); ++r) {
    if (m_stepTable[r] == 0) return kDividedByZero;
  }
  for (std::uint32_t r = 0; r < Rows(); ++r) {
    const double step = m_stepTable[r];
    double* v = Row(r);
    for (std::uint32_t j = 0; j < Columns(); ++j) v[j] *= step;
  }
  return kSuccess;
}

ResultCode CAverage::LoadSteps() { return LoadStepTable(m_stepTable); }

ResultCode CAverage::StoreSteps() { return StoreStepTable(m_stepTable); }

ResultCode CAverage::Quantize() {
  if (m_stepTable.size() < Rows()) return kInvalidValues;
  for (std::uint32_t r = 0; r < Rows(); ++r) {
    if (m_stepTable[r] == 0) continue;
    const double step = m_stepTable[r];
    double* v = Row(r);
    for (std::uint32_t j = 0; j < Columns(); ++j) v[j] = std::trunc(v[j] / step);
  }
  return kSuccess;
}

ResultCode CAverage::Predict() {
  for (std::uint32_t r = 0; r < Rows(); ++r) {
    double* v = Row(r);
    for (std::uint32_t j = Columns(); j-- > 1;) v[j] -= v[j - 1];
  }
  return kSuccess;
}

ResultCode CAverage::Unpredict() {
  std::uint32_t r = 0;
  // Three rows at a time, so that three chains of additions run side by side; each row's
  // additions are the same and in the same order either way.
  for (; r + 3 <= Rows(); r += 3) {
    double* a = Row(r);
    double* b = Row(r + 1);
    double* c = Row(r + 2);
    for (std::uint32_t j = 1; j < Columns(); ++j) {
      a[j] += a[j - 1];
      b[j] += b[j - 1];
      c[j] += c[j - 1];
    }
  }
  for (; r < Rows(); ++r) {
    double* v = Row(r);
    for (std::uint32_t j = 1; j < Columns(); ++j) v[j] += v[j - 1];
  }
  return kSuccess;
}

ResultCode CAverage::ExpandBand(std::uint32_t count, Tarn::Matrix<double>& means) {
  const bool first = m_carry.empty();
  if (const ResultCode code = ExpandColumns(count, means); code != kSuccess) return code;
  const std::uint32_t rows = means.Rows();
  if (m_stepTable.size() < rows) return kReadFailed;
  for (std::uint32_t r = 0; r < rows; ++r) {
    if (m_stepTable[r] == 0) return kDividedByZero;
  }
  if (first) m_carry.assign(rows, 0.0);
  if (count == 0) return kSuccess;
  for (std::uint32_t r = 0; r < rows; ++r) {
    double* v = means.Row(r);
    // The same additions in the same order as Unpredict over the whole row.
    if (!first) v[0] += m_carry[r];
    for (std::uint32_t j = 1; j < count; ++j) v[j] += v[j - 1];
    m_carry[r] = v[count - 1];
    const double step = m_stepTable[r];
    for (std::uint32_t j = 0; j < count; ++j) v[j] *= step;
  }
  return kSuccess;
}

}  // namespace orvane
