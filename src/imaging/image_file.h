#pragma once

#include <string>

#include "imaging/image_ex.h"

namespace orvane {

/// Qt refuses to decode images above 128 MB by default, which stops at about 32 megapixels.
/// 1 GiB lets a 100-megapixel photo through even with 16-bit channels (800 MB) and still
/// bounds what a forged header can make the reader allocate.
inline constexpr int kImageReaderAllocationLimitMb = 1024;

/// Sets Qt's process-wide image reader budget to kImageReaderAllocationLimitMb. A program
/// calls it once at start, before any reader thread runs; loading never changes it.
void SetImageReaderAllocationLimit();

/// Reads the image file at `path` (a local file name) into `image`, whatever its type, the
/// format told by the file's content rather than its name. Photos are turned upright by their
/// EXIF orientation. The image is emptied first; on failure (unreadable or missing file, an
/// image larger than the reader's budget (Qt's 128 MB unless the
/// program set SetImageReaderAllocationLimit), no memory) it stays empty. The type code and
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

/// SaveImageFile for an image the caller is done with: `image` is empty afterwards, whether
/// the save succeeded or not. When it holds its pixels alone, a 24-bit image is handed to the
/// writer where it lies (its rows put in top-down order in place) instead of being copied, so
/// saving the largest pictures takes no second picture's worth of memory.
bool SaveImageFile(CImageEx&& image, const std::string& path);

}  // namespace orvane
