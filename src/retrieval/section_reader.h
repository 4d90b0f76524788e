#pragma once

#include <cstddef>
#include <string>

#include "foundation/int16_rows.h"
#include "foundation/matrix.h"
#include "foundation/result_code.h"
#include "pqz/decode_limits.h"
#include "pqz/pqz_header.h"

namespace orvane {

// The search compares files by the stored integers of one section each, without decoding any
// pixels: the readers open the file through the PQZ reader (which settles where every section
// lies, by the same rule as the decoder), decode the one section and skip the dequantisation.

/// Reads the patch means of the PQZ file at `path`: the 3 x G matrix of the average section as
/// stored (not multiplied back by the quantisation steps), row c the means of channel c, column
/// k patch k. 8 when the file cannot be opened; 14 for a short header or sections that do not
/// lie where the header says (see PqzReader); 21 for a wrong FileType or impossible sizes; 7
/// when the matrix would pass the working memory of `limits`; the section's own codes (7, 12,
/// 14, 16) otherwise. `averages` and `header` are written only on success; the file is always
/// closed.
ResultCode ReadAverages(const std::string& path, Tarn::Matrix<double>& averages, PqzHeader& header,
                        const DecodeLimits& limits = {});

/// One file of ReadAveragesTogether: its path and matrix, and after the read its header and
/// result.
struct AveragesJob {
  const std::string* path = nullptr;
  Tarn::Matrix<double>* averages = nullptr;
  PqzHeader header{};
  ResultCode result = kSuccess;
};

/// ReadAverages of `count` files, the means of those under Coding 0 decoded side by side
/// (which takes less time than one after the other): each job gets in its matrix, header and
/// result what ReadAverages gives it.
void ReadAveragesTogether(AveragesJob* jobs, std::size_t count, const DecodeLimits& limits = {});

/// Reads the bases of the PQZ file at `path`: the D x 3N matrix of the base section as stored
/// (not divided by the per-basis factors). The same codes as ReadAverages; `bases` and
/// `header` are written only on success; the file is always closed.
ResultCode ReadBases(const std::string& path, Tarn::Matrix<double>& bases, PqzHeader& header,
                     const DecodeLimits& limits = {});

/// ReadBases into 16-bit rows (see Int16Rows): the same values. Bases stored as small
/// integers, as every encoder writes them, are decoded straight into the rows, without the
/// double matrix. 22 when a value does not meet the bound of Int16Rows (ReadBases reads
/// those); otherwise the codes of ReadBases. `bases` holds nothing after a failure; `header`
/// is written only on success.
ResultCode ReadSmallBases(const std::string& path, Int16Rows& bases, PqzHeader& header,
                          const DecodeLimits& limits = {});

/// One file of ReadSmallBasesTogether: its path and rows, and after the read its header
/// and result.
struct SmallBasesJob {
  const std::string* path = nullptr;
  Int16Rows* bases = nullptr;
  PqzHeader header{};
  ResultCode result = kSuccess;
};

/// ReadSmallBases of `count` files, the bases of those stored as small integers decoded side
/// by side (which takes less time than one after the other): each job gets in its rows,
/// header and result what ReadSmallBases gives it.
void ReadSmallBasesTogether(SmallBasesJob* jobs, std::size_t count,
                            const DecodeLimits& limits = {});

}  // namespace orvane
