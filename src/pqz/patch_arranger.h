#pragma once

#include "foundation/matrix.h"
#include "foundation/result_code.h"
#include "pqz/patch_matrix.h"
#include "pqz/pqz_header.h"

namespace orvane {

class CImageEx;

/// Which way ArrangePatches writes pixels. Both give the same image.
enum class ArrangePath {
  kAuto,     ///< the direct path when it applies, else the per-pixel one
  kGeneric,  ///< one colour conversion and one SetPixel per pixel
  kDirect,   ///< RGB, patch sides multiples of 4, 24 bits: clamped bytes straight into the rows
};

/// Writes decoded patches into `image` (24 bits, the header's size): each patch value plus the
/// patch mean of its channel (`means`, 3 x G) is converted back from the header's colour space
/// and set at its pixel; pixels of edge patches that fall outside the image are dropped.
/// 27 for a colour space outside 0..2 (the image is not touched then).
///
/// `patches` and `means` may hold a band of the picture: patch row r and means column r are
/// then patch `firstPatch` + r, and only those patches are written. 18 when the band passes
/// the last patch or `means` does not have one column per patch row.
ResultCode ArrangePatches(const PatchMatrix& patches, const Tarn::Matrix<double>& means,
                          const PqzHeader& header, CImageEx& image,
                          ArrangePath path = ArrangePath::kAuto, std::uint32_t firstPatch = 0);

/// Draws one pixel per patch from the patch means (3 x G) into `image`, which must already be
/// a 24-bit image of patch columns x patch rows. 27 for a colour space outside 0..2. As with
/// ArrangePatches, `means` may be a band: column r is then patch `firstPatch` + r (18 when it
/// passes the last patch).
ResultCode DrawPatchMeans(const Tarn::Matrix<double>& means, const PqzHeader& header,
                          CImageEx& image, std::uint32_t firstPatch = 0);

}  // namespace orvane
