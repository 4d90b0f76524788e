// The thumbnail rule: sizes with the aspect kept, PQZ files through the preview whatever their
// name, JPEG files turned upright, and the result codes of unreadable and hostile files; then
// pqz thumbnail as the file managers run it.
#include "imaging/thumbnail/file_thumbnail.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "codec_test_files.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

using codec_test::Entries;
using codec_test::FileContents;
using codec_test::WriteAll;
using codec_test::WriteContents;
using codec_test::ZeroContents;
using test_support::ScopedTempDir;

struct FitCase {
  int width, height, side, expectedWidth, expectedHeight;
};

TEST(FitThumbnailSize, KeepsTheAspectAndNeverEnlarges) {
  const FitCase cases[] = {
      {1000, 500, 128, 128, 64}, {500, 1000, 128, 64, 128}, {4000, 3000, 128, 128, 96},
      {100, 50, 128, 100, 50},   {128, 128, 128, 128, 128}, {5000, 3, 128, 128, 1},
      {300, 200, 1, 1, 1},       {0, 50, 128, 0, 0},        {50, 50, 0, 0, 0},
  };
  for (const FitCase& c : cases) {
    const QSize size = FitThumbnailSize(c.width, c.height, c.side);
    EXPECT_EQ(size.isEmpty() ? QSize(0, 0) : size, QSize(c.expectedWidth, c.expectedHeight))
        << c.width << "x" << c.height << " in " << c.side;
  }
}

// An 800 x 400 PQZ file of 8 x 8 patches, dark on the left half, bright on the right: its
// preview is 100 x 50 pixels, smaller than the box, and must still give a 128 x 64 thumbnail.
FileContents HalfBrightPicture() {
  FileContents c = ZeroContents(800, 400, 8, 8, 1, 0);
  const std::uint32_t columns = 100;
  for (std::uint32_t k = 0; k < c.means.Columns(); ++k) {
    const double level = k % columns < columns / 2 ? 20 : 220;
    for (std::uint32_t channel = 0; channel < 3; ++channel) c.means(channel, k) = level;
  }
  return c;
}

// The bytes of a PNG file whose header claims `width` x `height` pixels and holds no data:
// the signature, an IHDR chunk with its CRC, a stub IDAT and IEND.
std::vector<std::uint8_t> ForgedPngHeader(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto be32 = [&bytes](std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back((v >> shift) & 0xFF);
  };
  const auto chunk = [&](const char* type, const std::vector<std::uint8_t>& data) {
    be32(static_cast<std::uint32_t>(data.size()));
    const std::size_t start = bytes.size();
    bytes.insert(bytes.end(), type, type + 4);
    bytes.insert(bytes.end(), data.begin(), data.end());
    be32(static_cast<std::uint32_t>(
        crc32(0, bytes.data() + start, static_cast<uInt>(bytes.size() - start))));
  };
  std::vector<std::uint8_t> ihdr;
  for (std::uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) ihdr.push_back((v >> shift) & 0xFF);
  }
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  chunk("IHDR", ihdr);
  chunk("IDAT", {0x78, 0x9C, 0x03, 0x00});
  chunk("IEND", {});
  return bytes;
}

class FileThumbnailTest : public testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (m_dir.Path() / name).string(); }

  // A JPEG file of a width x height picture, red on its top half and blue below, with the
  // EXIF orientation `turn`.
  std::string WriteJpeg(const std::string& name, int width, int height,
                        QImageIOHandler::Transformations turn) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    for (int y = 0; y < height / 2; ++y) {
      for (int x = 0; x < width; ++x) picture.setPixel(x, y, qRgb(255, 0, 0));
    }
    const std::string path = PathOf(name);
    QImageWriter writer(QString::fromStdString(path), "jpeg");
    writer.setTransformation(turn);
    EXPECT_TRUE(writer.write(picture)) << writer.errorString().toStdString();
    return path;
  }

  ScopedTempDir m_dir;
};

TEST_F(FileThumbnailTest, DrawsAPqzPreviewAtTheEncodedPicturesAspectUnderAnyName) {
  const FileContents contents = HalfBrightPicture();
  for (const char* name : {"half.pqz", "half.PQZ", "half-without-extension", "half.jpg"}) {
    const std::string path = PathOf(name);
    ASSERT_TRUE(WriteContents(path, contents));
    QImage thumbnail;
    testing::internal::CaptureStdout();
    const ResultCode rc = MakeFileThumbnail(path, 128, thumbnail);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "made quietly";
    ASSERT_EQ(rc, kSuccess) << name;
    EXPECT_EQ(thumbnail.size(), QSize(128, 64)) << name;
    EXPECT_LT(qGray(thumbnail.pixel(8, 32)), 40) << name;
    EXPECT_GT(qGray(thumbnail.pixel(120, 32)), 200) << name;
  }
}

TEST_F(FileThumbnailTest, StopsAPqzDecodeWhenCancelled) {
  for (const char* name : {"half.pqz", "half"}) {
    const std::string path = PathOf(name);
    ASSERT_TRUE(WriteContents(path, HalfBrightPicture()));
    QImage thumbnail;
    EXPECT_EQ(MakeFileThumbnail(path, 128, thumbnail, [] { return true; }), kCanceled) << name;
    EXPECT_TRUE(thumbnail.isNull());
  }
}

TEST_F(FileThumbnailTest, DecodesAJpegAtItsScaledSizeTurnedUpright) {
  // Stored 400 x 200 with the "turn 90 degrees clockwise" orientation: shown 200 x 400, the
  // red half on the right.
  const std::string turned =
      WriteJpeg("turned.jpg", 400, 200, QImageIOHandler::TransformationRotate90);
  QImage thumbnail;
  ASSERT_EQ(MakeFileThumbnail(turned, 100, thumbnail), kSuccess);
  EXPECT_EQ(thumbnail.size(), QSize(50, 100));
  EXPECT_GT(qRed(thumbnail.pixel(45, 50)), 200);
  EXPECT_GT(qBlue(thumbnail.pixel(5, 50)), 200);

  // The name does not decide: a JPEG file named .png is still decoded scaled.
  const std::string upright =
      WriteJpeg("upright.png", 300, 200, QImageIOHandler::TransformationNone);
  ASSERT_EQ(MakeFileThumbnail(upright, 128, thumbnail), kSuccess);
  EXPECT_EQ(thumbnail.size(), QSize(128, 85));
}

TEST_F(FileThumbnailTest, ScalesOtherFormatsAndKeepsSmallPicturesAsTheyAre) {
  QImage picture(90, 300, QImage::Format_ARGB32);
  picture.fill(QColor(0, 200, 0, 128));
  const std::string png = PathOf("tall.png");
  ASSERT_TRUE(picture.save(QString::fromStdString(png), "png"));
  QImage thumbnail;
  ASSERT_EQ(MakeFileThumbnail(png, 128, thumbnail), kSuccess);
  EXPECT_EQ(thumbnail.size(), QSize(38, 128));
  EXPECT_TRUE(thumbnail.hasAlphaChannel());
  ASSERT_EQ(MakeFileThumbnail(png, 512, thumbnail), kSuccess);
  EXPECT_EQ(thumbnail.size(), QSize(90, 300));
}

TEST_F(FileThumbnailTest, RefusesUnreadableAndHostileFilesWithTheirCodes) {
  const std::string text = PathOf("notes.png");
  WriteAll(text, {'h', 'e', 'l', 'l', 'o'});
  const std::string badPqz = PathOf("bad.pqz");
  WriteAll(badPqz, {'P', 'Q', 0, 0});
  const std::string truncatedPqz = PathOf("truncated.pqz");
  ASSERT_TRUE(WriteContents(truncatedPqz, HalfBrightPicture()));
  std::filesystem::resize_file(truncatedPqz, 60);
  FileContents huge = ZeroContents(8, 8, 8, 8, 1, 0);
  const std::string hugePqz = PathOf("huge.pqz");
  ASSERT_TRUE(WriteContents(hugePqz, huge));
  {
    // Claim 20000 x 20000 pixels (400 megapixels, a size the header rules admit) in the
    // header of a valid small file.
    std::vector<std::uint8_t> bytes = codec_test::ReadAll(hugePqz);
    for (int field : {8, 12}) {
      bytes[field] = 0x20;
      bytes[field + 1] = 0x4E;
      bytes[field + 2] = 0;
      bytes[field + 3] = 0;
    }
    WriteAll(hugePqz, bytes);
  }
  const std::string hugePng = PathOf("huge.png");
  WriteAll(hugePng, ForgedPngHeader(30000, 30000));

  struct Case {
    std::string path;
    int side;
    ResultCode expected;
  } const cases[] = {
      {PathOf("missing.png"), 128, kCannotOpenFile},
      {text, 128, kInvalidFileType},
      {badPqz, 128, kInvalidFileType},
      {truncatedPqz, 128, kReadFailed},
      {hugePqz, 128, kNoMemory},
      {hugePng, 128, kNoMemory},
      {text, 0, kInvalidArguments},
      {text, kMaxThumbnailSide + 1, kInvalidArguments},
  };
  for (const Case& c : cases) {
    QImage thumbnail(3, 3, QImage::Format_RGB32);
    testing::internal::CaptureStdout();
    const ResultCode rc = MakeFileThumbnail(c.path, c.side, thumbnail);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, c.expected) << c.path;
    EXPECT_EQ(thumbnail.size(), QSize(3, 3)) << "left alone on failure: " << c.path;
  }
}

TEST_F(FileThumbnailTest, GivenLimitsWeighThePictureAndThePreview) {
  const std::string pqz = PathOf("half.pqz");
  ASSERT_TRUE(WriteContents(pqz, HalfBrightPicture()));
  QImage picture(90, 300, QImage::Format_RGB32);
  picture.fill(Qt::green);
  const std::string png = PathOf("tall.png");
  ASSERT_TRUE(picture.save(QString::fromStdString(png), "png"));

  // 800 x 400 and 90 x 300 pixels are beyond a limit of 20000 before anything is decoded.
  DecodeLimits small;
  small.MaxPixels = 20000;
  // The picture's size passes; its 100 x 50 preview is more than the free pixels, and the
  // file's bytes earn none.
  DecodeLimits fewPreviewPixels;
  fewPreviewPixels.FreePixels = 1000;
  fewPreviewPixels.PixelsPerFileByte = 0;
  for (const std::string& path : {pqz, png}) {
    QImage thumbnail;
    EXPECT_EQ(MakeFileThumbnail(path, 128, thumbnail), kSuccess) << path;
    EXPECT_EQ(MakeFileThumbnail(path, 128, thumbnail, {}, small), kNoMemory) << path;
  }
  QImage thumbnail;
  EXPECT_EQ(MakeFileThumbnail(pqz, 128, thumbnail, {}, fewPreviewPixels), kNoMemory);
  EXPECT_EQ(MakeFileThumbnail(png, 128, thumbnail, {}, fewPreviewPixels), kSuccess);
}

#ifdef ORVANE_PQZ_TOOL
int RunPqz(const QStringList& args) {
  QProcess process;
  process.start(QString::fromUtf8(ORVANE_PQZ_TOOL), args);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return -1;
  return process.exitCode();
}

TEST_F(FileThumbnailTest, ToolWritesOnlyTheThumbnailAndNothingOnFailure) {
  const QString in = QString::fromStdString(PathOf("in"));
  ASSERT_TRUE(WriteContents(in.toStdString(), HalfBrightPicture()));
  // A file manager's output name need not end in .png.
  const QString out = QString::fromStdString(PathOf("out.tmp"));
  ASSERT_EQ(RunPqz({"thumbnail", "-s", "64", in, out}), 0);
  QImage written;
  ASSERT_TRUE(written.load(out, "png"));
  EXPECT_EQ(written.size(), QSize(64, 32));
  ASSERT_EQ(RunPqz({"thumbnail", in, out}), 0);
  ASSERT_TRUE(written.load(out, "png"));
  EXPECT_EQ(written.size(), QSize(128, 64));
  EXPECT_EQ(Entries(m_dir.Path()).size(), 2u) << "only IN and OUT";

  const QString bad = QString::fromStdString(PathOf("bad.pqz"));
  WriteAll(bad.toStdString(), {'P', 'Q', 1});
  const QString failed = QString::fromStdString(PathOf("failed.png"));
  EXPECT_EQ(RunPqz({"thumbnail", bad, failed}), kInvalidFileType);
  EXPECT_EQ(RunPqz({"thumbnail", "-s", "0", in, failed}), kInvalidArguments);
  EXPECT_EQ(RunPqz({"thumbnail", "-s", "12x", in, failed}), kInvalidArguments);
  EXPECT_EQ(RunPqz({"thumbnail", in}), kInvalidArguments);
  EXPECT_EQ(RunPqz({"thumbnail", in, QString::fromStdString(PathOf("no-such-dir/t.png"))}),
            kWriteFailed);
  EXPECT_EQ(Entries(m_dir.Path()).size(), 3u) << "IN, OUT and bad.pqz only";
}
#endif

}  // namespace
}  // namespace orvane
