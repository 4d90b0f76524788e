#include "retrieval/color_feature.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "foundation/matrix_exception.h"
#include "foundation/small_helpers.h"
#include "retrieval/section_reader.h"
#include "retrieval/structure_bins.h"
#include "retrieval/trunc_to_int.h"

namespace orvane {
namespace {

// The colours of the structure histogram's windows, counted through the 4 x 4 blocks of
// patches that tile them: a window of 8 x 8 patches at a stride of 4 is exactly 2 x 2 blocks,
// so the set of colours it holds is the union of four blocks' sets, each a bit mask made
// once. For up to kBlockMaskBins colours (L = 4 gives 128).
constexpr std::uint32_t kBlockMaskBins = 256;

// Adds to out[b] the windows that hold colour b, as the window walk does; returns the sum
// of those counts. Every bin is below kBlockMaskBins.
std::uint64_t CountWindowColoursByBlocks(const std::vector<std::uint32_t>& binOf,
                                         const PatchGrid& grid, Tarn::DoubleVector& out) {
  using Mask = std::array<std::uint64_t, kBlockMaskBins / 64>;
  constexpr std::uint32_t kBlock = 4;
  const std::uint32_t blockColumns = grid.Columns / kBlock;
  const std::uint32_t blockRows = grid.Rows / kBlock;
  // Only whole blocks: a window never reaches into a partial one.
  std::vector<Mask> blocks(static_cast<std::size_t>(blockColumns) * blockRows, Mask{});
  for (std::uint32_t y = 0; y < blockRows * kBlock; ++y) {
    const std::uint32_t* row = binOf.data() + static_cast<std::size_t>(y) * grid.Columns;
    Mask* blockRow = blocks.data() + static_cast<std::size_t>(y / kBlock) * blockColumns;
    for (std::uint32_t x = 0; x < blockColumns * kBlock; ++x) {
      blockRow[x / kBlock][row[x] >> 6] |= std::uint64_t{1} << (row[x] & 63);
    }
  }
  std::array<std::uint64_t, kBlockMaskBins> counts{};
  std::uint64_t total = 0;
  // Window (y0, x0) = 4 (by, bx) exists for y0 + 8 < R and x0 + 8 < C.
  for (std::uint32_t by = 0; kBlock * by + 2 * kBlock < grid.Rows; ++by) {
    const Mask* top = blocks.data() + static_cast<std::size_t>(by) * blockColumns;
    const Mask* bottom = top + blockColumns;
    for (std::uint32_t bx = 0; kBlock * bx + 2 * kBlock < grid.Columns; ++bx) {
      for (std::size_t w = 0; w < Mask().size(); ++w) {
        std::uint64_t held = top[bx][w] | top[bx + 1][w] | bottom[bx][w] | bottom[bx + 1][w];
        total += static_cast<std::uint64_t>(__builtin_popcountll(held));
        while (held != 0) {
          ++counts[w * 64 + static_cast<std::size_t>(__builtin_ctzll(held))];
          held &= held - 1;
        }
      }
    }
  }
  for (std::uint32_t b = 0; b < out.Length(); ++b) out[b] += static_cast<double>(counts[b]);
  return total;
}

// The averages of a grid: 3 rows, one column per patch of a non-empty grid.
bool FitsGrid(const Tarn::Matrix<double>& averages, const PatchGrid& grid) {
  return grid.Columns != 0 && grid.Rows != 0 &&
         static_cast<std::uint64_t>(grid.Columns) * grid.Rows == grid.Patches &&
         averages.Rows() == 3 && averages.Columns() == grid.Patches;
}

// Bin index of a level triple or pair combination; any index outside the table (only negative
// levels make one) is counted in the last bin, as a wrapped unsigned index would be clamped.
std::uint32_t ClampBin(std::int64_t bin, std::uint32_t bins) {
  return bin < 0 || bin >= static_cast<std::int64_t>(bins) ? bins - 1
                                                           : static_cast<std::uint32_t>(bin);
}

}  // namespace

ResultCode ColorFeature::LoadQuery(const std::string& path) {
  m_mDescriptor = Tarn::Matrix<double>();
  m_vDescriptor = Tarn::DoubleVector();
  Tarn::Matrix<double> matrix;
  Tarn::DoubleVector vector;
  if (const ResultCode code = BuildDescriptor(path, matrix, vector); code != kSuccess) {
    return code;
  }
  m_mDescriptor = std::move(matrix);
  m_vDescriptor = std::move(vector);
  return kSuccess;
}

double ColorFeature::Similarity(const std::string& path) const {
  Tarn::Matrix<double> matrix;
  Tarn::DoubleVector vector;
  return SimilarityOf(BuildDescriptor(path, matrix, vector), matrix, vector);
}

void ColorFeature::SimilarityTogether(const std::string* const* paths, std::size_t count,
                                      double* similarities) const {
  if (m_nLevels == 0 || m_nLevels > kMaxLevels) {
    for (std::size_t k = 0; k < count; ++k) similarities[k] = -1.0;
    return;
  }
  thread_local std::vector<AveragesJob> jobs;
  thread_local std::vector<Tarn::Matrix<double>> averages;
  jobs.assign(count, AveragesJob{});
  if (averages.size() < count) averages.resize(count);
  for (std::size_t k = 0; k < count; ++k) {
    jobs[k].path = paths[k];
    jobs[k].averages = &averages[k];
  }
  ReadAveragesTogether(jobs.data(), count, m_limits);
  for (std::size_t k = 0; k < count; ++k) {
    Tarn::Matrix<double> matrix;
    Tarn::DoubleVector vector;
    const ResultCode built =
        DescriptorOf(jobs[k].result, averages[k], jobs[k].header, matrix, vector);
    similarities[k] = SimilarityOf(built, matrix, vector);
  }
}

double ColorFeature::SimilarityOf(ResultCode built, const Tarn::Matrix<double>& matrix,
                                  const Tarn::DoubleVector& vector) const {
  if (built != kSuccess) return -1.0;
  switch (m_nKind) {
    case FEATURE_BLOCK_MEAN:
      return BlockMeanSimilarity(m_mDescriptor, matrix);
    case FEATURE_HISTOGRAM:
      return HistogramSimilarity(m_vDescriptor, vector);
    case FEATURE_CSD:
      return StructureSimilarity(m_vDescriptor, vector);
    default:
      return 0.0;
  }
}

ResultCode ColorFeature::BuildDescriptor(const std::string& path, Tarn::Matrix<double>& matrix,
                                         Tarn::DoubleVector& vector) const {
  if (m_nLevels == 0 || m_nLevels > kMaxLevels) return kInvalidValues;
  Tarn::Matrix<double> averages;
  PqzHeader header;
  const ResultCode read = ReadAverages(path, averages, header, m_limits);
  return DescriptorOf(read, averages, header, matrix, vector);
}

ResultCode ColorFeature::DescriptorOf(ResultCode read, const Tarn::Matrix<double>& averages,
                                      const PqzHeader& header, Tarn::Matrix<double>& matrix,
                                      Tarn::DoubleVector& vector) const {
  if (read != kSuccess) return kReadFailed;
  const PatchGrid grid = GridOf(header);
  try {
    switch (m_nKind) {
      case FEATURE_BLOCK_MEAN:
        return ComputeBlockMean(averages, grid, matrix);
      case FEATURE_HISTOGRAM:
        return ComputeHistogram(averages, vector);
      case FEATURE_CSD:
        return ComputeStructureHistogram(averages, grid, vector);
      default:
        return kSuccess;
    }
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  }
}

ResultCode ColorFeature::ComputeBlockMean(const Tarn::Matrix<double>& averages,
                                          const PatchGrid& grid, Tarn::Matrix<double>& out) const {
  const std::uint32_t levels = m_nLevels;
  if (levels == 0 || levels > kMaxLevels || !FitsGrid(averages, grid)) return kInvalidValues;
  const std::uint32_t bw = CeilDiv(grid.Columns, levels);
  const std::uint32_t bh = CeilDiv(grid.Rows, levels);
  out.Resize(levels * levels, 3);
  out.Fill(0.0);
  const double* a0 = averages.Row(0);
  const double* a1 = averages.Row(1);
  const double* a2 = averages.Row(2);
  // Clamping the cell index keeps every patch inside the L x L grid even when ceil(C / L)
  // cells of width bw would end before the last cell (C = 5: bw = 2, cells 0, 0, 1, 1, 2).
  for (std::uint32_t r = 0, k = 0; r < grid.Rows; ++r) {
    const std::uint32_t cellRow = std::min(r / bh, levels - 1);
    for (std::uint32_t c = 0; c < grid.Columns; ++c, ++k) {
      const std::uint32_t cellColumn = std::min(c / bw, levels - 1);
      double* cell = out.Row(levels * cellRow + cellColumn);
      cell[0] += a0[k];
      cell[1] += a1[k];
      cell[2] += a2[k];
    }
  }
  // Every cell is divided by the nominal area, also the last ones that may hold fewer
  // patches: the descriptor of two files of the same grid stays comparable cell by cell.
  const double area = static_cast<double>(bw) * bh;
  for (std::uint32_t i = 0; i < out.Count(); ++i) out.Data()[i] /= area;
  return kSuccess;
}

ResultCode ColorFeature::ComputeHistogram(const Tarn::Matrix<double>& averages,
                                          Tarn::DoubleVector& out) const {
  const std::uint32_t levels = m_nLevels;
  if (levels == 0 || levels > kMaxLevels || averages.Rows() != 3) return kInvalidValues;
  const std::uint32_t bins = levels * levels * levels;
  out.Resize(bins);
  out.Fill(0.0);
  // 255 / L rather than 256 / L: a mean of 255 gives level L exactly and is clamped to L - 1.
  const double step = 255.0 / levels;
  const std::int64_t top = levels - 1;
  for (std::uint32_t k = 0; k < averages.Columns(); ++k) {
    std::int64_t q[3];
    for (std::uint32_t c = 0; c < 3; ++c) q[c] = std::min(TruncToInt(averages(c, k) / step), top);
    const std::int64_t bin = levels * (levels * q[0] + q[1]) + q[2];
    out[ClampBin(bin, bins)] += 1.0;
  }
  return kSuccess;
}

ResultCode ColorFeature::ComputeStructureHistogram(const Tarn::Matrix<double>& averages,
                                                   const PatchGrid& grid,
                                                   Tarn::DoubleVector& out) const {
  const std::uint32_t levels = m_nLevels;
  if (levels == 0 || levels > kMaxLevels || !FitsGrid(averages, grid)) return kInvalidValues;
  constexpr std::uint32_t kWindow = 8;
  constexpr std::uint32_t kStride = 4;
  constexpr std::int64_t kHueLevels = 8;
  const std::uint32_t bins = kHueLevels * levels * levels;
  out.Resize(bins);
  out.Fill(0.0);
  if (grid.Columns <= kWindow || grid.Rows <= kWindow) return kSuccess;

  // Quantised HSV colour of every patch: 8 hue levels of 32, L saturation and value levels.
  std::vector<std::uint32_t> binOf(grid.Patches);
  StructureBins(averages.Row(0), averages.Row(1), averages.Row(2), grid.Patches, levels,
                binOf.data());

  // Each window counts each colour it contains once, whatever its area: that is what makes
  // the descriptor see how colours are spread rather than how much of each there is. Window
  // origins stop strictly below C - 8 and R - 8, so the last columns and rows may be in none.
  std::uint64_t total = 0;
  if (bins <= kBlockMaskBins) {
    total = CountWindowColoursByBlocks(binOf, grid, out);
  } else {
    std::vector<std::uint8_t> present(bins);
    for (std::uint32_t y0 = 0; y0 + kWindow < grid.Rows; y0 += kStride) {
      for (std::uint32_t x0 = 0; x0 + kWindow < grid.Columns; x0 += kStride) {
        std::fill(present.begin(), present.end(), 0);
        for (std::uint32_t y = y0; y < y0 + kWindow; ++y) {
          const std::uint32_t* row = binOf.data() + static_cast<std::size_t>(y) * grid.Columns;
          for (std::uint32_t x = x0; x < x0 + kWindow; ++x) {
            const std::uint32_t bin = row[x];
            if (present[bin] == 0) {
              present[bin] = 1;
              out[bin] += 1.0;
              ++total;
            }
          }
        }
      }
    }
  }
  // With more than 8 patch columns and rows the window at (0, 0) exists, so total > 0; the
  // test only guards the division.
  if (total != 0) {
    for (std::uint32_t i = 0; i < bins; ++i) out[i] /= static_cast<double>(total);
  }
  return kSuccess;
}

PatchHsv ColorFeature::PatchToHsv(std::int32_t x0, std::int32_t x1, std::int32_t x2) {
  // Differences of int32 values need 33 bits and the saturation's product 41; int64 holds
  // them for any input. Written as selections rather than branches: which channel is the
  // largest is different from one patch to the next.
  const std::int64_t a0 = x0;
  const std::int64_t a1 = x1;
  const std::int64_t a2 = x2;
  const bool second = a0 < a1;
  const bool third = a2 > std::max(a0, a1);
  const int channel = third ? 2 : (second ? 1 : 0);
  const std::int64_t high = std::max({a0, a1, a2});
  const std::int64_t low = std::min({a0, a1, a2});
  PatchHsv hsv;
  hsv.v = static_cast<std::int32_t>(high);
  const std::int64_t s = (high - low) * 255 / (high == 0 ? 1 : high);
  // A hostile file's means can make s leave the int32 range (a tiny maximum over a very
  // negative minimum); such a saturation is only ever compared with the top level.
  hsv.s = high == 0 ? 0
                    : static_cast<std::int32_t>(
                          std::clamp<std::int64_t>(s, std::numeric_limits<std::int32_t>::min(),
                                                   std::numeric_limits<std::int32_t>::max()));
  // The hue from the other two channels, which lie between the minimum and maximum, so that
  // |t - sector| <= 1; none without saturation.
  const std::int64_t across = channel == 0 ? a1 - a2 : (channel == 1 ? a2 - a0 : a0 - a1);
  const std::int64_t diff = high - low;
  const double t =
      static_cast<double>(across) / static_cast<double>(diff == 0 ? 1 : diff) + 2.0 * channel;
  const std::int32_t h = static_cast<std::int32_t>(t * 42.5);
  hsv.h = hsv.s == 0 ? 0 : (h < 0 ? h + 255 : h);
  return hsv;
}

double ColorFeature::BlockMeanSimilarity(const Tarn::Matrix<double>& query,
                                         const Tarn::Matrix<double>& target) {
  const std::uint32_t rows = query.Rows();
  const std::uint32_t columns = query.Columns();
  // Descriptors of the same L always match in shape; an empty query has nothing to compare.
  if (query.IsEmpty() || target.Rows() != rows || target.Columns() != columns) return 0.0;
  double sum = 0.0;
  for (std::uint32_t i = 0; i < rows; ++i) {
    const double* q = query.Row(i);
    const double* t = target.Row(i);
    const double a = RowNorm(q, columns);
    const double b = RowNorm(t, columns);
    if (a == 0.0 && b == 0.0) {
      sum += 1.0;  // black in both: the same colour
    } else if (a != 0.0 && b != 0.0) {
      double dot = 0.0;
      for (std::uint32_t c = 0; c < columns; ++c) dot += q[c] * t[c];
      sum += dot / (a * b);
    }
  }
  return sum / rows;
}

double ColorFeature::HistogramSimilarity(const Tarn::DoubleVector& query,
                                         const Tarn::DoubleVector& target) {
  const std::uint32_t bins = query.Length();
  if (bins == 0 || target.Length() != bins) return 0.0;
  // The bins are counts; their totals are sums of integers. A total of 0 would divide 0 by 0.
  const auto count = [](double bin) {
    return static_cast<std::uint64_t>(std::max<std::int64_t>(TruncToInt(bin), 0));
  };
  std::uint64_t queryTotal = 0;
  std::uint64_t targetTotal = 0;
  for (std::uint32_t i = 0; i < bins; ++i) {
    queryTotal += count(query[i]);
    targetTotal += count(target[i]);
  }
  if (queryTotal == 0 || targetTotal == 0) return 0.0;
  const double sq = static_cast<double>(queryTotal);
  const double st = static_cast<double>(targetTotal);
  double distance = 0.0;
  for (std::uint32_t i = 0; i < bins; ++i) distance += std::fabs(query[i] / sq - target[i] / st);
  return 1.0 - distance / 2.0;
}

double ColorFeature::StructureSimilarity(const Tarn::DoubleVector& query,
                                         const Tarn::DoubleVector& target) {
  const std::uint32_t bins = query.Length();
  if (target.Length() != bins) return 0.0;
  double sum = 0.0;
  for (std::uint32_t i = 0; i < bins; ++i) sum += std::min(query[i], target[i]);
  return sum;
}

}  // namespace orvane
