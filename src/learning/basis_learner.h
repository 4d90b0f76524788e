#pragma once

#include "foundation/cancel_hook.h"
#include "foundation/matrix.h"
#include "foundation/report_sink.h"
#include "foundation/result_code.h"
#include "learning/learner_options.h"

namespace orvane {

/// Learns the bases of one image from its own patches.
///
/// Principal component analysis whitens the patch data and keeps the `DimensionReduction`
/// strongest directions; then the symmetric fixed-point iteration of FastICA with a tanh
/// non-linearity rotates the whitened directions until they stop changing. The unmixing matrix
/// starts at the identity, so the same patches and parameters always give the same bases.
///
/// Shapes: X is N x d (one patch per row, channel means already removed), m is
/// `DimensionReduction`; W (unmixing) is m x m, Z (whitened data) N x m, V (whitening) m x d,
/// A (de-whitening) d x m, and the bases B = W · Aᵀ are m x d, one basis per row.
class BasisLearner {
 public:
  /// Reports (progress, and the eigen solver's) go to `report`; `cancel` is asked after the
  /// whitening and before every ICA step.
  explicit BasisLearner(const LearnerOptions& options, ReportSink& report = DefaultReportSink(),
                        CancelHook cancel = {});

  /// Runs the whole learning: Whiten, W = I, up to `MaxIterations` ICA steps, MakeBases.
  /// Writes "." to the report sink before every ICA step and, after the loop, the number of
  /// the step that converged counted from 1 (`MaxIterations` + 1 when none did) and a line
  /// end. Returns 0 with `bases` set to B (m x d); 13 when X has no rows; 23 when
  /// `DimensionReduction` is 0; 7 when memory runs out; 29 when the cancel hook asked to stop.
  /// `bases` is untouched on failure. The learner's working matrices are released before it
  /// returns.
  ResultCode LearnBases(const Tarn::Matrix<double>& x, Tarn::Matrix<double>& bases);

  /// PCA whitening: covariance C = XᵀX / N, its eigen decomposition, the m eigenvectors of
  /// largest |eigenvalue| (lowest index first on ties) scaled by 1/√λ into V and by √λ into A
  /// (directions with λ = 0 get zero scales), and Z = X · Vᵀ unless `whitenedData` is false
  /// (Z is left empty). Returns 0, 13 when X has no rows, 7 when memory runs out.
  ResultCode Whiten(const Tarn::Matrix<double>& x, bool whitenedData = true);

  /// Sets W to the m x m identity: the deterministic start of the ICA iteration.
  void ResetUnmixing();

  /// One symmetric fixed-point step W ← E{g(WZᵀ)Z} − diag(E{g'(WZᵀ)}) W with g = tanh,
  /// followed by Orthogonalize. Returns true when the mean of |1 − |⟨wᵢ, wᵢ_old⟩|| over the
  /// rows is strictly below `ConversionCondition`. Needs Whiten and ResetUnmixing first;
  /// throws Tarn::MatrixException when memory runs out or Z has no rows.
  bool IcaStep();

  /// Symmetric decorrelation W ← W (WᵀW)^(-1/2), with the inverse square root taken from the
  /// eigen decomposition of WᵀW (eigenvalues <= 0 contribute nothing). Afterwards the columns
  /// of W that carry signal are orthonormal. Does nothing to an empty matrix.
  static void Orthogonalize(Tarn::Matrix<double>& w, ReportSink& report = DefaultReportSink());

  /// B = W · Aᵀ (m x d). Returns 0, 23 when W has no rows, 7 when memory runs out.
  ResultCode MakeBases(Tarn::Matrix<double>& bases) const;

  const Tarn::Matrix<double>& Unmixing() const { return m_unmixing; }
  const Tarn::Matrix<double>& Whitened() const { return m_whitened; }
  const Tarn::Matrix<double>& Whitening() const { return m_whitening; }
  const Tarn::Matrix<double>& Dewhitening() const { return m_dewhitening; }

 private:
  void Release();

  LearnerOptions m_parameters;
  ReportSink* m_report;
  CancelHook m_cancel;
  Tarn::Matrix<double> m_unmixing;     // W, m x m
  Tarn::Matrix<double> m_whitened;     // Z, N x m
  Tarn::Matrix<double> m_whitening;    // V, m x d
  Tarn::Matrix<double> m_dewhitening;  // A, d x m
};

}  // namespace orvane
