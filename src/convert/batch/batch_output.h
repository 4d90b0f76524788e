#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/batch/batch_settings.h"

namespace orvane {

/// Where one file of a batch is written.
struct PlannedOutput {
  std::string path;  ///< the output path (listed as the failure when the file fails)
  /// An earlier file of the batch already writes `path`: this one is failed rather than
  /// overwriting it. Also set for a name too short to carry an extension.
  bool taken = false;
};

/// The output path of `item`: the save directory, then the item's folder relative to
/// `targetDir` when it lies below it (so files of sub-folders keep their sub-folders), then
/// the item's name without its last three characters, then `extension` ("pqz" or "bmp"):
/// photo.jpg becomes photo.pqz, photo.jpeg becomes photo.jpqz. Empty for a name of fewer than
/// three characters.
std::string OutputPathOf(const BatchItem& item, const std::string& targetDir,
                         const std::string& saveDir, std::string_view extension);

/// The outputs of a whole batch, in list order, with the later of two files that map to one
/// path marked as taken.
std::vector<PlannedOutput> PlanOutputs(const std::vector<BatchItem>& items,
                                       const std::string& targetDir, const std::string& saveDir,
                                       std::string_view extension);

/// Creates the folders above `outputPath` that do not exist yet; false when that fails.
bool MakeOutputFolder(const std::string& outputPath);

}  // namespace orvane
