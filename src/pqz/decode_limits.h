#pragma once

#include <cstdint>

namespace orvane {

/// What a decode may cost, checked against the header before any section is read. A file
/// whose picture or working memory would pass these limits is refused with 7 at once.
struct DecodeLimits {
  /// Pixels of the picture a decode may make; 2^28 (about 268 megapixels) admits any real
  /// photo.
  std::uint64_t MaxPixels = std::uint64_t{1} << 28;
  /// Memory a decode may use beyond the picture it makes and the bytes of the file.
  std::uint64_t MaxWorkingBytes = std::uint64_t{64} << 20;
};

}  // namespace orvane
