#pragma once

#include <string>

#include "imaging/image_ex.h"

namespace orvane {

/// Reads the image file at `path` (a local file name) into `image`, whatever its type, the
/// format told by the file's content rather than its name. Photos are turned upright by their
/// EXIF orientation. The image is emptied first; on failure (unreadable or missing file, an
/// image larger than the reader's 1 GiB budget, no memory) it stays empty. The type code and
/// the draw rectangle are left alone. Palette and grey files give 8-bit images, files with
/// alpha 32-bit images with HasAlpha(), all others 24-bit images; GetPixel gives the file's
/// colours (16-bit channels reduced to 8 bits).
bool LoadImageFile(CImageEx& image, const std::string& path);

/// Writes `image` to `path` in the format named by the path's extension (from the last dot,
/// compared case-insensitively with the formats the image writer offers: bmp, jpg/jpeg, png,
/// tif/tiff and others). The file is written to a temporary file beside the target and
/// renamed over it only when writing succeeded, so a failed save leaves no partial file and
/// an existing target untouched. False for an empty image, an unknown extension (nothing is
/// written) or a failed write.
bool SaveImageFile(const CImageEx& image, const std::string& path);

}  // namespace orvane
