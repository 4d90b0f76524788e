#pragma once

#include "foundation/matrix.h"
#include "foundation/vector.h"

namespace orvane {

/// Most implicitly shifted QR sweeps spent on one singular value before giving up.
inline constexpr int kMaxSvdSweeps = 50;

/// Singular values of at most this magnitude count as zero in PseudoInverse. The cut-off is
/// absolute, not relative to the largest singular value.
inline constexpr double kPseudoInverseCutOff = 1e-10;

/// Singular value decomposition A = U · diag(w) · Vᵀ of an m x n matrix with m >= n, by the
/// Golub-Reinsch method: Householder reduction to bidiagonal form, accumulation of both
/// transformations, then implicitly shifted QR sweeps on the bidiagonal form.
///
/// `a` is overwritten by U (m x n, orthonormal columns); `w` receives the n singular values,
/// all non-negative, in the order the diagonalisation leaves them (not sorted); `v` receives
/// V itself (n x n, not its transpose), column j belonging to w[j]. `w` and `v` are resized
/// when they do not already have n elements and n x n shape.
///
/// Returns 0, or -1 when a singular value has not split off after kMaxSvdSweeps sweeps (the
/// values and vectors found so far are kept, the rest are left as they stand) or when m < n
/// (nothing is changed then). Throws Tarn::MatrixException only when storage cannot be had.
int SvdDecompose(Tarn::Matrix<double>& a, Tarn::DoubleVector& w, Tarn::Matrix<double>& v);

/// Moore-Penrose pseudo-inverse (n x m) of an m x n matrix, V · diag(1/w) · Uᵀ from the SVD of
/// a copy, with singular values at or below kPseudoInverseCutOff treated as zero. A matrix with
/// fewer rows than columns is handled through its transpose. A decomposition that did not
/// converge is used as it stands.
Tarn::Matrix<double> PseudoInverse(const Tarn::Matrix<double>& a);

/// Generalised inverse (n x m) of an m x n matrix through the library's Gauss-Jordan inverse:
/// A⁻¹ when square, Aᵀ(AAᵀ)⁻¹ (a right inverse) when m < n, (AᵀA)⁻¹Aᵀ (a left inverse) when
/// m > n. Gauss-Jordan without pivoting cannot invert a singular matrix and can break down on a
/// regular one (a zero pivot, an underflowing determinant); when the elimination stops or the
/// result is not an inverse to 1e-6, the pseudo-inverse is returned instead, which is the same
/// matrix whenever the inverse exists.
Tarn::Matrix<double> GeneralizedInverse(const Tarn::Matrix<double>& a);

}  // namespace orvane
