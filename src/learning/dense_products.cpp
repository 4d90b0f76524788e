#include "learning/dense_products.h"

#include <cstdint>

#include "foundation/product_kernels.h"

namespace orvane {

Tarn::Matrix<double> MultiplyByTranspose(const Tarn::Matrix<double>& a,
                                         const Tarn::Matrix<double>& b) {
  Tarn::Matrix<double> out(a.Rows(), b.Rows());
  if (out.IsEmpty()) return out;
  if (a.Columns() == 0) {
    out.Fill(0.0);
    return out;
  }
  // Rows split between the cores come out exactly as from one thread.
  Tarn::detail::MultiplyTransposedParallel(a.Data(), b.Data(), out.Data(), a.Rows(), b.Rows(),
                                           a.Columns(), 0);
  return out;
}

Tarn::Matrix<double> GramMatrix(const Tarn::Matrix<double>& x) {
  const std::uint32_t d = x.Columns();
  Tarn::Matrix<double> gram(d, d);
  if (d == 0) return gram;
  Tarn::detail::GramProduct(x.Data(), x.Rows(), d, gram.Data());
  return gram;
}

}  // namespace orvane
