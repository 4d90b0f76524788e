#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include <stdlib.h>

#include "foundation/matrix.h"
#include "foundation/result_code.h"
#include "pqz/pqz_header.h"

namespace orvane::test {

/// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvane-retrieval-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::string File(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

/// The contents of a PQZ file made for a test: the stored averages and bases are given as
/// they should come back from the readers (quantised values, before any dequantisation).
struct SyntheticPqz {
  std::int32_t width = 64;
  std::int32_t height = 64;
  std::int32_t patchWidth = 8;
  std::int32_t patchHeight = 8;
  std::uint16_t iterationFlag = 0;
  std::uint32_t averageStep = 1;   ///< the StepTable of the averages (not applied to the values)
  std::uint32_t baseFactor = 1;    ///< the StepTable of the bases (not applied to the values)
  std::int32_t basePrecision = 0;  ///< P of the base section; 0 for the averages' 24
  Tarn::Matrix<double> averages;   ///< 3 x G
  Tarn::Matrix<double> bases;      ///< D x 3N
};

/// Writes `file` through the components (Compress and Write after the header), with a zero
/// coefficient section. 0 on success.
ResultCode WritePqz(const std::string& path, const SyntheticPqz& file);

/// The patch grid of the synthetic file's header.
PatchGrid GridOfSynthetic(const SyntheticPqz& file);

/// Averages where patch (row, column) has the channel means colour(row, column) gives.
using PatchColour = std::function<void(std::uint32_t row, std::uint32_t column, double rgb[3])>;
Tarn::Matrix<double> MakeAverages(const PatchGrid& grid, const PatchColour& colour);

/// `dimension` random integer bases of 3N values in [-100, 100], reproducible from `seed`.
Tarn::Matrix<double> RandomBases(std::uint32_t dimension, std::uint32_t values, unsigned seed);

/// A synthetic file of the given image and patch sizes with smoothly varying averages drawn
/// from `seed` and `dimension` random bases.
SyntheticPqz MakeSynthetic(std::int32_t width, std::int32_t height, std::int32_t patch,
                           std::uint32_t dimension, unsigned seed);

}  // namespace orvane::test
