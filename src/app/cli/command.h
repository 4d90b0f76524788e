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

}  // namespace orvane::cli
