#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/result_code.h"

namespace orvane::fuzz {

/// Treats `data` as a PQZ file and reads it the two ways the system does: the decoder's
/// (header, then Read of the three sections in order, then Expand of each with
/// dequantisation) and the retrieval's (seek to the base offset, Read and Expand the bases
/// without dequantisation). Returns the decoder's first failure, 0 when the whole file
/// decodes. Whatever the bytes, it must return: no crash, hang or unbounded allocation.
ResultCode ReadPqzBytes(const std::uint8_t* data, std::size_t size);

}  // namespace orvane::fuzz
