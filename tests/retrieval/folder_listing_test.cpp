#include "retrieval/folder_listing.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "retrieval_test_support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

class Ordering : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(Ordering, TheFirstNameSortsStrictlyBeforeTheSecond) {
  const auto [first, second] = GetParam();
  EXPECT_TRUE(NaturalLess(first, second));
  EXPECT_FALSE(NaturalLess(second, first));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Ordering,
    testing::Values(std::pair{"img2.png", "img10.png"}, std::pair{"img9.png", "img10.png"},
                    std::pair{"img10.png", "img11.png"}, std::pair{"a.png", "b.png"},
                    std::pair{"img.png", "img1.png"}, std::pair{"x2y10", "x10y2"},
                    std::pair{"x2y2", "x2y10"},
                    // Runs longer than any integer still compare.
                    std::pair{"n99999999999999999999999", "n100000000000000000000000"},
                    // Equal by value: the plain order decides, so the
                    // order stays total and repeatable.
                    std::pair{"a01", "a1"}));

TEST(NaturalLess, IsIrreflexive) {
  for (const char* name : {"", "a", "img10", "007"}) EXPECT_FALSE(NaturalLess(name, name));
}

class Listing : public testing::Test {
 protected:
  void Touch(const std::string& relative) {
    const fs::path path = m_dir.Path() / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }
  std::vector<std::string> Names(bool recursive) {
    std::vector<FileRecord> records;
    EXPECT_EQ(ListImageFiles(m_dir.Path().string(), recursive, records), kSuccess);
    std::vector<std::string> names;
    for (const FileRecord& r : records) {
      EXPECT_EQ(r.m_nType, TYPE_NOT_LOADED);
      EXPECT_EQ(r.m_dSimilarity, 0.0);
      // The path keeps the file system's case; only the name is lowered.
      EXPECT_TRUE(fs::exists(r.m_strPath)) << r.m_strPath;
      names.push_back(fs::path(r.m_strPath).lexically_relative(m_dir.Path()).string() + "=" +
                      r.m_strName);
    }
    return names;
  }
  test::TempDir m_dir;
};

TEST_F(Listing, ImageFilesInNaturalOrderWithLowerCasedNames) {
  for (const char* name : {"IMG10.PNG", "img2.jpg", "readme", "notes.txt", "b.pqz", "c.Pqz"}) {
    Touch(name);
  }
  Touch("c_sub/x.pqz");
  const std::vector<std::string> want = {"b.pqz=b.pqz", "c.Pqz=c.pqz", "img2.jpg=img2.jpg",
                                         "IMG10.PNG=img10.png"};
  EXPECT_EQ(Names(false), want);
}

TEST_F(Listing, SubFoldersAreListedAtTheirPositionWhenAsked) {
  for (const char* name : {"a.png", "d.png", "c_sub/y10.bmp", "c_sub/y9.bmp", "c_sub/e/z.gif"}) {
    Touch(name);
  }
  const std::vector<std::string> want = {"a.png=a.png", "c_sub/e/z.gif=z.gif",
                                         "c_sub/y9.bmp=y9.bmp", "c_sub/y10.bmp=y10.bmp",
                                         "d.png=d.png"};
  EXPECT_EQ(Names(true), want);
}

TEST_F(Listing, FoldersPipesAndLinkLoopsNamedLikeImagesAreNotFiles) {
  Touch("real.png");
  fs::create_directory(m_dir.Path() / "folder.png");
  ASSERT_EQ(::mkfifo((m_dir.Path() / "pipe.pqz").c_str(), 0600), 0);
  fs::create_directory_symlink(m_dir.Path(), m_dir.Path() / "loop");
  fs::create_symlink(m_dir.Path() / "real.png", m_dir.Path() / "link.png");
  const std::vector<std::string> want = {"link.png=link.png", "real.png=real.png"};
  EXPECT_EQ(Names(true), want);
}

TEST(ListImageFiles, AMissingFolderGivesEightAndAnEmptyList) {
  std::vector<FileRecord> records(2);
  EXPECT_EQ(ListImageFiles("/nonexistent/folder", false, records), kCannotOpenFile);
  EXPECT_TRUE(records.empty());
  test::TempDir dir;
  const std::string file = dir.File("plain.png");
  std::ofstream(file) << "x";
  records.resize(1);
  EXPECT_EQ(ListImageFiles(file, true, records), kCannotOpenFile);
  EXPECT_TRUE(records.empty());
}

}  // namespace
}  // namespace orvane
