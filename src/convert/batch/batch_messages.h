#pragma once

#include <string>

#include "convert/batch/batch_settings.h"

namespace orvane {

/// The conversion panels' own texts.
inline constexpr const char* kSaveDirectoryMissingText =
    "Specified destination dir isn't exist. Please specify a destination dir.";
inline constexpr const char* kNoFilesText = "there's no file in target directory";
inline constexpr const char* kStartConvertingText = "Start converting images, please wait...";

/// The message at the end of a batch to PQZ: "finished conversion to PQZ images!", or
/// "Failed conversion of these images!\n" and one output path a line. A cancelled batch
/// without failures has nothing to tell: empty.
std::string PqzBatchMessage(const BatchResult& result);

/// The message at the end of a batch to BMP: "Finished converting to BMP images!", or
/// "Failed conversion of these files!\n" and one source name a line; empty for a cancelled
/// batch without failures.
std::string BmpBatchMessage(const BatchResult& result);

}  // namespace orvane
