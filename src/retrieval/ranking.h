#pragma once

#include <vector>

#include "retrieval/file_record.h"

namespace orvane {

/// The combined similarity (1 - w) x edge + w x colour, with w the colour weight in 0..1.
/// The -1 of an unreadable section pulls the result down in proportion to its weight; with
/// w = 1 the Edge similarity has no effect at all, with w = 0 the colour similarity none.
/// A result that is not a number (no finite inputs give one) becomes -1 so that it can be
/// ordered.
double CombineSimilarity(double edge, double color, double weight);

/// Sets m_dColorSimilarity, m_dEdgeSimilarity and their combination m_dSimilarity.
void ScoreRecord(FileRecord& record, double edge, double color, double weight);

/// Orders the records by m_dSimilarity, largest first. Records with equal similarity keep
/// their order (a stable sort), so the same folder always gives the same ranking.
void RankRecords(std::vector<FileRecord>& records);

}  // namespace orvane
