#pragma once

#include <string>
#include <vector>

#include "foundation/result_code.h"

namespace orvane::cli {

/// Arguments of one sub-command, without the program and sub-command names.
using Arguments = std::vector<std::string>;

/// One sub-command of the tool: its name, a one-line usage text and its entry point.
/// The entry point returns the result code that becomes the tool's exit status.
struct Command {
  const char* name;
  const char* usage;
  ResultCode (*run)(const Arguments& args);
};

/// Prints the catalogue message of a failure on standard error; returns `code`.
ResultCode ReportFailure(ResultCode code);

/// Prints "usage: pqz USAGE" on standard error; returns kInvalidArguments.
ResultCode ReportUsage(const char* usage);

ResultCode RunInfo(const Arguments& args);
ResultCode RunDecode(const Arguments& args);
ResultCode RunPreview(const Arguments& args);
ResultCode RunEncode(const Arguments& args);
ResultCode RunSearch(const Arguments& args);
ResultCode RunThumbnail(const Arguments& args);
ResultCode RunConvert(const Arguments& args);

}  // namespace orvane::cli
