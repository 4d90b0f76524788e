#include "pqz/parameter_report.h"

#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include "decimal_comma_locale.h"
#include "pqz/parameter_loader.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

std::string ReportOf(const EncodingParameters& record) {
  ::testing::internal::CaptureStdout();
  PrintParameterReport(record);
  return ::testing::internal::GetCapturedStdout();
}

const char* const kDefaultReport =
    "[Common Parameters]\n"
    "  Color Space = 0\n"
    "  Patch = (8, 8)\n"
    "[Learning Parameters]\n"
    "  Conversion = 0.000100\n"
    "  Dimension = 96\n"
    "  Iteration = 0\n"
    "[Compression Parameters]\n"
    "  Average Quantize Step = 1\n"
    "  Coeff Quantize Step = 1\n"
    "  MaxZeroRun = 16\n"
    "  BasePrecisionBit = 7\n"
    "  PrecisionBit = 16\n"
    "\n";

TEST(ParameterReport, ShowsBuiltInDefaultsWhenNoConfigFileExists) {
  test_support::ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  EncodingParameters record;
  record.Common.PatchWidth = 5;  // must be replaced by the default
  LoadParametersFrom((dir.Path() / "config.ini").string(), record.Common, record.Learning,
                     record.Compression);
  EXPECT_EQ(ReportOf(record), kDefaultReport);
}

TEST(ParameterReport, PrintsEachFieldInItsPlaceAndOmitsDoChangeStep) {
  EncodingParameters record;
  record.Common = {kColorSpaceHsv, 16, 4};
  record.Learning = {0.0015, 100, 40};
  record.Compression = {4, 100, 12345, 6, 12, 8};
  EXPECT_EQ(ReportOf(record),
            "[Common Parameters]\n"
            "  Color Space = 2\n"
            "  Patch = (16, 4)\n"
            "[Learning Parameters]\n"
            "  Conversion = 0.001500\n"
            "  Dimension = 40\n"
            "  Iteration = 100\n"
            "[Compression Parameters]\n"
            "  Average Quantize Step = 4\n"
            "  Coeff Quantize Step = 100\n"
            "  MaxZeroRun = 8\n"
            "  BasePrecisionBit = 6\n"
            "  PrecisionBit = 12\n"
            "\n");
}

TEST(ParameterReport, ShowsMissingUnsignedValuesAsMinusOne) {
  EncodingParameters record;
  record.Common.PatchWidth = 0xFFFFFFFFu;
  record.Learning.MaxIterations = 0xFFFFFFFFu;
  const std::string report = ReportOf(record);
  EXPECT_NE(report.find("  Patch = (-1, 8)\n"), std::string::npos) << report;
  EXPECT_NE(report.find("  Iteration = -1\n"), std::string::npos) << report;
}

TEST(ParameterReport, KeepsDecimalPointUnderUserLocale) {
  std::string report;
  {
    const test_support::DecimalCommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma could be had";
    report = ReportOf(EncodingParameters{});
  }
  EXPECT_EQ(report, kDefaultReport);
}

}  // namespace
}  // namespace orvane
