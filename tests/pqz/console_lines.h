#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace orvane::test {

/// The lines of captured console output, without their line ends; text after the last line
/// end is dropped.
inline std::vector<std::string> Lines(const std::string& out) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (auto end = out.find('\n'); end != std::string::npos; end = out.find('\n', start)) {
    lines.push_back(out.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

/// True when `text` is a whole number in the stream's default floating-point format.
inline bool IsSeconds(const std::string& text) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return *end == '\0';
}

/// The label of a stage line "LABEL...SECONDS" (the label ends with its three dots), or an
/// empty string for any other line.
inline std::string StageLabelOf(const std::string& line) {
  const auto dots = line.find("...");
  if (dots == std::string::npos || !IsSeconds(line.substr(dots + 3))) return {};
  return line.substr(0, dots + 3);
}

}  // namespace orvane::test
