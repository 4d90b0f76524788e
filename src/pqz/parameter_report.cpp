#include "pqz/parameter_report.h"

#include <cstdint>
#include <cstdio>

#include <locale.h>

namespace orvane {
namespace {

/// Switches this thread to the "C" locale for its lifetime, so that "%lf" prints a decimal point
/// even in a process that adopted a user locale with a decimal comma.
class ScopedClassicLocale {
 public:
  ScopedClassicLocale() {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (classic != static_cast<locale_t>(0)) m_previous = uselocale(classic);
  }
  ~ScopedClassicLocale() {
    if (m_previous != static_cast<locale_t>(0)) uselocale(m_previous);
  }
  ScopedClassicLocale(const ScopedClassicLocale&) = delete;
  ScopedClassicLocale& operator=(const ScopedClassicLocale&) = delete;

 private:
  locale_t m_previous = static_cast<locale_t>(0);
};

int AsSigned(std::uint32_t value) { return static_cast<int>(static_cast<std::int32_t>(value)); }

}  // namespace

void PrintParameterReport(const EncodingParameters& parameters, ReportSink& sink) {
  const CommonParameters& common = parameters.Common;
  const LearningParameters& learning = parameters.Learning;
  const CompressionParameters& compression = parameters.Compression;
  const ScopedClassicLocale classicLocale;
  ReportPrintf(sink, "[Common Parameters]\n");
  ReportPrintf(sink, "  Color Space = %d\n", static_cast<int>(common.ColorSpace));
  ReportPrintf(sink, "  Patch = (%d, %d)\n", AsSigned(common.PatchWidth),
               AsSigned(common.PatchHeight));
  ReportPrintf(sink, "[Learning Parameters]\n");
  ReportPrintf(sink, "  Conversion = %lf\n", learning.ConversionCondition);
  ReportPrintf(sink, "  Dimension = %d\n", AsSigned(learning.DimensionReduction));
  ReportPrintf(sink, "  Iteration = %d\n", AsSigned(learning.MaxIterations));
  ReportPrintf(sink, "[Compression Parameters]\n");
  ReportPrintf(sink, "  Average Quantize Step = %d\n", AsSigned(compression.AverageQuantizeStep));
  ReportPrintf(sink, "  Coeff Quantize Step = %d\n", AsSigned(compression.CoeffQuantizeStep));
  ReportPrintf(sink, "  MaxZeroRun = %d\n", compression.MaxZeroRun);
  ReportPrintf(sink, "  BasePrecisionBit = %d\n", compression.BasePrecisionBit);
  ReportPrintf(sink, "  PrecisionBit = %d\n", compression.PrecisionBit);
  ReportPrintf(sink, "\n");
}

}  // namespace orvane
