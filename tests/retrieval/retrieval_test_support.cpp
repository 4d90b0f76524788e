#include "retrieval_test_support.h"

#include <cstdio>
#include <memory>

#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"

namespace orvane::test {
namespace {

CompressionParameters TestCoding(std::uint32_t averageStep, std::int32_t basePrecision) {
  CompressionParameters p;
  p.AverageQuantizeStep = averageStep;
  p.PrecisionBit = 24;  // room for any test value and its prediction differences
  p.BasePrecisionBit = basePrecision;
  p.MaxZeroRun = 16;
  return p;
}

}  // namespace

PatchGrid GridOfSynthetic(const SyntheticPqz& file) {
  PqzHeader header;
  header.ImageWidth = file.width;
  header.ImageHeight = file.height;
  header.PatchWidth = file.patchWidth;
  header.PatchHeight = file.patchHeight;
  header.Dimension = static_cast<std::int32_t>(file.bases.Rows());
  return GridOf(header);
}

ResultCode WritePqz(const std::string& path, const SyntheticPqz& file) {
  const CompressionParameters coding = TestCoding(file.averageStep, file.basePrecision);
  CAverage average;
  CBase base;
  CCoeff coeff;
  if (const ResultCode rc = average.Setup(coding); rc != kSuccess) return rc;
  if (const ResultCode rc = base.Setup(coding); rc != kSuccess) return rc;
  if (const ResultCode rc = coeff.Setup(coding); rc != kSuccess) return rc;
  // The averages are quantised by Compress (trunc(v / step)); giving the stored values times
  // the step makes them come back as given.
  static_cast<Tarn::Matrix<double>&>(average) = file.averages;
  for (std::uint32_t i = 0; i < average.Count(); ++i) average.Data()[i] *= file.averageStep;
  static_cast<Tarn::Matrix<double>&>(base) = file.bases;
  base.StepTable().assign(file.bases.Rows(), file.baseFactor);
  coeff.Resize(file.averages.Columns(), file.bases.Rows());
  coeff.Fill(0.0);
  for (CPQZComponent* c :
       {static_cast<CPQZComponent*>(&average), static_cast<CPQZComponent*>(&base),
        static_cast<CPQZComponent*>(&coeff)}) {
    if (const ResultCode rc = c->Compress(); rc != kSuccess) return rc;
  }
  PqzHeader header;
  header.IterationFlag = file.iterationFlag;
  header.ImageWidth = file.width;
  header.ImageHeight = file.height;
  header.PatchWidth = file.patchWidth;
  header.PatchHeight = file.patchHeight;
  header.Dimension = static_cast<std::int32_t>(file.bases.Rows());
  header.AverageOffset = kPqzHeaderSize;
  header.BaseOffset = header.AverageOffset + static_cast<std::int32_t>(average.StoredSize());
  header.CoeffOffset = header.BaseOffset + static_cast<std::int32_t>(base.StoredSize());
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!out) return kCannotOpenFile;
  if (const ResultCode rc = WritePqzHeader(out.get(), header); rc != kSuccess) return rc;
  if (const ResultCode rc = average.Write(out.get()); rc != kSuccess) return rc;
  if (const ResultCode rc = base.Write(out.get()); rc != kSuccess) return rc;
  return coeff.Write(out.get());
}

Tarn::Matrix<double> MakeAverages(const PatchGrid& grid, const PatchColour& colour) {
  Tarn::Matrix<double> averages(3, grid.Patches);
  for (std::uint32_t r = 0, k = 0; r < grid.Rows; ++r) {
    for (std::uint32_t c = 0; c < grid.Columns; ++c, ++k) {
      double rgb[3] = {0, 0, 0};
      colour(r, c, rgb);
      for (int i = 0; i < 3; ++i) averages(i, k) = rgb[i];
    }
  }
  return averages;
}

Tarn::Matrix<double> RandomBases(std::uint32_t dimension, std::uint32_t values, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> draw(-100, 100);
  Tarn::Matrix<double> bases(dimension, values);
  for (std::uint32_t i = 0; i < bases.Count(); ++i) bases.Data()[i] = draw(rng);
  return bases;
}

SyntheticPqz MakeSynthetic(std::int32_t width, std::int32_t height, std::int32_t patch,
                           std::uint32_t dimension, unsigned seed) {
  SyntheticPqz file;
  file.width = width;
  file.height = height;
  file.patchWidth = file.patchHeight = patch;
  const PatchGrid grid = GridOfSynthetic(file);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> base(0, 200);
  const double r0 = base(rng), g0 = base(rng), b0 = base(rng);
  file.averages = MakeAverages(grid, [&](std::uint32_t r, std::uint32_t c, double rgb[3]) {
    rgb[0] = r0 + (r * 7 + c * 3) % 50;
    rgb[1] = g0 + (r * 2 + c * 5) % 50;
    rgb[2] = b0 + (r + c) % 50;
  });
  file.bases = RandomBases(dimension, 3 * grid.PixelsPerPatch, seed + 1);
  return file;
}

}  // namespace orvane::test
