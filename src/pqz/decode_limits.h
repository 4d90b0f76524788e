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
  /// Pixels any file may describe however few bytes it has (2^26, an 8192 x 8192 picture).
  /// Beyond them a file must bring PixelsPerFileByte pixels' worth of bytes: a flat picture
  /// codes in almost nothing, so without this a file of a few kilobytes could ask for the
  /// largest picture. Real photos never come near (they cost bits on every patch).
  std::uint64_t FreePixels = std::uint64_t{1} << 26;
  std::uint64_t PixelsPerFileByte = 1024;
};

}  // namespace orvane
