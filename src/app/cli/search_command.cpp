// pqz search QUERY.pqz FOLDER [--recursive] [--feature block-mean|histogram|csd]
//            [--color-weight 0..100] [--jobs N]
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/command.h"
#include "pqz/pqz_header.h"
#include "retrieval/feature_kind.h"
#include "retrieval/file_record.h"
#include "retrieval/folder_listing.h"
#include "retrieval/retrieval_search.h"

namespace orvane::cli {
namespace {

constexpr const char* kUsage =
    "search QUERY.pqz FOLDER [--recursive] [--feature block-mean|histogram|csd] "
    "[--color-weight 0..100] [--jobs N]";

struct SearchOptions {
  std::string query;
  std::string folder;
  bool recursive = false;
  std::int32_t feature = kDefaultFeatureKind;
  std::int32_t colorWeight = -1;  ///< -1: the chosen descriptor's default weight
  unsigned jobs = 0;              ///< scoring threads; 0: one per processor core
};

// The descriptor names of the command line, indexed by FeatureKind.
constexpr const char* kFeatureNames[kFeatureKindCount] = {"block-mean", "histogram", "csd"};

// A whole number 0..100 without sign or other characters.
bool ParseWeight(const std::string& text, std::int32_t& weight) {
  if (text.empty() || text.size() > 3) return false;
  std::int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > 100) return false;
  weight = value;
  return true;
}

// A whole number of threads, at least 1.
bool ParseJobs(const std::string& text, unsigned& jobs) {
  if (text.empty() || text.size() > 6) return false;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0) return false;
  jobs = value;
  return true;
}

bool ParseOptions(const Arguments& args, SearchOptions& options) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--recursive") {
      options.recursive = true;
    } else if (args[i] == "--feature" && i + 1 < args.size()) {
      const std::string& name = args[++i];
      std::int32_t kind = 0;
      while (kind < kFeatureKindCount && name != kFeatureNames[kind]) ++kind;
      if (kind == kFeatureKindCount) return false;
      options.feature = kind;
    } else if (args[i] == "--color-weight" && i + 1 < args.size()) {
      if (!ParseWeight(args[++i], options.colorWeight)) return false;
    } else if (args[i] == "--jobs" && i + 1 < args.size()) {
      if (!ParseJobs(args[++i], options.jobs)) return false;
    } else if (args[i].rfind("--", 0) == 0) {
      return false;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) return false;
  options.query = positional[0];
  options.folder = positional[1];
  // Like the panel, choosing a descriptor brings its own weight unless one is given.
  if (options.colorWeight < 0) options.colorWeight = kDefaultColorWeights[options.feature];
  return true;
}

}  // namespace

ResultCode RunSearch(const Arguments& args) {
  SearchOptions options;
  if (!ParseOptions(args, options)) return ReportUsage(kUsage);

  // The query's type code is its header's IterationFlag; only files made alike are compared.
  std::uint16_t queryType = 0;
  if (const ResultCode rc = ProbePqzFile(options.query, &queryType); rc != kSuccess) {
    return ReportFailure(rc);
  }
  std::vector<FileRecord> records;
  if (const ResultCode rc = ListImageFiles(options.folder, options.recursive, records);
      rc != kSuccess) {
    return ReportFailure(rc);
  }
  RetrievalSearch search(options.feature, options.colorWeight);
  search.SetThreads(options.jobs);
  const ResultCode rc = search.Run(options.query, queryType, records);
  if (rc == kNotPqzFile) {
    std::fputs("Orvane supports PQZ files only!\n", stderr);
    return rc;
  }
  if (rc != kSuccess) return ReportFailure(rc);
  // Rank, combined, colour and Edge similarity, path: fixed columns that scripts can split
  // on the first four spaces (the path may itself hold spaces).
  for (std::size_t i = 0; i < records.size(); ++i) {
    const FileRecord& r = records[i];
    std::printf("%zu %.6f %.6f %.6f %s\n", i + 1, r.m_dSimilarity, r.m_dColorSimilarity,
                r.m_dEdgeSimilarity, r.m_strPath.c_str());
  }
  return kSuccess;
}

}  // namespace orvane::cli
