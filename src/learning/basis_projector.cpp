#include "learning/basis_projector.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <utility>

#include "foundation/matrix_exception.h"
#include "foundation/small_helpers.h"
#include "learning/svd.h"

namespace orvane {
namespace {

constexpr std::uint32_t kMaxPrecision = 32;
constexpr double kLargestStep = 4294967295.0;  // steps are stored as unsigned 32-bit values

// L = 2^(P-1) − 1, the largest magnitude a quantised basis value may take: 127 for P = 8.
// P = 0 leaves no magnitude at all; above 32 the values would no longer fit in 32 bits.
double QuantisationLimit(std::uint32_t precision) {
  if (precision == 0) return 0.0;
  const std::uint32_t bits = std::min(precision, kMaxPrecision);
  return static_cast<double>((std::uint64_t{1} << (bits - 1)) - 1);
}

// A step quotient as a stored step: truncated toward zero, at least 1 (a quotient of 0 or one
// that is not a number means "no refinement"), at most the largest unsigned 32-bit value.
std::uint32_t ToStep(double quotient) {
  if (!(quotient >= 1.0)) return 1;
  return static_cast<std::uint32_t>(std::min(std::trunc(quotient), kLargestStep));
}

}  // namespace

BasisProjector::BasisProjector(std::uint32_t precision, std::uint32_t coeff_quantize_step,
                               bool do_change_step)
    : m_precision(precision),
      m_coeff_quantize_step(coeff_quantize_step),
      m_do_change_step(do_change_step) {}

ResultCode BasisProjector::Run(Tarn::Matrix<double>& bases, std::vector<std::uint32_t>& steps,
                               Tarn::Matrix<double>& projection) const {
  if (m_precision < 1 || m_precision > kMaxPrecision) return kInvalidValues;
  // A value that is not finite has no integer to quantise to; refuse before touching anything.
  for (std::uint32_t k = 0; k < bases.Count(); ++k) {
    if (!std::isfinite(bases.Data()[k])) return kInvalidValues;
  }
  try {
    const Tarn::DoubleVector norms = SortByNorm(bases);
    Quantize(bases);
    std::vector<std::uint32_t> table = CoefficientSteps(norms);
    Tarn::Matrix<double> q = Invert(bases);
    const ResultCode code = ScaleColumns(bases, table, q);
    if (code != kSuccess) return code;
    steps = std::move(table);
    projection = std::move(q);
    return kSuccess;
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
}

Tarn::DoubleVector BasisProjector::SortByNorm(Tarn::Matrix<double>& bases) {
  const std::uint32_t m = bases.Rows();
  const std::uint32_t d = bases.Columns();
  Tarn::DoubleVector norms(m);
  if (m != 0) RowNorms(bases.Data(), m, d, norms.Data());

  // Selection sort: m is the number of bases, a few hundred at most, and selecting with a
  // strict comparison from the front is what keeps equal norms in their original order.
  Tarn::Matrix<double> sorted(m, d);
  Tarn::DoubleVector sorted_norms(m);
  std::vector<bool> taken(m, false);
  for (std::uint32_t out = 0; out < m; ++out) {
    std::uint32_t best = m;
    for (std::uint32_t j = 0; j < m; ++j) {
      if (taken[j]) continue;
      if (best == m || norms[j] > norms[best]) best = j;
    }
    taken[best] = true;
    sorted_norms[out] = norms[best];
    std::copy(bases[best], bases[best] + d, sorted[out]);
  }
  bases = std::move(sorted);
  return sorted_norms;
}

void BasisProjector::Quantize(Tarn::Matrix<double>& bases) const {
  const double limit = QuantisationLimit(m_precision);
  const std::uint32_t d = bases.Columns();
  for (std::uint32_t i = 0; i < bases.Rows(); ++i) {
    double* row = bases[i];
    double largest = 0.0;
    for (std::uint32_t c = 0; c < d; ++c) largest = std::max(largest, std::fabs(row[c]));
    if (largest == 0.0) continue;
    if (largest > limit) {
      // An integer factor would be trunc(L / max) = 0 and wipe the basis out; the real factor
      // L / max brings its largest value onto ±L instead. The quotient (x · L) / max may land
      // a hair below L for x = ±max, so that value is set exactly.
      for (std::uint32_t c = 0; c < d; ++c) {
        const double magnitude = std::fabs(row[c]);
        const double value =
            magnitude == largest ? limit : std::trunc(magnitude * (limit / largest));
        row[c] = std::copysign(std::min(value, limit), row[c]) + 0.0;  // + 0.0: no -0
      }
      continue;
    }
    // The factor is an integer, so the largest value lands on at most L. It is kept as a
    // double: for a row below L / 2^32 an unsigned 32-bit factor would overflow, and a row so
    // small that L / max overflows takes the largest finite factor, which still keeps every
    // product within ±L.
    const double scale = std::min(std::trunc(limit / largest), DBL_MAX);
    for (std::uint32_t c = 0; c < d; ++c) {
      const double value = std::clamp(std::trunc(row[c] * scale), -limit, limit);
      row[c] = static_cast<double>(static_cast<std::int32_t>(value));
    }
  }
}

std::vector<std::uint32_t> BasisProjector::CoefficientSteps(
    const Tarn::DoubleVector& sorted_norms) const {
  const std::uint32_t m = sorted_norms.Length();
  std::vector<std::uint32_t> steps(m, m_coeff_quantize_step);
  if (!m_do_change_step || m == 0) return steps;
  if (sorted_norms[0] == 0.0) {
    std::fill(steps.begin(), steps.end(), 1u);
    return steps;
  }
  // step_i = q · n_last / n_i: the weakest basis keeps q and a basis k times stronger gets a
  // k times finer step. A basis of norm 0 (the quotient 0 / 0) gets 1.
  const double weakest = static_cast<double>(m_coeff_quantize_step) * sorted_norms[m - 1];
  for (std::uint32_t i = 0; i < m; ++i) {
    steps[i] = sorted_norms[i] != 0.0 ? ToStep(weakest / sorted_norms[i]) : 1u;
  }
  return steps;
}

Tarn::Matrix<double> BasisProjector::Invert(const Tarn::Matrix<double>& bases) {
  if (bases.Rows() == bases.Columns()) return PseudoInverse(bases);
  return GeneralizedInverse(bases);
}

ResultCode BasisProjector::ScaleColumns(const Tarn::Matrix<double>& bases,
                                        std::vector<std::uint32_t>& steps,
                                        Tarn::Matrix<double>& projection) {
  const std::uint32_t m = bases.Rows();
  if (steps.size() != m || projection.Columns() != m) return kInvalidValues;
  for (std::uint32_t i = 0; i < m; ++i) {
    const double norm = RowNorm(bases[i], bases.Columns());
    if (norm == 0.0) continue;
    if (steps[i] == 0) return kDividedByZero;
    // x · (column i of Q) is the coefficient of x on the integer basis i; times r_i it is the
    // coefficient on the unit-norm basis, and divided by step_i truncation to an integer then
    // quantises it with step step_i. The decoder divides the basis by the same factor.
    steps[i] = ToStep(norm / static_cast<double>(steps[i]));
    const double factor = static_cast<double>(steps[i]);
    for (std::uint32_t r = 0; r < projection.Rows(); ++r) projection[r][i] *= factor;
  }
  return kSuccess;
}

}  // namespace orvane
