#pragma once

#include <cstdint>
#include <string>

#include "foundation/matrix.h"
#include "foundation/result_code.h"
#include "foundation/vector.h"
#include "pqz/decode_limits.h"
#include "pqz/pqz_header.h"
#include "retrieval/feature_kind.h"

namespace orvane {

/// Hue, saturation and value of one patch on a 0..255 scale.
struct PatchHsv {
  std::int32_t h = 0;
  std::int32_t s = 0;
  std::int32_t v = 0;

  friend bool operator==(const PatchHsv&, const PatchHsv&) = default;
};

/// The colour engine of a search: describes a PQZ file by its stored patch means alone (no
/// pixel is decoded) and compares files by one of three descriptors (FeatureKind). The stored
/// means are used as they are: in the file's own colour space and quantisation steps.
///
/// Usage: set the kind and L, LoadQuery once with the query's path, then Similarity for every
/// target.
class ColorFeature {
 public:
  /// Largest L LoadQuery accepts: it keeps the L^3 histogram bins of a caller's mistake from
  /// asking for an absurd allocation. The search always uses 4.
  static constexpr std::uint32_t kMaxLevels = 64;

  explicit ColorFeature(std::int32_t kind = kDefaultFeatureKind, std::uint32_t levels = 4)
      : m_nLevels(levels), m_nKind(kind) {}

  /// Builds the query's descriptor into m_mDescriptor (Block mean) or m_vDescriptor (the two
  /// histograms); a kind outside the three builds nothing. 22 when L is 0 or above kMaxLevels
  /// (before the file is touched); 14 when the averages cannot be read, whatever the reason.
  /// On failure both descriptors are left empty.
  ResultCode LoadQuery(const std::string& path);

  /// The colour similarity of the file at `path` to the query: -1 when its averages cannot be
  /// read; otherwise the Block-mean similarity (-1..1, 0..1 for non-negative means), the
  /// histogram similarity or the structure similarity (0..1) of the two descriptors, 1 for
  /// identical ones. 0 for a kind outside the three and for an empty query descriptor.
  double Similarity(const std::string& path) const;

  /// Similarity of `count` targets into `similarities`, their averages decoded side by side
  /// (see ReadAveragesTogether): the values Similarity gives them one by one.
  void SimilarityTogether(const std::string* const* paths, std::size_t count,
                          double* similarities) const;

  /// The limits the averages of the query and of every target are read under (the working
  /// memory of the 3 x G matrix); the program's defaults unless set.
  void SetDecodeLimits(const DecodeLimits& limits) { m_limits = limits; }

  /// The L^2 x 3 matrix of the mean colours of an L x L grid of cells over the patch grid:
  /// cells of bw = ceil(C / L) patch columns and bh = ceil(R / L) patch rows, patch (r, c) in
  /// cell row min(r / bh, L - 1) and cell column min(c / bw, L - 1) (so the last cells take
  /// what remains, and grids of fewer than L or of awkward sizes such as 5 still put every
  /// patch in a cell), each sum divided by the nominal cell area bw x bh. Row L x by + bx is
  /// cell (by, bx). 22 when `averages` is not 3 x G for `grid`.
  ResultCode ComputeBlockMean(const Tarn::Matrix<double>& averages, const PatchGrid& grid,
                              Tarn::Matrix<double>& out) const;

  /// The L^3 counts of patches per quantised colour: level q_c = trunc(mean_c / (255 / L)),
  /// clamped to L - 1 from above (255 falls in the top level), bin L (L q0 + q1) + q2; a bin
  /// outside the table (a negative level) counts in the last bin. 22 when `averages` does not
  /// have 3 rows.
  ResultCode ComputeHistogram(const Tarn::Matrix<double>& averages, Tarn::DoubleVector& out) const;

  /// The 8 L^2 bins of the colour structure histogram, normalised to sum 1: every 8 x 8
  /// window of patches with origins at steps of 4, strictly below C - 8 and R - 8, adds 1 to
  /// each quantised HSV colour present in it. All zero (not an error) when C or R is 8 or
  /// less: no window fits. 22 when `averages` is not 3 x G for `grid`.
  ResultCode ComputeStructureHistogram(const Tarn::Matrix<double>& averages, const PatchGrid& grid,
                                       Tarn::DoubleVector& out) const;

  /// HSV of three integer channel values. The maximal channel decides the hue sector; on ties
  /// channel 0 wins over 1, and 0 and 1 win over 2. s = (max - min) x 255 / max (integer
  /// division, 0 when max is 0); h = trunc(t x 42.5) with t the sector's position (plus 255
  /// when negative), 0 when s is 0.
  static PatchHsv PatchToHsv(std::int32_t x0, std::int32_t x1, std::int32_t x2);

  /// Mean over the cells of the cosine between the cells' mean colours; a cell black in both
  /// counts 1, black in one only counts 0. 0 for an empty query.
  static double BlockMeanSimilarity(const Tarn::Matrix<double>& query,
                                    const Tarn::Matrix<double>& target);
  /// 1 - (L1 distance of the two histograms normalised to sum 1) / 2. 0 when either sums to 0.
  static double HistogramSimilarity(const Tarn::DoubleVector& query,
                                    const Tarn::DoubleVector& target);
  /// Histogram intersection: the sum of the bin-wise minima. Two all-zero descriptors give 0.
  static double StructureSimilarity(const Tarn::DoubleVector& query,
                                    const Tarn::DoubleVector& target);

  /// The query's Block-mean descriptor; empty for the other kinds.
  Tarn::Matrix<double> m_mDescriptor;
  /// The query's Histogram or CSD descriptor; empty for Block mean.
  Tarn::DoubleVector m_vDescriptor;
  /// L, the levels per channel (and the cells per side of the Block-mean grid).
  std::uint32_t m_nLevels;
  /// The FeatureKind.
  std::int32_t m_nKind;

 private:
  DecodeLimits m_limits;

  // Reads the averages of `path` and builds the descriptor of m_nKind into one of the outputs.
  ResultCode BuildDescriptor(const std::string& path, Tarn::Matrix<double>& matrix,
                             Tarn::DoubleVector& vector) const;
  // The descriptor of m_nKind of averages read with the result `read` from a file with
  // `header`: 14 when the read failed.
  ResultCode DescriptorOf(ResultCode read, const Tarn::Matrix<double>& averages,
                          const PqzHeader& header, Tarn::Matrix<double>& matrix,
                          Tarn::DoubleVector& vector) const;
  // The similarity of a target's descriptor built with the result `built`.
  double SimilarityOf(ResultCode built, const Tarn::Matrix<double>& matrix,
                      const Tarn::DoubleVector& vector) const;
};

}  // namespace orvane
