#pragma once

#include <string>

#include "foundation/matrix.h"
#include "foundation/result_code.h"
#include "pqz/pqz_header.h"

namespace orvane {

// The search compares files by the stored integers of one section each, without decoding any
// pixels: the readers seek straight to the section, decode it and skip the dequantisation.

/// Reads the patch means of the PQZ file at `path`: the 3 x G matrix of the average section as
/// stored (not multiplied back by the quantisation steps), row c the means of channel c, column
/// k patch k. 8 when the file cannot be opened; 14 for a short header, a failed seek or a short
/// section; 21 for a wrong FileType or impossible sizes; the section's own codes (7, 12, 14,
/// 16) otherwise. `averages` and `header` are written only on success; the file is always
/// closed.
ResultCode ReadAverages(const std::string& path, Tarn::Matrix<double>& averages, PqzHeader& header);

/// Reads the bases of the PQZ file at `path`: the D x 3N matrix of the base section as stored
/// (not divided by the per-basis factors). The same codes as ReadAverages; `bases` and
/// `header` are written only on success; the file is always closed.
ResultCode ReadBases(const std::string& path, Tarn::Matrix<double>& bases, PqzHeader& header);

}  // namespace orvane
