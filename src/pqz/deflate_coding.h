#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/matrix.h"
#include "foundation/result_code.h"

namespace orvane {

/// Most bytes one byte of a deflate stream can expand to: a 258-byte match costs at least
/// two bits (one for its length code, one for its distance code), so 8 bits give 4 x 258.
inline constexpr std::uint64_t kMaxInflateRatio = 1032;

/// Deflates the matrix as little-endian int32 values, row after row, into a zlib stream
/// (default level, zlib header and trailer) in one call. Values are truncated toward zero;
/// 22 when one is not finite or outside the int32 range. The output buffer is sized by
/// zlib's own bound, so the single call cannot run out of room. 9 when zlib fails, 7 when
/// memory cannot be had.
ResultCode DeflateValues(const Tarn::Matrix<double>& matrix, std::vector<std::uint8_t>& out);

/// Inflates a zlib stream of little-endian int32 values into every element of `matrix`
/// (already sized). 12 unless one inflate call ends the stream having produced exactly
/// rows x columns values: a short stream must not leave elements unset.
ResultCode InflateValues(const std::uint8_t* data, std::size_t length,
                         Tarn::Matrix<double>& matrix);

}  // namespace orvane
