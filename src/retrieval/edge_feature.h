#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/int16_rows.h"
#include "foundation/matrix.h"
#include "foundation/result_code.h"
#include "foundation/vector.h"
#include "pqz/decode_limits.h"
#include "pqz/pqz_header.h"

namespace orvane {

/// The structure ("Edge") engine of a search: describes a PQZ file by the bases learned from
/// its patches, as stored (no pixel is decoded), and compares two files by how well their
/// bases can be paired off: a greedy matching of absolute cosines, the strongest bases (stored
/// first) weighing most.
///
/// Usage: LoadQuery once with the query's path, then Similarity for every target.
class EdgeFeature {
 public:
  /// Most bases compared by default; also the encoder's default number of bases.
  static constexpr std::uint32_t kDefaultMaxBases = 96;

  explicit EdgeFeature(std::uint32_t maxBases = kDefaultMaxBases) : m_nMaxBases(maxBases) {}

  /// Keeps the query's bases and their row norms. 14 when the bases cannot be read, whatever
  /// the reason; 7 when memory runs out. On failure the engine holds no bases.
  ResultCode LoadQuery(const std::string& path);

  /// The Edge similarity of the file at `path` to the query, 0..1: GreedyBaseMatch of
  /// BaseCorrelation. -1 when the target's bases cannot be read, when memory runs out, or when
  /// its patch size differs from the query's (bases of different patch shapes cannot be
  /// compared value by value). 0 when there is nothing to match (no query bases).
  double Similarity(const std::string& path) const;

  /// Similarity of `count` targets into `similarities`, their bases decoded side by side (see
  /// ReadSmallBasesTogether): the same values, in less time than one after the other.
  void SimilarityTogether(const std::string* const* paths, std::size_t count,
                          double* similarities) const;

  /// The limits the bases of the query and of every target are read under (the working
  /// memory of the D x 3N matrix); the program's defaults unless set.
  void SetDecodeLimits(const DecodeLimits& limits) { m_limits = limits; }

  /// Norm of every row of `bases` into `norms`. 7 when memory runs out.
  static ResultCode RowNorms(const Tarn::Matrix<double>& bases, Tarn::DoubleVector& norms);

  /// M(i, j) = |q_i . t_j| / (|q_i| |t_j|), the absolute cosine between query base i and target
  /// base j, for the first min(nq, limit) query and min(nt, limit) target bases (a limit of 0
  /// takes all); 1 between two zero bases, 0 between a zero and a non-zero one. Only that
  /// corner is computed because the greedy matching never looks further. 22 when the two have
  /// different row lengths or the norms do not match the rows; 7 when memory runs out.
  static ResultCode BaseCorrelation(const Tarn::Matrix<double>& query,
                                    const Tarn::DoubleVector& queryNorms,
                                    const Tarn::Matrix<double>& target,
                                    const Tarn::DoubleVector& targetNorms, std::uint32_t limit,
                                    Tarn::Matrix<double>& out);

  /// Greedy pairing over M, K = min(rows, columns, m_nMaxBases unless 0). For e = 0..K-1 the
  /// largest value of the block of rows and columns e..K-1 is picked (rows top-down, columns
  /// left to right, first maximum wins); it counts with weight K - e. Row h of the pick is
  /// then overwritten with row e and its column g with column e, so that what was at e stays
  /// available. Returns the weighted mean of the picks, 0 when K is 0. M is consumed: its values
  /// afterwards are scratch.
  double GreedyBaseMatch(Tarn::Matrix<double>& m) const;

  /// BaseCorrelation of bases held as exact small integers (see Int16Rows): the same matrix
  /// value for value, the dot products summed in integer arithmetic. With `rowMax`, also the
  /// largest of the first K values of each of the first K rows, K the smaller side of the
  /// matrix. 22 for rows of different lengths or norms that do not match the rows; 7 when
  /// memory runs out.
  static ResultCode BaseCorrelation(const Int16Rows& query, const Tarn::DoubleVector& queryNorms,
                                    const Int16Rows& target, const Tarn::DoubleVector& targetNorms,
                                    std::uint32_t limit, Tarn::Matrix<double>& out,
                                    double* rowMax = nullptr);

  /// RowNorms of integer rows, the same values (the sums of squares are exact either way).
  static ResultCode RowNorms(const Int16Rows& bases, Tarn::DoubleVector& norms);

  /// The query's bases, D rows of 3N values.
  Tarn::Matrix<double> m_mBases;
  /// The norm of each row of m_mBases.
  Tarn::DoubleVector m_vNorms;
  /// The most bases compared; 0 for no limit.
  std::uint32_t m_nMaxBases;

 private:
  // Similarity of a target whose bases are held as integers of the query's row length.
  double IntegerSimilarity(const Int16Rows& target) const;
  // The similarity of a target read into 16-bit rows with `result` and `header`; nothing
  // when the double way must decide.
  std::optional<double> SmallSimilarity(ResultCode result, const Int16Rows& target,
                                        const PqzHeader& header) const;
  // Similarity the double way.
  double DoubleSimilarity(const std::string& path) const;

  DecodeLimits m_limits;
  // The query's bases as integers, empty when they do not fit (then the double path runs).
  Int16Rows m_query16;
  // The query's patch size, to refuse targets whose bases have another shape.
  std::int32_t m_nPatchWidth = 0;
  std::int32_t m_nPatchHeight = 0;
};

}  // namespace orvane
