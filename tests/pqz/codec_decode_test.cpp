// The decoder on files whose means, bases and coefficients are known, written through the
// component writer: the pixels it must give, its timing lines, its failures and the preview.
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "codec_test_files.h"
#include "console_lines.h"
#include "imaging/image_ex.h"
#include "pqz/color_space.h"
#include "pqz/decode_budget.h"
#include "pqz/little_endian.h"
#include "pqz/patch_arranger.h"
#include "pqz/pqz_codec.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

using codec_test::FileContents;
using codec_test::WriteContents;
using codec_test::ZeroContents;
using test_support::ScopedTempDir;

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r | (g << 8) | (b << 16);
}

struct Decoded {
  ResultCode rc = kSuccess;
  std::string out;  // standard output during the decode
};

Decoded DecodeCapturing(CImageEx& image, const std::string& path) {
  testing::internal::CaptureStdout();
  PqzCodec codec;
  Decoded d;
  d.rc = codec.Decode(image, path);
  d.out = testing::internal::GetCapturedStdout();
  return d;
}

Decoded PreviewCapturing(CImageEx& image, const std::string& path) {
  testing::internal::CaptureStdout();
  PqzCodec codec;
  Decoded d;
  d.rc = codec.Preview(image, path);
  d.out = testing::internal::GetCapturedStdout();
  return d;
}

class CodecDecodeTest : public testing::Test {
 protected:
  std::string Write(const std::string& name, const FileContents& contents) {
    const std::string path = (m_dir.Path() / name).string();
    EXPECT_TRUE(WriteContents(path, contents)) << name;
    return path;
  }
  ScopedTempDir m_dir;
};

// A 10 x 10 RGB image with 8 x 8 patches (2 x 2 patches, the right and bottom ones mostly
// outside the image). Patch k has means (10 + 40k, 20 + 10k, 200 - 30k); basis 0 adds the
// in-patch index i to red, basis 1 (stored as 2 with factor 2) adds the coefficient k to blue.
FileContents KnownTenByTen(std::uint16_t colorSpace) {
  FileContents c = ZeroContents(10, 10, 8, 8, 2, colorSpace);
  for (std::uint32_t k = 0; k < 4; ++k) {
    c.means(0, k) = 10 + 40.0 * k;
    c.means(1, k) = 20 + 10.0 * k;
    c.means(2, k) = 200 - 30.0 * k;
    c.coeffs(k, 0) = 1;
    c.coeffs(k, 1) = k;
  }
  for (std::uint32_t i = 0; i < 64; ++i) {
    c.bases(0, i) = i;           // channel 0
    c.bases(1, 2 * 64 + i) = 2;  // channel 2
  }
  c.factors = {1, 2};
  return c;
}

// The pixel (x, y) of KnownTenByTen in RGB.
std::uint32_t KnownPixel(int x, int y) {
  const std::uint32_t k = (y / 8) * 2 + (x / 8);
  const std::uint32_t i = (y % 8) * 8 + (x % 8);
  return Rgb(10 + 40 * k + i, 20 + 10 * k, 200 - 30 * k + k);
}

TEST_F(CodecDecodeTest, EdgePatchesAreCutToTheImageSizeAndEveryPixelHasItsPatchValue) {
  const std::string path = Write("known.pqz", KnownTenByTen(kColorSpaceRgb));
  CImageEx image;
  ASSERT_EQ(DecodeCapturing(image, path).rc, kSuccess);
  ASSERT_EQ(image.GetWidth(), 10);
  ASSERT_EQ(image.GetHeight(), 10);
  EXPECT_EQ(image.GetBPP(), 24);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      ASSERT_EQ(image.GetPixel(x, y), KnownPixel(x, y)) << "at (" << x << ", " << y << ")";
    }
  }
}

TEST_F(CodecDecodeTest, TimingLinesComeInStageOrderWithTheirLabelsAndAnEmptyLine) {
  const std::string path = Write("known.pqz", KnownTenByTen(kColorSpaceRgb));
  CImageEx image;
  const Decoded d = DecodeCapturing(image, path);
  ASSERT_EQ(d.rc, kSuccess);
  const std::vector<std::string> lines = test::Lines(d.out);
  const std::vector<std::string> labels = {
      "  loading time = ", "  expand time = ", "  multiply time = ", "  arrange time = "};
  ASSERT_EQ(lines.size(), labels.size() + 1) << d.out;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    ASSERT_EQ(lines[i].rfind(labels[i], 0), 0u) << lines[i];
    EXPECT_TRUE(test::IsSeconds(lines[i].substr(labels[i].size()))) << lines[i];
  }
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(d.out.back(), '\n');
}

// One value for every pixel of every channel: a mean plus basis / factor, with coefficient 1.
struct ClampCase {
  const char* name;
  double mean;
  double basis;
  std::uint32_t factor;
  std::uint32_t expected;  // the byte of every channel
};

class CodecClampTest : public CodecDecodeTest,
                       public testing::WithParamInterface<std::tuple<ClampCase, int>> {};

TEST_P(CodecClampTest, ValuesOutsideTheByteRangeClampAndFractionsTruncate) {
  const auto& [c, patchSide] = GetParam();
  FileContents contents = ZeroContents(10, 10, patchSide, patchSide, 1, kColorSpaceRgb);
  const std::uint32_t g = contents.means.Columns();
  for (std::uint32_t k = 0; k < g; ++k) {
    for (std::uint32_t ch = 0; ch < 3; ++ch) contents.means(ch, k) = c.mean;
    contents.coeffs(k, 0) = 1;
  }
  contents.bases.Fill(c.basis);
  contents.factors = {c.factor};
  const std::string path = Write("clamp.pqz", contents);
  CImageEx image;
  ASSERT_EQ(DecodeCapturing(image, path).rc, kSuccess);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      ASSERT_EQ(image.GetPixel(x, y), Rgb(c.expected, c.expected, c.expected))
          << c.name << " at (" << x << ", " << y << ")";
    }
  }
}

// Patch side 8 takes the direct arranging path, 5 the per-pixel one.
INSTANTIATE_TEST_SUITE_P(BothArrangingPaths, CodecClampTest,
                         testing::Combine(testing::Values(ClampCase{"300", 300, 0, 1, 255},
                                                          ClampCase{"minus4", -4, 0, 1, 0},
                                                          ClampCase{"127point9", 127, 9, 10, 127},
                                                          ClampCase{"255point9", 255, 9, 10, 255},
                                                          ClampCase{"minus0point1", 0, -1, 10, 0}),
                                          testing::Values(8, 5)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_patch" +
                                  std::to_string(std::get<1>(info.param));
                         });

// Patch means in a colour space and the RGB pixel they must decode to.
struct ColourCase {
  const char* name;
  std::uint16_t colorSpace;
  double x, y, z;
  std::uint32_t expected;
};

class CodecColourSpaceTest : public CodecDecodeTest,
                             public testing::WithParamInterface<ColourCase> {};

TEST_P(CodecColourSpaceTest, FullDecodeAndPreviewGiveTheColourOfTheMeans) {
  const ColourCase& c = GetParam();
  FileContents contents = ZeroContents(10, 10, 8, 8, 1, c.colorSpace);
  for (std::uint32_t k = 0; k < 4; ++k) {
    contents.means(0, k) = c.x;
    contents.means(1, k) = c.y;
    contents.means(2, k) = c.z;
  }
  const std::string path = Write("colour.pqz", contents);
  CImageEx full;
  ASSERT_EQ(DecodeCapturing(full, path).rc, kSuccess);
  EXPECT_EQ(full.GetPixel(0, 0), c.expected);
  EXPECT_EQ(full.GetPixel(9, 9), c.expected);
  CImageEx preview;
  ASSERT_EQ(PreviewCapturing(preview, path).rc, kSuccess);
  ASSERT_EQ(preview.GetWidth(), 2);
  ASSERT_EQ(preview.GetHeight(), 2);
  EXPECT_EQ(preview.GetPixel(1, 1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Means, CodecColourSpaceTest,
    testing::Values(
        ColourCase{"RgbMeans", kColorSpaceRgb, 12, 34, 56, Rgb(12, 34, 56)},
        ColourCase{"YccGrey", kColorSpaceYcc, 100, 128, 128, Rgb(100, 100, 100)},
        ColourCase{"HsvSaturationZeroIsGrey", kColorSpaceHsv, 100, 0, 77, Rgb(77, 77, 77)},
        ColourCase{"HsvPureGreen", kColorSpaceHsv, 85, 255, 200, Rgb(0, 200, 0)},
        // Hue 255 is sector 6, past the circle: it folds onto sector 0 (red).
        ColourCase{"HsvHue255FoldsOntoRed", kColorSpaceHsv, 255, 255, 200, Rgb(200, 0, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

// A pixel whose hue lies past the circle must get its own colour, not one left over from the
// pixel decoded before it.
TEST_F(CodecDecodeTest, HsvHuePastTheCircleIsNotTheColourOfThePreviousPatch) {
  FileContents contents = ZeroContents(16, 8, 8, 8, 1, kColorSpaceHsv);
  const double first[3] = {85, 255, 200};   // green
  const double second[3] = {300, 255, 90};  // sector 7: folds onto sector 0
  for (std::uint32_t ch = 0; ch < 3; ++ch) {
    contents.means(ch, 0) = first[ch];
    contents.means(ch, 1) = second[ch];
  }
  const std::string path = Write("hue.pqz", contents);
  CImageEx image;
  ASSERT_EQ(DecodeCapturing(image, path).rc, kSuccess);
  EXPECT_EQ(image.GetPixel(0, 0), Rgb(0, 200, 0));
  const std::uint32_t folded = image.GetPixel(8, 0);
  EXPECT_EQ(folded & 0xFF, 90u) << "sector 0 keeps red at V";
  EXPECT_EQ(folded >> 16, 0u) << "sector 0 has no blue at full saturation";
}

TEST_F(CodecDecodeTest, UnknownColourSpaceFailsWith27AfterTheSectionsWereReadBeforeAnyBand) {
  const std::string path = Write("cs3.pqz", ZeroContents(10, 10, 8, 8, 1, 3));
  CImageEx image;
  ASSERT_TRUE(image.Create(4, 4, 24));
  const Decoded d = DecodeCapturing(image, path);
  EXPECT_EQ(d.rc, kUnsupportedColorSpace);
  EXPECT_THAT(d.out, testing::HasSubstr("  loading time = "));
  EXPECT_THAT(d.out, testing::Not(testing::HasSubstr("arrange time")));
  EXPECT_TRUE(image.IsNull()) << "a failed decode must not leave a picture behind";

  CImageEx preview;
  EXPECT_EQ(PreviewCapturing(preview, path).rc, kUnsupportedColorSpace);
  EXPECT_TRUE(preview.IsNull());
}

// Cutting the file at each of these distances before its end lands inside the coefficient
// section (its head, its block or its payload).
class CodecTruncatedTest : public CodecDecodeTest, public testing::WithParamInterface<int> {};

TEST_P(CodecTruncatedTest, FileCutInsideTheCoefficientsFailsWith14BeforeAnyTimingLine) {
  const std::string whole = Write("whole.pqz", KnownTenByTen(kColorSpaceRgb));
  std::vector<std::uint8_t> bytes = codec_test::ReadAll(whole);
  PqzHeader header;
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(whole.c_str(), "rb"),
                                                      &std::fclose);
    ASSERT_EQ(ReadPqzHeader(f.get(), header), kSuccess);
  }
  const std::size_t keep = bytes.size() - static_cast<std::size_t>(GetParam());
  ASSERT_GT(keep, static_cast<std::size_t>(header.CoeffOffset)) << "cut must be in the section";
  bytes.resize(keep);
  const std::string cut = (m_dir.Path() / "cut.pqz").string();
  ASSERT_TRUE(codec_test::WriteAll(cut, bytes));

  CImageEx image;
  ASSERT_TRUE(image.Create(4, 4, 24));
  const Decoded d = DecodeCapturing(image, cut);
  EXPECT_EQ(d.rc, kReadFailed);
  EXPECT_EQ(d.out, "");
  EXPECT_TRUE(image.IsNull());
}

INSTANTIATE_TEST_SUITE_P(CutPoints, CodecTruncatedTest, testing::Values(1, 2, 10));

TEST_F(CodecDecodeTest, CutInsideTheCoefficientSectionHeadFailsWith14) {
  const std::string whole = Write("whole.pqz", KnownTenByTen(kColorSpaceRgb));
  std::vector<std::uint8_t> bytes = codec_test::ReadAll(whole);
  PqzHeader header;
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(whole.c_str(), "rb"),
                                                      &std::fclose);
    ASSERT_EQ(ReadPqzHeader(f.get(), header), kSuccess);
  }
  bytes.resize(static_cast<std::size_t>(header.CoeffOffset) + 20);  // inside the block
  const std::string cut = (m_dir.Path() / "cut.pqz").string();
  ASSERT_TRUE(codec_test::WriteAll(cut, bytes));
  CImageEx image;
  const Decoded d = DecodeCapturing(image, cut);
  EXPECT_EQ(d.rc, kReadFailed);
  EXPECT_EQ(d.out, "");
}

TEST_F(CodecDecodeTest, MissingFileAndWrongMagicAreRefusedWithoutOutput) {
  CImageEx image;
  Decoded d = DecodeCapturing(image, (m_dir.Path() / "absent.pqz").string());
  EXPECT_EQ(d.rc, kCannotOpenFile);
  EXPECT_EQ(d.out, "");

  std::vector<std::uint8_t> bytes =
      codec_test::ReadAll(Write("good.pqz", KnownTenByTen(kColorSpaceRgb)));
  bytes[0] = 'B';
  bytes[1] = 'M';
  const std::string bad = (m_dir.Path() / "bad.pqz").string();
  ASSERT_TRUE(codec_test::WriteAll(bad, bytes));
  d = DecodeCapturing(image, bad);
  EXPECT_EQ(d.rc, kInvalidFileType);
  EXPECT_EQ(d.out, "");
  EXPECT_EQ(PreviewCapturing(image, bad).rc, kInvalidFileType);
  EXPECT_TRUE(image.IsNull());
}

TEST_F(CodecDecodeTest, PreviewHasOnePixelPerPatchFromTheMeansAndPrintsNothing) {
  const std::string path = Write("known.pqz", KnownTenByTen(kColorSpaceRgb));
  CImageEx preview;
  const Decoded d = PreviewCapturing(preview, path);
  ASSERT_EQ(d.rc, kSuccess);
  EXPECT_EQ(d.out, "");
  ASSERT_EQ(preview.GetWidth(), 2);
  ASSERT_EQ(preview.GetHeight(), 2);
  for (std::uint32_t k = 0; k < 4; ++k) {
    EXPECT_EQ(preview.GetPixel(k % 2, k / 2), Rgb(10 + 40 * k, 20 + 10 * k, 200 - 30 * k))
        << "patch " << k;
  }
}

// The preview reads the means alone, but it accepts only files whose sections all lie where
// the header says, as every reader does: a file cut after its means is refused alike.
TEST_F(CodecDecodeTest, FileCutAfterTheMeansIsRefusedByPreviewAndDecodeAlike) {
  std::vector<std::uint8_t> bytes =
      codec_test::ReadAll(Write("good.pqz", KnownTenByTen(kColorSpaceRgb)));
  PqzHeader header;
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(
        std::fopen((m_dir.Path() / "good.pqz").c_str(), "rb"), &std::fclose);
    ASSERT_EQ(ReadPqzHeader(f.get(), header), kSuccess);
  }
  bytes.resize(static_cast<std::size_t>(header.BaseOffset));
  const std::string cut = (m_dir.Path() / "means-only.pqz").string();
  ASSERT_TRUE(codec_test::WriteAll(cut, bytes));
  CImageEx preview;
  EXPECT_EQ(PreviewCapturing(preview, cut).rc, kReadFailed);
  EXPECT_TRUE(preview.IsNull());
  CImageEx full;
  EXPECT_EQ(DecodeCapturing(full, cut).rc, kReadFailed);
}

// The per-pixel and the direct arranging paths must give byte-identical images, values
// outside 0..255 and partial edge patches included.
struct ArrangeShape {
  int width, height, patchWidth, patchHeight;
};

class CodecArrangePathTest : public testing::TestWithParam<ArrangeShape> {};

TEST_P(CodecArrangePathTest, GenericAndDirectPathsGiveIdenticalImages) {
  const ArrangeShape s = GetParam();
  PqzHeader header;
  header.ColorSpace = kColorSpaceRgb;
  header.ImageWidth = s.width;
  header.ImageHeight = s.height;
  header.PatchWidth = s.patchWidth;
  header.PatchHeight = s.patchHeight;
  header.Dimension = 1;
  const PatchGrid grid = GridOf(header);
  std::mt19937 random(static_cast<unsigned>(s.width * 131 + s.patchHeight));
  std::uniform_real_distribution<double> value(-80.0, 330.0);
  PatchMatrix patches(static_cast<std::uint32_t>(s.patchWidth),
                      static_cast<std::uint32_t>(s.patchHeight));
  patches.Resize(grid.Patches, 3 * grid.PixelsPerPatch);
  for (std::uint32_t i = 0; i < patches.Count(); ++i) patches.Data()[i] = value(random) - 128.0;
  Tarn::Matrix<double> means(3, grid.Patches);
  for (std::uint32_t i = 0; i < means.Count(); ++i) means.Data()[i] = value(random);
  // The edges of the clamp: NaN, both zeros, the bounds and just inside them.
  const double edges[] = {std::numeric_limits<double>::quiet_NaN(),
                          -0.0,
                          0.0,
                          0.999,
                          254.999,
                          255.0,
                          255.5,
                          -1e300,
                          1e300,
                          std::numeric_limits<double>::infinity()};
  for (std::uint32_t i = 0; i < patches.Columns(); ++i) patches(0, i) = edges[i % std::size(edges)];
  for (std::uint32_t c = 0; c < 3; ++c) means(c, 0) = c == 0 ? -0.0 : 0.0;

  CImageEx generic, direct;
  ASSERT_TRUE(generic.Create(s.width, s.height, 24));
  ASSERT_TRUE(direct.Create(s.width, s.height, 24));
  generic.Fill(0x123456);
  direct.Fill(0x654321);  // every pixel must be overwritten
  ASSERT_EQ(ArrangePatches(patches, means, header, generic, ArrangePath::kGeneric), kSuccess);
  ASSERT_EQ(ArrangePatches(patches, means, header, direct, ArrangePath::kDirect), kSuccess);
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      ASSERT_EQ(generic.GetPixel(x, y), direct.GetPixel(x, y)) << "at (" << x << ", " << y << ")";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CodecArrangePathTest,
                         testing::Values(ArrangeShape{10, 10, 8, 8}, ArrangeShape{16, 16, 8, 8},
                                         ArrangeShape{13, 9, 4, 8}, ArrangeShape{5, 3, 4, 4},
                                         ArrangeShape{33, 17, 16, 16}, ArrangeShape{1, 1, 8, 8}));

TEST(CodecArrangeTest, UnknownColourSpaceIsRefusedWith27AndTheImageIsUntouched) {
  PqzHeader header;
  header.ColorSpace = 3;
  header.ImageWidth = 4;
  header.ImageHeight = 4;
  header.PatchWidth = 4;
  header.PatchHeight = 4;
  header.Dimension = 1;
  PatchMatrix patches(4, 4);
  patches.Resize(1, 48);
  patches.Fill(10.0);
  Tarn::Matrix<double> means(3, 1);
  means.Fill(10.0);
  CImageEx image;
  ASSERT_TRUE(image.Create(4, 4, 24));
  image.Fill(0x00ABCDEF);
  EXPECT_EQ(ArrangePatches(patches, means, header, image), kUnsupportedColorSpace);
  EXPECT_EQ(image.GetPixel(3, 3), 0x00ABCDEFu);
  EXPECT_EQ(DrawPatchMeans(means, header, image), kUnsupportedColorSpace);
  EXPECT_EQ(image.GetPixel(0, 0), 0x00ABCDEFu);
}

// ---------------------------------------------------------------------------------------
// Limits, bands, memory, cancelling and the report sink

// Random stored values on a picture of several patch rows; `patchSide` 4 takes the direct
// arranging path, 5 the per-pixel one.
FileContents RandomContents(int patchSide, std::uint16_t colorSpace) {
  FileContents c = ZeroContents(61, 47, patchSide, patchSide, 3, colorSpace);
  std::mt19937 random(static_cast<unsigned>(patchSide));
  std::uniform_int_distribution<int> mean(0, 255), basis(-40, 40), coeff(-3, 3);
  for (std::uint32_t i = 0; i < c.means.Count(); ++i) c.means.Data()[i] = mean(random);
  for (std::uint32_t i = 0; i < c.bases.Count(); ++i) c.bases.Data()[i] = basis(random);
  for (std::uint32_t i = 0; i < c.coeffs.Count(); ++i) c.coeffs.Data()[i] = coeff(random);
  c.factors = {1, 2, 3};
  return c;
}

// The picture of `contents` made the direct way: the whole product, arranged at once.
CImageEx WholeMatrixPicture(const FileContents& c) {
  Tarn::Matrix<double> bases = c.bases;
  for (std::uint32_t d = 0; d < bases.Rows(); ++d) {
    for (std::uint32_t j = 0; j < bases.Columns(); ++j) bases(d, j) /= c.factors[d];
  }
  PatchMatrix patches(static_cast<std::uint32_t>(c.header.PatchWidth),
                      static_cast<std::uint32_t>(c.header.PatchHeight));
  patches = c.coeffs * bases;
  CImageEx image;
  image.Create(c.header.ImageWidth, c.header.ImageHeight, 24);
  ArrangePatches(patches, c.means, c.header, image);
  return image;
}

void ExpectSamePixels(const CImageEx& got, const CImageEx& want, const std::string& what) {
  ASSERT_EQ(got.GetWidth(), want.GetWidth()) << what;
  ASSERT_EQ(got.GetHeight(), want.GetHeight()) << what;
  for (int y = 0; y < want.GetHeight(); ++y) {
    for (int x = 0; x < want.GetWidth(); ++x) {
      ASSERT_EQ(got.GetPixel(x, y), want.GetPixel(x, y))
          << what << " at (" << x << ", " << y << ")";
    }
  }
}

class CodecBandTest : public CodecDecodeTest, public testing::WithParamInterface<int> {};

// Tighter working memory gives narrower bands, down to one patch row; every band size must
// give the pixels of the whole product.
TEST_P(CodecBandTest, EveryBandSizeGivesThePixelsOfTheWholeProduct) {
  const FileContents contents = RandomContents(GetParam(), kColorSpaceRgb);
  const std::string path = Write("random.pqz", contents);
  const CImageEx want = WholeMatrixPicture(contents);
  const std::uint64_t fileLength = codec_test::ReadAll(path).size();
  std::set<std::uint32_t> bandRows;
  for (std::uint64_t bytes = 1024; bytes <= (std::uint64_t{64} << 20); bytes = bytes * 5 / 4) {
    DecodeLimits limits;
    limits.MaxWorkingBytes = bytes;
    DecodePlan plan;
    if (PlanDecode(contents.header, fileLength, limits, plan) != kSuccess) continue;
    bandRows.insert(plan.BandRows);
    PqzCodec codec;
    std::ostringstream report;
    codec.SetReportSink(report);
    codec.SetDecodeLimits(limits);
    CImageEx image;
    ASSERT_EQ(codec.Decode(image, path), kSuccess) << bytes;
    ExpectSamePixels(image, want, std::to_string(plan.BandRows) + " rows per band");
  }
  EXPECT_TRUE(bandRows.count(1)) << "one patch row per band must have been tried";
  EXPECT_GE(bandRows.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(ArrangingPaths, CodecBandTest, testing::Values(4, 5));

// The picture of the file at `path` decoded from the file and from its bytes in memory.
void DecodeFileAndMemory(const std::string& path, CImageEx& fromFile, CImageEx& fromMemory) {
  const std::vector<std::uint8_t> bytes = codec_test::ReadAll(path);
  ASSERT_EQ(DecodeCapturing(fromFile, path).rc, kSuccess);
  PqzCodec codec;
  std::ostringstream report;
  codec.SetReportSink(report);
  ASSERT_EQ(codec.DecodeMemory(fromMemory, bytes.data(), bytes.size()), kSuccess);
}

TEST_F(CodecDecodeTest, DecodeAndPreviewFromMemoryGiveWhatTheFileGives) {
  const std::string path = Write("random.pqz", RandomContents(4, kColorSpaceYcc));
  const std::vector<std::uint8_t> bytes = codec_test::ReadAll(path);
  CImageEx fromFile, fromMemory;
  DecodeFileAndMemory(path, fromFile, fromMemory);
  ExpectSamePixels(fromMemory, fromFile, "decode");
  CImageEx previewFile, previewMemory;
  ASSERT_EQ(PreviewCapturing(previewFile, path).rc, kSuccess);
  ASSERT_EQ(PqzCodec().PreviewMemory(previewMemory, bytes.data(), bytes.size()), kSuccess);
  ExpectSamePixels(previewMemory, previewFile, "preview");
  EXPECT_EQ(PqzCodec().DecodeMemory(fromMemory, bytes.data(), 0), kReadFailed);
  EXPECT_TRUE(fromMemory.IsNull());
}

// A section of more than a mebibyte is read through the stream rather than whole into
// memory; the picture must be the same either way.
TEST_F(CodecDecodeTest, ALargeCoefficientSectionDecodesAsFromMemory) {
  FileContents c = ZeroContents(1200, 1000, 2, 2, 3, kColorSpaceRgb);
  std::mt19937 random(9);
  std::uniform_int_distribution<int> mean(0, 255), basis(-40, 40), coeff(-3000, 3000);
  for (std::uint32_t i = 0; i < c.means.Count(); ++i) c.means.Data()[i] = mean(random);
  for (std::uint32_t i = 0; i < c.bases.Count(); ++i) c.bases.Data()[i] = basis(random);
  for (std::uint32_t i = 0; i < c.coeffs.Count(); ++i) c.coeffs.Data()[i] = coeff(random);
  c.factors = {1000, 2000, 3000};
  const std::string path = Write("large.pqz", c);
  ASSERT_GT(codec_test::ReadAll(path).size(), std::size_t{1} << 21);
  CImageEx fromFile, fromMemory;
  DecodeFileAndMemory(path, fromFile, fromMemory);
  ExpectSamePixels(fromFile, fromMemory, "large decode");
  ExpectSamePixels(fromFile, WholeMatrixPicture(c), "large decode");
}

TEST_F(CodecDecodeTest, TimingLinesGoToTheGivenSinkAndNothingToStandardOutput) {
  const std::string path = Write("random.pqz", RandomContents(4, kColorSpaceRgb));
  testing::internal::CaptureStdout();
  PqzCodec codec;
  std::ostringstream report;
  codec.SetReportSink(report);
  CImageEx image;
  const ResultCode rc = codec.Decode(image, path);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(rc, kSuccess);
  const std::vector<std::string> lines = test::Lines(report.str());
  ASSERT_EQ(lines.size(), 5u) << report.str();
  EXPECT_EQ(lines[3].rfind("  arrange time = ", 0), 0u);
}

// The hook answers "stop" at its n-th question; whenever that is, the decode and the preview
// return 29 and leave no picture.
TEST_F(CodecDecodeTest, CancellingAtAnyQuestionGives29AndNoPicture) {
  const std::string path = Write("random.pqz", RandomContents(4, kColorSpaceRgb));
  for (int stopAt = 1;; ++stopAt) {
    int asked = 0;
    PqzCodec codec;
    std::ostringstream report;
    codec.SetReportSink(report);
    codec.SetCancelHook([&asked, stopAt] { return ++asked >= stopAt; });
    CImageEx image;
    ASSERT_TRUE(image.Create(3, 3, 24));
    const ResultCode rc = codec.Decode(image, path);
    if (asked < stopAt) {  // the decode asked fewer times: it ran to its end
      EXPECT_EQ(rc, kSuccess);
      EXPECT_GT(stopAt, 4) << "the stages and the bands must each be asked about";
      break;
    }
    EXPECT_EQ(rc, kCanceled) << stopAt;
    EXPECT_TRUE(image.IsNull()) << stopAt;
    EXPECT_THAT(report.str(), testing::Not(testing::HasSubstr("arrange time"))) << stopAt;
  }
  PqzCodec codec;
  codec.SetCancelHook([] { return true; });
  CImageEx preview;
  EXPECT_EQ(codec.Preview(preview, path), kCanceled);
  EXPECT_TRUE(preview.IsNull());
}

// A header that claims a picture beyond the limits, on sections of a small honest file: if
// the sections were read first the mismatch would give 14, so 7 shows that the limits were
// weighed first, before any matrix was allocated.
struct HostileHeader {
  const char* name;
  std::int32_t width, height, patchSide;
  ResultCode decode, preview;
};

class CodecHostileHeaderTest : public CodecDecodeTest,
                               public testing::WithParamInterface<HostileHeader> {};

TEST_P(CodecHostileHeaderTest, RefusedWith7BeforeAnySectionIsRead) {
  const HostileHeader& h = GetParam();
  std::vector<std::uint8_t> bytes =
      codec_test::ReadAll(Write("good.pqz", KnownTenByTen(kColorSpaceRgb)));
  StoreLeInt32(bytes.data() + 8, h.height);
  StoreLeInt32(bytes.data() + 12, h.width);
  StoreLeInt32(bytes.data() + 16, h.patchSide);
  StoreLeInt32(bytes.data() + 20, h.patchSide);
  const std::string path = (m_dir.Path() / "hostile.pqz").string();
  ASSERT_TRUE(codec_test::WriteAll(path, bytes));
  CImageEx image;
  const Decoded d = DecodeCapturing(image, path);
  EXPECT_EQ(d.rc, h.decode);
  EXPECT_EQ(d.out, "");
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(PreviewCapturing(image, path).rc, h.preview);
}

INSTANTIATE_TEST_SUITE_P(
    Claims, CodecHostileHeaderTest,
    testing::Values(
        // More one-pixel patches than a file of a few hundred bytes may describe: the picture
        // and the preview alike pass the pixels such a file earns.
        HostileHeader{"OnePixelPatches", 8200, 8200, 1, kNoMemory, kNoMemory},
        // 2^28 pixels of flat 16 x 16 patches from a file of a few hundred bytes.
        HostileHeader{"LargePictureFromFewBytes", 16384, 16384, 16, kNoMemory, kReadFailed},
        // More pixels than any decode makes; the preview (G pixels) reads the means and finds
        // them far too few.
        HostileHeader{"PastThePixelLimit", 20000, 20000, 64, kNoMemory, kOutOfRange},
        // A thin picture of few pixels cut into patches far larger than itself: each patch is
        // made whole before it is cut, so the decode weighs the 1172 patches' 77 million
        // pixels, not the picture's 300000. The preview has only 1172 pixels to make.
        HostileHeader{"PatchesFarLargerThanThePicture", 1, 300000, 256, kNoMemory, kSuccess}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvane
