#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/result_code.h"

namespace orvane::fuzz {

/// Treats `data` as a file given to `pqz thumbnail -s 128`: named .pqz, so a valid PQZ header
/// goes through LoadFile's preview and any other content through the image reader, which
/// tells formats by content. Returns MakeFileThumbnail's code; on success the thumbnail must
/// fit the 128 box. The image reader's allocation limit is the thumbnailer's own; pictures
/// and previews are weighed against FuzzDecodeLimits. Whatever the bytes, it must return: no
/// crash, hang or unbounded allocation.
ResultCode ThumbnailBytes(const std::uint8_t* data, std::size_t size);

}  // namespace orvane::fuzz
