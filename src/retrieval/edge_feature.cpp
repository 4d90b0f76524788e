#include "retrieval/edge_feature.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include <immintrin.h>

#include "foundation/first_maximum.h"
#include "foundation/matrix_exception.h"
#include "foundation/small_helpers.h"
#include "pqz/pqz_header.h"
#include "retrieval/greedy_matching.h"
#include "retrieval/section_reader.h"

namespace orvane {
namespace {

// The number of leading bases taken from `count` under `limit` (0: no limit).
std::uint32_t Limited(std::uint32_t count, std::uint32_t limit) {
  return limit != 0 && limit < count ? limit : count;
}

// Turns a row of dot products into absolute cosines: |d| / (|q_i| |t_j|), 1 between two
// zero bases, 0 between a zero and a non-zero one. Written without branches; the quotient of
// a zero product is computed and thrown away.
// Returns the largest of the row's values (-infinity for none).
template <typename Dot>
double CosineRowPortable(const Dot* dots, double queryNorm, const double* targetNorms,
                         std::uint32_t nt, double* row) {
  double most = -std::numeric_limits<double>::infinity();
  for (std::uint32_t j = 0; j < nt; ++j) {
    const double p = targetNorms[j] * queryNorm;
    const double quotient = std::fabs(static_cast<double>(dots[j])) / p;
    const double zeros = targetNorms[j] == 0.0 && queryNorm == 0.0 ? 1.0 : 0.0;
    row[j] = p != 0.0 ? quotient : zeros;
    most = row[j] > most ? row[j] : most;
  }
  return most;
}

// The same, four at a time: the same multiplication and division, so the same values.
template <typename Dot>
__attribute__((target("avx2"))) double CosineRowAvx2(const Dot* dots, double queryNorm,
                                                     const double* targetNorms, std::uint32_t nt,
                                                     double* row) {
  __m256d best = _mm256_set1_pd(-std::numeric_limits<double>::infinity());
  const __m256d q = _mm256_set1_pd(queryNorm);
  const __m256d zero = _mm256_setzero_pd();
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d bothZero = _mm256_set1_pd(queryNorm == 0.0 ? 1.0 : 0.0);
  std::uint32_t j = 0;
  for (; j + 4 <= nt; j += 4) {
    __m256d d;
    if constexpr (std::is_same_v<Dot, std::int32_t>) {
      d = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(dots + j)));
    } else {
      d = _mm256_loadu_pd(dots + j);
    }
    const __m256d t = _mm256_loadu_pd(targetNorms + j);
    const __m256d p = _mm256_mul_pd(t, q);
    const __m256d quotient = _mm256_div_pd(_mm256_andnot_pd(sign, d), p);
    const __m256d zeros = _mm256_and_pd(bothZero, _mm256_cmp_pd(t, zero, _CMP_EQ_OQ));
    const __m256d value = _mm256_blendv_pd(zeros, quotient, _mm256_cmp_pd(p, zero, _CMP_NEQ_UQ));
    _mm256_storeu_pd(row + j, value);
    best = _mm256_max_pd(value, best);
  }
  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, best);
  double most = CosineRowPortable(dots + j, queryNorm, targetNorms + j, nt - j, row + j);
  for (const double lane : lanes) most = lane > most ? lane : most;
  return most;
}

template <typename Dot>
double CosineRow(const Dot* dots, double queryNorm, const double* targetNorms, std::uint32_t nt,
                 double* row) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 ? CosineRowAvx2(dots, queryNorm, targetNorms, nt, row)
              : CosineRowPortable(dots, queryNorm, targetNorms, nt, row);
}

}  // namespace

ResultCode EdgeFeature::LoadQuery(const std::string& path) {
  m_mBases = Tarn::Matrix<double>();
  m_vNorms = Tarn::DoubleVector();
  m_query16.Clear();
  m_nPatchWidth = m_nPatchHeight = 0;
  Tarn::Matrix<double> bases;
  PqzHeader header;
  if (ReadBases(path, bases, header, m_limits) != kSuccess) return kReadFailed;
  Tarn::DoubleVector norms;
  if (const ResultCode code = RowNorms(bases, norms); code != kSuccess) return code;
  try {
    if (!bases.IsEmpty()) m_query16.Assign(bases.Data(), bases.Rows(), bases.Columns());
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  m_mBases = std::move(bases);
  m_vNorms = std::move(norms);
  m_nPatchWidth = header.PatchWidth;
  m_nPatchHeight = header.PatchHeight;
  return kSuccess;
}

double EdgeFeature::Similarity(const std::string& path) const {
  if (!m_query16.IsEmpty()) {
    // Bases of small integers, as every encoder writes them, are read straight into 16-bit
    // rows, kept per thread from one target to the next (one allocation per search), for
    // exact integer dot products. Other files go the double way, which gives the same
    // values where both can read a file.
    thread_local Int16Rows target;
    PqzHeader header;
    const ResultCode result = ReadSmallBases(path, target, header, m_limits);
    if (const std::optional<double> s = SmallSimilarity(result, target, header)) return *s;
  }
  return DoubleSimilarity(path);
}

void EdgeFeature::SimilarityTogether(const std::string* const* paths, std::size_t count,
                                     double* similarities) const {
  if (m_query16.IsEmpty()) {
    for (std::size_t k = 0; k < count; ++k) similarities[k] = DoubleSimilarity(*paths[k]);
    return;
  }
  thread_local std::vector<Int16Rows> targets;
  thread_local std::vector<SmallBasesJob> jobs;
  if (targets.size() < count) targets.resize(count);
  jobs.assign(count, SmallBasesJob{});
  for (std::size_t k = 0; k < count; ++k) {
    jobs[k].path = paths[k];
    jobs[k].bases = &targets[k];
  }
  ReadSmallBasesTogether(jobs.data(), count, m_limits);
  for (std::size_t k = 0; k < count; ++k) {
    const std::optional<double> s = SmallSimilarity(jobs[k].result, targets[k], jobs[k].header);
    similarities[k] = s ? *s : DoubleSimilarity(*paths[k]);
  }
}

std::optional<double> EdgeFeature::SmallSimilarity(ResultCode result, const Int16Rows& target,
                                                   const PqzHeader& header) const {
  if (result != kSuccess || target.IsEmpty()) return std::nullopt;
  if (header.PatchWidth != m_nPatchWidth || header.PatchHeight != m_nPatchHeight) return -1.0;
  if (target.Length() != m_query16.Length()) return std::nullopt;
  return IntegerSimilarity(target);
}

double EdgeFeature::DoubleSimilarity(const std::string& path) const {
  Tarn::Matrix<double> bases;
  PqzHeader header;
  if (ReadBases(path, bases, header, m_limits) != kSuccess) return -1.0;
  if (m_mBases.IsEmpty()) return 0.0;  // no query bases: K = 0
  if (header.PatchWidth != m_nPatchWidth || header.PatchHeight != m_nPatchHeight) return -1.0;
  Tarn::DoubleVector norms;
  Tarn::Matrix<double> correlation;
  if (RowNorms(bases, norms) != kSuccess ||
      BaseCorrelation(m_mBases, m_vNorms, bases, norms, m_nMaxBases, correlation) != kSuccess) {
    return -1.0;
  }
  return GreedyBaseMatch(correlation);
}

double EdgeFeature::IntegerSimilarity(const Int16Rows& target) const {
  // Kept per thread: targets of one shape reuse the storage.
  thread_local Tarn::DoubleVector norms;
  thread_local Tarn::Matrix<double> correlation;
  try {
    // The rows' maxima come with the cosines, so the matching starts without searching them.
    thread_local std::vector<double> rowMax;
    rowMax.resize(std::min(m_query16.Rows(), target.Rows()));
    if (RowNorms(target, norms) != kSuccess ||
        BaseCorrelation(m_query16, m_vNorms, target, norms, m_nMaxBases, correlation,
                        rowMax.data()) != kSuccess) {
      return -1.0;
    }
    return GreedyMatch(correlation,
                       Limited(std::min(correlation.Rows(), correlation.Columns()), m_nMaxBases),
                       rowMax.data());
  } catch (const std::bad_alloc&) {
    return -1.0;
  }
}

ResultCode EdgeFeature::RowNorms(const Tarn::Matrix<double>& bases, Tarn::DoubleVector& norms) {
  try {
    norms.Resize(bases.Rows());
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  }
  if (bases.Rows() != 0)
    orvane::RowNorms(bases.Data(), bases.Rows(), bases.Columns(), norms.Data());
  return kSuccess;
}

ResultCode EdgeFeature::BaseCorrelation(const Tarn::Matrix<double>& query,
                                        const Tarn::DoubleVector& queryNorms,
                                        const Tarn::Matrix<double>& target,
                                        const Tarn::DoubleVector& targetNorms, std::uint32_t limit,
                                        Tarn::Matrix<double>& out) {
  if (query.Columns() != target.Columns() || queryNorms.Length() != query.Rows() ||
      targetNorms.Length() != target.Rows()) {
    return kInvalidValues;
  }
  const std::uint32_t nq = Limited(query.Rows(), limit);
  const std::uint32_t nt = Limited(target.Rows(), limit);
  const std::uint32_t length = query.Columns();
  try {
    out.Resize(nq, nt);
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  }
  if (out.IsEmpty()) return kSuccess;
  if (length == 0) {
    out.Fill(0.0);
  } else {
    // The leading rows of both matrices are contiguous, and the target's rows are exactly the
    // columns of the transposed operand, so the product needs no transposed copy.
    Tarn::detail::MultiplyTransposed(query.Data(), target.Data(), out.Data(), nq, nt, length);
  }
  for (std::uint32_t i = 0; i < nq; ++i) {
    CosineRow(out.Row(i), queryNorms[i], targetNorms.Data(), nt, out.Row(i));
  }
  return kSuccess;
}

ResultCode EdgeFeature::BaseCorrelation(const Int16Rows& query,
                                        const Tarn::DoubleVector& queryNorms,
                                        const Int16Rows& target,
                                        const Tarn::DoubleVector& targetNorms, std::uint32_t limit,
                                        Tarn::Matrix<double>& out, double* rowMax) {
  if (query.Length() != target.Length() || queryNorms.Length() != query.Rows() ||
      targetNorms.Length() != target.Rows()) {
    return kInvalidValues;
  }
  const std::uint32_t nq = Limited(query.Rows(), limit);
  const std::uint32_t nt = Limited(target.Rows(), limit);
  thread_local std::vector<std::int32_t> dots;  // every value is written below
  try {
    out.Resize(nq, nt);
    dots.resize(static_cast<std::size_t>(nq) * nt);
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  if (out.IsEmpty()) return kSuccess;
  Int16DotProducts(query, nq, target, nt, dots.data());
  const std::uint32_t k = std::min(nq, nt);
  for (std::uint32_t i = 0; i < nq; ++i) {
    const double most = CosineRow(dots.data() + static_cast<std::size_t>(i) * nt, queryNorms[i],
                                  targetNorms.Data(), nt, out.Row(i));
    if (rowMax == nullptr || i >= k) continue;
    if (k == nt) {
      rowMax[i] = most;
    } else {
      const double* row = out.Row(i);
      rowMax[i] = *std::max_element(row, row + k);
    }
  }
  return kSuccess;
}

ResultCode EdgeFeature::RowNorms(const Int16Rows& bases, Tarn::DoubleVector& norms) {
  thread_local std::vector<std::int64_t> sums;
  try {
    norms.Resize(bases.Rows());
    sums.resize(bases.Rows());
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  Int16SquareSums(bases, sums.data());
  // The extended-precision root of the exact sum: what the double rows' norm gives.
  for (std::uint32_t r = 0; r < bases.Rows(); ++r) {
    norms[r] = static_cast<double>(std::sqrt(static_cast<long double>(sums[r])));
  }
  return kSuccess;
}

double EdgeFeature::GreedyBaseMatch(Tarn::Matrix<double>& m) const {
  return GreedyMatch(m, Limited(std::min(m.Rows(), m.Columns()), m_nMaxBases));
}

}  // namespace orvane
