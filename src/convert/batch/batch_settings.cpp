#include "convert/batch/batch_settings.h"

#include <filesystem>
#include <system_error>

namespace orvane {

std::string WithTrailingSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir.push_back('/');
  return dir;
}

bool SaveDirectoryExists(const std::string& dir) {
  if (dir.empty()) return false;
  std::error_code error;
  return std::filesystem::is_directory(dir, error);
}

}  // namespace orvane
