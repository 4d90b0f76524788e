#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/batch/batch_settings.h"
#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "pqz/pqz_codec.h"

namespace orvane::test_support {

/// A 24-bit test picture whose colours depend on `seed`, so that outputs can be told apart.
inline CImageEx MakePicture(int width, int height, int seed) {
  CImageEx image;
  if (!image.Create(width, height, 24)) return image;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto byte = [](double v) {
        return static_cast<std::uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      };
      const double ripple = 30.0 * std::sin(x * 0.3 + seed) * std::cos(y * 0.2);
      image.SetPixel(x, y,
                     byte(40 + 3 * x + ripple + 20 * seed) | byte(90 + 2 * y) << 8 |
                         byte(200 - 2 * x - seed * 30 + ripple) << 16);
    }
  }
  return image;
}

/// Saves a test picture at `path` (its format from the extension), making its folder.
inline void WritePicture(const std::filesystem::path& path, int seed) {
  std::filesystem::create_directories(path.parent_path());
  ASSERT_TRUE(SaveImageFile(MakePicture(48, 40, seed), path.string())) << path;
}

/// Encodes a test picture into a PQZ file at `path` with small parameters.
inline void WritePqz(const std::filesystem::path& path, int seed) {
  std::filesystem::create_directories(path.parent_path());
  EncodingParameters p;
  p.Learning.DimensionReduction = 24;
  PqzCodec codec;
  testing::internal::CaptureStdout();
  const ResultCode setRc = codec.SetParameters(p.Common, p.Learning, p.Compression);
  const ResultCode rc = codec.Encode(path.string(), MakePicture(48, 40, seed));
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(setRc, kSuccess);
  ASSERT_EQ(rc, kSuccess) << path;
}

/// The batch item of the file at `path`, named as the folder listing names it.
inline BatchItem ItemOf(const std::filesystem::path& path) {
  std::string name = path.filename().string();
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return {name, path.string()};
}

/// `prefix`, the number and `extension` ("p3.png"), built without the concatenations GCC 12
/// misreports.
inline std::string NumberedName(const char* prefix, int number, const char* extension) {
  std::string name = prefix;
  name += std::to_string(number);
  name += extension;
  return name;
}

/// Every regular file below `dir`, as paths relative to it, sorted.
inline std::vector<std::string> FilesBelow(const std::filesystem::path& dir) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) {
      files.push_back(std::filesystem::relative(entry.path(), dir).string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace orvane::test_support
