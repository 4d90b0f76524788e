#include "pqz/profile_reader.h"

#include <climits>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "scoped_temp_dir.h"

namespace orvane {
namespace {

using test_support::ScopedTempDir;

struct LookupCase {
  const char* name;
  std::string text;
  std::optional<std::string> expected;  // value of [Common] PatchWidth
};

class ProfileLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ProfileLookup, FindsTheValueByTheFileRules) {
  ProfileReader reader;
  reader.SetText(GetParam().text);
  const std::optional<std::string_view> value = reader.FindValue("Common", "PatchWidth");
  ASSERT_EQ(value.has_value(), GetParam().expected.has_value());
  if (value) {
    EXPECT_EQ(std::string(*value), *GetParam().expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileLookup,
    ::testing::Values(
        LookupCase{"IgnoresLetterCaseOfSectionAndKey", "[cOMMON]\npatchWIDTH=8\n", "8"},
        LookupCase{"TrimsBlanksAroundKeyAndValue", "[ Common ]\n\t PatchWidth \t=  1 2 \t\n",
                   "1 2"},
        LookupCase{"DropsCarriageReturnOfCrLf", "[Common]\r\nPatchWidth=8\r\n", "8"},
        LookupCase{"EndsLinesAtLoneCarriageReturn", "[Common]\rPatchWidth=8\rX=1", "8"},
        LookupCase{"ReadsLastLineWithoutLineEnd", "[Common]\nPatchWidth=16", "16"},
        LookupCase{"SkipsCommentLines", "[Common]\n ;PatchWidth=4\nPatchWidth=8\n", "8"},
        LookupCase{"KeepsTextAfterValueAsValue", "[Common]\nPatchWidth=8 ; eight\n", "8 ; eight"},
        LookupCase{"StripsMatchingDoubleQuotes", "[Common]\nPatchWidth=\"8\"\n", "8"},
        LookupCase{"StripsMatchingSingleQuotes", "[Common]\nPatchWidth='8'\n", "8"},
        LookupCase{"KeepsUnmatchedQuote", "[Common]\nPatchWidth=\"8\n", "\"8"},
        LookupCase{"FirstDuplicateKeyWins", "[Common]\nPatchWidth=4\nPatchWidth=8\n", "4"},
        LookupCase{"MergesRepeatedSections",
                   "[Common]\nColorSpace=RGB\n[Learning]\nPatchWidth=1\n[Common]\nPatchWidth=8",
                   "8"},
        LookupCase{"KeepsKeysOfOtherSectionsApart", "[Learning]\nPatchWidth=8\n", std::nullopt},
        LookupCase{"IgnoresKeysBeforeAnySection", "PatchWidth=8\n[Common]\n", std::nullopt},
        LookupCase{"DoesNotMatchSectionPrefix", "[CommonX]\nPatchWidth=8\n", std::nullopt},
        LookupCase{"AcceptsSectionWithoutClosingBracket", "[Common\nPatchWidth=8\n", "8"},
        LookupCase{"SkipsUtf8ByteOrderMark", "\xEF\xBB\xBF[Common]\nPatchWidth=8\n", "8"},
        LookupCase{"IgnoresLinesWithoutEquals", "[Common]\nPatchWidth\nPatchWidth=8\n", "8"},
        LookupCase{"FindsPresentEmptyValue", "[Common]\nPatchWidth=\n", ""},
        LookupCase{"FindsNothingInEmptyText", "", std::nullopt},
        LookupCase{"ReadsPastEmbeddedZeroBytes",
                   std::string("[Common]\nJunk=\0\0\0\nPatchWidth=8\n", 31), "8"}),
    [](const ::testing::TestParamInfo<LookupCase>& info) { return info.param.name; });

struct IntegerCase {
  const char* name;
  const char* value;
  std::int32_t expected;
};

class ProfileInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ProfileInteger, ReadsLeadingDecimalNumber) {
  ProfileReader reader;
  reader.SetText(std::string("[Compression]\nMaxZeroRun=") + GetParam().value + "\n");
  EXPECT_EQ(reader.GetInt("Compression", "MaxZeroRun", 1234), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileInteger,
    ::testing::Values(IntegerCase{"Plain", "16", 16}, IntegerCase{"PlusSign", "+12", 12},
                      IntegerCase{"MinusSign", "-7", -7}, IntegerCase{"LiteralMinusOne", "-1", -1},
                      IntegerCase{"StopsAtFirstNonDigit", "12abc", 12},
                      IntegerCase{"HexIsNotRead", "0x10", 0},
                      IntegerCase{"TextWithoutDigitsIsZero", "abc", 0},
                      IntegerCase{"EmptyValueIsZeroNotDefault", "", 0},
                      IntegerCase{"SignWithoutDigitsIsZero", "-", 0},
                      IntegerCase{"QuotedNumber", "\"24\"", 24},
                      IntegerCase{"LargestInt32", "2147483647", INT32_MAX},
                      IntegerCase{"OverflowSaturatesInsteadOfWrapping", "4294967304", INT32_MAX},
                      IntegerCase{"ManyDigitsSaturate", "99999999999999999999999999", INT32_MAX},
                      IntegerCase{"SmallestInt32", "-2147483648", INT32_MIN},
                      IntegerCase{"NegativeOverflowSaturates", "-99999999999", INT32_MIN}),
    [](const ::testing::TestParamInfo<IntegerCase>& info) { return info.param.name; });

TEST(ProfileReader, GivesIntegerDefaultOnlyForMissingKey) {
  ProfileReader reader;
  reader.SetText("[Compression]\nPrecisionBit=0\n");
  EXPECT_EQ(reader.GetInt("Compression", "MaxZeroRun", -1), -1);
  EXPECT_EQ(reader.GetInt("Compression", "PrecisionBit", -1), 0);
}

TEST(ProfileReader, CopiesAtMostSizeMinusOneCharacters) {
  ProfileReader reader;
  reader.SetText("[Common]\nColorSpace=RGBA\n");
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(reader.GetString("Common", "ColorSpace", "ERR", buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "RGB");

  char one[1] = {'x'};
  EXPECT_EQ(reader.GetString("Common", "ColorSpace", "ERR", one, sizeof one), 0u);
  EXPECT_EQ(one[0], '\0');

  char untouched[2] = {'x', 'y'};
  EXPECT_EQ(reader.GetString("Common", "ColorSpace", "ERR", untouched, 0), 0u);
  EXPECT_EQ(untouched[0], 'x');
}

TEST(ProfileReader, GivesTextDefaultForMissingKey) {
  ProfileReader reader;
  reader.SetText("[Common]\n");
  char buffer[8];
  EXPECT_EQ(reader.GetString("Common", "ColorSpace", "ERR", buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "ERR");
}

TEST(ProfileReader, RefusesMissingFileDirectoryAndPipe) {
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  ProfileReader reader;
  EXPECT_EQ(reader.LoadFile((dir.Path() / "absent.ini").string()), kCannotOpenFile);
  EXPECT_EQ(reader.LoadFile(dir.Path().string()), kCannotOpenFile);
  // A pipe with no writer would block a plain open or read for ever.
  const std::string fifo = (dir.Path() / "pipe.ini").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(reader.LoadFile(fifo), kCannotOpenFile);
}

TEST(ProfileReader, ForgetsPreviousTextWhenLoadFails) {
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  ProfileReader reader;
  ASSERT_EQ(reader.LoadFile(dir.WriteFile("a.ini", "[Common]\nPatchWidth=8\n")), kSuccess);
  ASSERT_TRUE(reader.FindValue("Common", "PatchWidth"));
  EXPECT_EQ(reader.LoadFile((dir.Path() / "absent.ini").string()), kCannotOpenFile);
  EXPECT_FALSE(reader.FindValue("Common", "PatchWidth"));
}

TEST(ProfileReader, ReadsOnlyTheFirstMebibyteOfHugeFile) {
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  std::string text = "[Common]\nPatchWidth=8\nJunk=";
  text.append(ProfileReader::kMaxTextBytes, 'j');
  text += "\nPatchHeight=8\n";
  ProfileReader reader;
  ASSERT_EQ(reader.LoadFile(dir.WriteFile("huge.ini", text)), kSuccess);
  EXPECT_EQ(reader.GetInt("Common", "PatchWidth", -1), 8);
  EXPECT_EQ(reader.GetInt("Common", "PatchHeight", -1), -1);
}

TEST(ProfileReader, SurvivesBinaryGarbage) {
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  std::mt19937 random(20240601);
  std::string garbage(1 << 16, '\0');
  for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
  ProfileReader reader;
  ASSERT_EQ(reader.LoadFile(dir.WriteFile("garbage.ini", garbage)), kSuccess);
  char buffer[512];
  reader.GetString("Learning", "ConversionCondition", "ERR", buffer, sizeof buffer);
  EXPECT_LT(std::char_traits<char>::length(buffer), sizeof buffer);
  // A section and key appended after the garbage are still found.
  reader.SetText(garbage + "\n[Common]\nPatchWidth=8\n");
  EXPECT_EQ(reader.GetInt("Common", "PatchWidth", -1), 8);
}

}  // namespace
}  // namespace orvane
