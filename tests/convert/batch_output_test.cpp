#include "convert/batch/batch_output.h"

#include <gtest/gtest.h>

#include "convert/batch/batch_settings.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

struct OutputCase {
  const char* name;
  const char* path;
  const char* target;
  const char* save;
  const char* expected;
};

class OutputPath : public ::testing::TestWithParam<OutputCase> {};

TEST_P(OutputPath, KeepsSubFoldersAndReplacesTheLastThreeCharacters) {
  const OutputCase& c = GetParam();
  EXPECT_EQ(OutputPathOf({c.name, c.path}, c.target, c.save, "pqz"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputPath,
    ::testing::Values(
        OutputCase{"photo.jpg", "/in/Photo.JPG", "/in/", "/out/", "/out/photo.pqz"},
        OutputCase{"photo.jpeg", "/in/photo.jpeg", "/in/", "/out/", "/out/photo.jpqz"},
        // With or without the trailing separators the result is the same.
        OutputCase{"a.png", "/in/a.png", "/in", "/out", "/out/a.pqz"},
        OutputCase{"a.png", "/in/Sub/Deeper/a.png", "/in/", "/out/", "/out/Sub/Deeper/a.pqz"},
        OutputCase{"a.png", "/in/sub/a.png", "/in", "/out", "/out/sub/a.pqz"},
        // A file outside the listed folder goes directly into the save directory.
        OutputCase{"a.png", "/elsewhere/a.png", "/in/", "/out/", "/out/a.pqz"},
        OutputCase{"a.png", "/in/../x/a.png", "/in/", "/out/", "/out/a.pqz"},
        OutputCase{"a.png", "/in/sub/a.png", "", "/out/", "/out/a.pqz"},
        OutputCase{"ab", "/in/ab", "/in/", "/out/", ""}));

TEST(PlanOutputs, FailsTheLaterOfTwoFilesWithOneOutput) {
  const std::vector<BatchItem> items = {{"a.bmp", "/in/a.bmp"},
                                        {"a.png", "/in/a.png"},
                                        {"a.png", "/in/sub/a.png"},
                                        {"b.tif", "/in/b.tif"},
                                        {"b.tif", "/in/./b.tif"}};
  const std::vector<PlannedOutput> outputs = PlanOutputs(items, "/in/", "/out/", "pqz");
  ASSERT_EQ(outputs.size(), items.size());
  EXPECT_FALSE(outputs[0].taken);
  EXPECT_TRUE(outputs[1].taken);
  EXPECT_EQ(outputs[1].path, "/out/a.pqz");
  EXPECT_FALSE(outputs[2].taken);
  EXPECT_EQ(outputs[2].path, "/out/sub/a.pqz");
  EXPECT_FALSE(outputs[3].taken);
  EXPECT_TRUE(outputs[4].taken);
}

TEST(SaveDirectory, ExistsOnlyForADirectory) {
  test_support::ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  const std::string path = dir.Path().string();
  const std::string file = dir.WriteFile("plain.txt", "x");
  EXPECT_TRUE(SaveDirectoryExists(path));
  EXPECT_TRUE(SaveDirectoryExists(WithTrailingSeparator(path)));
  EXPECT_FALSE(SaveDirectoryExists(path + "/missing/"));
  EXPECT_FALSE(SaveDirectoryExists(file));
  EXPECT_FALSE(SaveDirectoryExists(""));
  EXPECT_EQ(WithTrailingSeparator(""), "");
  EXPECT_EQ(WithTrailingSeparator("/a/"), "/a/");
}

}  // namespace
}  // namespace orvane
