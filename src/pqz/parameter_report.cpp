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

void PrintParameterReport(const EncodingParameters& parameters) {
  const CommonParameters& common = parameters.Common;
  const LearningParameters& learning = parameters.Learning;
  const CompressionParameters& compression = parameters.Compression;
  const ScopedClassicLocale classicLocale;
  std::printf("[Common Parameters]\n");
  std::printf("  Color Space = %d\n", static_cast<int>(common.ColorSpace));
  std::printf("  Patch = (%d, %d)\n", AsSigned(common.PatchWidth), AsSigned(common.PatchHeight));
  std::printf("[Learning Parameters]\n");
  std::printf("  Conversion = %lf\n", learning.ConversionCondition);
  std::printf("  Dimension = %d\n", AsSigned(learning.DimensionReduction));
  std::printf("  Iteration = %d\n", AsSigned(learning.MaxIterations));
  std::printf("[Compression Parameters]\n");
  std::printf("  Average Quantize Step = %d\n", AsSigned(compression.AverageQuantizeStep));
  std::printf("  Coeff Quantize Step = %d\n", AsSigned(compression.CoeffQuantizeStep));
  std::printf("  MaxZeroRun = %d\n", compression.MaxZeroRun);
  std::printf("  BasePrecisionBit = %d\n", compression.BasePrecisionBit);
  std::printf("  PrecisionBit = %d\n", compression.PrecisionBit);
  std::printf("\n");
}

}  // namespace orvane
