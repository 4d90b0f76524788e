#include "pqz/parameter_loader.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "decimal_comma_locale.h"
#include "pqz/parameter_check.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

using test_support::ScopedTempDir;

constexpr std::uint32_t kMissing = 0xFFFFFFFFu;

/// A complete config.ini with every key present and valid.
const char* const kCompleteConfig =
    "[Common]\n"
    "ColorSpace=HSV\n"
    "PatchWidth=16\n"
    "PatchHeight=4\n"
    "[Learning]\n"
    "ConversionCondition=0.002\n"
    "DimensionReduction=40\n"
    "MaxIterations=50\n"
    "[Compression]\n"
    "CoeffQuantizeStep=100\n"
    "DoChangeStep=1\n"
    "MaxZeroRun=8\n"
    "PrecisionBit=12\n"
    "BasePrecisionBit=6\n";

class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.IsValid()); }

  /// Loads `text` as config.ini into the members (which start from the built-in defaults).
  void Load(std::string_view text) {
    LoadParametersFrom(m_dir.WriteFile("config.ini", text), m_record.Common, m_record.Learning,
                       m_record.Compression);
  }

  ScopedTempDir m_dir;
  EncodingParameters m_record;
};

TEST_F(ConfigFile, MissingFileGivesBuiltInDefaults) {
  // Start from a record unlike the defaults: every field must be replaced.
  m_record.Common = {kColorSpaceYcc, 3, 5};
  m_record.Learning = {0.5, 7, 9};
  m_record.Compression = {4, 5, 6, 1, 2, 3};
  LoadParametersFrom((m_dir.Path() / "config.ini").string(), m_record.Common, m_record.Learning,
                     m_record.Compression);
  EXPECT_EQ(m_record.Common.ColorSpace, kColorSpaceRgb);
  EXPECT_EQ(m_record.Common.PatchWidth, 8u);
  EXPECT_EQ(m_record.Common.PatchHeight, 8u);
  EXPECT_EQ(m_record.Learning.ConversionCondition, 0.0001);
  EXPECT_EQ(m_record.Learning.MaxIterations, 0u);
  EXPECT_EQ(m_record.Learning.DimensionReduction, 96u);
  EXPECT_EQ(m_record.Compression.AverageQuantizeStep, 1u);
  EXPECT_EQ(m_record.Compression.CoeffQuantizeStep, 1u);
  EXPECT_EQ(m_record.Compression.DoChangeStep, 0u);
  EXPECT_EQ(m_record.Compression.BasePrecisionBit, 7);
  EXPECT_EQ(m_record.Compression.PrecisionBit, 16);
  EXPECT_EQ(m_record.Compression.MaxZeroRun, 16);
  EXPECT_EQ(CheckParameters(m_record), kSuccess);
}

TEST_F(ConfigFile, DirectoryNamedConfigIniGivesDefaults) {
  std::filesystem::create_directory(m_dir.Path() / "config.ini");
  m_record.Common.PatchWidth = 3;
  LoadParametersFrom((m_dir.Path() / "config.ini").string(), m_record.Common, m_record.Learning,
                     m_record.Compression);
  EXPECT_EQ(m_record.Common.PatchWidth, 8u);
}

TEST_F(ConfigFile, ReadsEveryKeyOfCompleteFile) {
  Load(kCompleteConfig);
  EXPECT_EQ(m_record.Common.ColorSpace, kColorSpaceHsv);
  EXPECT_EQ(m_record.Common.PatchWidth, 16u);
  EXPECT_EQ(m_record.Common.PatchHeight, 4u);
  EXPECT_EQ(m_record.Learning.ConversionCondition, 0.002);
  EXPECT_EQ(m_record.Learning.DimensionReduction, 40u);
  EXPECT_EQ(m_record.Learning.MaxIterations, 50u);
  EXPECT_EQ(m_record.Compression.CoeffQuantizeStep, 100u);
  EXPECT_EQ(m_record.Compression.DoChangeStep, 1u);
  EXPECT_EQ(m_record.Compression.MaxZeroRun, 8);
  EXPECT_EQ(m_record.Compression.PrecisionBit, 12);
  EXPECT_EQ(m_record.Compression.BasePrecisionBit, 6);
  EXPECT_EQ(m_record.Compression.AverageQuantizeStep, 4u);  // trunc(100 / 24)
  EXPECT_EQ(CheckParameters(m_record), kSuccess);
}

TEST_F(ConfigFile, ReadsSectionsAndKeysInOtherLetterCases) {
  Load(
      "[COMMON]\r\ncolorspace = YCC\r\nPATCHWIDTH = 4\r\npatchheight=4\r\n"
      "[learning]\r\ndimensionreduction=48\r\nMAXITERATIONS=0\r\n"
      "[compression]\r\nmaxzerorun=16\r\nprecisionbit=16\r\ncoeffquantizestep=1\r\n");
  EXPECT_EQ(m_record.Common.ColorSpace, kColorSpaceYcc);
  EXPECT_EQ(m_record.Common.PatchWidth, 4u);
  EXPECT_EQ(m_record.Common.PatchHeight, 4u);
  EXPECT_EQ(m_record.Learning.DimensionReduction, 48u);
  EXPECT_EQ(m_record.Compression.MaxZeroRun, 16);
  EXPECT_EQ(CheckParameters(m_record), kSuccess);
}

TEST_F(ConfigFile, MissingKeysTakeTheirMissingValues) {
  m_record.Common.ColorSpace = kColorSpaceHsv;
  m_record.Learning.ConversionCondition = 0.25;
  Load("[Common]\n");
  EXPECT_EQ(m_record.Common.ColorSpace, kColorSpaceHsv);   // unchanged
  EXPECT_EQ(m_record.Learning.ConversionCondition, 0.25);  // unchanged
  EXPECT_EQ(m_record.Common.PatchWidth, kMissing);
  EXPECT_EQ(m_record.Common.PatchHeight, kMissing);
  EXPECT_EQ(m_record.Learning.DimensionReduction, kMissing);
  EXPECT_EQ(m_record.Learning.MaxIterations, kMissing);
  EXPECT_EQ(m_record.Compression.CoeffQuantizeStep, 0u);
  EXPECT_EQ(m_record.Compression.DoChangeStep, kMissing);
  EXPECT_EQ(m_record.Compression.MaxZeroRun, -1);
  EXPECT_EQ(m_record.Compression.PrecisionBit, -1);
  EXPECT_EQ(m_record.Compression.BasePrecisionBit, 0);
  EXPECT_EQ(m_record.Compression.AverageQuantizeStep, 1u);
  EXPECT_EQ(CheckParameters(m_record), kConfigLoadFailed);
}

TEST_F(ConfigFile, LiteralMinusOneCountsAsMissing) {
  Load(
      "[Common]\nPatchWidth=-1\nPatchHeight=8\n[Learning]\nDimensionReduction=96\n"
      "MaxIterations=0\n[Compression]\nCoeffQuantizeStep=-1\nMaxZeroRun=16\nPrecisionBit=16\n"
      "BasePrecisionBit=-1\n");
  EXPECT_EQ(m_record.Common.PatchWidth, kMissing);
  EXPECT_EQ(m_record.Compression.CoeffQuantizeStep, 0u);
  EXPECT_EQ(m_record.Compression.BasePrecisionBit, 0);
  EXPECT_EQ(CheckParameters(m_record), kConfigLoadFailed);
}

TEST_F(ConfigFile, DimensionAboveThreePatchAreasIsRefusedAfterLoading) {
  const std::string head =
      "[Common]\nPatchWidth=8\nPatchHeight=8\n[Learning]\nMaxIterations=0\n"
      "[Compression]\nCoeffQuantizeStep=1\nMaxZeroRun=16\nPrecisionBit=16\n"
      "[Learning]\nDimensionReduction=";
  Load(head + "193\n");
  EXPECT_EQ(CheckParameters(m_record), kInconsistentParameters);
  Load(head + "192\n");
  EXPECT_EQ(CheckParameters(m_record), kSuccess);
}

struct ColorSpaceCase {
  const char* name;
  const char* line;  // the ColorSpace line, or "" for none
  std::uint16_t previous;
  std::uint16_t expected;
};

class ColorSpaceKey : public ::testing::TestWithParam<ColorSpaceCase> {};

TEST_P(ColorSpaceKey, RecognisesOnlyExactUpperCaseNames) {
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  EncodingParameters record;
  record.Common.ColorSpace = GetParam().previous;
  LoadParametersFrom(dir.WriteFile("config.ini", std::string("[Common]\n") + GetParam().line),
                     record.Common, record.Learning, record.Compression);
  EXPECT_EQ(record.Common.ColorSpace, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ColorSpaceKey,
    ::testing::Values(ColorSpaceCase{"Rgb", "ColorSpace=RGB\n", 2, 0},
                      ColorSpaceCase{"Ycc", "ColorSpace=YCC\n", 0, 1},
                      ColorSpaceCase{"Hsv", "ColorSpace=HSV\n", 0, 2},
                      ColorSpaceCase{"FourCharactersReadAsThree", "ColorSpace=RGBA\n", 2, 0},
                      ColorSpaceCase{"LowerCaseIsNotRecognised", "ColorSpace=ycc\n", 2, 2},
                      ColorSpaceCase{"ShortNameIsNotRecognised", "ColorSpace=YC\n", 2, 2},
                      ColorSpaceCase{"NumberIsNotRecognised", "ColorSpace=1\n", 2, 2},
                      ColorSpaceCase{"ErrTextKeepsPrevious", "ColorSpace=ERR\n", 1, 1},
                      ColorSpaceCase{"MissingKeyKeepsPrevious", "", 1, 1}),
    [](const ::testing::TestParamInfo<ColorSpaceCase>& info) { return info.param.name; });

struct ConditionCase {
  const char* name;
  const char* line;  // the ConversionCondition line, or "" for none
  double expected;   // the field starts at 0.25
};

class ConversionConditionKey : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(ConversionConditionKey, KeepsWhateverTheDecimalConversionGives) {
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  EncodingParameters record;
  record.Learning.ConversionCondition = 0.25;
  LoadParametersFrom(dir.WriteFile("config.ini", std::string("[Learning]\n") + GetParam().line),
                     record.Common, record.Learning, record.Compression);
  EXPECT_EQ(record.Learning.ConversionCondition, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ConversionConditionKey,
    ::testing::Values(ConditionCase{"Decimal", "ConversionCondition=0.5\n", 0.5},
                      ConditionCase{"TrailingTextIsIgnored", "ConversionCondition=1e-3x\n", 0.001},
                      ConditionCase{"NoNumberGivesZero", "ConversionCondition=abc\n", 0.0},
                      ConditionCase{"OutOfRangeKeepsInfinity", "ConversionCondition=1e999\n",
                                    HUGE_VAL},
                      ConditionCase{"ErrTextKeepsPrevious", "ConversionCondition=ERR\n", 0.25},
                      ConditionCase{"MissingKeyKeepsPrevious", "", 0.25}),
    [](const ::testing::TestParamInfo<ConditionCase>& info) { return info.param.name; });

TEST(ConversionConditionKey, IgnoresDecimalCommaOfUserLocale) {
  EncodingParameters record;
  {
    const test_support::DecimalCommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma could be had";
    ScopedTempDir dir;
    LoadParametersFrom(dir.WriteFile("config.ini", "[Learning]\nConversionCondition=0.0005\n"),
                       record.Common, record.Learning, record.Compression);
  }
  EXPECT_EQ(record.Learning.ConversionCondition, 0.0005);
}

struct AverageStepCase {
  std::uint32_t coeffStep;
  std::uint32_t patchWidth;
  std::uint32_t expected;
};

class AverageQuantizeStep : public ::testing::TestWithParam<AverageStepCase> {};

TEST_P(AverageQuantizeStep, IsTruncatedAndNeverZero) {
  EXPECT_EQ(DeriveAverageQuantizeStep(GetParam().coeffStep, GetParam().patchWidth),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, AverageQuantizeStep,
                         ::testing::Values(AverageStepCase{100, 8, 8}, AverageStepCase{10, 8, 1},
                                           AverageStepCase{1, 8, 1}, AverageStepCase{0, 8, 1},
                                           AverageStepCase{12, 1, 8}, AverageStepCase{11, 1, 7},
                                           AverageStepCase{100, kMissing, 1},
                                           AverageStepCase{100, 0, 1},
                                           AverageStepCase{kMissing, 1, 2863311530u}));

TEST_F(ConfigFile, DerivesAverageStepFromLoadedValues) {
  Load("[Common]\nPatchWidth=8\n[Compression]\nCoeffQuantizeStep=100\n");
  EXPECT_EQ(m_record.Compression.AverageQuantizeStep, 8u);
  Load("[Common]\nPatchWidth=8\n[Compression]\nCoeffQuantizeStep=10\n");
  EXPECT_EQ(m_record.Compression.AverageQuantizeStep, 1u);
}

TEST_F(ConfigFile, BrokenFilesLoadWithoutCrashingAndAreRefused) {
  std::mt19937 random(7);
  std::string garbage(200000, '\0');
  for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
  const std::string longLine(300000, 'x');
  const std::string broken[] = {
      garbage,
      "PatchWidth=8\nPatchHeight=8\nDimensionReduction=96\n",  // no sections at all
      "[Common]\nPatchWidth=" + longLine + "\n[Learning]\nConversionCondition=" + longLine,
      "[" + longLine,
      std::string(1000, '\n') + std::string(1000, '\r') + std::string(1000, '='),
  };
  for (const std::string& text : broken) {
    m_record = EncodingParameters{};
    Load(text);
    EXPECT_EQ(CheckParameters(m_record), kConfigLoadFailed);
  }
}

// An absolute directory of `length` characters: "/" followed by `length - 1` copies of `c`.
std::string Directory(std::size_t length, char c) {
  std::string path(length, c);
  path[0] = '/';
  return path;
}

TEST(ConfigFilePath, FollowsTheLengthRules) {
  EXPECT_EQ(BuildConfigFilePath("/opt/orvane", "/home/u"), "/opt/orvane/config.ini");
  EXPECT_EQ(BuildConfigFilePath("/", "/home/u"), "/config.ini");
  EXPECT_EQ(BuildConfigFilePath("", "/home/u"), "/home/u/config.ini");
  EXPECT_EQ(BuildConfigFilePath("", ""), "");
  // 249 characters, a separator and "config.ini" make exactly 260.
  const std::string fits = Directory(249, 'd');
  EXPECT_EQ(BuildConfigFilePath(fits, "/cwd"), fits + "/config.ini");
  EXPECT_EQ(BuildConfigFilePath(Directory(250, 'd'), "/cwd"), "");
  // A program directory past the limit falls back to the current directory.
  EXPECT_EQ(BuildConfigFilePath(Directory(261, 'd'), "/cwd"), "/cwd/config.ini");
  EXPECT_EQ(BuildConfigFilePath(Directory(261, 'd'), Directory(261, 'c')), "");
}

TEST(ConfigFilePath, LiesBesideTheRunningProgram) {
  const std::string directory = ProgramDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_TRUE(std::filesystem::path(directory).is_absolute());
  EXPECT_TRUE(std::filesystem::is_directory(directory));
  if (directory.size() < 240) {
    EXPECT_EQ(ConfigFilePath(), directory + "/config.ini");
  }
}

struct MethodCase {
  LearningMethod method;
  std::uint32_t configured;
  std::uint32_t expected;
};

class LearningMethodChoice : public ::testing::TestWithParam<MethodCase> {};

TEST_P(LearningMethodChoice, OverridesIterationLimit) {
  LearningParameters learning;
  learning.MaxIterations = GetParam().configured;
  ApplyLearningMethod(learning, GetParam().method);
  EXPECT_EQ(learning.MaxIterations, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, LearningMethodChoice,
                         ::testing::Values(MethodCase{LearningMethod::kPca, 50, 0},
                                           MethodCase{LearningMethod::kPca, 0, 0},
                                           MethodCase{LearningMethod::kIca, 0, 100},
                                           MethodCase{LearningMethod::kIca, 30, 30},
                                           MethodCase{LearningMethod::kIca, 500, 500}));

}  // namespace
}  // namespace orvane
