#include "retrieval/retrieval_search.h"

#include <new>
#include <utility>

#include "imaging/image_ex.h"
#include "pqz/pqz_header.h"
#include "retrieval/color_feature.h"
#include "retrieval/edge_feature.h"
#include "retrieval/ranking.h"

namespace orvane {
namespace {

// The last three characters of the name are "pqz" in any case.
bool NamedLikePqz(const std::string& name) {
  if (name.size() < 3) return false;
  const char* tail = name.c_str() + name.size() - 3;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return lower(tail[0]) == 'p' && lower(tail[1]) == 'q' && lower(tail[2]) == 'z';
}

}  // namespace

std::optional<std::uint16_t> RetrievalSearch::TypeOf(const FileRecord& record) {
  if (record.m_nType != TYPE_NOT_LOADED) return record.m_nType;
  if (!NamedLikePqz(record.m_strName)) return std::nullopt;
  std::uint16_t flag = 0;
  if (ProbePqzFile(record.m_strPath, &flag) != kSuccess) return std::nullopt;
  return flag;
}

ResultCode RetrievalSearch::Run(const std::string& queryPath, std::uint16_t queryType,
                                std::vector<FileRecord>& records) const {
  if (!IsFeatureKind(m_nFeature) || m_nColorWeight < 0 || m_nColorWeight > 100) {
    return kInvalidValues;
  }
  try {
    // Loading: the candidates are copies, so that the caller's list stays untouched until the
    // ranked list is complete (a cancelled or failed search changes nothing).
    const std::size_t total = records.size();
    std::vector<FileRecord> candidates;
    for (std::size_t i = 0; i < total; ++i) {
      const std::optional<std::uint16_t> type = TypeOf(records[i]);
      if (!type) continue;  // skipped records show no progress step
      if (*type == queryType) candidates.push_back(records[i]);
      if (!Report(SearchPhase::kLoading, i, total)) return kCanceled;
    }
    if (candidates.empty()) return kNotPqzFile;

    // Calculating. A query that cannot be read would leave empty descriptors and rank the
    // files by nothing, so the search stops instead of reporting a meaningless order.
    const double weight = m_nColorWeight / 100.0;
    ColorFeature color(m_nFeature);
    EdgeFeature edge(EdgeFeature::kDefaultMaxBases);
    if (color.LoadQuery(queryPath) != kSuccess || edge.LoadQuery(queryPath) != kSuccess) {
      return kReadFailed;
    }
    const std::size_t count = candidates.size();
    for (std::size_t j = 0; j < count; ++j) {
      if (!Report(SearchPhase::kCalculating, j, count)) return kCanceled;
      FileRecord& candidate = candidates[j];
      const double colorSimilarity = color.Similarity(candidate.m_strPath);
      const double edgeSimilarity = edge.Similarity(candidate.m_strPath);
      ScoreRecord(candidate, edgeSimilarity, colorSimilarity, weight);
    }

    // Replacing.
    RankRecords(candidates);
    std::vector<FileRecord> ranked;
    ranked.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
      ranked.push_back(std::move(candidates[k]));
      if (!Report(SearchPhase::kReplacing, k, count)) return kCanceled;
    }
    records = std::move(ranked);
    return kSuccess;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
}

}  // namespace orvane
