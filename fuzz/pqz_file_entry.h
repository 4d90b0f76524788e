#pragma once

#include <cstddef>
#include <cstdint>
#include <sstream>

#include "foundation/result_code.h"

namespace orvane::fuzz {

/// What the codec made of one input.
struct PqzOutcome {
  ResultCode decode = kSuccess;   ///< the full decode, arranging included
  ResultCode preview = kSuccess;  ///< the preview from the patch means
};

/// Treats `data` as a PQZ file and reads it every way the system does, from memory through the
/// same code as a file: the codec's full decode (limits, the three sections, bands of
/// expanding, multiplying and arranging into a picture), its preview, and the retrieval's
/// single-section reads without dequantisation. The codec works under FuzzDecodeLimits.
/// Whatever the bytes, it must return: no crash, hang or unbounded allocation.
PqzOutcome ReadPqzOutcome(const std::uint8_t* data, std::size_t size);

/// The full decode's result of ReadPqzOutcome.
ResultCode ReadPqzBytes(const std::uint8_t* data, std::size_t size);

}  // namespace orvane::fuzz
