#include "retrieval/ranking.h"

#include <algorithm>
#include <cmath>

namespace orvane {

double CombineSimilarity(double edge, double color, double weight) {
  const double combined = (1.0 - weight) * edge + weight * color;
  return std::isnan(combined) ? -1.0 : combined;
}

void ScoreRecord(FileRecord& record, double edge, double color, double weight) {
  record.m_dColorSimilarity = color;
  record.m_dEdgeSimilarity = edge;
  record.m_dSimilarity = CombineSimilarity(edge, color, weight);
}

void RankRecords(std::vector<FileRecord>& records) {
  std::stable_sort(records.begin(), records.end(), [](const FileRecord& a, const FileRecord& b) {
    return a.m_dSimilarity > b.m_dSimilarity;
  });
}

}  // namespace orvane
