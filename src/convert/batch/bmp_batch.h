#pragma once

#include <vector>

#include "convert/batch/batch_settings.h"

namespace orvane {

/// Decodes every item as a PQZ file, one codec and one decode per file, and saves the image
/// as a Windows bitmap in the save directory (sub-folders mirrored; a.pqz gives a.bmp),
/// several files at once. An item fails (and its source name is listed) when it is not a PQZ
/// file or cannot be decoded, when the bitmap cannot be written, or when an earlier item of
/// the batch already writes its output path. Bitmaps are written completely or not at all.
/// The save directory is not checked here: callers check SaveDirectoryExists first.
BatchResult ConvertToBmp(const std::vector<BatchItem>& items, const BatchSettings& settings);

}  // namespace orvane
