#pragma once

#include <cstdint>
#include <vector>

#include "foundation/matrix.h"
#include "foundation/result_code.h"
#include "foundation/vector.h"

namespace orvane {

/// Turns learned bases into what a PQZ file stores and what the coefficients need: the bases
/// sorted by decreasing norm and quantised to integers, one coefficient step factor per basis,
/// and the projection matrix Q (a generalised inverse of the integer bases with each column
/// scaled by its basis's factor), so that the coefficients of patches X are X · Q.
class BasisProjector {
 public:
  /// `precision` is the bit count P of the quantised bases (their magnitudes stay within
  /// 2^(P-1) − 1, 1 <= P <= 32); `coeff_quantize_step` the base coefficient step q; with
  /// `do_change_step` stronger bases get proportionally finer steps.
  BasisProjector(std::uint32_t precision, std::uint32_t coeff_quantize_step, bool do_change_step);

  /// Sorts and quantises `bases` (m x d) in place, fills `steps` with the m factors that the
  /// bases component stores, and sets `projection` to Q (d x m). Returns 0; 22 when P is
  /// outside 1..32 or a basis value is not finite (nothing is changed then); 13 when a
  /// non-zero basis would be given a step of 0 (q = 0 without per-basis steps); 7 when
  /// memory runs out. After 13 or 7 `bases` may be sorted and quantised already, while
  /// `steps` and `projection` are untouched.
  ResultCode Run(Tarn::Matrix<double>& bases, std::vector<std::uint32_t>& steps,
                 Tarn::Matrix<double>& projection) const;

  /// Reorders the rows by decreasing Euclidean norm, earlier rows first among equal norms,
  /// and returns the norms in the new order.
  static Tarn::DoubleVector SortByNorm(Tarn::Matrix<double>& bases);

  /// Scales each non-zero row by the integer trunc(L / max|row|), L = 2^(P-1) − 1, and
  /// truncates every product toward zero; a row whose largest magnitude exceeds L (where that
  /// integer would be 0) is scaled by the real L / max|row| instead, so its largest value
  /// becomes ±L. Rows of zeros stay as they are. P must be in 1..32 and the values finite
  /// (Run checks both).
  void Quantize(Tarn::Matrix<double>& bases) const;

  /// Coefficient steps from the sorted norms: q for every basis without per-basis steps;
  /// otherwise trunc(q · n_last / n_i), at least 1 (all 1 when the largest norm is 0).
  std::vector<std::uint32_t> CoefficientSteps(const Tarn::DoubleVector& sorted_norms) const;

  /// Q: the SVD pseudo-inverse for square bases, the normal-equations generalised inverse
  /// for any other shape.
  static Tarn::Matrix<double> Invert(const Tarn::Matrix<double>& bases);

  /// For every basis with a non-zero norm r: step ← max(1, trunc(r / step)) (held below
  /// 2^32) and column i of Q multiplied by the new step. Returns 13 when such a basis has a
  /// step of 0, leaving `steps` and `projection` partly scaled.
  static ResultCode ScaleColumns(const Tarn::Matrix<double>& bases,
                                 std::vector<std::uint32_t>& steps,
                                 Tarn::Matrix<double>& projection);

 private:
  std::uint32_t m_precision;
  std::uint32_t m_coeff_quantize_step;
  bool m_do_change_step;
};

}  // namespace orvane
