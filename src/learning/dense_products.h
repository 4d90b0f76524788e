#pragma once

#include "foundation/matrix.h"

namespace orvane {

/// a · bᵀ for a (r x k) and b (c x k), giving r x c. Both operands are read along their rows,
/// so, unlike `a * b.Transpose()`, no transposed copy of either operand is made.
Tarn::Matrix<double> MultiplyByTranspose(const Tarn::Matrix<double>& a,
                                         const Tarn::Matrix<double>& b);

/// xᵀ · x for x (N x d), giving d x d, exactly symmetric. The product kernel reads the columns
/// of x straight from its rows, so no transposed copy is made and the working memory stays a
/// small multiple of d no matter how tall x is; only the upper triangle is computed before it
/// is mirrored.
Tarn::Matrix<double> GramMatrix(const Tarn::Matrix<double>& x);

}  // namespace orvane
