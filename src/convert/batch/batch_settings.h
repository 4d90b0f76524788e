#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "foundation/cancel_hook.h"
#include "foundation/report_sink.h"
#include "foundation/result_code.h"

namespace orvane {

/// One file of a conversion batch, copied from the document's list when the batch starts, so
/// that nothing the user does while the batch runs can change what it converts.
struct BatchItem {
  std::string m_strName;  ///< the file name, lower-cased
  std::string m_strPath;  ///< the full path
};

/// Where a batch stands, handed to the progress sink whenever a file starts or ends.
struct BatchProgress {
  std::size_t started = 0;    ///< files begun so far (the "%d" of the "%d/%d" counter)
  std::size_t finished = 0;   ///< files ended so far, converted or failed
  std::size_t converted = 0;  ///< files written
  std::size_t total = 0;      ///< files of the batch
  std::string current;        ///< name of the file begun last
};

/// Receives the progress of a batch. Called from the batch's worker threads, one call at a
/// time; it must not block (a panel posts the values to its own thread).
using BatchProgressSink = std::function<void(const BatchProgress&)>;

/// What every batch is given besides its files; the batch keeps its own copy.
struct BatchSettings {
  /// The folder the files were listed from: a file in a sub-folder of it goes to the same
  /// sub-folder under the save directory. A file outside it goes directly into the save
  /// directory.
  std::string targetDir;
  /// Where the outputs go; it must exist (SaveDirectoryExists).
  std::string saveDir;
  /// At most this many files are converted at once; 0 means one per processor core.
  unsigned workers = 0;
  /// Asked before every file and by the codec between its stages; when it answers true the
  /// batch stops, keeping the files already written.
  CancelHook cancel;
  BatchProgressSink progress;
  /// Where the codec's reports go, one file's reports in one piece; standard output if null.
  ReportSink* report = nullptr;
};

/// The outcome of a batch.
struct BatchResult {
  /// The result of every file, in list order: kSuccess for a written file, kCanceled for one
  /// stopped or never begun because the batch was cancelled, another code for a failure.
  std::vector<ResultCode> codes;
  /// One line per failed file, in list order: the output path (to PQZ) or the source name (to
  /// BMP).
  std::vector<std::string> failures;
  std::size_t converted = 0;
  /// Some file was not converted because the batch was cancelled.
  bool canceled = false;
};

/// `dir` with a "/" appended unless it already ends with one; an empty text stays empty, so
/// that it names no directory.
std::string WithTrailingSeparator(std::string dir);

/// True when `dir` (with or without a trailing separator) names an existing directory. An
/// empty text or a regular file is not one.
bool SaveDirectoryExists(const std::string& dir);

}  // namespace orvane
