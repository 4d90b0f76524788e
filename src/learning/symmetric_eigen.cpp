#include "learning/symmetric_eigen.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ostream>

#include "learning/plane_rotation.h"

namespace orvane {
namespace {

using Index = std::ptrdiff_t;
using detail::Hypotenuse;
using detail::WithSignOf;

// Folds the reflector of row i into the leading block z[0..i-1][0..i-1]. Row i holds u
// (the reflector P = I − u uᵀ / H, scaled like the row) and column i holds u / H.
// Sets d[i] to H (0 when the row needs no reflector) and e[i] to the sub-diagonal entry.
void ReduceRow(Tarn::Matrix<double>& z, Tarn::DoubleVector& d, Tarn::DoubleVector& e, Index i) {
  const Index l = i - 1;
  double* zi = z[i];
  double scale = 0.0;
  if (l > 0) {
    for (Index k = 0; k <= l; ++k) scale += std::fabs(zi[k]);
  }
  if (l == 0 || scale == 0.0) {
    // Already tridiagonal in this row (or a 2 x 2 leading block): nothing to annihilate.
    e[i] = zi[l];
    d[i] = 0.0;
    return;
  }

  // Dividing by the 1-norm first keeps the sum of squares away from overflow and underflow.
  double h = 0.0;
  for (Index k = 0; k <= l; ++k) {
    zi[k] /= scale;
    h += zi[k] * zi[k];
  }
  const double f = zi[l];
  // x = row i left of the diagonal; u = x − g·e_l with g = −sign(f)·|x| avoids cancellation
  // and maps x onto g·e_l, which becomes the sub-diagonal entry.
  const double g = -WithSignOf(std::sqrt(h), f);
  e[i] = scale * g;
  h -= f * g;  // H = uᵀu / 2
  zi[l] = f - g;

  // p = A u / H (into e[0..l], free until the rows below are reduced) and uᵀp.
  double u_dot_p = 0.0;
  for (Index j = 0; j <= l; ++j) {
    z[j][i] = zi[j] / h;
    // (A u)_j from the lower triangle only: A[j][k] is z[j][k] for k <= j, z[k][j] beyond.
    const double* zj = z[j];
    double au = 0.0;
    for (Index k = 0; k <= j; ++k) au += zj[k] * zi[k];
    for (Index k = j + 1; k <= l; ++k) au += z[k][j] * zi[k];
    e[j] = au / h;
    u_dot_p += e[j] * zi[j];
  }

  // P A P = A − q uᵀ − u qᵀ with q = p − K u, K = uᵀp / 2H: a rank-two update that needs
  // no product with P itself. Again only the lower triangle is kept.
  const double k_factor = u_dot_p / (h + h);
  for (Index j = 0; j <= l; ++j) {
    const double uj = zi[j];
    const double qj = e[j] - k_factor * uj;
    e[j] = qj;
    double* zj = z[j];
    for (Index k = 0; k <= j; ++k) zj[k] -= uj * e[k] + qj * zi[k];
  }
  d[i] = h;
}

// Turns z into Q = P_(n-1) ⋯ P_2 from the stored reflectors, and moves the diagonal of T
// into d. Reflector i only touches the leading i x i block, which is where Q is still being
// built when row i is reached, so Q grows one row and column per step.
void AccumulateReflectors(Tarn::Matrix<double>& z, Tarn::DoubleVector& d, Index n) {
  for (Index i = 0; i < n; ++i) {
    double* zi = z[i];
    if (i > 0 && d[i] != 0.0) {
      for (Index j = 0; j < i; ++j) {
        double dot = 0.0;
        for (Index k = 0; k < i; ++k) dot += zi[k] * z[k][j];
        for (Index k = 0; k < i; ++k) z[k][j] -= dot * z[k][i];
      }
    }
    d[i] = zi[i];
    zi[i] = 1.0;
    for (Index j = 0; j < i; ++j) z[j][i] = zi[j] = 0.0;
  }
}

}  // namespace

void Tridiagonalize(Tarn::Matrix<double>& z, Tarn::DoubleVector& d, Tarn::DoubleVector& e) {
  const std::uint32_t size = z.Columns();
  if (z.Rows() != size) {
    d.Resize(0);
    e.Resize(0);
    return;
  }
  if (d.Length() != size) d.Resize(size);
  if (e.Length() != size) e.Resize(size);
  const Index n = size;
  if (n == 0) return;

  // Rows are reduced from the bottom up: after row i, row and column i of the working
  // matrix are tridiagonal and the rest of the work happens in the leading i x i block.
  for (Index i = n - 1; i >= 1; --i) ReduceRow(z, d, e, i);
  d[0] = 0.0;
  e[0] = 0.0;
  AccumulateReflectors(z, d, n);
}

int TridiagonalQl(Tarn::DoubleVector& d, Tarn::DoubleVector& e, Tarn::Matrix<double>& z,
                  ReportSink& report) {
  const std::uint32_t size = d.Length();
  if (e.Length() < size || z.Columns() != size) return -1;
  const Index n = size;
  if (n == 0) return 0;
  const Index rows = z.Rows();

  // Renumber the sub-diagonal so that e[i] couples d[i] and d[i+1].
  for (Index i = 1; i < n; ++i) e[i - 1] = e[i];
  e[n - 1] = 0.0;

  for (Index l = 0; l < n; ++l) {
    int sweeps = 0;
    for (;;) {
      // The first negligible e[m] at or after l splits off the block l..m. The test is an
      // exact equality: e[m] is dropped once it no longer changes the sum of its neighbours.
      // Among subnormal numbers that equality never holds, since their sums are exact, and a
      // sweep over them has no relative precision left to converge with: the tridiagonal form
      // of a rank-deficient matrix (a picture of repeated patches) leaves such rounding dust
      // where the exact zeros would be. A subnormal e[m] is therefore negligible as well; a
      // normal one meets the equality long before it gets that small.
      Index m = l;
      for (; m < n - 1; ++m) {
        const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
        const double off = std::fabs(e[m]);
        if (off + dd == dd || off < DBL_MIN) break;
      }
      if (m == l) break;  // d[l] is an eigenvalue
      if (sweeps == kMaxQlSweeps) {
        report << "Too many iterations in routine tqli.\n";
        return -1;
      }
      ++sweeps;

      // Shift: the eigenvalue of the leading 2 x 2 block [d[l] e[l]; e[l] d[l+1]] nearer to
      // d[l], written so that no difference of close numbers is formed.
      double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
      double r = Hypotenuse(g, 1.0);
      g = d[m] - d[l] + e[l] / (g + WithSignOf(r, g));

      // Implicit QL step: T − shift·I = QL, T ← LQ + shift·I, carried out as Givens rotations
      // from the bottom of the block up, each chasing the bulge of the previous one upwards.
      double s = 1.0;
      double c = 1.0;
      double p = 0.0;
      bool restarted = false;
      for (Index i = m - 1; i >= l; --i) {
        const double f = s * e[i];
        const double b = c * e[i];
        r = Hypotenuse(f, g);
        e[i + 1] = r;
        if (r == 0.0) {
          // Both entries underflowed: the matrix has split at i+1 by itself. Book what the
          // sweep has moved so far and search for the block again from l.
          d[i + 1] -= p;
          e[m] = 0.0;
          restarted = true;
          break;
        }
        s = f / r;
        c = g / r;
        g = d[i + 1] - p;
        r = (d[i] - g) * s + 2.0 * c * b;
        p = s * r;
        d[i + 1] = g + p;
        g = c * r - b;
        for (Index k = 0; k < rows; ++k) {
          double* zk = z[static_cast<std::uint32_t>(k)];
          const double upper = zk[i + 1];
          zk[i + 1] = s * zk[i] + c * upper;
          zk[i] = c * zk[i] - s * upper;
        }
      }
      if (restarted) continue;
      d[l] -= p;
      e[l] = g;
      e[m] = 0.0;
    }
  }
  return 0;
}

int SymmetricEigen(Tarn::DoubleVector& d, Tarn::Matrix<double>& z, ReportSink& report) {
  if (z.Rows() != z.Columns()) return -1;
  const std::uint32_t n = z.Columns();
  d.Resize(n);
  Tarn::DoubleVector e(n);  // sub-diagonal; released on every exit, exceptions included
  Tridiagonalize(z, d, e);
  return TridiagonalQl(d, e, z, report);
}

}  // namespace orvane
