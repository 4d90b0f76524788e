// The pqz tool run as a process: exit codes and catalogue messages of failures, the encode
// and decode round trip, --config and --method, and the search.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "codec_test_files.h"
#include "console_lines.h"
#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "scoped_temp_dir.h"

#ifndef ORVANE_PQZ_TOOL
#error "ORVANE_PQZ_TOOL must name the pqz executable"
#endif

namespace orvane {
namespace {

using codec_test::ReadAll;
using codec_test::WriteAll;
using test_support::ScopedTempDir;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

ToolRun Pqz(const QStringList& args) {
  QProcess process;
  process.start(QString::fromUtf8(ORVANE_PQZ_TOOL), args);
  ToolRun r;
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return r;
  r.exitCode = process.exitCode();
  r.out = process.readAllStandardOutput().toStdString();
  r.err = process.readAllStandardError().toStdString();
  return r;
}

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

const std::string kPhoto = std::string(ORVANE_TEST_DATA_DIR) + "/photos/chelsea.png";

class CodecToolTest : public testing::Test {
 protected:
  std::filesystem::path PathOf(const std::string& name) const { return m_dir.Path() / name; }

  // A file made by the tool from the chelsea fixture, with the default parameters.
  std::filesystem::path EncodedPhoto() {
    const std::filesystem::path path = PathOf("photo.pqz");
    if (!std::filesystem::exists(path)) {
      const ToolRun r = Pqz({"encode", QString::fromStdString(kPhoto), Q(path)});
      EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    return path;
  }

  ScopedTempDir m_dir;
};

// Each failure: the damage done to a good file, the command, the exit code and the message.
enum class Damage { kMissing, kWrongMagic, kCutInCoefficients, kCutInMeans };

struct FailureCase {
  const char* name;
  const char* command;
  Damage damage;
  int exitCode;
  const char* message;
};

class CodecToolFailureTest : public CodecToolTest,
                             public testing::WithParamInterface<FailureCase> {};

TEST_P(CodecToolFailureTest, ExitsWithTheResultCodeAndPrintsItsMessageOnStandardError) {
  const FailureCase& c = GetParam();
  const std::filesystem::path broken = PathOf("broken.pqz");
  if (c.damage != Damage::kMissing) {
    std::vector<std::uint8_t> bytes = ReadAll(EncodedPhoto().string());
    ASSERT_GT(bytes.size(), 200u);
    switch (c.damage) {
      case Damage::kWrongMagic:
        bytes[0] = 'G';
        break;
      case Damage::kCutInCoefficients:
        bytes.resize(bytes.size() - 7);
        break;
      case Damage::kCutInMeans:
        bytes.resize(60);  // the header and part of the average section's head
        break;
      case Damage::kMissing:
        break;
    }
    ASSERT_TRUE(WriteAll(broken.string(), bytes));
  }
  QStringList args{c.command, Q(broken)};
  const std::filesystem::path out = PathOf("out.png");
  if (std::string(c.command) != "info") args << Q(out);
  const ToolRun r = Pqz(args);
  EXPECT_EQ(r.exitCode, c.exitCode);
  EXPECT_EQ(r.err, c.message);
  EXPECT_THAT(r.out, testing::Not(testing::HasSubstr("time =")));
  EXPECT_FALSE(std::filesystem::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodecToolFailureTest,
    testing::Values(
        FailureCase{"InfoMissing", "info", Damage::kMissing, 8, "Cannot open file.\n"},
        FailureCase{"DecodeMissing", "decode", Damage::kMissing, 8, "Cannot open file.\n"},
        FailureCase{"PreviewMissing", "preview", Damage::kMissing, 8, "Cannot open file.\n"},
        FailureCase{"InfoWrongMagic", "info", Damage::kWrongMagic, 21, "Invalid file type.\n"},
        FailureCase{"DecodeWrongMagic", "decode", Damage::kWrongMagic, 21, "Invalid file type.\n"},
        FailureCase{"PreviewWrongMagic", "preview", Damage::kWrongMagic, 21,
                    "Invalid file type.\n"},
        FailureCase{"InfoCut", "info", Damage::kCutInCoefficients, 14, "Failed in reading file.\n"},
        FailureCase{"DecodeCut", "decode", Damage::kCutInCoefficients, 14,
                    "Failed in reading file.\n"},
        FailureCase{"PreviewCut", "preview", Damage::kCutInMeans, 14, "Failed in reading file.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CodecToolTest, EncodeThenDecodeRoundTripsThePhoto) {
  const std::filesystem::path pqz = PathOf("rt.pqz");
  const ToolRun encode = Pqz({"encode", QString::fromStdString(kPhoto), Q(pqz)});
  ASSERT_EQ(encode.exitCode, 0) << encode.err;
  EXPECT_EQ(encode.err, "");
  EXPECT_THAT(encode.out, testing::HasSubstr("  saving..."));
  EXPECT_THAT(encode.out, testing::HasSubstr("  Image = (192, 128)\n"));

  const std::filesystem::path png = PathOf("rt.png");
  const ToolRun decode = Pqz({"decode", Q(pqz), Q(png)});
  ASSERT_EQ(decode.exitCode, 0) << decode.err;
  EXPECT_THAT(decode.out, testing::HasSubstr("  arrange time = "));
  CImageEx original, decoded;
  ASSERT_TRUE(LoadImageFile(original, kPhoto));
  ASSERT_TRUE(LoadImageFile(decoded, png.string()));
  // The codec's own round trip of this photo reaches about 45 dB (see codec_photo_test).
  EXPECT_GE(codec_test::Psnr(original, decoded), 40.0);

  const ToolRun info = Pqz({"info", Q(pqz)});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_THAT(info.out, testing::HasSubstr("[Header]\n  File Type = 20816\n"));
  EXPECT_THAT(info.out, testing::HasSubstr("  OffSet - Average = 44,"));
  EXPECT_THAT(info.out, testing::HasSubstr("[File Size]\n"));

  const std::filesystem::path small = PathOf("preview.bmp");
  const ToolRun preview = Pqz({"preview", Q(pqz), Q(small)});
  ASSERT_EQ(preview.exitCode, 0) << preview.err;
  CImageEx thumb;
  ASSERT_TRUE(LoadImageFile(thumb, small.string()));
  EXPECT_EQ(thumb.GetWidth(), 24);
  EXPECT_EQ(thumb.GetHeight(), 16);
}

TEST_F(CodecToolTest, DecodeToAnUnknownExtensionFailsWith15AndWritesNothing) {
  const std::filesystem::path out = PathOf("out.xyz");
  const ToolRun r = Pqz({"decode", Q(EncodedPhoto()), Q(out)});
  EXPECT_EQ(r.exitCode, 15);
  EXPECT_EQ(r.err, "Failed in writing file.\n");
  EXPECT_FALSE(std::filesystem::exists(out));
}

std::string CompleteConfig(const std::string& colorSpace) {
  return "[Common]\nColorSpace=" + colorSpace +
         "\nPatchWidth=8\nPatchHeight=8\n"
         "[Learning]\nConversionCondition=0.0001\nDimensionReduction=48\nMaxIterations=0\n"
         "[Compression]\nCoeffQuantizeStep=1\nDoChangeStep=0\nMaxZeroRun=16\nPrecisionBit=16\n"
         "BasePrecisionBit=7\n";
}

TEST_F(CodecToolTest, ConfigFileChoosesTheColourSpaceAndDimension) {
  const std::filesystem::path ini = PathOf("ycc.ini");
  const std::string text = CompleteConfig("YCC");
  ASSERT_TRUE(WriteAll(ini.string(), std::vector<std::uint8_t>(text.begin(), text.end())));
  const std::filesystem::path pqz = PathOf("ycc.pqz");
  const ToolRun r = Pqz({"encode", QString::fromStdString(kPhoto), Q(pqz), "--config", Q(ini)});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(r.out, testing::HasSubstr("  Color Space = 1\n"));
  const std::vector<std::uint8_t> bytes = ReadAll(pqz.string());
  ASSERT_GE(bytes.size(), 44u);
  EXPECT_EQ(bytes[2], 1) << "ColorSpace field of the header";
  EXPECT_EQ(bytes[24], 48) << "Dimension field of the header";
}

TEST_F(CodecToolTest, MissingConfigFileIsRefusedWith8) {
  const std::filesystem::path pqz = PathOf("x.pqz");
  const ToolRun r =
      Pqz({"encode", QString::fromStdString(kPhoto), Q(pqz), "--config", Q(PathOf("absent.ini"))});
  EXPECT_EQ(r.exitCode, 8);
  EXPECT_EQ(r.err, "Cannot open file.\n");
  EXPECT_FALSE(std::filesystem::exists(pqz));
}

// A folder or a file without read permission is no configuration either. (Permissions do not
// bind the superuser, so that case is only checked when the file really cannot be read.)
TEST_F(CodecToolTest, ConfigFolderOrUnreadableConfigIsRefusedWith8) {
  const std::filesystem::path folder = PathOf("config.d");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  const std::filesystem::path locked = PathOf("locked.ini");
  const std::string text = "[Common]\nColorSpace=RGB\n";
  ASSERT_TRUE(WriteAll(locked.string(), std::vector<std::uint8_t>(text.begin(), text.end())));
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  std::vector<std::filesystem::path> configs = {folder};
  if (std::FILE* probe = std::fopen(locked.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    configs.push_back(locked);
  }
  for (const std::filesystem::path& config : configs) {
    const std::filesystem::path pqz = PathOf("x.pqz");
    const ToolRun r =
        Pqz({"encode", QString::fromStdString(kPhoto), Q(pqz), "--config", Q(config)});
    EXPECT_EQ(r.exitCode, 8) << config;
    EXPECT_EQ(r.err, "Cannot open file.\n");
    EXPECT_FALSE(std::filesystem::exists(pqz));
  }
}

TEST_F(CodecToolTest, ConfigThatLacksKeysIsRefusedWith10AndWritesNothing) {
  const std::filesystem::path ini = PathOf("partial.ini");
  const std::string text = "[Common]\nColorSpace=RGB\n";
  ASSERT_TRUE(WriteAll(ini.string(), std::vector<std::uint8_t>(text.begin(), text.end())));
  const std::filesystem::path pqz = PathOf("x.pqz");
  const ToolRun r = Pqz({"encode", QString::fromStdString(kPhoto), Q(pqz), "--config", Q(ini)});
  EXPECT_EQ(r.exitCode, 10);
  EXPECT_EQ(r.err, "Failed in loading some parameters from config file.\n");
  EXPECT_FALSE(std::filesystem::exists(pqz));
}

TEST_F(CodecToolTest, MethodsSetTheIterationFlagAndAnUnknownMethodIsRefused) {
  const std::filesystem::path ica = PathOf("ica.pqz");
  const ToolRun r = Pqz({"encode", QString::fromStdString(kPhoto), Q(ica), "--method", "ica"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(r.out, testing::HasSubstr("  Iteration = 100\n"));
  std::vector<std::uint8_t> bytes = ReadAll(ica.string());
  ASSERT_GE(bytes.size(), 44u);
  EXPECT_EQ(bytes[4], 1) << "IterationFlag after ICA";

  const std::filesystem::path pca = PathOf("pca.pqz");
  ASSERT_EQ(Pqz({"encode", QString::fromStdString(kPhoto), Q(pca), "--method", "pca"}).exitCode, 0);
  bytes = ReadAll(pca.string());
  ASSERT_GE(bytes.size(), 44u);
  EXPECT_EQ(bytes[4], 0) << "IterationFlag after PCA";

  const std::filesystem::path bad = PathOf("bad.pqz");
  const ToolRun refused =
      Pqz({"encode", QString::fromStdString(kPhoto), Q(bad), "--method", "kmeans"});
  EXPECT_EQ(refused.exitCode, 18);
  EXPECT_THAT(refused.err, testing::StartsWith("usage: pqz encode"));
  EXPECT_FALSE(std::filesystem::exists(bad));
}

TEST_F(CodecToolTest, InputThatIsNoImageFailsWith8AndWritesNothing) {
  const std::filesystem::path text = PathOf("notes.png");
  ASSERT_TRUE(WriteAll(text.string(), {'h', 'i', '\n'}));
  const std::filesystem::path pqz = PathOf("x.pqz");
  const ToolRun r = Pqz({"encode", Q(text), Q(pqz)});
  EXPECT_EQ(r.exitCode, 8);
  EXPECT_EQ(r.err, "Cannot open file.\n");
  EXPECT_FALSE(std::filesystem::exists(pqz));
}

TEST_F(CodecToolTest, SearchRanksTheQueryItselfFirstAndPrintsOneLinePerCandidate) {
  const std::filesystem::path folder = PathOf("library");
  std::filesystem::create_directory(folder);
  for (const char* name : {"chelsea", "coffee", "rocket"}) {
    const std::string photo = std::string(ORVANE_TEST_DATA_DIR) + "/photos/" + name + ".png";
    const ToolRun r =
        Pqz({"encode", QString::fromStdString(photo), Q(folder / (std::string(name) + ".pqz"))});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  // Ordinary images in the folder are listed but are no candidates.
  std::filesystem::copy_file(kPhoto, folder / "chelsea.png");

  for (const char* feature : {"block-mean", "histogram", "csd"}) {
    const ToolRun r = Pqz({"search", Q(folder / "chelsea.pqz"), Q(folder), "--feature", feature});
    ASSERT_EQ(r.exitCode, 0) << feature << ": " << r.err;
    const std::vector<std::string> lines = test::Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_THAT(lines[0], testing::StartsWith("1 1.000000 "));
    EXPECT_THAT(lines[0], testing::EndsWith("chelsea.pqz"));
    EXPECT_THAT(lines[2], testing::StartsWith("3 "));
    // The ranking does not depend on the number of scoring threads.
    const ToolRun one =
        Pqz({"search", Q(folder / "chelsea.pqz"), Q(folder), "--feature", feature, "--jobs", "1"});
    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(one.out, r.out);
  }
  EXPECT_EQ(Pqz({"search", Q(folder / "chelsea.pqz"), Q(folder), "--jobs", "0"}).exitCode, 18);
}

TEST_F(CodecToolTest, SearchWithoutCandidatesSaysSoAndFails) {
  const std::filesystem::path folder = PathOf("photos");
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(kPhoto, folder / "chelsea.png");
  const ToolRun r = Pqz({"search", Q(EncodedPhoto()), Q(folder)});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_EQ(r.err, "Orvane supports PQZ files only!\n");
  EXPECT_TRUE(r.out.empty());
}

}  // namespace
}  // namespace orvane
