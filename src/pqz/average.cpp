#include "pqz/average.h"

#include <algorithm>
#include <cmath>
#include <new>

#include <immintrin.h>

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

namespace {

// Rows this long or shorter have every partial sum below 2^53 when their values are the
// integers of at most 32 bits a section stores: the sums are then exact in any order.
constexpr std::uint32_t kExactScanColumns = std::uint32_t{1} << 20;

// v[j] += v[j - 1] along a row, four values a step: each step's prefix sums in the register
// and the carry of the step before. The additions are grouped otherwise than left to right,
// which gives the same values only where every partial sum is exact.
__attribute__((target("avx2"))) void ScanRowAvx2(double* v, std::uint32_t columns) {
  const __m256d zero = _mm256_setzero_pd();
  __m256d carry = zero;
  std::uint32_t j = 0;
  for (; j + 4 <= columns; j += 4) {
    __m256d x = _mm256_loadu_pd(v + j);
    // [x0, x0 + x1, x1 + x2, x2 + x3], then [.., .., x0 + x1 + x2, x0 + x1 + x2 + x3].
    x = _mm256_add_pd(x, _mm256_blend_pd(_mm256_permute4x64_pd(x, 0x90), zero, 0x1));
    x = _mm256_add_pd(x, _mm256_permute2f128_pd(x, x, 0x08));
    x = _mm256_add_pd(x, carry);
    _mm256_storeu_pd(v + j, x);
    carry = _mm256_permute4x64_pd(x, 0xFF);
  }
  for (j = std::max(j, 1u); j < columns; ++j) v[j] += v[j - 1];
}

}  // namespace

ResultCode CAverage::Unpredict() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2 && Columns() <= kExactScanColumns) {
    for (std::uint32_t r = 0; r < Rows(); ++r) ScanRowAvx2(Row(r), Columns());
    return kSuccess;
  }
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
