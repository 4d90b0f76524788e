#pragma once

#include <iosfwd>
#include <string>

namespace orvane {

/// Where the codec, the learner and the numerics write their reports (stage timings,
/// parameter and size reports, learning progress). A caller that runs several jobs at once
/// gives each job its own stream and writes it out in one piece when the job ends, so the
/// reports of two files never interleave.
using ReportSink = std::ostream;

/// The sink used when a caller gives none: standard output.
ReportSink& DefaultReportSink();

/// Writes the collected report of a finished job to the default sink in one piece, so that
/// jobs ending on several threads at once never interleave their lines. Safe from any thread.
void WriteJobReport(const std::string& text);

/// printf-style formatting into `sink`, for the reports whose layout is fixed by a format.
void ReportPrintf(ReportSink& sink, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace orvane
