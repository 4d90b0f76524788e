#include "convert/batch/bmp_batch.h"

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "batch_test_support.h"
#include "convert/batch/batch_messages.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test_support::FilesBelow;
using test_support::ItemOf;

class BmpBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.IsValid());
    fs::create_directories(Out());
    m_settings.targetDir = In().string() + "/";
    m_settings.saveDir = Out().string();
    m_settings.report = &m_report;
    m_settings.workers = 2;
  }

  fs::path In() const { return m_dir.Path() / "in"; }
  fs::path Out() const { return m_dir.Path() / "out"; }

  test_support::ScopedTempDir m_dir;
  std::ostringstream m_report;
  BatchSettings m_settings;
};

TEST_F(BmpBatch, WritesEveryPqzFileAndListsTheJpegByName) {
  test_support::WritePqz(In() / "a.pqz", 1);
  test_support::WritePicture(In() / "b.jpg", 2);
  test_support::WritePqz(In() / "C.PQZ", 3);
  test_support::WritePqz(In() / "sub" / "d.pqz", 4);
  const std::vector<BatchItem> items = {ItemOf(In() / "a.pqz"), ItemOf(In() / "b.jpg"),
                                        ItemOf(In() / "C.PQZ"), ItemOf(In() / "sub" / "d.pqz")};
  std::size_t lastConverted = 0;
  m_settings.progress = [&](const BatchProgress& p) { lastConverted = p.converted; };
  const BatchResult result = ConvertToBmp(items, m_settings);
  EXPECT_EQ(result.converted, 3u);
  EXPECT_EQ(lastConverted, 3u);
  EXPECT_EQ(BmpBatchMessage(result), "Failed conversion of these files!\nb.jpg\n");
  EXPECT_EQ(FilesBelow(Out()), (std::vector<std::string>{"a.bmp", "c.bmp", "sub/d.bmp"}));
  CImageEx written;
  ASSERT_TRUE(LoadImageFile(written, (Out() / "a.bmp").string()));
  EXPECT_EQ(written.GetWidth(), 48);
  EXPECT_EQ(written.GetHeight(), 40);
}

TEST_F(BmpBatch, ListsAFileWhoseBitmapCannotBeWritten) {
  test_support::WritePqz(In() / "a.pqz", 1);
  // A directory where the bitmap should go makes the save fail.
  fs::create_directories(Out() / "a.bmp");
  const BatchResult result = ConvertToBmp({ItemOf(In() / "a.pqz")}, m_settings);
  EXPECT_EQ(result.converted, 0u);
  EXPECT_EQ(BmpBatchMessage(result), "Failed conversion of these files!\na.pqz\n");
}

TEST_F(BmpBatch, EmptyListFinishesAtOnce) {
  const BatchResult result = ConvertToBmp({}, m_settings);
  EXPECT_EQ(BmpBatchMessage(result), "Finished converting to BMP images!");
}

}  // namespace
}  // namespace orvane
