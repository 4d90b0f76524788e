#include "pqz/pqz_header.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "pqz/encoding_parameters.h"
#include "pqz_test_support.h"

namespace orvane {
namespace {

using test::MakeHeader;
using test::TempFile;

std::vector<std::uint8_t> HeaderBytes(const PqzHeader& h) {
  TempFile file;
  EXPECT_EQ(WritePqzHeader(file.get(), h), kSuccess);
  return file.Bytes();
}

TEST(PqzHeader, DefaultsToTheMagicAndZeros) {
  const PqzHeader h;
  EXPECT_EQ(h.FileType, 20816);
  EXPECT_EQ(h.ImageWidth, 0);
  EXPECT_EQ(h.CoeffOffset, 0);
}

TEST(PqzHeader, WritesEveryFieldLittleEndianAtItsOffset) {
  PqzHeader h;
  h.ColorSpace = 0x0102;
  h.IterationFlag = 1;
  h.ImageHeight = 0x0A0B0C0D;
  h.ImageWidth = -2;
  h.PatchHeight = 8;
  h.PatchWidth = 16;
  h.Dimension = 96;
  h.AverageOffset = 44;
  h.BaseOffset = 0x12345678;
  h.CoeffOffset = 300;
  const std::vector<std::uint8_t> expected = {
      'P',  'Q',  0x02, 0x01, 0x01, 0x00, 0x00, 0x00,  // FileType, ColorSpace, flag, reserved
      0x0D, 0x0C, 0x0B, 0x0A, 0xFE, 0xFF, 0xFF, 0xFF,  // height, width
      0x08, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,  // patch height, patch width
      0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // dimension, reserved
      0x2C, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12,  // average and base offsets
      0x2C, 0x01, 0x00, 0x00};                         // coefficient offset
  EXPECT_EQ(HeaderBytes(h), expected);
}

TEST(PqzHeader, ReadsBackWhatWasWritten) {
  PqzHeader h = MakeHeader(640, 480, 8, 8, 96);
  h.ColorSpace = 2;
  h.IterationFlag = 1;
  h.AverageOffset = 44;
  h.BaseOffset = 1000;
  h.CoeffOffset = 5000;
  TempFile file(HeaderBytes(h));
  PqzHeader back = MakeHeader(1, 1, 1, 1, 1);
  ASSERT_EQ(ReadPqzHeader(file.get(), back), kSuccess);
  EXPECT_EQ(back.ColorSpace, 2);
  EXPECT_EQ(back.IterationFlag, 1);
  EXPECT_EQ(back.ImageWidth, 640);
  EXPECT_EQ(back.ImageHeight, 480);
  EXPECT_EQ(back.Dimension, 96);
  EXPECT_EQ(back.BaseOffset, 1000);
  EXPECT_EQ(back.CoeffOffset, 5000);
}

class ShortHeader : public testing::TestWithParam<std::size_t> {};

TEST_P(ShortHeader, IsRefusedWith14) {
  std::vector<std::uint8_t> bytes = HeaderBytes(MakeHeader(16, 16, 8, 8, 4));
  bytes.resize(GetParam());
  TempFile file(bytes);
  PqzHeader h;
  h.ImageWidth = 77;
  EXPECT_EQ(ReadPqzHeader(file.get(), h), kReadFailed);
  EXPECT_EQ(h.ImageWidth, 77) << "the out-value is written only on success";
}

INSTANTIATE_TEST_SUITE_P(Lengths, ShortHeader, testing::Values(0, 1, 2, 43));

TEST(PqzHeader, RefusesWrongMagicWith21EvenWhenTheSizesAreAlsoWrong) {
  // The magic is checked first: a foreign file is an invalid file type, not a broken PQZ.
  PqzHeader h = MakeHeader(0, 0, 0, 0, 0);
  h.FileType = 0x5151;  // "QQ"
  TempFile file(HeaderBytes(h));
  PqzHeader out;
  EXPECT_EQ(ReadPqzHeader(file.get(), out), kInvalidFileType);
}

struct SizeCase {
  const char* what;
  std::int32_t width, height, patchWidth, patchHeight, dimension;
  ResultCode expected;
};

class HeaderSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(HeaderSizes, AreCheckedOnReading) {
  const SizeCase& c = GetParam();
  TempFile file(
      HeaderBytes(MakeHeader(c.width, c.height, c.patchWidth, c.patchHeight, c.dimension)));
  PqzHeader h;
  EXPECT_EQ(ReadPqzHeader(file.get(), h), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HeaderSizes,
    testing::Values(
        SizeCase{"ordinary", 640, 480, 8, 8, 96, kSuccess},
        SizeCase{"dimension equal to 3N", 16, 16, 8, 8, 192, kSuccess},
        SizeCase{"patch larger than the image", 1, 1, 8, 8, 1, kSuccess},
        SizeCase{"dimension above 3N", 16, 16, 8, 8, 193, kInvalidFileType},
        SizeCase{"zero width", 0, 16, 8, 8, 4, kInvalidFileType},
        SizeCase{"negative height", 16, -16, 8, 8, 4, kInvalidFileType},
        SizeCase{"zero patch width", 16, 16, 0, 8, 4, kInvalidFileType},
        SizeCase{"negative patch height", 16, 16, 8, -8, 4, kInvalidFileType},
        SizeCase{"zero dimension", 16, 16, 8, 8, 0, kInvalidFileType},
        SizeCase{"negative dimension", 16, 16, 8, 8, -1, kInvalidFileType},
        SizeCase{"more patches than 32 bits count", 2147483647, 2147483647, 1, 1, 1,
                 kInvalidFileType},
        SizeCase{"bases too long to address", 65536, 65536, 65536, 65536, 1, kInvalidFileType},
        SizeCase{"patch matrix too large to address", 65536, 65536, 16, 16, 1, kInvalidFileType}),
    [](const testing::TestParamInfo<SizeCase>& info) {
      std::string name = info.param.what;
      for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name;
    });

TEST(PatchGrid, CountsPartialPatchesAsWhole) {
  const PatchGrid g = GridOf(MakeHeader(10, 10, 8, 8, 4));
  EXPECT_EQ(g.Columns, 2u);
  EXPECT_EQ(g.Rows, 2u);
  EXPECT_EQ(g.Patches, 4u);
  EXPECT_EQ(g.PixelsPerPatch, 64u);
  const PatchGrid exact = GridOf(MakeHeader(32, 8, 8, 4, 4));
  EXPECT_EQ(exact.Columns, 4u);
  EXPECT_EQ(exact.Rows, 2u);
  EXPECT_EQ(exact.PixelsPerPatch, 32u);
}

TEST(PatchGrid, IsEmptyForSizesThatCannotBeCut) {
  const PatchGrid g = GridOf(MakeHeader(10, 10, 0, 8, 4));
  EXPECT_EQ(g.Patches, 0u);
  EXPECT_EQ(g.PixelsPerPatch, 0u);
}

TEST(FillPqzHeader, PutsTheSectionsOneAfterAnother) {
  EncodingParameters p;
  p.Common.ColorSpace = 1;
  p.Common.PatchWidth = 4;
  p.Common.PatchHeight = 6;
  p.Learning.DimensionReduction = 20;
  p.Learning.MaxIterations = 100;
  PqzHeader h;
  ASSERT_EQ(FillPqzHeader(p, 33, 21, 140, 2000, h), kSuccess);
  EXPECT_EQ(h.FileType, kPqzFileType);
  EXPECT_EQ(h.ColorSpace, 1);
  EXPECT_EQ(h.IterationFlag, 1);
  EXPECT_EQ(h.ImageWidth, 33);
  EXPECT_EQ(h.ImageHeight, 21);
  EXPECT_EQ(h.PatchWidth, 4);
  EXPECT_EQ(h.PatchHeight, 6);
  EXPECT_EQ(h.Dimension, 20);
  EXPECT_EQ(h.AverageOffset, 44);
  EXPECT_EQ(h.BaseOffset, 184);
  EXPECT_EQ(h.CoeffOffset, 2184);
  p.Learning.MaxIterations = 0;
  ASSERT_EQ(FillPqzHeader(p, 33, 21, 140, 2000, h), kSuccess);
  EXPECT_EQ(h.IterationFlag, 0);
}

TEST(FillPqzHeader, RefusesOffsetsBeyondInt32With22) {
  EncodingParameters p;
  PqzHeader h;
  EXPECT_EQ(FillPqzHeader(p, 8, 8, 0x7FFFFF00u, 0x100u, h), kInvalidValues);
}

class ProbeFile : public testing::Test {
 protected:
  std::string Path(const char* name) {
    return testing::TempDir() + "orvane_probe_" + std::to_string(::getpid()) + "_" + name;
  }
  void Put(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    m_paths.push_back(path);
  }
  void TearDown() override {
    for (const std::string& p : m_paths) std::remove(p.c_str());
  }
  std::vector<std::string> m_paths;
};

TEST_F(ProbeFile, ReturnsTheIterationFlag) {
  PqzHeader h = MakeHeader(16, 16, 8, 8, 4);
  h.IterationFlag = 1;
  const std::string path = Path("ica.pqz");
  Put(path, HeaderBytes(h));
  std::uint16_t flag = 7;
  EXPECT_EQ(ProbePqzFile(path, &flag), kSuccess);
  EXPECT_EQ(flag, 1);
}

TEST_F(ProbeFile, ReportsMissingShortAndForeignFiles) {
  std::uint16_t flag = 7;
  EXPECT_EQ(ProbePqzFile(Path("missing.pqz"), &flag), kCannotOpenFile);
  std::vector<std::uint8_t> bytes = HeaderBytes(MakeHeader(16, 16, 8, 8, 4));
  const std::string shortPath = Path("short.pqz");
  Put(shortPath, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 30));
  EXPECT_EQ(ProbePqzFile(shortPath, &flag), kReadFailed);
  bytes[1] = 'X';
  const std::string foreign = Path("foreign.pqz");
  Put(foreign, bytes);
  EXPECT_EQ(ProbePqzFile(foreign, &flag), kInvalidFileType);
  EXPECT_EQ(flag, 7) << "the flag is written only on success";
}

std::string Captured(void (*print)()) {
  testing::internal::CaptureStdout();
  print();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(Reports, PrintTheHeaderExactly) {
  const std::string out = Captured([] {
    PqzHeader h = MakeHeader(640, 480, 8, 4, 96);
    h.ColorSpace = 1;
    h.AverageOffset = 44;
    h.BaseOffset = 1084;
    h.CoeffOffset = 9000;
    PrintHeaderReport(h);
  });
  EXPECT_EQ(out,
            "[Header]\n"
            "  File Type = 20816\n"
            "  ColorSpace = 1\n"
            "  Image = (640, 480)\n"
            "  Patch = (8, 4)\n"
            "  Dimension = 96\n"
            "  OffSet - Average = 44, Base = 1084, Coeff = 9000\n"
            "\n");
}

TEST(Reports, PrintTheSectionSizesAndTheirSum) {
  const std::string out = Captured([] { PrintSizeReport(1040, 8000, 123456); });
  EXPECT_EQ(out, "[File Size]\n  Ave = 1040, Base = 8000, Coeff = 123456, Total = 132496\n\n");
}

}  // namespace
}  // namespace orvane
