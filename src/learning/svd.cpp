#include "learning/svd.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "learning/dense_products.h"
#include "learning/plane_rotation.h"

namespace orvane {
namespace {

using Index = std::ptrdiff_t;
using detail::Hypotenuse;
using detail::WithSignOf;

// Largest deviation from the identity accepted of a product with a claimed inverse.
constexpr double kInverseTolerance = 1e-6;

// Replaces columns p and q of `m` by (c·p + s·q, c·q − s·p): a plane rotation from the right.
void RotateColumns(Tarn::Matrix<double>& m, Index p, Index q, double c, double s) {
  const Index rows = m.Rows();
  for (Index r = 0; r < rows; ++r) {
    double* row = m.Row(static_cast<std::uint32_t>(r));
    const double x = row[p];
    const double y = row[q];
    row[p] = x * c + y * s;
    row[q] = y * c - x * s;
  }
}

// Householder reduction A = U0 · B · V0ᵀ to upper bidiagonal B (diagonal in w, super-diagonal
// in e with e[0] = 0). The reflectors stay in `a`: the left one of step i in column i below
// the diagonal, the right one in row i beyond the super-diagonal. Returns the largest
// |w[i]| + |e[i]|, the scale of every later negligibility test.
double Bidiagonalize(Tarn::Matrix<double>& a, Tarn::DoubleVector& w, Tarn::DoubleVector& e) {
  const Index m = a.Rows();
  const Index n = a.Columns();
  double g = 0.0;
  double scale = 0.0;
  double anorm = 0.0;
  for (Index i = 0; i < n; ++i) {
    const Index l = i + 1;
    e[i] = scale * g;

    // Left reflector: maps column i (rows i..m-1) onto a multiple of the unit vector. The
    // column is first divided by its 1-norm so that squaring cannot overflow or underflow.
    g = 0.0;
    scale = 0.0;
    for (Index k = i; k < m; ++k) scale += std::fabs(a[k][i]);
    if (scale != 0.0) {
      double s = 0.0;
      for (Index k = i; k < m; ++k) {
        a[k][i] /= scale;
        s += a[k][i] * a[k][i];
      }
      const double f = a[i][i];
      // Choosing g opposite in sign to f makes u = x − g·e1 free of cancellation.
      g = -WithSignOf(std::sqrt(s), f);
      const double h = f * g - s;  // −uᵀu / 2
      a[i][i] = f - g;
      for (Index j = l; j < n; ++j) {
        double dot = 0.0;
        for (Index k = i; k < m; ++k) dot += a[k][i] * a[k][j];
        const double factor = dot / h;
        for (Index k = i; k < m; ++k) a[k][j] += factor * a[k][i];
      }
      for (Index k = i; k < m; ++k) a[k][i] *= scale;
    }
    w[i] = scale * g;

    // Right reflector: maps row i (columns l..n-1) onto a multiple of the unit vector, so that
    // only the super-diagonal survives in this row.
    g = 0.0;
    scale = 0.0;
    if (l < n) {
      double* ai = a[i];
      for (Index k = l; k < n; ++k) scale += std::fabs(ai[k]);
      if (scale != 0.0) {
        double s = 0.0;
        for (Index k = l; k < n; ++k) {
          ai[k] /= scale;
          s += ai[k] * ai[k];
        }
        const double f = ai[l];
        g = -WithSignOf(std::sqrt(s), f);
        const double h = f * g - s;
        ai[l] = f - g;
        // e[l..] is free until the next step writes e[l]; it holds u / h meanwhile.
        for (Index k = l; k < n; ++k) e[k] = ai[k] / h;
        for (Index j = l; j < m; ++j) {
          double* aj = a[j];
          double dot = 0.0;
          for (Index k = l; k < n; ++k) dot += aj[k] * ai[k];
          for (Index k = l; k < n; ++k) aj[k] += dot * e[k];
        }
        for (Index k = l; k < n; ++k) ai[k] *= scale;
      }
    }
    anorm = std::max(anorm, std::fabs(w[i]) + std::fabs(e[i]));
  }
  return anorm;
}

// V0 = P0 · P1 ⋯, built from the last right reflector back to the first, so each product
// only touches the trailing block that its reflector acts on.
void AccumulateRight(const Tarn::Matrix<double>& a, const Tarn::DoubleVector& e,
                     Tarn::Matrix<double>& v) {
  const Index n = a.Columns();
  for (Index i = n - 1; i >= 0; --i) {
    const Index l = i + 1;
    if (l < n) {
      const double* ai = a[i];
      // e[l] = scale·g of this reflector; a[i][l]·e[l] = −uᵀu / 2. Dividing twice keeps the
      // product from underflowing.
      if (e[l] != 0.0) {
        for (Index j = l; j < n; ++j) v[j][i] = (ai[j] / ai[l]) / e[l];
        for (Index j = l; j < n; ++j) {
          double dot = 0.0;
          for (Index k = l; k < n; ++k) dot += ai[k] * v[k][j];
          for (Index k = l; k < n; ++k) v[k][j] += dot * v[k][i];
        }
      }
      for (Index j = l; j < n; ++j) v[i][j] = v[j][i] = 0.0;
    }
    v[i][i] = 1.0;
  }
}

// U0 = Q0 · Q1 ⋯ formed in place of the left reflectors, again from the last one back.
void AccumulateLeft(Tarn::Matrix<double>& a, const Tarn::DoubleVector& w) {
  const Index m = a.Rows();
  const Index n = a.Columns();
  for (Index i = n - 1; i >= 0; --i) {
    const Index l = i + 1;
    double* ai = a[i];
    for (Index j = l; j < n; ++j) ai[j] = 0.0;
    if (w[i] != 0.0) {
      const double inverse = 1.0 / w[i];
      for (Index j = l; j < n; ++j) {
        double dot = 0.0;
        for (Index k = l; k < m; ++k) dot += a[k][i] * a[k][j];
        const double factor = (dot / ai[i]) * inverse;
        for (Index k = i; k < m; ++k) a[k][j] += factor * a[k][i];
      }
      for (Index j = i; j < m; ++j) a[j][i] *= inverse;
    } else {
      for (Index j = i; j < m; ++j) a[j][i] = 0.0;
    }
    ai[i] += 1.0;
  }
}

// The bidiagonal form with w[l-1] negligible: e[l] is chased to the right and out of the
// matrix by rotations in the planes (l-1, i), i = l..k, applied to the columns of U.
void CancelSuperDiagonal(Tarn::Matrix<double>& u, Tarn::DoubleVector& w, Tarn::DoubleVector& e,
                         double anorm, Index l, Index k) {
  double c = 0.0;
  double s = 1.0;
  for (Index i = l; i <= k; ++i) {
    const double f = s * e[i];
    e[i] = c * e[i];
    if (std::fabs(f) + anorm == anorm) break;
    const double g = w[i];
    const double h = Hypotenuse(f, g);
    w[i] = h;
    c = g / h;
    s = -f / h;
    RotateColumns(u, l - 1, i, c, s);
  }
}

// One implicitly shifted QR sweep on the unreduced block l..k. The shift is the eigenvalue of
// the trailing 2 x 2 block of BᵀB closer to its last diagonal entry; the bulge it creates is
// chased down the block by alternating right (V) and left (U) rotations.
void QrSweep(Tarn::Matrix<double>& u, Tarn::Matrix<double>& v, Tarn::DoubleVector& w,
             Tarn::DoubleVector& e, Index l, Index k) {
  const double z = w[k];
  double x = w[l];
  double y = w[k - 1];
  double g = e[k - 1];
  double h = e[k];
  double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
  g = Hypotenuse(f, 1.0);
  f = ((x - z) * (x + z) + h * ((y / (f + WithSignOf(g, f))) - h)) / x;

  double c = 1.0;
  double s = 1.0;
  for (Index j = l; j < k; ++j) {
    const Index i = j + 1;
    g = e[i];
    y = w[i];
    h = s * g;
    g = c * g;
    double r = Hypotenuse(f, h);
    e[j] = r;
    c = f / r;
    s = h / r;
    f = x * c + g * s;
    g = g * c - x * s;
    h = y * s;
    y *= c;
    RotateColumns(v, j, i, c, s);

    r = Hypotenuse(f, h);
    w[j] = r;
    // A zero radius leaves the rotation arbitrary; the previous one is as good as any.
    if (r != 0.0) {
      c = f / r;
      s = h / r;
    }
    f = c * g + s * y;
    x = c * y - s * g;
    RotateColumns(u, j, i, c, s);
  }
  e[l] = 0.0;
  e[k] = f;
  w[k] = x;
}

// True when every entry of p is within kInverseTolerance of the identity's.
bool IsNearIdentity(const Tarn::Matrix<double>& p) {
  for (std::uint32_t r = 0; r < p.Rows(); ++r) {
    const double* row = p[r];
    for (std::uint32_t c = 0; c < p.Columns(); ++c) {
      const double deviation = std::fabs(row[c] - (r == c ? 1.0 : 0.0));
      if (!(deviation <= kInverseTolerance)) return false;
    }
  }
  return true;
}

}  // namespace

int SvdDecompose(Tarn::Matrix<double>& a, Tarn::DoubleVector& w, Tarn::Matrix<double>& v) {
  const std::uint32_t m = a.Rows();
  const std::uint32_t n = a.Columns();
  if (m < n) return -1;
  if (w.Length() != n) w.Resize(n);
  if (v.Rows() != n || v.Columns() != n) v.Resize(n, n);
  if (n == 0) return 0;

  Tarn::DoubleVector e(n);  // super-diagonal of the bidiagonal form
  const double anorm = Bidiagonalize(a, w, e);
  AccumulateRight(a, e, v);
  AccumulateLeft(a, w);

  // Diagonalise from the bottom: each w[k] is swept until the super-diagonal entry above it
  // is negligible against anorm. The tests are exact equalities on purpose: x + anorm ==
  // anorm says that x is below the rounding unit of the matrix's scale.
  for (Index k = static_cast<Index>(n) - 1; k >= 0; --k) {
    for (int sweeps = 0;; ++sweeps) {
      Index l = k;
      bool cancel = true;
      for (; l >= 0; --l) {
        // e[0] is zero by construction, so the search ends at l = 0 at the latest.
        if (l == 0 || std::fabs(e[l]) + anorm == anorm) {
          cancel = false;
          break;
        }
        if (std::fabs(w[l - 1]) + anorm == anorm) break;
      }
      if (cancel) CancelSuperDiagonal(a, w, e, anorm, l, k);
      if (l == k) {
        // Converged; singular values are non-negative, so a negative one passes its sign to
        // its right singular vector.
        if (w[k] < 0.0) {
          w[k] = -w[k];
          for (std::uint32_t j = 0; j < n; ++j) v[j][k] = -v[j][k];
        }
        break;
      }
      if (sweeps == kMaxSvdSweeps) return -1;
      QrSweep(a, v, w, e, l, k);
    }
  }
  return 0;
}

Tarn::Matrix<double> PseudoInverse(const Tarn::Matrix<double>& a) {
  const std::uint32_t m = a.Rows();
  const std::uint32_t n = a.Columns();
  // The decomposition needs at least as many rows as columns; (A⁺)ᵀ = (Aᵀ)⁺ covers the rest.
  if (m < n) return PseudoInverse(a.Transpose()).Transpose();

  Tarn::Matrix<double> u = a;
  Tarn::DoubleVector w(n);
  Tarn::Matrix<double> v(n, n);
  SvdDecompose(u, w, v);

  // A⁺ = V · D · Uᵀ with D = diag(1/w[i]) for the singular values above the cut-off.
  for (std::uint32_t c = 0; c < n; ++c) {
    const double factor = std::fabs(w[c]) > kPseudoInverseCutOff ? 1.0 / w[c] : 0.0;
    for (std::uint32_t r = 0; r < n; ++r) v[r][c] *= factor;
  }
  return MultiplyByTranspose(v, u);
}

Tarn::Matrix<double> GeneralizedInverse(const Tarn::Matrix<double>& a) {
  const std::uint32_t m = a.Rows();
  const std::uint32_t n = a.Columns();
  if (m == n) {
    Tarn::Matrix<double> inverse = a;
    if (inverse.Invert() != 0.0 && IsNearIdentity(a * inverse)) return inverse;
  } else if (m < n) {
    // Right inverse Aᵀ(AAᵀ)⁻¹: A · Aᵀ(AAᵀ)⁻¹ = I when A has full row rank.
    Tarn::Matrix<double> gram = MultiplyByTranspose(a, a);
    if (gram.Invert() != 0.0) {
      Tarn::Matrix<double> right = a.Transpose() * gram;
      if (IsNearIdentity(a * right)) return right;
    }
  } else {
    // Left inverse (AᵀA)⁻¹Aᵀ: (AᵀA)⁻¹Aᵀ · A = I when A has full column rank.
    Tarn::Matrix<double> gram = GramMatrix(a);
    if (gram.Invert() != 0.0) {
      Tarn::Matrix<double> left = MultiplyByTranspose(gram, a);
      if (IsNearIdentity(left * a)) return left;
    }
  }
  return PseudoInverse(a);
}

}  // namespace orvane
