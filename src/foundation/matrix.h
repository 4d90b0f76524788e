#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "foundation/matrix_exception.h"
#include "foundation/vector.h"

namespace Tarn {

namespace detail {

/// C (m x n) = A (m x k) * Bt^T where Bt is B transposed (n x k); all row-major.
void MultiplyTransposed(const double* a, const double* bt, double* c, std::uint32_t m,
                        std::uint32_t n, std::uint32_t k);

}  // namespace detail

/// Dense row-major matrix with owned, contiguous storage.
///
/// Products, differences, quotients and transposes return new matrices by value; assigning
/// such a result moves its storage, leaving the result empty. Shapes of operands are the
/// caller's responsibility, as with the rest of the numeric code.
template <typename T>
class Matrix {
 public:
  Matrix() = default;
  /// Values are left undefined.
  Matrix(std::uint32_t rows, std::uint32_t columns) { Resize(rows, columns); }
  Matrix(const Matrix& other) { CopyFrom(other); }
  Matrix(Matrix&& other) noexcept { TakeFrom(other); }
  virtual ~Matrix() = default;

  Matrix& operator=(const Matrix& other) {
    if (this != &other) CopyFrom(other);
    return *this;
  }
  Matrix& operator=(Matrix&& other) noexcept {
    if (this != &other) TakeFrom(other);
    return *this;
  }

  /// Discards the contents and allocates rows x columns undefined values; a size of 0 leaves
  /// no storage, and the same number of values keeps the storage there is. Throws
  /// MatrixException("too few memory") when the storage cannot be had.
  void Resize(std::uint32_t rows, std::uint32_t columns) {
    const unsigned long long wanted = static_cast<unsigned long long>(rows) * columns;
    if (wanted != 0 && wanted == m_count) {
      m_rows = rows;
      m_columns = columns;
      return;
    }
    m_data.reset();
    m_rows = m_columns = m_count = 0;
    const unsigned long long count = static_cast<unsigned long long>(rows) * columns;
    if (count != 0) {
      m_data.reset(static_cast<T*>(detail::AllocateElements(count, sizeof(T))));
      m_count = static_cast<std::uint32_t>(count);
    }
    m_rows = rows;
    m_columns = columns;
  }

  std::uint32_t Rows() const { return m_rows; }
  std::uint32_t Columns() const { return m_columns; }
  std::uint32_t Count() const { return m_count; }
  bool IsEmpty() const { return m_count == 0; }

  T* Data() { return m_data.get(); }
  const T* Data() const { return m_data.get(); }
  T* Row(std::uint32_t r) { return m_data.get() + static_cast<std::size_t>(r) * m_columns; }
  const T* Row(std::uint32_t r) const {
    return m_data.get() + static_cast<std::size_t>(r) * m_columns;
  }
  T* operator[](std::uint32_t r) { return Row(r); }
  const T* operator[](std::uint32_t r) const { return Row(r); }
  T& operator()(std::uint32_t r, std::uint32_t c) { return Row(r)[c]; }
  const T& operator()(std::uint32_t r, std::uint32_t c) const { return Row(r)[c]; }

  void Fill(T value) {
    for (std::uint32_t i = 0; i < m_count; ++i) m_data[i] = value;
  }
  /// Zeroes the matrix and puts ones on the main diagonal.
  void SetIdentity() {
    Fill(T(0));
    const std::uint32_t n = m_rows < m_columns ? m_rows : m_columns;
    for (std::uint32_t i = 0; i < n; ++i) (*this)(i, i) = T(1);
  }

  Matrix Transpose() const {
    Matrix out(m_columns, m_rows);
    for (std::uint32_t r = 0; r < m_rows; ++r) {
      const T* src = Row(r);
      for (std::uint32_t c = 0; c < m_columns; ++c) out(c, r) = src[c];
    }
    return out;
  }

  /// Values of column k, as a vector of length Rows().
  Vector<T> Column(std::uint32_t k) const {
    Vector<T> out(m_rows);
    for (std::uint32_t r = 0; r < m_rows; ++r) out[r] = (*this)(r, k);
    return out;
  }

  /// Element-wise difference of two matrices of the same shape.
  friend Matrix operator-(const Matrix& a, const Matrix& b) {
    Matrix out(a.m_rows, a.m_columns);
    for (std::uint32_t i = 0; i < a.m_count; ++i) out.m_data[i] = a.m_data[i] - b.m_data[i];
    return out;
  }

  /// Every element divided by s; throws MatrixException("devided by 0") when s is 0.
  Matrix operator/(T s) const {
    if (s == T(0)) throw MatrixException{kDividedByZero};
    Matrix out(m_rows, m_columns);
    for (std::uint32_t i = 0; i < m_count; ++i) out.m_data[i] = m_data[i] / s;
    return out;
  }

  /// A (m x k) times B (k x n). B is transposed into scratch storage first so that both
  /// operands are walked along rows; the work runs in cache-sized blocks.
  friend Matrix operator*(const Matrix& a, const Matrix& b) {
    Matrix out(a.m_rows, b.m_columns);
    if (out.IsEmpty()) return out;
    if (a.m_columns == 0) {
      out.Fill(T(0));
      return out;
    }
    const Matrix bt = b.Transpose();
    detail::MultiplyTransposed(a.Data(), bt.Data(), out.Data(), a.m_rows, b.m_columns, a.m_columns);
    return out;
  }

  /// In-place Gauss-Jordan inversion of a square matrix, without pivoting. Returns the
  /// determinant as the product of the pivots; returns 0 as soon as that product becomes 0,
  /// leaving the matrix partly transformed (the caller treats 0 as singular).
  T Invert() {
    const std::uint32_t n = m_rows;
    T determinant = T(1);
    for (std::uint32_t p = 0; p < n; ++p) {
      T* pivot_row = Row(p);
      const T pivot = pivot_row[p];
      determinant *= pivot;
      if (determinant == T(0)) return T(0);
      // Scale the pivot row so that the pivot becomes 1; the pivot column then holds the
      // inverse's entries, which is what lets the elimination run in place.
      const T inverse_pivot = T(1) / pivot;
      pivot_row[p] = T(1);
      for (std::uint32_t c = 0; c < n; ++c) pivot_row[c] *= inverse_pivot;
      for (std::uint32_t r = 0; r < n; ++r) {
        if (r == p) continue;
        T* row = Row(r);
        const T factor = row[p];
        if (factor == T(0)) continue;
        row[p] = T(0);
        for (std::uint32_t c = 0; c < n; ++c) row[c] -= factor * pivot_row[c];
      }
    }
    return determinant;
  }

 private:
  struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
  };

  void CopyFrom(const Matrix& other) {
    Resize(other.m_rows, other.m_columns);
    if (m_count != 0) std::memcpy(m_data.get(), other.m_data.get(), sizeof(T) * m_count);
  }
  void TakeFrom(Matrix& other) noexcept {
    m_data = std::move(other.m_data);
    m_rows = std::exchange(other.m_rows, 0);
    m_columns = std::exchange(other.m_columns, 0);
    m_count = std::exchange(other.m_count, 0);
  }

  std::unique_ptr<T[], FreeDeleter> m_data;
  std::uint32_t m_rows = 0;
  std::uint32_t m_columns = 0;
  std::uint32_t m_count = 0;
};

}  // namespace Tarn
