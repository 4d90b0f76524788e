#pragma once

#include "foundation/report_sink.h"
#include "pqz/encoding_parameters.h"

namespace orvane {

/// Prints the parameter report of an encoding to `sink` (standard output by default):
///
///     [Common Parameters]
///       Color Space = 0
///       Patch = (8, 8)
///     [Learning Parameters]
///       Conversion = 0.000100
///       Dimension = 96
///       Iteration = 0
///     [Compression Parameters]
///       Average Quantize Step = 1
///       Coeff Quantize Step = 1
///       MaxZeroRun = 16
///       BasePrecisionBit = 7
///       PrecisionBit = 16
///
/// followed by an empty line. Unsigned fields print as signed 32-bit values (a missing -1 shows
/// as -1); the decimal point is '.' whatever the process locale is. DoChangeStep is not printed.
void PrintParameterReport(const EncodingParameters& parameters,
                          ReportSink& sink = DefaultReportSink());

}  // namespace orvane
