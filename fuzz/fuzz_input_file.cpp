#include "fuzz_input_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace orvane::fuzz {
namespace {

const std::filesystem::path& InputFolder() {
  static const std::filesystem::path folder = [] {
    std::error_code ignored;
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ignored)
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path(ignored);
    std::filesystem::path own = base / ("orvane-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(own, ignored);
    return own;
  }();
  return folder;
}

}  // namespace

std::string WriteInputFile(const std::uint8_t* data, std::size_t size, const std::string& name) {
  const std::string path = (InputFolder() / name).string();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return {};
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) return {};
  return path;
}

}  // namespace orvane::fuzz
