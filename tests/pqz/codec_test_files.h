#pragma once

// PQZ files with chosen contents, written through the component writer, and the small image
// helpers the codec tests share (core and Qt tests alike; no Qt here).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "foundation/matrix.h"
#include "imaging/image_ex.h"
#include "imaging/image_psnr.h"
#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"
#include "pqz/pqz_header.h"

namespace orvane::codec_test {

/// The stored contents of a file: means 3 x G, integer bases D x 3N with one factor per basis
/// (the decoder divides basis i by factor i), coefficients G x D. Every value must be an
/// integer that 16 magnitude bits hold, as the writer codes them exactly then.
struct FileContents {
  PqzHeader header;
  Tarn::Matrix<double> means;
  Tarn::Matrix<double> bases;
  std::vector<std::uint32_t> factors;
  Tarn::Matrix<double> coeffs;
};

/// Contents for a width x height image in `colorSpace` with the given patch size and D bases,
/// every value zero and every factor 1.
inline FileContents ZeroContents(int width, int height, int patchWidth, int patchHeight,
                                 int dimension, std::uint16_t colorSpace) {
  FileContents c;
  c.header.ColorSpace = colorSpace;
  c.header.ImageWidth = width;
  c.header.ImageHeight = height;
  c.header.PatchWidth = patchWidth;
  c.header.PatchHeight = patchHeight;
  c.header.Dimension = dimension;
  const PatchGrid grid = GridOf(c.header);
  const std::uint32_t d = static_cast<std::uint32_t>(dimension);
  c.means.Resize(3, grid.Patches);
  c.means.Fill(0.0);
  c.bases.Resize(d, 3 * grid.PixelsPerPatch);
  c.bases.Fill(0.0);
  c.factors.assign(d, 1);
  c.coeffs.Resize(grid.Patches, d);
  c.coeffs.Fill(0.0);
  return c;
}

/// Writes `contents` as a PQZ file (Huffman coding, 16 magnitude classes, runs of 16):
/// header, then the average, base and coefficient sections. The header's offsets are filled
/// from the stored sizes. False when any step fails.
inline bool WriteContents(const std::string& path, const FileContents& contents) {
  CompressionParameters coding;
  coding.AverageQuantizeStep = 1;
  coding.CoeffQuantizeStep = 1;
  coding.BasePrecisionBit = 0;
  coding.PrecisionBit = 16;
  coding.MaxZeroRun = 16;
  CAverage average;
  CBase base;
  CCoeff coeff;
  if (average.Setup(coding) != kSuccess || base.Setup(coding) != kSuccess ||
      coeff.Setup(coding) != kSuccess) {
    return false;
  }
  static_cast<Tarn::Matrix<double>&>(average) = contents.means;
  static_cast<Tarn::Matrix<double>&>(base) = contents.bases;
  base.StepTable() = contents.factors;
  static_cast<Tarn::Matrix<double>&>(coeff) = contents.coeffs;
  for (CPQZComponent* c :
       {static_cast<CPQZComponent*>(&average), static_cast<CPQZComponent*>(&base),
        static_cast<CPQZComponent*>(&coeff)}) {
    if (c->Compress() != kSuccess) return false;
  }
  PqzHeader header = contents.header;
  header.FileType = kPqzFileType;
  header.AverageOffset = static_cast<std::int32_t>(kPqzHeaderSize);
  header.BaseOffset = header.AverageOffset + static_cast<std::int32_t>(average.StoredSize());
  header.CoeffOffset = header.BaseOffset + static_cast<std::int32_t>(base.StoredSize());
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                       &std::fclose);
  if (!file || WritePqzHeader(file.get(), header) != kSuccess) return false;
  for (const CPQZComponent* c :
       {static_cast<const CPQZComponent*>(&average), static_cast<const CPQZComponent*>(&base),
        static_cast<const CPQZComponent*>(&coeff)}) {
    if (c->Write(file.get()) != kSuccess) return false;
  }
  return std::fflush(file.get()) == 0;
}

/// The whole content of a file; empty when it cannot be read.
inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

/// The names in `dir`, for checking that nothing (no temporary file) was left behind.
inline std::vector<std::string> Entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

/// A 24-bit image whose pixel (x, y) is colour(x, y) (0x00BBGGRR).
template <class Colour>
CImageEx MakeImage(int width, int height, Colour colour) {
  CImageEx image;
  image.Create(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.SetPixel(x, y, colour(x, y));
  }
  return image;
}

using ::orvane::Psnr;

}  // namespace orvane::codec_test
