#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "convert/batch/batch_settings.h"
#include "foundation/report_sink.h"
#include "foundation/result_code.h"

namespace orvane {

/// Converts the file at `index`, writing its reports to `report`; returns its result
/// (kCanceled when the batch's cancel hook stopped it).
using ConvertOne = std::function<ResultCode(std::size_t index, ReportSink& report)>;

/// Runs `convert` once for every item, on up to `settings.workers` threads (one per core when
/// 0), taking the items in list order, and returns when all have ended. Before each item the
/// cancel hook is asked; once it answers true no further item begins and the ones never begun
/// get kCanceled. Each item's reports are collected and written to the report sink in one
/// piece when the item ends; progress goes to the sink of the settings as items start and end.
///
/// The line a failed item gets in the failure list.
using FailureLine = std::function<std::string(std::size_t index)>;

/// Fills the result; every item that failed (not merely cancelled) gets `failureLine(index)`
/// in `failures`, in list order.
BatchResult RunBatch(const std::vector<BatchItem>& items, const BatchSettings& settings,
                     const ConvertOne& convert, const FailureLine& failureLine);

/// The number of files a batch converts at once: `workers`, or the number of processor cores
/// when that is 0, never more than the files and never less than 1.
unsigned BatchWorkerCount(unsigned workers, std::size_t files);

}  // namespace orvane
