#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <stdlib.h>

namespace orvane::test_support {

/// A fresh directory under the system's temporary directory, removed with its contents.
class ScopedTempDir {
 public:
  ScopedTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-pqz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  bool IsValid() const { return !m_path.empty(); }
  const std::filesystem::path& Path() const { return m_path; }

  /// Writes `contents` byte for byte to `name` inside the directory and returns its path.
  std::string WriteFile(const std::string& name, std::string_view contents) const {
    const std::filesystem::path file = m_path / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    return file.string();
  }

 private:
  std::filesystem::path m_path;
};

}  // namespace orvane::test_support
