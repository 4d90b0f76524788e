#pragma once

#include <string>

namespace orvane {

class CImageEx;

/// Whether LoadFile may stand a PQZ file's patch means in for its pixels.
enum class LoadMode { kFull, kPreview };

/// Loads any recognised file into `image` by its name. Ordinary files go through the image
/// file reader and get type TYPE_ORDINARY_IMAGE; a file the reader cannot read leaves an empty
/// image and still counts as loaded (returns 1). PQZ files go through the decoder and get their
/// header's IterationFlag as type; in preview mode a file of at most 67 x 67 patches is decoded
/// in full instead, since its preview would be too small for a thumbnail. A PQZ file that fails
/// to decode gives TYPE_ORDINARY_IMAGE, an empty image and 0.
int LoadFile(CImageEx& image, const std::string& path, LoadMode mode);

}  // namespace orvane
