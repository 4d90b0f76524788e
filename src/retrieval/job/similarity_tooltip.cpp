#include "retrieval/job/similarity_tooltip.h"

namespace orvane {
namespace {

QString Value(double similarity) {
  // The readers give exactly -1 for a file whose section could not be read.
  if (similarity == -1.0) return QStringLiteral("unreadable");
  return QString::number(similarity, 'f', 4);
}

}  // namespace

QString SimilarityToolTip(const FileRecord& record) {
  if (record.m_dSimilarity == 0.0 && record.m_dColorSimilarity == 0.0 &&
      record.m_dEdgeSimilarity == 0.0) {
    return {};
  }
  return QStringLiteral("Similarity: %1\nColor: %2\nEdge: %3")
      .arg(Value(record.m_dSimilarity), Value(record.m_dColorSimilarity),
           Value(record.m_dEdgeSimilarity));
}

}  // namespace orvane
