#include "foundation/result_code.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane {
namespace {

TEST(ResultMessage, CatalogueHoldsThirtyFourTextsEndingInLineFeeds) {
  for (ResultCode code = 0; code < kResultCodeCount; ++code) {
    const char* text = ResultMessage(code);
    ASSERT_NE(text, nullptr) << code;
    const std::string s(text);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.back(), '\n') << code;
  }
  EXPECT_EQ(kResultCodeCount, 34);
}

TEST(ResultMessage, KeepsTheSystemsOwnSpelling) {
  EXPECT_STREQ(ResultMessage(kSuccess), "Success.\n");
  EXPECT_STREQ(ResultMessage(kDividedByZero), "Devided by zero.\n");
  EXPECT_STREQ(ResultMessage(kInvalidConfigFile),
               "Invalid config file. Keys don't exist, or cannnot open file.\n");
  EXPECT_STREQ(ResultMessage(kUnknownError), "Unknown error occured.\n");
  EXPECT_STREQ(ResultMessage(kPlatformError), "Error occured in windows API.\n");
}

TEST(ResultMessage, GivesNoTextOutsideTheCatalogue) {
  EXPECT_EQ(ResultMessage(34), nullptr);
  EXPECT_EQ(ResultMessage(-1), nullptr);
  EXPECT_EQ(ResultMessage(INT32_MIN), nullptr);
}

}  // namespace
}  // namespace orvane
