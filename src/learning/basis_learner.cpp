#include "learning/basis_learner.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <ostream>
#include <utility>

#include "foundation/matrix_exception.h"
#include "foundation/product_kernels.h"
#include "learning/dense_products.h"
#include "learning/symmetric_eigen.h"
#include "learning/tanh_nonlinearity.h"

namespace orvane {
namespace {

// Patches handled per slice of an ICA step. The activities of a slice (m x kSliceRows) and
// its transposed whitened data stay small enough for the cache, and no N x m intermediate is
// ever allocated.
constexpr std::uint32_t kSliceRows = 1024;

}  // namespace

BasisLearner::BasisLearner(const LearnerOptions& options, ReportSink& report, CancelHook cancel)
    : m_parameters(options), m_report(&report), m_cancel(std::move(cancel)) {}

ResultCode BasisLearner::LearnBases(const Tarn::Matrix<double>& x, Tarn::Matrix<double>& bases) {
  // Z feeds only the ICA steps: without them the bases are A's columns alone, and a photo's
  // Z would be an N x m matrix made for nothing.
  ResultCode code = Whiten(x, m_parameters.MaxIterations != 0);
  if (code != kSuccess) {
    Release();
    return code;
  }
  try {
    ResetUnmixing();
    // 64 bits, so that MaxIterations = 2^32 − 1 without convergence still prints 2^32.
    std::uint64_t step = 0;
    for (; step < m_parameters.MaxIterations; ++step) {
      if (IsCanceled(m_cancel)) break;
      // The dots are the only progress shown during a long learning: flushed one by one.
      *m_report << '.' << std::flush;
      if (IcaStep()) break;
    }
    if (IsCanceled(m_cancel)) {
      Release();
      return kCanceled;
    }
    ReportPrintf(*m_report, "%llu\n", static_cast<unsigned long long>(step + 1));
    code = MakeBases(bases);
  } catch (const Tarn::MatrixException&) {
    code = kNoMemory;
  } catch (const std::bad_alloc&) {
    code = kNoMemory;
  }
  Release();
  return code;
}

ResultCode BasisLearner::Whiten(const Tarn::Matrix<double>& x, bool whitenedData) {
  if (x.Rows() == 0) return kDividedByZero;
  try {
    const std::uint32_t d = x.Columns();
    const std::uint32_t m = m_parameters.DimensionReduction;

    // C = XᵀX / N. The patches arrive with their means removed, so this is their covariance.
    Tarn::Matrix<double> c = GramMatrix(x) / static_cast<double>(x.Rows());
    Tarn::DoubleVector lambda;
    // A value that did not converge has been reported on standard output; the decomposition
    // is used as it stands, which is the best available.
    SymmetricEigen(lambda, c, *m_report);

    // Component i is the remaining eigenvector with the largest |λ|: picking by magnitude
    // keeps a slightly negative eigenvalue (rounding of a semi-definite C) in its place.
    // V = diag(1/√λ) Sᵀ whitens, A = S diag(√λ) undoes it; S holds the chosen eigenvectors.
    Tarn::Matrix<double> v(m, d);
    Tarn::Matrix<double> a(d, m);
    for (std::uint32_t i = 0; i < m; ++i) {
      std::uint32_t best = 0;
      double largest = 0.0;
      for (std::uint32_t j = 0; j < d; ++j) {
        const double magnitude = std::fabs(lambda[j]);
        if (magnitude > largest) {
          largest = magnitude;
          best = j;
        }
      }
      // A direction without variance whitens to zero instead of dividing by zero.
      const double root = std::sqrt(largest);
      const double whiten = largest != 0.0 ? 1.0 / root : 0.0;
      const double dewhiten = largest != 0.0 ? root : 0.0;
      double* v_row = v[i];
      for (std::uint32_t r = 0; r < d; ++r) {
        const double s = c[r][best];
        v_row[r] = whiten * s;
        a[r][i] = s * dewhiten;
      }
      if (d != 0) lambda[best] = 0.0;
    }

    if (whitenedData) m_whitened = MultiplyByTranspose(x, v);
    m_whitening = std::move(v);
    m_dewhitening = std::move(a);
    return kSuccess;
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
}

void BasisLearner::ResetUnmixing() {
  const std::uint32_t m = m_parameters.DimensionReduction;
  m_unmixing.Resize(m, m);
  m_unmixing.SetIdentity();
}

bool BasisLearner::IcaStep() {
  const std::uint32_t m = m_unmixing.Rows();
  const std::uint32_t patches = m_whitened.Rows();
  if (patches == 0) throw Tarn::MatrixException{Tarn::kDividedByZero};
  const Tarn::Matrix<double> previous = m_unmixing;

  // Y = W Zᵀ (m x N) is consumed a slice of patches at a time: for each slice, row sums of
  // g'(Y) = sech²(Y) and the product g(Y) · Z_slice are accumulated, so neither Y nor any
  // other N-sized matrix is ever formed.
  Tarn::DoubleVector slope_sum(m);
  slope_sum.Fill(0.0);
  Tarn::Matrix<double> gz(m, m);  // Σ g(y_j) z_jᵀ over the patches
  gz.Fill(0.0);
  if (m != 0) {
    const std::uint32_t slice_rows = std::min(patches, kSliceRows);
    Tarn::Matrix<double> activity(m, slice_rows);
    Tarn::Matrix<double> part(m, m);
    for (std::uint32_t r0 = 0; r0 < patches; r0 += slice_rows) {
      const std::uint32_t len = std::min(slice_rows, patches - r0);
      // Activities of the slice: W · Z_sliceᵀ, Z's rows being the second operand's rows.
      Tarn::detail::MultiplyTransposed(m_unmixing.Data(), m_whitened.Row(r0), activity.Data(), m,
                                       len, m);
      for (std::uint32_t i = 0; i < m; ++i) {
        double* row = activity.Data() + static_cast<std::size_t>(i) * len;
        slope_sum[i] += TanhWithSlopeSum(row, len);  // g = tanh in place, Σ g' = Σ sech²
      }
      // g(Y_slice) · Z_slice straight from Z's rows: the same sums, in the same order, as
      // with a transposed copy of the slice.
      Tarn::detail::Multiply(activity.Data(), m_whitened.Row(r0), part.Data(), m, m, len);
      for (std::uint32_t k = 0; k < m * m; ++k) gz.Data()[k] += part.Data()[k];
    }
  }

  // Fixed point of the negentropy approximation: W ← E{g(Y) Z} − diag(E{g'(Y)}) W.
  const double count = static_cast<double>(patches);
  for (std::uint32_t i = 0; i < m; ++i) {
    const double mean_slope = slope_sum[i] / count;
    double* w = m_unmixing[i];
    const double* g = gz[i];
    for (std::uint32_t c = 0; c < m; ++c) w[c] = g[c] / count - mean_slope * w[c];
  }
  Orthogonalize(m_unmixing, *m_report);

  // A row that kept its direction (up to sign) has |⟨w, w_old⟩| = 1.
  if (m == 0) return 0.0 < m_parameters.ConversionCondition;
  double change = 0.0;
  for (std::uint32_t i = 0; i < m; ++i) {
    const double* w = m_unmixing[i];
    const double* w_old = previous[i];
    double dot = 0.0;
    for (std::uint32_t c = 0; c < m_unmixing.Columns(); ++c) dot += w[c] * w_old[c];
    change += std::fabs(1.0 - std::fabs(dot));
  }
  return change / static_cast<double>(m) < m_parameters.ConversionCondition;
}

void BasisLearner::Orthogonalize(Tarn::Matrix<double>& w, ReportSink& report) {
  if (w.Rows() == 0 || w.Columns() == 0) return;
  // WᵀW = E diag(μ) Eᵀ, so (WᵀW)^(-1/2) = E diag(μ^(-1/2)) Eᵀ. E comes from a symmetric
  // eigen solver and is orthogonal to working precision, so Eᵀ serves as E⁻¹: it needs no
  // elimination, which could meet a zero pivot (an eigenvector matrix may well have a zero
  // leading entry) or lose accuracy on a small one.
  Tarn::Matrix<double> e = GramMatrix(w);
  Tarn::DoubleVector mu;
  SymmetricEigen(mu, e, report);  // a non-converged value is used as it stands
  Tarn::Matrix<double> scaled = e;
  for (std::uint32_t k = 0; k < mu.Length(); ++k) {
    const double factor = mu[k] > 0.0 ? 1.0 / std::sqrt(mu[k]) : 0.0;
    for (std::uint32_t r = 0; r < scaled.Rows(); ++r) scaled[r][k] *= factor;
  }
  const Tarn::Matrix<double> inverse_root = MultiplyByTranspose(scaled, e);
  w = w * inverse_root;
}

ResultCode BasisLearner::MakeBases(Tarn::Matrix<double>& bases) const {
  if (m_unmixing.Rows() == 0) return kNotReady;
  try {
    // B = W · Aᵀ: each row mixes the de-whitened principal directions. With W = I (no ICA
    // step) row i is √λᵢ times the i-th chosen eigenvector.
    bases = MultiplyByTranspose(m_unmixing, m_dewhitening);
    return kSuccess;
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  }
}

void BasisLearner::Release() {
  m_unmixing = Tarn::Matrix<double>();
  m_whitened = Tarn::Matrix<double>();
  m_whitening = Tarn::Matrix<double>();
  m_dewhitening = Tarn::Matrix<double>();
}

}  // namespace orvane
