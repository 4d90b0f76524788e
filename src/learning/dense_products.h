#pragma once

#include "foundation/matrix.h"

namespace orvane {

/// a · bᵀ for a (r x k) and b (c x k), giving r x c. Both operands are read along their rows,
/// so, unlike `a * b.Transpose()`, no transposed copy of either operand is made.
Tarn::Matrix<double> MultiplyByTranspose(const Tarn::Matrix<double>& a,
                                         const Tarn::Matrix<double>& b);

/// xᵀ · x for x (N x d), giving d x d, exactly symmetric. The rows of x are taken a slice at a
/// time, so the working memory stays a small multiple of d no matter how tall x is, and only
/// the upper triangle is computed before it is mirrored.
Tarn::Matrix<double> GramMatrix(const Tarn::Matrix<double>& x);

}  // namespace orvane
