// libFuzzer target: arbitrary bytes as the file pqz thumbnail is given, through the thumbnail
// rule (PQZ preview or the image reader) within the decode limits.
#include <cstddef>
#include <cstdint>

#include "thumbnail_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvane::fuzz::ThumbnailBytes(data, size);
  return 0;
}
