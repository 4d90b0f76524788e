// pqz convert run as a process: shards that together make one unsharded run, the failure
// list and exit status, PQZ files back to bitmaps, and the refused command lines.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "scoped_temp_dir.h"

#ifndef ORVANE_PQZ_TOOL
#error "ORVANE_PQZ_TOOL must name the pqz executable"
#endif

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test_support::ScopedTempDir;

struct ToolRun {
  int exitCode = -1;
  std::string err;
};

ToolRun Pqz(QStringList args) {
  args.prepend(QStringLiteral("convert"));
  QProcess process;
  process.start(QString::fromUtf8(ORVANE_PQZ_TOOL), args);
  ToolRun r;
  if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) return r;
  r.exitCode = process.exitCode();
  r.err = process.readAllStandardError().toStdString();
  return r;
}

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every regular file below `root` by its relative path, with its contents.
std::map<std::string, std::string> FilesBelow(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = ReadBytes(e.path());
  }
  return files;
}

const fs::path kPhoto = fs::path(ORVANE_TEST_DATA_DIR) / "photos/chelsea.png";

class ConvertToolTest : public testing::Test {
 protected:
  // Five photos, two of them in sub-folders.
  fs::path PhotoFolder() {
    const fs::path src = m_dir.Path() / "src";
    for (const char* name : {"a.png", "b.png", "sub/c.png", "sub/deeper/d.png", "e.png"}) {
      fs::create_directories((src / name).parent_path());
      fs::copy_file(kPhoto, src / name);
    }
    return src;
  }

  ScopedTempDir m_dir;
};

TEST_F(ConvertToolTest, ShardsTogetherWriteExactlyTheFilesOfOneUnshardedRun) {
  const fs::path src = PhotoFolder();
  const fs::path whole = m_dir.Path() / "whole";
  const ToolRun all = Pqz({Q(src), Q(whole), "--recursive", "--jobs", "2"});
  ASSERT_EQ(all.exitCode, 0) << all.err;
  const std::map<std::string, std::string> expected = FilesBelow(whole);
  ASSERT_EQ(expected.size(), 5u);
  EXPECT_EQ(expected.count("sub/deeper/d.pqz"), 1u);

  // Three shards into one destination; each writes files no other shard writes.
  const fs::path sharded = m_dir.Path() / "sharded";
  std::size_t written = 0;
  for (const char* shard : {"0/3", "1/3", "2/3"}) {
    const fs::path own = m_dir.Path() / (std::string("own") + shard[0]);
    const ToolRun r = Pqz({Q(src), Q(own), "--recursive", "--shard", shard, "--jobs", "1"});
    ASSERT_EQ(r.exitCode, 0) << shard << r.err;
    written += FilesBelow(own).size();
    ASSERT_EQ(Pqz({Q(src), Q(sharded), "--recursive", "--shard", shard}).exitCode, 0);
  }
  EXPECT_EQ(written, expected.size());
  EXPECT_EQ(FilesBelow(sharded), expected);
}

TEST_F(ConvertToolTest, AFailingFileIsListedOnStandardErrorWithANonZeroExit) {
  const fs::path src = PhotoFolder();
  std::ofstream(src / "sub/broken.jpg") << "not a picture";
  const fs::path out = m_dir.Path() / "out";
  const ToolRun r = Pqz({Q(src), Q(out), "--recursive"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("Failed conversion of these images!\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find((out / "sub/broken.pqz").string()), std::string::npos) << r.err;
  // The other files are complete; the failed one is absent.
  EXPECT_EQ(FilesBelow(out).size(), 5u);
  EXPECT_FALSE(fs::exists(out / "sub/broken.pqz"));
}

TEST_F(ConvertToolTest, PqzFilesConvertToBitmapsWithTheirSubFolders) {
  const fs::path pqz = m_dir.Path() / "pqz";
  ASSERT_EQ(Pqz({Q(PhotoFolder()), Q(pqz), "--recursive", "--method", "ica"}).exitCode, 0);
  const fs::path bmp = m_dir.Path() / "bmp";
  const ToolRun r = Pqz({Q(pqz), Q(bmp), "--recursive", "--to", "bmp"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::map<std::string, std::string> files = FilesBelow(bmp);
  ASSERT_EQ(files.size(), 5u);
  CImageEx image;
  ASSERT_TRUE(LoadImageFile(image, (bmp / "sub/deeper/d.bmp").string()));
  CImageEx photo;
  ASSERT_TRUE(LoadImageFile(photo, kPhoto.string()));
  EXPECT_EQ(image.GetWidth(), photo.GetWidth());
  EXPECT_EQ(image.GetHeight(), photo.GetHeight());
}

TEST_F(ConvertToolTest, RefusedCommandLinesWriteNothing) {
  const fs::path src = PhotoFolder();
  const fs::path out = m_dir.Path() / "out";
  struct Case {
    QStringList extra;
    int exitCode;
  };
  const Case cases[] = {
      {{"--shard", "3/3"}, 18},  {{"--shard", "1"}, 18},
      {{"--shard", "-1/2"}, 18}, {{"--shard", "0/0"}, 18},
      {{"--shard", "a/2"}, 18},  {{"--jobs", "0"}, 18},
      {{"--to", "gif"}, 18},     {{"--method", "svd"}, 18},
      {{"--config", Q(src)}, 8}, {{"--config", Q(m_dir.Path() / "missing.ini")}, 8},
  };
  for (const Case& c : cases) {
    QStringList args{Q(src), Q(out)};
    args += c.extra;
    const ToolRun r = Pqz(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.extra.join(' ').toStdString() << r.err;
    EXPECT_FALSE(r.err.empty());
  }
  EXPECT_TRUE(FilesBelow(out).empty());
  EXPECT_EQ(Pqz({Q(m_dir.Path() / "nowhere"), Q(out)}).exitCode, 8);
}

}  // namespace
}  // namespace orvane
