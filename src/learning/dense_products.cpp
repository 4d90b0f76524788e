#include "learning/dense_products.h"

#include <algorithm>
#include <cstdint>

namespace orvane {
namespace {

// Rows of x handled per slice of the Gram matrix: the transposed slice is d x kSliceRows,
// 1.5 MB for 192 columns, which keeps it near the cache.
constexpr std::uint32_t kSliceRows = 1024;

// Rows of xᵀx computed per band. A band starting at row i0 needs columns i0..d-1 only, so
// narrow bands skip most of the lower triangle; 32 rows keep the product kernel busy.
constexpr std::uint32_t kBandRows = 32;

}  // namespace

Tarn::Matrix<double> MultiplyByTranspose(const Tarn::Matrix<double>& a,
                                         const Tarn::Matrix<double>& b) {
  Tarn::Matrix<double> out(a.Rows(), b.Rows());
  if (out.IsEmpty()) return out;
  if (a.Columns() == 0) {
    out.Fill(0.0);
    return out;
  }
  Tarn::detail::MultiplyTransposed(a.Data(), b.Data(), out.Data(), a.Rows(), b.Rows(), a.Columns());
  return out;
}

Tarn::Matrix<double> GramMatrix(const Tarn::Matrix<double>& x) {
  const std::uint32_t d = x.Columns();
  const std::uint32_t rows = x.Rows();
  Tarn::Matrix<double> gram(d, d);
  gram.Fill(0.0);
  if (d == 0 || rows == 0) return gram;

  const std::uint32_t slice_rows = std::min(rows, kSliceRows);
  Tarn::Matrix<double> slice(d, slice_rows);  // xᵀ of the current slice, rows of length len
  Tarn::Matrix<double> band(std::min(d, kBandRows), d);
  for (std::uint32_t r0 = 0; r0 < rows; r0 += slice_rows) {
    const std::uint32_t len = std::min(slice_rows, rows - r0);
    double* const st = slice.Data();
    for (std::uint32_t i = 0; i < len; ++i) {
      const double* src = x.Row(r0 + i);
      for (std::uint32_t c = 0; c < d; ++c) st[static_cast<std::size_t>(c) * len + i] = src[c];
    }
    // Band [i0, i1) of the slice's xᵀx against columns i0..d-1: entry (i, j) is the dot
    // product of rows i and j of the transposed slice.
    for (std::uint32_t i0 = 0; i0 < d; i0 += kBandRows) {
      const std::uint32_t i1 = std::min(d, i0 + kBandRows);
      const std::uint32_t width = d - i0;
      const double* first = st + static_cast<std::size_t>(i0) * len;
      Tarn::detail::MultiplyTransposed(first, first, band.Data(), i1 - i0, width, len);
      for (std::uint32_t i = i0; i < i1; ++i) {
        const double* part = band.Data() + static_cast<std::size_t>(i - i0) * width;
        double* target = gram.Row(i);
        for (std::uint32_t j = i; j < d; ++j) target[j] += part[j - i0];
      }
    }
  }
  for (std::uint32_t i = 0; i < d; ++i)
    for (std::uint32_t j = i + 1; j < d; ++j) gram(j, i) = gram(i, j);
  return gram;
}

}  // namespace orvane
