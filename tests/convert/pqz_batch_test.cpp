#include "convert/batch/pqz_batch.h"

#include <atomic>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "batch_test_support.h"
#include "convert/batch/batch_messages.h"
#include "pqz/pqz_header.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test_support::FilesBelow;
using test_support::ItemOf;
using test_support::ScopedTempDir;

// Small parameters keep the encodings quick; the method rule then sets MaxIterations.
constexpr const char* kSmallConfig =
    "[Common]\nColorSpace=RGB\nPatchWidth=8\nPatchHeight=8\n"
    "[Learning]\nConversionCondition=0.0001\nDimensionReduction=24\nMaxIterations=%d\n"
    "[Compression]\nCoeffQuantizeStep=1\nDoChangeStep=0\nMaxZeroRun=16\nPrecisionBit=16\n"
    "BasePrecisionBit=7\n";

class PqzBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.IsValid());
    fs::create_directories(In());
    fs::create_directories(Out());
    WriteConfig(0);
    m_settings.batch.targetDir = In().string();
    m_settings.batch.saveDir = Out().string() + "/";
    m_settings.batch.report = &m_report;
    m_settings.method = "PCA";
  }

  void WriteConfig(int maxIterations) {
    char text[512];
    std::snprintf(text, sizeof text, kSmallConfig, maxIterations);
    m_settings.configPath = m_dir.WriteFile("config.ini", text);
  }

  fs::path In() const { return m_dir.Path() / "in"; }
  fs::path Out() const { return m_dir.Path() / "out"; }

  std::uint16_t FlagOf(const fs::path& path) {
    std::uint16_t flag = 99;
    EXPECT_EQ(ProbePqzFile(path.string(), &flag), kSuccess) << path;
    return flag;
  }

  ScopedTempDir m_dir;
  std::ostringstream m_report;
  PqzBatchSettings m_settings;
};

TEST_F(PqzBatch, MethodOverridesTheConfiguredIterations) {
  struct Case {
    int configured;
    const char* method;
    std::uint32_t expected;
  };
  for (const Case c : {Case{50, "PCA", 0}, Case{0, "ICA", 100}, Case{50, "ICA", 50},
                       Case{50, "Other", 50}, Case{0, "Other", 0}}) {
    WriteConfig(c.configured);
    EXPECT_EQ(LoadBatchParameters(m_settings.configPath, c.method).Learning.MaxIterations,
              c.expected)
        << c.method << " " << c.configured;
  }
}

TEST_F(PqzBatch, PcaRunsNoIterationAndIcaDoes) {
  test_support::WritePicture(In() / "a.png", 1);
  WriteConfig(50);
  m_settings.method = "PCA";
  BatchResult pca = ConvertToPqz({ItemOf(In() / "a.png")}, m_settings);
  ASSERT_EQ(pca.converted, 1u);
  EXPECT_EQ(FlagOf(Out() / "a.pqz"), 0);

  WriteConfig(0);
  m_settings.method = "ICA";
  BatchResult ica = ConvertToPqz({ItemOf(In() / "a.png")}, m_settings);
  ASSERT_EQ(ica.converted, 1u);
  EXPECT_EQ(FlagOf(Out() / "a.pqz"), 1);
}

TEST_F(PqzBatch, MirrorsSubFoldersInsteadOfOverwriting) {
  test_support::WritePicture(In() / "a.bmp", 1);
  test_support::WritePicture(In() / "sub" / "a.png", 2);
  m_settings.batch.workers = 2;
  const BatchResult result =
      ConvertToPqz({ItemOf(In() / "a.bmp"), ItemOf(In() / "sub" / "a.png")}, m_settings);
  EXPECT_EQ(result.converted, 2u);
  EXPECT_TRUE(result.failures.empty());
  EXPECT_EQ(FilesBelow(Out()), (std::vector<std::string>{"a.pqz", "sub/a.pqz"}));
  EXPECT_EQ(PqzBatchMessage(result), "finished conversion to PQZ images!");
}

TEST_F(PqzBatch, ListsEveryPqzFileAsFailedAndWritesNothing) {
  test_support::WritePqz(In() / "x.pqz", 1);
  test_support::WritePqz(In() / "sub" / "y.pqz", 2);
  m_settings.batch.workers = 2;
  const BatchResult result =
      ConvertToPqz({ItemOf(In() / "x.pqz"), ItemOf(In() / "sub" / "y.pqz")}, m_settings);
  EXPECT_EQ(result.converted, 0u);
  EXPECT_FALSE(result.canceled);
  const std::string out = m_settings.batch.saveDir;
  EXPECT_EQ(PqzBatchMessage(result),
            "Failed conversion of these images!\n" + out + "x.pqz\n" + out + "sub/y.pqz\n");
  EXPECT_TRUE(FilesBelow(Out()).empty());
  EXPECT_FALSE(fs::exists(Out() / "sub"));
}

TEST_F(PqzBatch, KeepsTheFirstOfTwoFilesWithOneOutputAndListsTheOther) {
  test_support::WritePicture(In() / "a.bmp", 1);
  test_support::WritePicture(In() / "a.png", 2);
  test_support::WritePicture(In() / "b.png", 3);
  const BatchResult result = ConvertToPqz(
      {ItemOf(In() / "a.bmp"), ItemOf(In() / "a.png"), ItemOf(In() / "b.png")}, m_settings);
  EXPECT_EQ(result.converted, 2u);
  EXPECT_EQ(result.failures, (std::vector<std::string>{m_settings.batch.saveDir + "a.pqz"}));
  EXPECT_EQ(FilesBelow(Out()), (std::vector<std::string>{"a.pqz", "b.pqz"}));
}

TEST_F(PqzBatch, CancelKeepsFinishedFilesAndBeginsNoOther) {
  for (int i = 0; i < 4; ++i)
    test_support::WritePicture(In() / test_support::NumberedName("p", i, ".png"), i);
  std::vector<BatchItem> items;
  for (int i = 0; i < 4; ++i)
    items.push_back(ItemOf(In() / test_support::NumberedName("p", i, ".png")));
  std::atomic<bool> stop{false};
  std::vector<BatchProgress> seen;
  m_settings.batch.workers = 1;
  m_settings.batch.cancel = [&] { return stop.load(); };
  m_settings.batch.progress = [&](const BatchProgress& p) {
    seen.push_back(p);
    if (p.finished == 1) stop = true;
  };
  const BatchResult result = ConvertToPqz(items, m_settings);
  EXPECT_TRUE(result.canceled);
  EXPECT_EQ(result.converted, 1u);
  EXPECT_TRUE(result.failures.empty());
  EXPECT_EQ(PqzBatchMessage(result), "");
  // Only the complete first file: no partial output, no temporary file.
  EXPECT_EQ(FilesBelow(Out()), (std::vector<std::string>{"p0.pqz"}));
  CImageEx decoded;
  PqzCodec codec;
  testing::internal::CaptureStdout();
  EXPECT_EQ(codec.Decode(decoded, (Out() / "p0.pqz").string()), kSuccess);
  testing::internal::GetCapturedStdout();
  // Progress: the start and the end of the one file, counted over all four.
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].started, 1u);
  EXPECT_EQ(seen[0].current, "p0.png");
  EXPECT_EQ(seen[1].finished, 1u);
  EXPECT_EQ(seen[1].total, 4u);
}

}  // namespace
}  // namespace orvane
