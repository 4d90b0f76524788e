#pragma once

#include <string>
#include <vector>

#include "convert/batch/batch_settings.h"
#include "pqz/encoding_parameters.h"

namespace orvane {

/// A batch conversion of images into PQZ files.
struct PqzBatchSettings {
  BatchSettings batch;
  /// The text of the panel's "Bases" box: "PCA" runs no ICA iteration, "ICA" runs at most 100
  /// when config.ini asks for none; any other text keeps the configured MaxIterations.
  std::string method;
  /// The parameter file; empty means config.ini beside the program.
  std::string configPath;
};

/// The parameters every file of the batch is encoded with: config.ini (the built-in defaults
/// when it cannot be opened), then the method rule.
EncodingParameters LoadBatchParameters(const std::string& configPath, const std::string& method);

/// Encodes every item into a PQZ file in the save directory (sub-folders mirrored), several
/// files at once, each with its own codec. An item fails (and its output path is listed) when
/// the parameters are refused, the image cannot be read (existing PQZ files among them), the
/// encoding fails, its folder cannot be made, or an earlier item of the batch already writes
/// its output path. Outputs are written completely or not at all. The save directory is not
/// checked here: callers check SaveDirectoryExists first.
BatchResult ConvertToPqz(const std::vector<BatchItem>& items, const PqzBatchSettings& settings);

}  // namespace orvane
