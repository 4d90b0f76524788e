#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>

#include "foundation/matrix.h"

namespace orvane::testing_support {

using Matrix = Tarn::Matrix<double>;

inline Matrix FromRows(std::initializer_list<std::initializer_list<double>> rows) {
  const auto r = static_cast<std::uint32_t>(rows.size());
  const auto c = r == 0 ? 0u : static_cast<std::uint32_t>(rows.begin()->size());
  Matrix m(r, c);
  std::uint32_t i = 0;
  for (const auto& row : rows) {
    std::uint32_t j = 0;
    for (double v : row) m(i, j++) = v;
    ++i;
  }
  return m;
}

inline Matrix RandomMatrix(std::uint32_t rows, std::uint32_t columns, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  Matrix m(rows, columns);
  for (std::uint32_t i = 0; i < m.Count(); ++i) m.Data()[i] = dist(rng);
  return m;
}

/// Reference product in extended precision by the definition, independent of the library's
/// blocked kernel.
inline Matrix Product(const Matrix& a, const Matrix& b) {
  Matrix c(a.Rows(), b.Columns());
  for (std::uint32_t i = 0; i < a.Rows(); ++i)
    for (std::uint32_t j = 0; j < b.Columns(); ++j) {
      long double s = 0;
      for (std::uint32_t k = 0; k < a.Columns(); ++k)
        s += static_cast<long double>(a(i, k)) * b(k, j);
      c(i, j) = static_cast<double>(s);
    }
  return c;
}

inline Matrix Transposed(const Matrix& a) {
  Matrix t(a.Columns(), a.Rows());
  for (std::uint32_t i = 0; i < a.Rows(); ++i)
    for (std::uint32_t j = 0; j < a.Columns(); ++j) t(j, i) = a(i, j);
  return t;
}

inline Matrix Identity(std::uint32_t n) {
  Matrix m(n, n);
  m.SetIdentity();
  return m;
}

/// Largest |a - b| over all entries; infinity when the shapes differ or a value is NaN.
inline double MaxDifference(const Matrix& a, const Matrix& b) {
  if (a.Rows() != b.Rows() || a.Columns() != b.Columns()) return INFINITY;
  double worst = 0.0;
  for (std::uint32_t i = 0; i < a.Count(); ++i) {
    const double d = std::fabs(a.Data()[i] - b.Data()[i]);
    if (!(d <= worst)) worst = d;
  }
  return worst;
}

inline double MaxAbs(const Matrix& a) {
  double worst = 0.0;
  for (std::uint32_t i = 0; i < a.Count(); ++i) worst = std::fmax(worst, std::fabs(a.Data()[i]));
  return worst;
}

/// A random orthogonal matrix by Gram-Schmidt on random rows (re-orthogonalised twice).
inline Matrix RandomOrthogonal(std::uint32_t n, unsigned seed) {
  Matrix q = RandomMatrix(n, n, seed);
  for (std::uint32_t i = 0; i < n; ++i) {
    for (int pass = 0; pass < 2; ++pass)
      for (std::uint32_t j = 0; j < i; ++j) {
        double dot = 0;
        for (std::uint32_t k = 0; k < n; ++k) dot += q(i, k) * q(j, k);
        for (std::uint32_t k = 0; k < n; ++k) q(i, k) -= dot * q(j, k);
      }
    double norm = 0;
    for (std::uint32_t k = 0; k < n; ++k) norm += q(i, k) * q(i, k);
    norm = std::sqrt(norm);
    for (std::uint32_t k = 0; k < n; ++k) q(i, k) /= norm;
  }
  return q;
}

}  // namespace orvane::testing_support
