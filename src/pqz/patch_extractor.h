#pragma once

#include "foundation/matrix.h"
#include "foundation/result_code.h"
#include "pqz/encoding_parameters.h"
#include "pqz/patch_matrix.h"

namespace orvane {

class CImageEx;

/// Cuts `image` into patches of the parameters' size, row by row from the top-left, in the
/// parameters' colour space. Where a patch passes the right or bottom edge, the last column
/// and row of the image are repeated. Each patch loses its channel means: `patches` becomes
/// G x 3N (channel-planar) and `means` 3 x G (row = channel, column = patch).
/// 27 for a colour space outside 0..2, 22 for an empty image, 7 when memory runs out.
ResultCode ExtractPatches(const CImageEx& image, const CommonParameters& common,
                          PatchMatrix& patches, Tarn::Matrix<double>& means);

}  // namespace orvane
