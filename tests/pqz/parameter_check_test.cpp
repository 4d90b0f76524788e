#include "pqz/parameter_check.h"

#include <cmath>
#include <functional>

#include <gtest/gtest.h>

namespace orvane {
namespace {

constexpr std::uint32_t kMissing = 0xFFFFFFFFu;

struct CheckCase {
  const char* name;
  std::function<void(EncodingParameters&)> change;  // applied to the built-in defaults
  ResultCode expected;
};

class ParameterCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ParameterCheck, GivesTheCodeOfTheFirstFailingRule) {
  EncodingParameters record;
  GetParam().change(record);
  EXPECT_EQ(CheckParameters(record), GetParam().expected);
}

using P = EncodingParameters;

INSTANTIATE_TEST_SUITE_P(
    Records, ParameterCheck,
    ::testing::Values(
        CheckCase{"BuiltInDefaultsPass", [](P&) {}, kSuccess},
        // Keys the loader left at -1.
        CheckCase{"MissingPatchWidth", [](P& p) { p.Common.PatchWidth = kMissing; },
                  kConfigLoadFailed},
        CheckCase{"MissingPatchHeight", [](P& p) { p.Common.PatchHeight = kMissing; },
                  kConfigLoadFailed},
        CheckCase{"MissingDimension", [](P& p) { p.Learning.DimensionReduction = kMissing; },
                  kConfigLoadFailed},
        CheckCase{"MissingIterations", [](P& p) { p.Learning.MaxIterations = kMissing; },
                  kConfigLoadFailed},
        CheckCase{"MissingZeroRun", [](P& p) { p.Compression.MaxZeroRun = -1; }, kConfigLoadFailed},
        CheckCase{"MissingPrecision", [](P& p) { p.Compression.PrecisionBit = -1; },
                  kConfigLoadFailed},
        CheckCase{"MissingWinsOverUnsafe",
                  [](P& p) {
                    p.Common.PatchWidth = 0;
                    p.Compression.PrecisionBit = -1;
                  },
                  kConfigLoadFailed},
        // Values that cannot encode safely.
        CheckCase{"ZeroPatchWidth", [](P& p) { p.Common.PatchWidth = 0; }, kInvalidConfigValue},
        CheckCase{"ZeroPatchHeight", [](P& p) { p.Common.PatchHeight = 0; }, kInvalidConfigValue},
        CheckCase{"PatchWidthAbove32", [](P& p) { p.Common.PatchWidth = 33; }, kInvalidConfigValue},
        CheckCase{"PatchHeightAbove32", [](P& p) { p.Common.PatchHeight = 33; },
                  kInvalidConfigValue},
        CheckCase{"NegativePatchWidth", [](P& p) { p.Common.PatchWidth = 0xFFFFFFFBu; },
                  kInvalidConfigValue},
        CheckCase{"PatchSide32Passes",
                  [](P& p) {
                    p.Common.PatchWidth = 32;
                    p.Common.PatchHeight = 32;
                  },
                  kSuccess},
        CheckCase{"ZeroDimension", [](P& p) { p.Learning.DimensionReduction = 0; },
                  kInvalidConfigValue},
        CheckCase{"ZeroRunLengthZero", [](P& p) { p.Compression.MaxZeroRun = 0; },
                  kInvalidConfigValue},
        CheckCase{"NegativeZeroRun", [](P& p) { p.Compression.MaxZeroRun = -5; },
                  kInvalidConfigValue},
        CheckCase{"ZeroRunAbove256", [](P& p) { p.Compression.MaxZeroRun = 257; },
                  kInvalidConfigValue},
        CheckCase{"ZeroRun256Passes", [](P& p) { p.Compression.MaxZeroRun = 256; }, kSuccess},
        CheckCase{"ZeroRun1Passes", [](P& p) { p.Compression.MaxZeroRun = 1; }, kSuccess},
        CheckCase{"ZeroPrecision", [](P& p) { p.Compression.PrecisionBit = 0; },
                  kInvalidConfigValue},
        CheckCase{"PrecisionAbove24", [](P& p) { p.Compression.PrecisionBit = 25; },
                  kInvalidConfigValue},
        CheckCase{"Precision24Passes", [](P& p) { p.Compression.PrecisionBit = 24; }, kSuccess},
        CheckCase{"Precision1Passes", [](P& p) { p.Compression.PrecisionBit = 1; }, kSuccess},
        CheckCase{"NegativeBasePrecision", [](P& p) { p.Compression.BasePrecisionBit = -2; },
                  kInvalidConfigValue},
        CheckCase{"BasePrecisionAbove24", [](P& p) { p.Compression.BasePrecisionBit = 25; },
                  kInvalidConfigValue},
        CheckCase{"BasePrecisionZeroPasses", [](P& p) { p.Compression.BasePrecisionBit = 0; },
                  kSuccess},
        CheckCase{"BasePrecision24Passes", [](P& p) { p.Compression.BasePrecisionBit = 24; },
                  kSuccess},
        CheckCase{"ColorSpace3", [](P& p) { p.Common.ColorSpace = 3; }, kInvalidConfigValue},
        CheckCase{"ColorSpaceHsvPasses", [](P& p) { p.Common.ColorSpace = kColorSpaceHsv; },
                  kSuccess},
        CheckCase{"ZeroCoeffStep", [](P& p) { p.Compression.CoeffQuantizeStep = 0; },
                  kInvalidConfigValue},
        CheckCase{"UnsafeWinsOverInconsistent",
                  [](P& p) {
                    p.Common.PatchWidth = 33;
                    p.Learning.DimensionReduction = 100000;
                  },
                  kInvalidConfigValue},
        // More bases than a patch has values.
        // The learning must be able to end, and its threshold must mean something.
        CheckCase{"IterationsAtTheBoundPass",
                  [](P& p) { p.Learning.MaxIterations = kMaxLearningIterations; }, kSuccess},
        CheckCase{"IterationsAboveTheBound",
                  [](P& p) { p.Learning.MaxIterations = kMaxLearningIterations + 1; },
                  kInvalidConfigValue},
        CheckCase{"ConditionNaN",
                  [](P& p) { p.Learning.ConversionCondition = std::nan(""); },
                  kInvalidConfigValue},
        CheckCase{"ConditionInfinite",
                  [](P& p) { p.Learning.ConversionCondition = HUGE_VAL; }, kInvalidConfigValue},
        CheckCase{"ConditionNegative",
                  [](P& p) { p.Learning.ConversionCondition = -1e-4; }, kInvalidConfigValue},
        CheckCase{"ConditionZeroPasses", [](P& p) { p.Learning.ConversionCondition = 0.0; },
                  kSuccess},
        CheckCase{"Dimension193For8x8", [](P& p) { p.Learning.DimensionReduction = 193; },
                  kInconsistentParameters},
        CheckCase{"Dimension192For8x8", [](P& p) { p.Learning.DimensionReduction = 192; },
                  kSuccess},
        CheckCase{"Dimension4For1x1",
                  [](P& p) {
                    p.Common.PatchWidth = 1;
                    p.Common.PatchHeight = 1;
                    p.Learning.DimensionReduction = 4;
                  },
                  kInconsistentParameters},
        CheckCase{"Dimension3072For32x32",
                  [](P& p) {
                    p.Common.PatchWidth = 32;
                    p.Common.PatchHeight = 32;
                    p.Learning.DimensionReduction = 3072;
                  },
                  kSuccess},
        CheckCase{"HugeDimension", [](P& p) { p.Learning.DimensionReduction = 0xFFFFFFFEu; },
                  kInconsistentParameters}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

}  // namespace
}  // namespace orvane
