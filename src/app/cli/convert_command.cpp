// pqz convert SRC DST [--recursive] [--to pqz|bmp] [--method pca|ica] [--config FILE]
//             [--jobs N] [--shard K/N]
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli/command.h"
#include "convert/batch/batch_messages.h"
#include "convert/batch/batch_output.h"
#include "convert/batch/bmp_batch.h"
#include "convert/batch/pqz_batch.h"
#include "pqz/parameter_loader.h"
#include "retrieval/file_record.h"
#include "retrieval/folder_listing.h"

namespace orvane::cli {
namespace {

constexpr const char* kUsage =
    "convert SRC DST [--recursive] [--to pqz|bmp] [--method pca|ica] [--config FILE] "
    "[--jobs N] [--shard K/N]";

struct ConvertOptions {
  std::string source;
  std::string destination;
  bool recursive = false;
  bool toBmp = false;
  std::string method;  ///< "PCA", "ICA" or empty: the configured MaxIterations stand
  std::string config;  ///< empty: config.ini beside the program, else the defaults
  unsigned jobs = 0;   ///< 0: one per processor core
  std::size_t shard = 0;
  std::size_t shards = 1;
};

// A whole number of at most nine digits, without sign or other characters.
bool ParseCount(const std::string& text, std::size_t& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return true;
}

// "K/N" with 0 <= K < N.
bool ParseShard(const std::string& text, std::size_t& shard, std::size_t& shards) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return false;
  if (!ParseCount(text.substr(0, slash), shard) || !ParseCount(text.substr(slash + 1), shards)) {
    return false;
  }
  return shards > 0 && shard < shards;
}

bool ParseOptions(const Arguments& args, ConvertOptions& options) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--recursive") {
      options.recursive = true;
    } else if (arg == "--to" && hasValue) {
      const std::string& to = args[++i];
      if (to != "pqz" && to != "bmp") return false;
      options.toBmp = to == "bmp";
    } else if (arg == "--method" && hasValue) {
      const std::string& m = args[++i];
      if (m != "pca" && m != "ica") return false;
      options.method = m == "pca" ? "PCA" : "ICA";
    } else if (arg == "--config" && hasValue) {
      options.config = args[++i];
    } else if (arg == "--jobs" && hasValue) {
      std::size_t jobs = 0;
      if (!ParseCount(args[++i], jobs) || jobs == 0) return false;
      options.jobs = static_cast<unsigned>(jobs);
    } else if (arg == "--shard" && hasValue) {
      if (!ParseShard(args[++i], options.shard, options.shards)) {
        std::fprintf(stderr, "pqz convert: --shard wants K/N with 0 <= K < N, not '%s'\n",
                     args[i].c_str());
        return false;
      }
    } else if (arg.rfind("--", 0) == 0) {
      return false;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return false;
  options.source = positional[0];
  options.destination = positional[1];
  return true;
}

// The first failure's code, so that the exit status tells what went wrong.
ResultCode FirstFailure(const BatchResult& result) {
  for (const ResultCode code : result.codes) {
    if (code != kSuccess && code != kCanceled) return code;
  }
  return kUnknownError;
}

}  // namespace

ResultCode RunConvert(const Arguments& args) {
  ConvertOptions options;
  if (!ParseOptions(args, options)) return ReportUsage(kUsage);

  // A configuration named on the command line must be a readable file; only the implicit one
  // may be absent and fall back to the defaults.
  if (!options.config.empty() && !options.toBmp) {
    CommonParameters common;
    LearningParameters learning;
    CompressionParameters compression;
    if (const ResultCode rc = LoadNamedParameters(options.config, common, learning, compression);
        rc != kSuccess) {
      return ReportFailure(rc);
    }
  }

  // The listing the panels convert: the folder's image files in natural order, the
  // sub-folders' files at their folder's place with --recursive.
  std::vector<FileRecord> records;
  if (const ResultCode rc = ListImageFiles(options.source, options.recursive, records);
      rc != kSuccess) {
    return ReportFailure(rc);
  }
  if (records.empty()) {
    std::fprintf(stderr, "%s\n", kNoFilesText);
    return kSuccess;
  }
  std::vector<BatchItem> all;
  all.reserve(records.size());
  for (const FileRecord& record : records) all.push_back({record.m_strName, record.m_strPath});

  // Unlike the panel, the tool makes its destination: the machines of a sharded run all
  // write below one folder that need not exist yet.
  std::error_code error;
  std::filesystem::create_directories(options.destination, error);
  const std::string save = WithTrailingSeparator(options.destination);
  if (!SaveDirectoryExists(save)) {
    std::fprintf(stderr, "%s\n", kSaveDirectoryMissingText);
    return kCannotOpenFile;
  }

  // Every N-th file from K. A file whose output an earlier file of the whole listing already
  // writes fails in every shard, as it fails in an unsharded run, so that two shards never
  // write one output.
  const char* extension = options.toBmp ? "bmp" : "pqz";
  const std::vector<PlannedOutput> plan = PlanOutputs(all, options.source, save, extension);
  std::vector<BatchItem> items;
  std::vector<std::string> takenFailures;
  for (std::size_t i = options.shard; i < all.size(); i += options.shards) {
    if (plan[i].taken) {
      takenFailures.push_back(options.toBmp ? all[i].m_strName : plan[i].path);
    } else {
      items.push_back(all[i]);
    }
  }

  BatchSettings batch;
  batch.targetDir = options.source;
  batch.saveDir = save;
  batch.workers = options.jobs;
  BatchResult result;
  if (options.toBmp) {
    result = ConvertToBmp(items, batch);
  } else {
    PqzBatchSettings settings;
    settings.batch = batch;
    settings.method = options.method;
    settings.configPath = options.config;
    result = ConvertToPqz(items, settings);
  }
  ResultCode status = result.failures.empty() ? kSuccess : FirstFailure(result);
  if (!takenFailures.empty()) {
    result.failures.insert(result.failures.begin(), takenFailures.begin(), takenFailures.end());
    if (status == kSuccess) status = kInvalidArguments;
  }

  const std::string message = options.toBmp ? BmpBatchMessage(result) : PqzBatchMessage(result);
  if (status == kSuccess) {
    if (!message.empty()) std::printf("%s\n", message.c_str());
  } else {
    std::fputs(message.c_str(), stderr);
  }
  return status;
}

}  // namespace orvane::cli
