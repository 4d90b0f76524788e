#pragma once

// The anchor of the codec benchmarks: libjpeg-turbo (Debian's libturbojpeg0-dev, linked by the
// benchmarks only) encoding and decoding the same pictures on one thread.

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image_ex.h"

namespace orvane::bench {

/// Seconds of the fastest of `runs` encodings of `image` (24 bits) as a JPEG of `quality`
/// with 4:2:0 chroma, negative when libjpeg-turbo fails.
double TurboJpegEncodeSeconds(const CImageEx& image, int quality, int runs);

/// Seconds of the fastest of `runs` decodings of the JPEG file at `path` into blue, green,
/// red pixels, in full (`divisor` 1) or scaled to 1/`divisor` of each side while decoding
/// (2, 4 or 8); negative when the file cannot be read or decoded. With `freshOutput` every
/// decoding writes into newly allocated memory, as a decode into a new image does, and pays
/// the first touch of its pages; otherwise one buffer is reused.
double TurboJpegDecodeSeconds(const std::string& path, int divisor, int runs,
                              bool freshOutput = false);

}  // namespace orvane::bench
