// Loading by file name: the type codes LoadFile gives, when a PQZ file is represented by its
// preview and when it is decoded in full, and what a failed load leaves.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec_test_files.h"
#include "imaging/image_ex.h"
#include "imaging/loading/load_file.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

using codec_test::FileContents;
using codec_test::ReadAll;
using codec_test::WriteAll;
using codec_test::WriteContents;
using codec_test::ZeroContents;
using test_support::ScopedTempDir;

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r | (g << 8) | (b << 16);
}

// Means that tell the patches apart in every colour space: a grey level per patch (grey
// triples mean the same in RGB, in YCC with neutral chroma and in HSV with saturation 0).
FileContents GreyPatches(int width, int height, int patchSide, std::uint16_t colorSpace,
                         std::uint16_t iterationFlag = 0) {
  FileContents c = ZeroContents(width, height, patchSide, patchSide, 1, colorSpace);
  c.header.IterationFlag = iterationFlag;
  for (std::uint32_t k = 0; k < c.means.Columns(); ++k) {
    const double level = 20 + k % 200;
    c.means(0, k) = colorSpace == kColorSpaceHsv ? 0 : level;
    c.means(1, k) = colorSpace == kColorSpaceYcc ? 128 : colorSpace == kColorSpaceHsv ? 0 : level;
    c.means(2, k) = colorSpace == kColorSpaceYcc ? 128 : level;
  }
  return c;
}

std::uint32_t GreyOfPatch(std::uint32_t k) {
  const std::uint32_t level = 20 + k % 200;
  return Rgb(level, level, level);
}

// LoadFile reports the decoder's timing lines to the context's sink; keep them out of the
// test log. 1 for a loaded file, 0 for a failed one; the type given must be the image's.
int LoadQuietly(CImageEx& image, const std::string& path, LoadMode mode) {
  std::ostringstream report;
  LoadContext context;
  context.Report = &report;
  testing::internal::CaptureStdout();
  const LoadResult result = LoadFile(image, path, mode, context);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(result.ImageType, image.m_nImageType);
  return result.Loaded() ? 1 : 0;
}

class CodecLoadFileTest : public testing::Test {
 protected:
  std::string Write(const std::string& name, const FileContents& contents) {
    const std::string path = (m_dir.Path() / name).string();
    EXPECT_TRUE(WriteContents(path, contents)) << name;
    return path;
  }
  std::string PathOf(const std::string& name) const { return (m_dir.Path() / name).string(); }
  ScopedTempDir m_dir;
};

// Preview sizes of a 1024 x 768 file: one pixel per patch when the patch grid is larger than
// 67 on a side, else the full decode. YCC files preview like the others.
struct PreviewCase {
  const char* name;
  std::uint16_t colorSpace;
  int patchSide;
  int width, height;  // of the loaded image
};

class CodecPreviewSizeTest : public CodecLoadFileTest,
                             public testing::WithParamInterface<PreviewCase> {};

TEST_P(CodecPreviewSizeTest, PreviewModeGivesThePatchGridOrTheFullDecode) {
  const PreviewCase& c = GetParam();
  const std::string path = Write("big.pqz", GreyPatches(1024, 768, c.patchSide, c.colorSpace));
  CImageEx image;
  ASSERT_EQ(LoadQuietly(image, path, LoadMode::kPreview), 1);
  EXPECT_EQ(image.GetWidth(), c.width);
  EXPECT_EQ(image.GetHeight(), c.height);
  EXPECT_EQ(image.GetBPP(), 24);
  EXPECT_EQ(image.m_nImageType, 0);
  // Patch 1 is the second pixel of a preview and starts at x = patch side in a full image.
  const int x = c.width == 1024 ? c.patchSide : 1;
  EXPECT_EQ(image.GetPixel(x, 0), GreyOfPatch(1));
  EXPECT_EQ(image.GetPixel(0, 0), GreyOfPatch(0));
}

INSTANTIATE_TEST_SUITE_P(Cases, CodecPreviewSizeTest,
                         testing::Values(PreviewCase{"Rgb8", kColorSpaceRgb, 8, 128, 96},
                                         PreviewCase{"Hsv8", kColorSpaceHsv, 8, 128, 96},
                                         PreviewCase{"Ycc8", kColorSpaceYcc, 8, 128, 96},
                                         PreviewCase{"Rgb16", kColorSpaceRgb, 16, 1024, 768},
                                         PreviewCase{"Hsv16", kColorSpaceHsv, 16, 1024, 768},
                                         PreviewCase{"Ycc16", kColorSpaceYcc, 16, 1024, 768}),
                         [](const auto& info) { return std::string(info.param.name); });

// The threshold: a grid of 67 x 67 patches is decoded in full, one of 68 x 1 is kept.
TEST_F(CodecLoadFileTest, PreviewOf67PatchesOnEachSideIsReplacedButOneOf68IsKept) {
  CImageEx image;
  const std::string small = Write("67.pqz", GreyPatches(67 * 4, 67 * 4, 4, kColorSpaceRgb));
  ASSERT_EQ(LoadQuietly(image, small, LoadMode::kPreview), 1);
  EXPECT_EQ(image.GetWidth(), 268);
  EXPECT_EQ(image.GetHeight(), 268);
  const std::string wide = Write("68.pqz", GreyPatches(68 * 4, 4, 4, kColorSpaceRgb));
  ASSERT_EQ(LoadQuietly(image, wide, LoadMode::kPreview), 1);
  EXPECT_EQ(image.GetWidth(), 68);
  EXPECT_EQ(image.GetHeight(), 1);
}

TEST_F(CodecLoadFileTest, FullModeAlwaysDecodesInFull) {
  const std::string path = Write("big.pqz", GreyPatches(1024, 768, 8, kColorSpaceRgb));
  CImageEx image;
  ASSERT_EQ(LoadQuietly(image, path, LoadMode::kFull), 1);
  EXPECT_EQ(image.GetWidth(), 1024);
  EXPECT_EQ(image.GetHeight(), 768);
}

// The type code of a PQZ image is its header's iteration flag, in either mode.
TEST_F(CodecLoadFileTest, PqzTypeCodeIsTheIterationFlag) {
  for (const std::uint16_t flag : {0, 1}) {
    for (const LoadMode mode : {LoadMode::kFull, LoadMode::kPreview}) {
      for (const int side : {16, 1024}) {
        const std::string path = Write("flag.pqz", GreyPatches(side, side, 8, 0, flag));
        CImageEx image;
        EXPECT_EQ(LoadQuietly(image, path, mode), 1);
        EXPECT_FALSE(image.IsNull());
        EXPECT_EQ(image.m_nImageType, flag) << "side " << side;
      }
    }
  }
}

TEST_F(CodecLoadFileTest, OrdinaryFileGetsType326) {
  CImageEx image;
  const std::string photo = std::string(ORVANE_TEST_DATA_DIR) + "/photos/chelsea.png";
  for (const LoadMode mode : {LoadMode::kFull, LoadMode::kPreview}) {
    EXPECT_EQ(LoadQuietly(image, photo, mode), 1);
    EXPECT_EQ(image.GetWidth(), 192);
    EXPECT_EQ(image.m_nImageType, TYPE_ORDINARY_IMAGE);
  }
}

// An unreadable ordinary file still counts as loaded, with an empty image; the image held
// before is let go of in every case.
TEST_F(CodecLoadFileTest, TextFileNamedPngReturns1WithAnEmptyImageOfType326) {
  const std::string path = PathOf("notes.png");
  const std::string text = "this is not a picture\n";
  ASSERT_TRUE(WriteAll(path, std::vector<std::uint8_t>(text.begin(), text.end())));
  CImageEx image;
  ASSERT_TRUE(image.Create(5, 5, 24));
  image.m_nImageType = 0;
  EXPECT_EQ(LoadQuietly(image, path, LoadMode::kFull), 1);
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.m_nImageType, TYPE_ORDINARY_IMAGE);
}

// PQZ files that fail to decode: missing, wrong magic, cut in the coefficients, unknown colour
// space. In preview mode a file whose preview fails is not decoded again in full.
struct BrokenCase {
  const char* name;
  int cutFromEnd;  // bytes removed from the end; 0: none
  bool wrongMagic;
  std::uint16_t colorSpace;
  bool missing;
  ResultCode code;  // the same in both modes
};

class CodecBrokenPqzTest : public CodecLoadFileTest,
                           public testing::WithParamInterface<BrokenCase> {};

TEST_P(CodecBrokenPqzTest, FailedPqzLoadReturns0WithAnEmptyImageOfType326) {
  const BrokenCase& c = GetParam();
  std::string path = PathOf("broken.pqz");
  if (!c.missing) {
    std::vector<std::uint8_t> bytes =
        ReadAll(Write("good.pqz", GreyPatches(40, 30, 8, c.colorSpace, 1)));
    bytes.resize(bytes.size() - static_cast<std::size_t>(c.cutFromEnd));
    if (c.wrongMagic) bytes[1] = 'X';
    ASSERT_TRUE(WriteAll(path, bytes));
  }
  for (const LoadMode mode : {LoadMode::kFull, LoadMode::kPreview}) {
    CImageEx image;
    ASSERT_TRUE(image.Create(3, 3, 24));
    image.m_nImageType = 1;
    std::ostringstream report;
    LoadContext context;
    context.Report = &report;
    const LoadResult result = LoadFile(image, path, mode, context);
    EXPECT_EQ(result.Code, c.code);
    EXPECT_EQ(result.ImageType, TYPE_ORDINARY_IMAGE);
    EXPECT_TRUE(image.IsNull());
    EXPECT_EQ(image.m_nImageType, TYPE_ORDINARY_IMAGE);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, CodecBrokenPqzTest,
    testing::Values(BrokenCase{"Missing", 0, false, 0, true, kCannotOpenFile},
                    BrokenCase{"WrongMagic", 0, true, 0, false, kInvalidFileType},
                    BrokenCase{"CutInCoefficients", 3, false, 0, false, kReadFailed},
                    BrokenCase{"ColourSpace3", 0, false, 3, false, kUnsupportedColorSpace}),
    [](const auto& info) { return std::string(info.param.name); });

// A large file whose coefficients are damaged still gives its preview (only the means are
// read for it) but fails in full.
TEST_F(CodecLoadFileTest, LargeFileWithDamagedCoefficientsPreviewsButFailsInFull) {
  std::vector<std::uint8_t> bytes =
      ReadAll(Write("good.pqz", GreyPatches(1024, 768, 8, kColorSpaceRgb)));
  // An unknown Coding in the coefficient section: the sections still lie where the header
  // says, so the file opens, but the coefficients cannot be read.
  const std::size_t coeffOffset = bytes[40] | bytes[41] << 8 | bytes[42] << 16;
  bytes[coeffOffset] = 2;
  const std::string path = PathOf("cut.pqz");
  ASSERT_TRUE(WriteAll(path, bytes));
  CImageEx image;
  EXPECT_EQ(LoadQuietly(image, path, LoadMode::kPreview), 1);
  EXPECT_EQ(image.GetWidth(), 128);
  EXPECT_EQ(LoadQuietly(image, path, LoadMode::kFull), 0);
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.m_nImageType, TYPE_ORDINARY_IMAGE);
}

// A small file whose means are damaged fails its preview; the full decode, which would read the
// same means, is not tried (it would report its loading time before failing on them).
TEST_F(CodecLoadFileTest, FailedPreviewIsNotFollowedByAFullDecode) {
  const std::string good = Write("good.pqz", GreyPatches(40, 30, 8, kColorSpaceRgb));
  std::vector<std::uint8_t> bytes = ReadAll(good);
  // The section head (coding, length, table sizes) stays sound so that the means are read;
  // the code tables after it are what the expansion trips over.
  constexpr std::size_t kHead = kPqzHeaderSize + 40;
  ASSERT_GT(bytes.size(), kHead + 32);
  for (std::size_t i = kHead; i < kHead + 32; ++i) bytes[i] = 0xFF;
  const std::string path = PathOf("means.pqz");
  ASSERT_TRUE(WriteAll(path, bytes));
  for (const LoadMode mode : {LoadMode::kFull, LoadMode::kPreview}) {
    std::ostringstream report;
    LoadContext context;
    context.Report = &report;
    CImageEx image;
    testing::internal::CaptureStdout();
    const LoadResult result = LoadFile(image, path, mode, context);
    const std::string out = report.str() + testing::internal::GetCapturedStdout();
    EXPECT_NE(result.Code, kSuccess);
    EXPECT_EQ(out.find("loading time") == std::string::npos, mode == LoadMode::kPreview) << out;
  }
}

// A load that its hook cancels gives 29, type 326 and an empty image, whatever the file.
TEST_F(CodecLoadFileTest, CancelledLoadGives29AndAnEmptyImage) {
  const std::string photo = std::string(ORVANE_TEST_DATA_DIR) + "/photos/chelsea.png";
  const std::string pqz = Write("small.pqz", GreyPatches(40, 30, 8, kColorSpaceRgb, 1));
  LoadContext context;
  context.Cancel = [] { return true; };
  for (const std::string& path : {photo, pqz}) {
    for (const LoadMode mode : {LoadMode::kFull, LoadMode::kPreview}) {
      CImageEx image;
      ASSERT_TRUE(image.Create(3, 3, 24));
      const LoadResult result = LoadFile(image, path, mode, context);
      EXPECT_EQ(result.Code, kCanceled) << path;
      EXPECT_EQ(result.ImageType, TYPE_ORDINARY_IMAGE);
      EXPECT_TRUE(image.IsNull());
    }
  }
}

}  // namespace
}  // namespace orvane
