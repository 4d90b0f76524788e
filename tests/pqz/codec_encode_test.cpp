// The encoder on images built in memory: its stage lines and reports, what a failure leaves
// on disk, determinism, and what an encode then decode gives back.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "codec_test_files.h"
#include "console_lines.h"
#include "imaging/image_ex.h"
#include "pqz/parameter_loader.h"
#include "pqz/patch_extractor.h"
#include "pqz/pqz_codec.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

using codec_test::Entries;
using codec_test::MakeImage;
using codec_test::Psnr;
using codec_test::ReadAll;
using test_support::ScopedTempDir;

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r | (g << 8) | (b << 16);
}

// A smooth picture with some texture: gradients, a soft disc and a fine ripple, so that the
// bases have real structure to learn.
CImageEx TexturedImage(int width, int height) {
  return MakeImage(width, height, [&](int x, int y) {
    const double dx = x - width * 0.4, dy = y - height * 0.55;
    const double disc = 90.0 / (1.0 + (dx * dx + dy * dy) / 120.0);
    const double ripple = 20.0 * std::sin(x * 0.7) * std::cos(y * 0.45);
    const auto byte = [](double v) {
      return static_cast<std::uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    };
    return Rgb(byte(40 + 2.0 * x + disc + ripple), byte(60 + 2.5 * y + 0.5 * disc),
               byte(200 - 1.5 * x - y + ripple));
  });
}

EncodingParameters Defaults() { return EncodingParameters{}; }

struct Encoded {
  ResultCode setRc = kSuccess;
  ResultCode rc = kSuccess;
  std::string out;  // standard output of Encode alone (not of SetParameters)
};

Encoded EncodeWith(const EncodingParameters& p, const CImageEx& image, const std::string& path) {
  Encoded e;
  PqzCodec codec;
  testing::internal::CaptureStdout();
  e.setRc = codec.SetParameters(p.Common, p.Learning, p.Compression);
  testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  e.rc = codec.Encode(path, image);
  e.out = testing::internal::GetCapturedStdout();
  return e;
}

ResultCode DecodeQuietly(CImageEx& image, const std::string& path) {
  testing::internal::CaptureStdout();
  PqzCodec codec;
  const ResultCode rc = codec.Decode(image, path);
  testing::internal::GetCapturedStdout();
  return rc;
}

// The labels of the stage lines in the order they were printed.
std::vector<std::string> StageLabels(const std::string& out) {
  std::vector<std::string> labels;
  for (const std::string& line : test::Lines(out)) {
    if (std::string label = test::StageLabelOf(line); !label.empty()) labels.push_back(label);
  }
  return labels;
}

const std::vector<std::string> kAllStages = {"  extracting...",    "  set bases...",
                                             "  pre - convert...", "  multiply...",
                                             "  compressing...",   "  saving..."};

class CodecEncodeTest : public testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (m_dir.Path() / name).string(); }
  ScopedTempDir m_dir;
};

TEST_F(CodecEncodeTest, StageLinesComeInOrderAndTheReportsMatchTheFileWritten) {
  const CImageEx image = TexturedImage(40, 24);
  const std::string path = PathOf("out.pqz");
  const Encoded e = EncodeWith(Defaults(), image, path);
  ASSERT_EQ(e.setRc, kSuccess);
  ASSERT_EQ(e.rc, kSuccess) << e.out;
  EXPECT_EQ(StageLabels(e.out), kAllStages) << e.out;

  // The saving line is followed by an empty line and the two reports, which end the output.
  const auto saving = e.out.rfind("  saving...");
  ASSERT_NE(saving, std::string::npos) << e.out;
  const std::string tail = e.out.substr(e.out.find('\n', saving) + 1);
  long baseOffset = 0, coeffOffset = 0, ave = 0, base = 0, coeff = 0, total = 0;
  int consumed = 0;
  ASSERT_EQ(std::sscanf(tail.c_str(),
                        "\n[Header]\n  File Type = 20816\n  ColorSpace = 0\n"
                        "  Image = (40, 24)\n  Patch = (8, 8)\n  Dimension = 96\n"
                        "  OffSet - Average = 44, Base = %ld, Coeff = %ld\n\n"
                        "[File Size]\n  Ave = %ld, Base = %ld, Coeff = %ld, Total = %ld%n",
                        &baseOffset, &coeffOffset, &ave, &base, &coeff, &total, &consumed),
            6)
      << tail;
  // The size report ends the output with its empty line.
  EXPECT_EQ(tail.substr(static_cast<std::size_t>(consumed)), "\n\n");
  EXPECT_EQ(baseOffset, 44 + ave);
  EXPECT_EQ(coeffOffset, baseOffset + base);
  EXPECT_EQ(total, ave + base + coeff);
  EXPECT_EQ(static_cast<long>(std::filesystem::file_size(path)), 44 + total);
}

TEST_F(CodecEncodeTest, OneByOneImageIsOnePatchOfItsOwnColour) {
  const CImageEx image = MakeImage(1, 1, [](int, int) { return Rgb(200, 100, 30); });
  PatchMatrix patches;
  Tarn::Matrix<double> means;
  ASSERT_EQ(ExtractPatches(image, CommonParameters{}, patches, means), kSuccess);
  ASSERT_EQ(patches.Rows(), 1u);
  ASSERT_EQ(patches.Columns(), 192u);
  for (std::uint32_t i = 0; i < patches.Count(); ++i) {
    ASSERT_EQ(patches.Data()[i], 0.0) << "repeated pixel minus its mean, value " << i;
  }
  EXPECT_EQ(means(0, 0), 200.0);
  EXPECT_EQ(means(1, 0), 100.0);
  EXPECT_EQ(means(2, 0), 30.0);

  const std::string path = PathOf("one.pqz");
  const Encoded e = EncodeWith(Defaults(), image, path);
  ASSERT_EQ(e.rc, kSuccess) << e.out;
  CImageEx decoded;
  ASSERT_EQ(DecodeQuietly(decoded, path), kSuccess);
  ASSERT_EQ(decoded.GetWidth(), 1);
  ASSERT_EQ(decoded.GetHeight(), 1);
  EXPECT_EQ(decoded.GetPixel(0, 0), Rgb(200, 100, 30));
}

// Edge patches repeat the last column and row, so a 9 x 9 image whose last column is red
// and last row blue gives edge patches of those colours only.
TEST(CodecExtractTest, EdgePatchesRepeatTheLastColumnAndRow) {
  const CImageEx image = MakeImage(9, 9, [](int x, int y) {
    return y == 8 ? Rgb(0, 0, 255) : x == 8 ? Rgb(255, 0, 0) : Rgb(0, 255, 0);
  });
  PatchMatrix patches;
  Tarn::Matrix<double> means;
  ASSERT_EQ(ExtractPatches(image, CommonParameters{}, patches, means), kSuccess);
  ASSERT_EQ(means.Columns(), 4u);
  // Patch 1 (top right) holds column 8, rows 0..7: all red.
  EXPECT_EQ(means(0, 1), 255.0);
  EXPECT_EQ(means(1, 1), 0.0);
  // Patch 2 (bottom left) holds row 8: all blue.
  EXPECT_EQ(means(2, 2), 255.0);
  EXPECT_EQ(means(0, 2), 0.0);
  // Patch 0 is green apart from nothing: the image edge is not inside it.
  EXPECT_EQ(means(1, 0), 255.0);
}

TEST_F(CodecEncodeTest, FailureInThePreConversionPrintsOnlyTheFirstTwoStageLines) {
  // A codec whose parameters were never set up has bases without a precision, which the
  // basis projection refuses: the failure comes after extraction and learning succeeded.
  const CImageEx image = TexturedImage(16, 16);
  const std::string path = PathOf("never.pqz");
  PqzCodec codec;
  testing::internal::CaptureStdout();
  const ResultCode rc = codec.Encode(path, image);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(rc, kSuccess);
  const std::vector<std::string> firstTwo(kAllStages.begin(), kAllStages.begin() + 2);
  EXPECT_EQ(StageLabels(out), firstTwo) << out;
  EXPECT_THAT(out, testing::Not(testing::HasSubstr("[Header]")));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(Entries(m_dir.Path()).empty());
}

TEST_F(CodecEncodeTest, ColourSpaceOutsideTheThreeIsRefusedWith27AndWritesNothing) {
  const CImageEx image = TexturedImage(16, 16);
  CommonParameters common;
  common.ColorSpace = 3;
  PatchMatrix patches;
  Tarn::Matrix<double> means;
  EXPECT_EQ(ExtractPatches(image, common, patches, means), kUnsupportedColorSpace);

  EncodingParameters p = Defaults();
  p.Common.ColorSpace = 3;
  const std::string path = PathOf("cs3.pqz");
  const Encoded e = EncodeWith(p, image, path);
  EXPECT_EQ(e.setRc, kInvalidConfigValue) << "the parameter check refuses it first";
  EXPECT_EQ(e.rc, kUnsupportedColorSpace) << "and the encoder still refuses it";
  EXPECT_TRUE(StageLabels(e.out).empty()) << e.out;
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(CodecEncodeTest, EmptyImageIsRefusedWith22) {
  const CImageEx empty;
  const std::string path = PathOf("empty.pqz");
  const Encoded e = EncodeWith(Defaults(), empty, path);
  EXPECT_EQ(e.rc, kInvalidValues);
  EXPECT_EQ(e.out, "");
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(CodecEncodeTest, MissingDirectoryFailsWith8AndCreatesNothing) {
  const std::string path = PathOf("no-such-dir/out.pqz");
  const Encoded e = EncodeWith(Defaults(), TexturedImage(16, 16), path);
  EXPECT_EQ(e.rc, kCannotOpenFile);
  EXPECT_THAT(StageLabels(e.out), testing::Not(testing::Contains("  saving...")));
  EXPECT_TRUE(Entries(m_dir.Path()).empty());
}

// Values the coder cannot hold (patch-mean differences of 8 bits with 2 magnitude classes)
// make the compression fail: an existing file at the target keeps its bytes.
TEST_F(CodecEncodeTest, ValuesThatCannotBeCodedLeaveAnExistingTargetUntouched) {
  const std::string path = PathOf("keep.pqz");
  const std::vector<std::uint8_t> before = {'o', 'l', 'd', 0, 1, 2, 3};
  ASSERT_TRUE(codec_test::WriteAll(path, before));
  EncodingParameters p = Defaults();
  p.Compression.PrecisionBit = 2;
  p.Compression.BasePrecisionBit = 2;
  const CImageEx image = MakeImage(32, 8, [](int x, int) {
    return x < 8    ? Rgb(0, 0, 0)
           : x < 16 ? Rgb(255, 255, 255)
           : x < 24 ? Rgb(0, 0, 0)
                    : Rgb(250, 5, 130);
  });
  const Encoded e = EncodeWith(p, image, path);
  ASSERT_EQ(e.setRc, kSuccess);
  EXPECT_NE(e.rc, kSuccess);
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_EQ(Entries(m_dir.Path()), std::vector<std::string>{"keep.pqz"});
}

// The file is written beside the target and renamed into place; when the rename cannot
// happen (the target is a directory) the temporary file must not stay behind.
TEST_F(CodecEncodeTest, FailedRenameLeavesNoTemporaryFileAndTheTargetAsItWas) {
  const std::filesystem::path target = m_dir.Path() / "taken.pqz";
  ASSERT_TRUE(std::filesystem::create_directory(target));
  const Encoded e = EncodeWith(Defaults(), TexturedImage(16, 16), target.string());
  EXPECT_EQ(e.rc, kWriteFailed);
  EXPECT_TRUE(std::filesystem::is_directory(target));
  EXPECT_TRUE(std::filesystem::is_empty(target));
  EXPECT_EQ(Entries(m_dir.Path()), std::vector<std::string>{"taken.pqz"});
}

TEST_F(CodecEncodeTest, ExistingTargetIsReplacedByTheCompleteNewFile) {
  const std::string path = PathOf("replace.pqz");
  ASSERT_TRUE(codec_test::WriteAll(path, std::vector<std::uint8_t>(100000, 0xEE)));
  const Encoded e = EncodeWith(Defaults(), TexturedImage(24, 16), path);
  ASSERT_EQ(e.rc, kSuccess);
  CImageEx decoded;
  EXPECT_EQ(DecodeQuietly(decoded, path), kSuccess);
  EXPECT_EQ(decoded.GetWidth(), 24);
  EXPECT_EQ(Entries(m_dir.Path()), std::vector<std::string>{"replace.pqz"});
}

// The encoder reads colours, not bytes: the same picture held at 8 (grey palette), 24 and
// 32 bits per pixel gives the same file.
TEST_F(CodecEncodeTest, PictureHeldAtAnyDepthGivesTheSameFile) {
  const auto grey = [](int x, int y) {
    const std::uint32_t v = static_cast<std::uint32_t>((x * 7 + y * 3 + (x * y) % 11) % 256);
    return Rgb(v, v, v);
  };
  const CImageEx rgb = MakeImage(20, 12, grey);
  CImageEx palette;
  ASSERT_TRUE(palette.Create(20, 12, 8));
  std::vector<std::uint32_t> greys(256);
  for (std::uint32_t i = 0; i < 256; ++i) greys[i] = Rgb(i, i, i);
  ASSERT_TRUE(palette.SetColourTable(greys));
  CImageEx argb;
  ASSERT_TRUE(argb.Create(20, 12, 32));
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 20; ++x) {
      palette.SetPixel(x, y, grey(x, y));
      argb.SetPixel(x, y, grey(x, y));
    }
  }
  ASSERT_EQ(EncodeWith(Defaults(), rgb, PathOf("24.pqz")).rc, kSuccess);
  ASSERT_EQ(EncodeWith(Defaults(), palette, PathOf("8.pqz")).rc, kSuccess);
  ASSERT_EQ(EncodeWith(Defaults(), argb, PathOf("32.pqz")).rc, kSuccess);
  const std::vector<std::uint8_t> reference = ReadAll(PathOf("24.pqz"));
  EXPECT_EQ(ReadAll(PathOf("8.pqz")), reference);
  EXPECT_EQ(ReadAll(PathOf("32.pqz")), reference);
}

// Same image, same parameters: the same bytes, for both learning methods and all colour
// spaces.
struct Method {
  const char* name;
  std::uint16_t colorSpace;
  std::uint32_t iterations;
};

class CodecDeterminismTest : public CodecEncodeTest, public testing::WithParamInterface<Method> {};

TEST_P(CodecDeterminismTest, EncodingTwiceGivesTheSameBytes) {
  EncodingParameters p = Defaults();
  p.Common.ColorSpace = GetParam().colorSpace;
  p.Learning.MaxIterations = GetParam().iterations;
  p.Learning.DimensionReduction = 24;
  const CImageEx image = TexturedImage(48, 40);
  ASSERT_EQ(EncodeWith(p, image, PathOf("a.pqz")).rc, kSuccess);
  ASSERT_EQ(EncodeWith(p, image, PathOf("b.pqz")).rc, kSuccess);
  const std::vector<std::uint8_t> a = ReadAll(PathOf("a.pqz"));
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, ReadAll(PathOf("b.pqz")));
  // The header's iteration flag tells the two methods apart.
  ASSERT_GE(a.size(), 6u);
  EXPECT_EQ(a[4], GetParam().iterations != 0 ? 1 : 0);
  EXPECT_EQ(a[2], GetParam().colorSpace);
}

INSTANTIATE_TEST_SUITE_P(Methods, CodecDeterminismTest,
                         testing::Values(Method{"PcaRgb", 0, 0}, Method{"PcaYcc", 1, 0},
                                         Method{"PcaHsv", 2, 0}, Method{"IcaRgb", 0, 20}),
                         [](const auto& info) { return std::string(info.param.name); });

// Encode then decode of a textured picture: the PSNR measured when this test was written,
// held as a floor with a margin of about 1.5 dB (measured: RGB 47.4, YCC 43.1,
// HSV 46.0, eight bases 46.7, ICA 47.3, 5 x 7 patches 47.2, 12 x 4 patches 47.0, 4 x 4 YCC
// 43.5, step 16 41.9, per-basis steps 47.2, bases at 16 bits 47.5).
struct RoundTrip {
  const char* name;
  std::uint16_t colorSpace;
  std::uint32_t iterations;
  std::uint32_t dimension;
  double floorDb;
  std::uint32_t patchWidth = 8;
  std::uint32_t patchHeight = 8;
  std::uint32_t coeffStep = 1;
  std::uint32_t doChangeStep = 0;
  std::int32_t basePrecision = 7;
};

class CodecRoundTripTest : public CodecEncodeTest, public testing::WithParamInterface<RoundTrip> {};

TEST_P(CodecRoundTripTest, DecodedPictureStaysCloseToTheOriginal) {
  const RoundTrip& r = GetParam();
  EncodingParameters p = Defaults();
  p.Common.ColorSpace = r.colorSpace;
  p.Learning.MaxIterations = r.iterations;
  p.Learning.DimensionReduction = r.dimension;
  p.Common.PatchWidth = r.patchWidth;
  p.Common.PatchHeight = r.patchHeight;
  p.Compression.CoeffQuantizeStep = r.coeffStep;
  p.Compression.AverageQuantizeStep = DeriveAverageQuantizeStep(r.coeffStep, r.patchWidth);
  p.Compression.DoChangeStep = r.doChangeStep;
  p.Compression.BasePrecisionBit = r.basePrecision;
  const CImageEx image = TexturedImage(64, 48);
  const std::string path = PathOf("rt.pqz");
  ASSERT_EQ(EncodeWith(p, image, path).rc, kSuccess);
  CImageEx decoded;
  ASSERT_EQ(DecodeQuietly(decoded, path), kSuccess);
  const double psnr = Psnr(image, decoded);
  RecordProperty("psnr", std::to_string(psnr));
  EXPECT_GE(psnr, r.floorDb);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, CodecRoundTripTest,
    testing::Values(RoundTrip{"PcaRgb", 0, 0, 96, 45.5}, RoundTrip{"PcaYcc", 1, 0, 96, 41.5},
                    RoundTrip{"PcaHsv", 2, 0, 96, 44.5},
                    RoundTrip{"PcaRgbEightBases", 0, 0, 8, 45.0},
                    RoundTrip{"IcaRgb", 0, 30, 24, 45.5},
                    // Patch sides that are not multiples of 4 take the
                    // per-pixel arranging path.
                    RoundTrip{"Patch5x7", 0, 0, 48, 45.5, 5, 7},
                    RoundTrip{"Patch12x4", 0, 0, 96, 45.5, 12, 4},
                    RoundTrip{"Patch4Ycc", 1, 0, 24, 42.0, 4, 4},
                    RoundTrip{"CoeffStep16", 0, 0, 96, 40.4, 8, 8, 16},
                    RoundTrip{"PerBasisSteps", 0, 0, 24, 45.7, 8, 8, 4, 1},
                    RoundTrip{"BasesWithPrecisionBit", 0, 0, 96, 46.0, 8, 8, 1, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Black and white stripes four pixels wide: every 8 x 8 patch is the same, so the covariance
// has rank one and its one basis is far larger than the quantisation limit. The basis must
// survive quantisation (its largest value becomes the limit) and the eigen solver must settle
// the zero eigenvalues without giving up.
TEST_F(CodecEncodeTest, HighContrastStripesRoundTripWithTheDefaults) {
  for (const bool vertical : {true, false}) {
    const CImageEx image = MakeImage(64, 48, [&](int x, int y) {
      const int band = (vertical ? x : y) / 4;
      return band % 2 == 0 ? Rgb(0, 0, 0) : Rgb(255, 255, 255);
    });
    const std::string path = PathOf("stripes.pqz");
    const Encoded e = EncodeWith(Defaults(), image, path);
    ASSERT_EQ(e.rc, kSuccess);
    EXPECT_THAT(e.out, testing::Not(testing::HasSubstr("Too many iterations"))) << e.out;
    CImageEx decoded;
    ASSERT_EQ(DecodeQuietly(decoded, path), kSuccess);
    const double psnr = Psnr(image, decoded);
    RecordProperty(vertical ? "psnr_vertical" : "psnr_horizontal", std::to_string(psnr));
    EXPECT_GE(psnr, 30.0) << (vertical ? "vertical" : "horizontal");
  }
}

// Every line of an encode, the parameter report included, goes to the sink the caller gave;
// nothing reaches standard output, so jobs on other threads cannot interleave with it.
TEST_F(CodecEncodeTest, ReportsGoToTheCallersSinkOnly) {
  EncodingParameters p = Defaults();
  p.Learning.MaxIterations = 3;
  p.Learning.DimensionReduction = 12;
  p.Learning.ConversionCondition = 0.0;  // never met: exactly three steps
  std::ostringstream report;
  PqzCodec codec;
  codec.SetReportSink(report);
  testing::internal::CaptureStdout();
  ASSERT_EQ(codec.SetParameters(p.Common, p.Learning, p.Compression), kSuccess);
  const ResultCode rc = codec.Encode(PathOf("sink.pqz"), TexturedImage(32, 24));
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, kSuccess);
  EXPECT_EQ(out, "");
  const std::string text = report.str();
  EXPECT_EQ(text.rfind("[Common Parameters]\n", 0), 0u) << text;
  EXPECT_THAT(text, testing::HasSubstr("\n...4\n  set bases..."));
  EXPECT_THAT(text, testing::HasSubstr("[File Size]\n"));
}

// A cancel hook is asked between the stages and the learning steps; a cancelled encode gives 29
// and leaves neither a file nor a temporary one, and an earlier file stays as it was.
TEST_F(CodecEncodeTest, CancelledEncodeGives29AndLeavesNothing) {
  EncodingParameters p = Defaults();
  p.Learning.MaxIterations = 50;
  p.Learning.ConversionCondition = 0.0;  // never met: every step asks the hook
  for (const int allowed : {0, 1, 2, 5, 10, 40}) {
    const std::string path = PathOf("cancel.pqz");
    ASSERT_TRUE(codec_test::WriteAll(path, std::vector<std::uint8_t>(10, 0xAB)));
    int asked = 0;
    PqzCodec codec;
    std::ostringstream report;
    codec.SetReportSink(report);
    codec.SetCancelHook([&] { return ++asked > allowed; });
    ASSERT_EQ(codec.SetParameters(p.Common, p.Learning, p.Compression), kSuccess);
    EXPECT_EQ(codec.Encode(path, TexturedImage(32, 24)), kCanceled) << allowed;
    EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>(10, 0xAB));
    EXPECT_EQ(Entries(m_dir.Path()), std::vector<std::string>{"cancel.pqz"});
  }
}

// The encoder changes no process-wide state: the umask stays, a new file gets the permissions
// the umask leaves, and a file it replaces keeps its own.
TEST_F(CodecEncodeTest, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirMode) {
  const mode_t previous = ::umask(027);
  struct RestoreUmask {
    mode_t mask;
    ~RestoreUmask() { ::umask(mask); }
  } restore{previous};
  const auto modeOf = [](const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
  };

  const std::string fresh = PathOf("fresh.pqz");
  ASSERT_EQ(EncodeWith(Defaults(), TexturedImage(16, 16), fresh).rc, kSuccess);
  EXPECT_EQ(modeOf(fresh), 0640u);

  const std::string kept = PathOf("kept.pqz");
  ASSERT_TRUE(codec_test::WriteAll(kept, std::vector<std::uint8_t>(10, 0)));
  ASSERT_EQ(::chmod(kept.c_str(), 0604), 0);
  ASSERT_EQ(EncodeWith(Defaults(), TexturedImage(16, 16), kept).rc, kSuccess);
  EXPECT_EQ(modeOf(kept), 0604u);

  const mode_t now = ::umask(027);
  EXPECT_EQ(now, 027u);
}

}  // namespace
}  // namespace orvane
