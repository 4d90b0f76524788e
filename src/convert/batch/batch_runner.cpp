#include "convert/batch/batch_runner.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <new>
#include <ostream>
#include <sstream>
#include <system_error>
#include <thread>

namespace orvane {

unsigned BatchWorkerCount(unsigned workers, std::size_t files) {
  unsigned count = workers != 0 ? workers : std::thread::hardware_concurrency();
  if (count == 0) count = 1;
  if (files < count) count = static_cast<unsigned>(std::max<std::size_t>(files, 1));
  return count;
}

BatchResult RunBatch(const std::vector<BatchItem>& items, const BatchSettings& settings,
                     const ConvertOne& convert, const FailureLine& failureLine) {
  BatchResult result;
  result.codes.assign(items.size(), kCanceled);
  ReportSink& report = settings.report != nullptr ? *settings.report : DefaultReportSink();

  // Shared between the workers: the next item to take, and under the lock the progress and
  // the report sink.
  std::atomic<std::size_t> next{0};
  std::mutex lock;
  BatchProgress progress;
  progress.total = items.size();

  const auto work = [&] {
    for (;;) {
      if (IsCanceled(settings.cancel)) return;
      const std::size_t index = next.fetch_add(1);
      if (index >= items.size()) return;
      {
        std::lock_guard<std::mutex> guard(lock);
        ++progress.started;
        progress.current = items[index].m_strName;
        if (settings.progress) settings.progress(progress);
      }
      std::ostringstream itemReport;
      ResultCode code = kUnknownError;
      try {
        code = convert(index, itemReport);
      } catch (const std::bad_alloc&) {
        code = kNoMemory;
      } catch (const std::exception&) {
        code = kUnknownError;
      }
      std::lock_guard<std::mutex> guard(lock);
      result.codes[index] = code;
      ++progress.finished;
      if (code == kSuccess) ++progress.converted;
      const std::string text = itemReport.str();
      if (!text.empty()) report.write(text.data(), static_cast<std::streamsize>(text.size()));
      report.flush();
      if (settings.progress) settings.progress(progress);
    }
  };

  const unsigned workers = BatchWorkerCount(settings.workers, items.size());
  if (workers == 1) {
    work();
  } else {
    std::vector<std::jthread> threads;
    threads.reserve(workers - 1);
    try {
      for (unsigned t = 1; t < workers; ++t) threads.emplace_back(work);
    } catch (const std::system_error&) {
      // Fewer threads than asked for still convert every file.
    }
    work();
  }

  result.converted = progress.converted;
  result.canceled = std::any_of(result.codes.begin(), result.codes.end(),
                                [](ResultCode code) { return code == kCanceled; });
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (result.codes[i] != kSuccess && result.codes[i] != kCanceled) {
      result.failures.push_back(failureLine(i));
    }
  }
  return result;
}

}  // namespace orvane
