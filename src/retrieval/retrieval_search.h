#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/result_code.h"
#include "retrieval/feature_kind.h"
#include "retrieval/file_record.h"
#include "retrieval/search_progress.h"

namespace orvane {

/// One search of a list of file records against a query PQZ file: collects the PQZ files of
/// the list made like the query, scores them by colour and Edge similarity, ranks them and
/// replaces the list by them, best first. Only the header and one section of each file are
/// read per engine; no pixel is decoded. The retrieval panel and the command-line tool both
/// run their searches through this class.
class RetrievalSearch {
 public:
  /// `feature` is a FeatureKind, `colorWeight` the colour weight in percent (0..100).
  RetrievalSearch(std::int32_t feature, std::int32_t colorWeight)
      : m_nFeature(feature), m_nColorWeight(colorWeight) {}

  /// Receives the progress of every phase step; returning false cancels the search there.
  /// It is always called on the thread that runs the search.
  void SetProgress(SearchProgress progress) { m_progress = std::move(progress); }

  /// Threads that score candidates, the calling one included; 0 (the default) uses one per
  /// processor core. The ranking does not depend on it.
  void SetThreads(unsigned threads) { m_nThreads = threads; }

  /// Searches `records` for files like the query at `queryPath`, whose image type code (its
  /// header's IterationFlag) is `queryType`.
  ///
  /// Candidates, in list order: a record whose m_nType is already known is one when its type
  /// equals `queryType` (no file is touched); a record of type TYPE_NOT_LOADED is one when its
  /// name ends in "pqz" (any case) and ProbePqzFile finds the query's type in the file's
  /// header. Records that are neither are dropped from the result.
  ///
  /// On success `records` holds the candidates in ranked order with their three similarities
  /// set. Otherwise `records` is left exactly as it was: 22 for a feature outside the three or
  /// a weight outside 0..100; 25 ("This file is not a PQZ format file.\n") when there is no
  /// candidate (the panel then tells "Orvane supports PQZ files only!"); 14 when the query's
  /// averages or bases cannot be read; 29 ("This operation is canceled.\n") when the progress
  /// callback asked to stop.
  ResultCode Run(const std::string& queryPath, std::uint16_t queryType,
                 std::vector<FileRecord>& records) const;

 private:
  // What the loading phase learns of a record: the type it is compared by (its known type,
  // or the IterationFlag in the header of a file named like a PQZ file; empty for records
  // the loading phase skips), and the size of the file's base section when its header was
  // read (0 otherwise), which tells how long its bases take to decode.
  struct Probe {
    std::optional<std::uint16_t> type;
    std::uint64_t baseBytes = 0;
  };
  static Probe ProbeOf(const FileRecord& record);

  // Calls `take` with the index and ProbeOf of every record in list order, on this thread;
  // the files are probed on this and on helper threads, ahead of `take`. False when
  // `take` returned false; no record after that one is taken then.
  bool TakeTypes(const std::vector<FileRecord>& records,
                 const std::function<bool(std::size_t, const Probe&)>& take) const;

  // Threads to score `candidates` candidates with.
  unsigned ThreadCount(std::size_t candidates) const;
  // Reports every step of the calculating phase and calls `score` (first, n) for the
  // candidates 0..count-1 in groups of `group` (the last may be smaller), on this thread and
  // on helper threads; a group is scored once all its steps are reported. False when the
  // progress asked to stop; the stopping step's group and those after it are not scored
  // then. An exception of `score` is passed on.
  bool ScoreInParallel(std::size_t count, std::size_t group,
                       const std::function<void(std::size_t, std::size_t)>& score) const;

  bool Report(SearchPhase phase, std::size_t index, std::size_t count) const {
    return !m_progress || m_progress(phase, index, count);
  }

  std::int32_t m_nFeature;
  std::int32_t m_nColorWeight;
  unsigned m_nThreads = 0;
  SearchProgress m_progress;
};

}  // namespace orvane
