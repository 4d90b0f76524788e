#include "retrieval/section_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/image_ex.h"
#include "pqz/little_endian.h"
#include "pqz/pqz_codec.h"
#include "pqz/pqz_reader.h"
#include "retrieval/color_feature.h"
#include "retrieval/edge_feature.h"
#include "retrieval_test_support.h"

namespace orvane {
namespace {

using test::SyntheticPqz;
using test::TempDir;

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n;
}

class SectionReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    m_file = test::MakeSynthetic(40, 24, 8, 5, 7);
    m_file.averageStep = 4;    // stored values must not be multiplied back
    m_file.baseFactor = 3;     // nor divided by the factors
    m_file.basePrecision = 8;  // values of +-100 and their differences: 16-bit rows
    m_path = m_dir.File("good.pqz");
    ASSERT_EQ(test::WritePqz(m_path, m_file), kSuccess);
  }

  TempDir m_dir;
  SyntheticPqz m_file;
  std::string m_path;
};

void ExpectSame(const Tarn::Matrix<double>& got, const Tarn::Matrix<double>& want) {
  ASSERT_EQ(got.Rows(), want.Rows());
  ASSERT_EQ(got.Columns(), want.Columns());
  for (std::uint32_t i = 0; i < want.Count(); ++i) ASSERT_EQ(got.Data()[i], want.Data()[i]) << i;
}

TEST_F(SectionReaderTest, AveragesComeBackAsStoredWithoutTheQuantisationStep) {
  Tarn::Matrix<double> averages;
  PqzHeader header;
  ASSERT_EQ(ReadAverages(m_path, averages, header), kSuccess);
  ExpectSame(averages, m_file.averages);
  EXPECT_EQ(header.ImageWidth, 40);
  EXPECT_EQ(header.ImageHeight, 24);
}

TEST_F(SectionReaderTest, BasesComeBackAsStoredWithoutTheFactors) {
  Tarn::Matrix<double> bases;
  PqzHeader header;
  ASSERT_EQ(ReadBases(m_path, bases, header), kSuccess);
  ExpectSame(bases, m_file.bases);
  EXPECT_EQ(header.Dimension, 5);
}

TEST_F(SectionReaderTest, SmallBasesComeBackAsTheSameIntegers) {
  Int16Rows rows;
  PqzHeader header;
  ASSERT_EQ(ReadSmallBases(m_path, rows, header), kSuccess);
  EXPECT_EQ(header.Dimension, 5);
  const Tarn::Matrix<double>& want = m_file.bases;
  ASSERT_EQ(rows.Rows(), want.Rows());
  ASSERT_EQ(rows.Length(), want.Columns());
  double largest = 0;
  for (std::uint32_t r = 0; r < want.Rows(); ++r) {
    for (std::uint32_t c = 0; c < rows.Stride(); ++c) {
      const double expected = c < want.Columns() ? want(r, c) : 0.0;  // zero padding
      ASSERT_EQ(rows.Row(r)[c], expected) << r << ", " << c;
      largest = std::max(largest, std::fabs(expected));
    }
  }
  EXPECT_EQ(rows.Largest(), largest);
}

// Bases of a precision whose values may not fit 16 bits go through the double matrix: the
// same integers, or 22 for a value past what 16-bit rows hold, which ReadBases reads.
TEST_F(SectionReaderTest, WiderBasesComeBackAlikeOrAreRefusedWith22) {
  m_file.basePrecision = 15;
  ASSERT_EQ(test::WritePqz(m_path, m_file), kSuccess);
  Int16Rows rows;
  PqzHeader header;
  ASSERT_EQ(ReadSmallBases(m_path, rows, header), kSuccess);
  Int16Rows want;
  ASSERT_TRUE(want.Assign(m_file.bases.Data(), m_file.bases.Rows(), m_file.bases.Columns()));
  ASSERT_EQ(rows.Rows(), want.Rows());
  for (std::uint32_t r = 0; r < want.Rows(); ++r) {
    EXPECT_TRUE(std::equal(rows.Row(r), rows.Row(r) + rows.Stride(), want.Row(r))) << r;
  }

  m_file.basePrecision = 0;  // 24 bits
  m_file.bases(1, 2) = 40000;
  ASSERT_EQ(test::WritePqz(m_path, m_file), kSuccess);
  header.ImageWidth = 4242;
  EXPECT_EQ(ReadSmallBases(m_path, rows, header), kInvalidValues);
  EXPECT_TRUE(rows.IsEmpty());
  EXPECT_EQ(header.ImageWidth, 4242);
  Tarn::Matrix<double> bases;
  ASSERT_EQ(ReadBases(m_path, bases, header), kSuccess);
  ExpectSame(bases, m_file.bases);
}

// The reader takes a file's first 4 KB, then the bytes up to the last section head when that
// lies within 16 KB: sections inside the first read, inside the second, across its end and
// beyond it all come back as stored.
TEST_F(SectionReaderTest, SectionsOnEitherSideOfTheFirstReadsComeBackAlike) {
  bool within[3] = {false, false, false};  // the last head in the first 4 KB, 16 KB, beyond
  for (const std::uint32_t dimension : {8u, 20u, 40u, 90u, 190u}) {
    test::SyntheticPqz file = test::MakeSynthetic(40, 24, 8, dimension, dimension);
    file.basePrecision = 8;
    const std::string path = m_dir.File("sized.pqz");
    ASSERT_EQ(test::WritePqz(path, file), kSuccess);
    Tarn::Matrix<double> bases, averages;
    PqzHeader header;
    ASSERT_EQ(ReadBases(path, bases, header), kSuccess);
    ExpectSame(bases, file.bases);
    ASSERT_EQ(ReadAverages(path, averages, header), kSuccess);
    ExpectSame(averages, file.averages);
    Int16Rows rows;
    ASSERT_EQ(ReadSmallBases(path, rows, header), kSuccess);
    for (std::uint32_t r = 0; r < dimension; ++r) {
      for (std::uint32_t c = 0; c < rows.Length(); ++c) {
        ASSERT_EQ(rows.Row(r)[c], file.bases(r, c)) << dimension << ": " << r << ", " << c;
      }
    }
    within[header.CoeffOffset + 8 <= 4096 ? 0 : (header.CoeffOffset + 8 <= 16384 ? 1 : 2)] = true;
  }
  EXPECT_TRUE(within[0] && within[1] && within[2]);
}

// A reader of the bases takes the bytes up to the last section head together with the bases
// when they lie beyond 16 KB: the head after the bases is still checked as every reader
// checks it.
TEST_F(SectionReaderTest, TheHeadAfterLargeBasesIsCheckedAsForEveryReader) {
  test::SyntheticPqz file = test::MakeSynthetic(40, 24, 8, 190, 190);
  file.basePrecision = 8;
  const std::string sound = m_dir.File("large.pqz");
  ASSERT_EQ(test::WritePqz(sound, file), kSuccess);
  const std::vector<char> bytes = ReadAll(sound);
  const auto coeff =
      static_cast<std::size_t>(LoadLeInt32(reinterpret_cast<const std::uint8_t*>(&bytes[40])));
  ASSERT_GT(coeff + 8, 16384u);
  const auto payload = [&](std::int32_t length) {
    std::vector<char> b = bytes;
    StoreLeInt32(reinterpret_cast<std::uint8_t*>(&b[coeff + 4]), length);
    return b;
  };
  const std::vector<std::vector<char>> damaged = {
      payload(-1),
      payload(static_cast<std::int32_t>(bytes.size())),
      std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(coeff + 4)),
      std::vector<char>(bytes.begin(), bytes.end() - 1),
  };
  for (std::size_t d = 0; d < damaged.size(); ++d) {
    const std::string path = m_dir.File("large-damaged.pqz");
    WriteAll(path, damaged[d]);
    Tarn::Matrix<double> matrix;
    Int16Rows rows;
    PqzHeader header;
    EXPECT_EQ(ReadBases(path, matrix, header), kReadFailed) << d;
    EXPECT_EQ(ReadSmallBases(path, rows, header), kReadFailed) << d;
    EXPECT_EQ(ReadAverages(path, matrix, header), kReadFailed) << d;
  }
  Int16Rows rows;
  PqzHeader header;
  ASSERT_EQ(ReadSmallBases(sound, rows, header), kSuccess);
  EXPECT_EQ(rows.Row(189)[5], file.bases(189, 5));
}

// How a good file is damaged, and the code both readers must give for it.
struct Damage {
  const char* name;
  ResultCode averagesCode;
  ResultCode basesCode;
  void (*apply)(std::vector<char>& bytes);
};

const Damage kDamages[] = {
    {"Missing", kCannotOpenFile, kCannotOpenFile, nullptr},
    {"ShortHeader", kReadFailed, kReadFailed, [](std::vector<char>& b) { b.resize(30); }},
    {"WrongFileType", kInvalidFileType, kInvalidFileType, [](std::vector<char>& b) { b[0] = 'X'; }},
    {"ImpossibleSizes", kInvalidFileType, kInvalidFileType,
     [](std::vector<char>& b) { StoreLeInt32(reinterpret_cast<std::uint8_t*>(&b[20]), 0); }},
    {"NegativeOffsets", kReadFailed, kReadFailed,
     [](std::vector<char>& b) {
       StoreLeInt32(reinterpret_cast<std::uint8_t*>(&b[32]), -5);
       StoreLeInt32(reinterpret_cast<std::uint8_t*>(&b[36]), -5);
     }},
    {"OffsetsPastTheEnd", kReadFailed, kReadFailed,
     [](std::vector<char>& b) {
       StoreLeInt32(reinterpret_cast<std::uint8_t*>(&b[32]), 1 << 30);
       StoreLeInt32(reinterpret_cast<std::uint8_t*>(&b[36]), 1 << 30);
     }},
    // Every reader refuses a file whose sections do not all lie whole where the header says.
    {"TruncatedInTheBases", kReadFailed, kReadFailed,
     [](std::vector<char>& b) {
       b.resize(static_cast<std::size_t>(LoadLeInt32(reinterpret_cast<std::uint8_t*>(&b[36]))) +
                50);
     }},
    {"UnknownCoding", kUnsupportedVersion, kUnsupportedVersion,
     [](std::vector<char>& b) {
       StoreLeInt32(reinterpret_cast<std::uint8_t*>(&b[44]), 2);
       StoreLeInt32(reinterpret_cast<std::uint8_t*>(
                        &b[LoadLeInt32(reinterpret_cast<std::uint8_t*>(&b[36]))]),
                    2);
     }},
};

class DamagedFile : public SectionReaderTest, public testing::WithParamInterface<Damage> {
 protected:
  std::string DamagedPath() {
    const std::string path = m_dir.File("damaged.pqz");
    if (GetParam().apply != nullptr) {
      std::vector<char> bytes = ReadAll(m_path);
      GetParam().apply(bytes);
      WriteAll(path, bytes);
    }
    return path;
  }
};

TEST_P(DamagedFile, ReadersReportTheFailureAndLeaveTheCallersMatrixAlone) {
  const std::string path = DamagedPath();
  Tarn::Matrix<double> sentinel(2, 2);
  sentinel.Fill(42.0);
  PqzHeader sentinelHeader;
  sentinelHeader.ImageWidth = 4242;

  Tarn::Matrix<double> averages = sentinel;
  PqzHeader header = sentinelHeader;
  EXPECT_EQ(ReadAverages(path, averages, header), GetParam().averagesCode);
  if (GetParam().averagesCode != kSuccess) {
    ExpectSame(averages, sentinel);
    EXPECT_EQ(header.ImageWidth, 4242);
  }
  Tarn::Matrix<double> bases = sentinel;
  header = sentinelHeader;
  EXPECT_EQ(ReadBases(path, bases, header), GetParam().basesCode);
  ExpectSame(bases, sentinel);
  EXPECT_EQ(header.ImageWidth, 4242);
  Int16Rows rows;
  ASSERT_TRUE(rows.Assign(sentinel.Data(), 2, 2));
  EXPECT_EQ(ReadSmallBases(path, rows, header), GetParam().basesCode);
  EXPECT_TRUE(rows.IsEmpty());
  EXPECT_EQ(header.ImageWidth, 4242);
  // Read side by side with a sound file, in either place: the same code, and the sound file
  // is read as it is alone.
  Int16Rows alone;
  PqzHeader soundHeader;
  ASSERT_EQ(ReadSmallBases(m_path, alone, soundHeader), kSuccess);
  for (int place = 0; place < 2; ++place) {
    Int16Rows damaged, sound;
    ASSERT_TRUE(damaged.Assign(sentinel.Data(), 2, 2));
    SmallBasesJob jobs[2];
    jobs[place].path = &path;
    jobs[place].bases = &damaged;
    jobs[place].header = sentinelHeader;
    jobs[1 - place].path = &m_path;
    jobs[1 - place].bases = &sound;
    ReadSmallBasesTogether(jobs, 2);
    EXPECT_EQ(jobs[place].result, GetParam().basesCode);
    if (GetParam().basesCode != kSuccess) {
      EXPECT_TRUE(damaged.IsEmpty());
      EXPECT_EQ(jobs[place].header.ImageWidth, 4242);
    }
    ASSERT_EQ(jobs[1 - place].result, kSuccess);
    EXPECT_EQ(jobs[1 - place].header.ImageWidth, soundHeader.ImageWidth);
    ASSERT_EQ(sound.Rows(), alone.Rows());
    for (std::uint32_t r = 0; r < alone.Rows(); ++r) {
      for (std::uint32_t c = 0; c < alone.Stride(); ++c) {
        ASSERT_EQ(sound.Row(r)[c], alone.Row(r)[c]);
      }
    }
  }
  // The averages the same way.
  Tarn::Matrix<double> soundAlone;
  ASSERT_EQ(ReadAverages(m_path, soundAlone, soundHeader), kSuccess);
  for (int place = 0; place < 2; ++place) {
    Tarn::Matrix<double> damaged = sentinel, sound;
    AveragesJob jobs[2];
    jobs[place].path = &path;
    jobs[place].averages = &damaged;
    jobs[place].header = sentinelHeader;
    jobs[1 - place].path = &m_path;
    jobs[1 - place].averages = &sound;
    ReadAveragesTogether(jobs, 2);
    EXPECT_EQ(jobs[place].result, GetParam().averagesCode);
    if (GetParam().averagesCode != kSuccess) {
      ExpectSame(damaged, sentinel);
      EXPECT_EQ(jobs[place].header.ImageWidth, 4242);
    } else {
      ExpectSame(damaged, averages);
    }
    ASSERT_EQ(jobs[1 - place].result, kSuccess);
    EXPECT_EQ(jobs[1 - place].header.ImageWidth, soundHeader.ImageWidth);
    ExpectSame(sound, soundAlone);
  }
}

TEST_P(DamagedFile, ReadersCloseTheFileOnEveryPath) {
  const std::string path = DamagedPath();
  const std::size_t before = OpenDescriptors();
  for (int i = 0; i < 3; ++i) {
    Tarn::Matrix<double> m;
    PqzHeader h;
    ReadAverages(path, m, h);
    ReadBases(path, m, h);
    Int16Rows rows;
    ReadSmallBases(path, rows, h);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_P(DamagedFile, LoadQueryTurnsEveryReadFailureIntoFourteen) {
  const std::string path = DamagedPath();
  EdgeFeature edge;
  EXPECT_EQ(edge.LoadQuery(path), GetParam().basesCode == kSuccess ? kSuccess : kReadFailed);
  EXPECT_EQ(edge.Similarity(path) == -1.0, GetParam().basesCode != kSuccess);
  for (const std::int32_t kind : {FEATURE_BLOCK_MEAN, FEATURE_HISTOGRAM, FEATURE_CSD}) {
    ColorFeature color(kind);
    EXPECT_EQ(color.LoadQuery(path), GetParam().averagesCode == kSuccess ? kSuccess : kReadFailed);
    EXPECT_EQ(color.Similarity(path) == -1.0, GetParam().averagesCode != kSuccess);
  }
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedFile, testing::ValuesIn(kDamages),
                         [](const testing::TestParamInfo<Damage>& info) {
                           return std::string(info.param.name);
                         });

// Offsets that break the layout (sections one after the other, no gap, no overlap, within the
// file) and bytes after the last section, which every reader ignores.
struct Layout {
  const char* name;
  ResultCode code;
  void (*apply)(std::vector<char>& bytes);
};

std::int32_t Field(const std::vector<char>& b, std::size_t at) {
  return LoadLeInt32(reinterpret_cast<const std::uint8_t*>(&b[at]));
}
void SetField(std::vector<char>& b, std::size_t at, std::int32_t v) {
  StoreLeInt32(reinterpret_cast<std::uint8_t*>(&b[at]), v);
}
// Puts `n` zero bytes in front of the byte at `at`.
void Insert(std::vector<char>& b, std::size_t at, std::size_t n) {
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), n, '\0');
}

const Layout kLayouts[] = {
    {"BytesAfterTheLastSection", kSuccess,
     [](std::vector<char>& b) { b.insert(b.end(), 9, '\x5A'); }},
    {"BaseOffsetLeavesAGap", kReadFailed,
     [](std::vector<char>& b) {
       const std::int32_t base = Field(b, 36);
       Insert(b, static_cast<std::size_t>(base), 4);
       SetField(b, 36, base + 4);
       SetField(b, 40, Field(b, 40) + 4);
     }},
    {"BaseOffsetOverlapsTheMeans", kReadFailed,
     [](std::vector<char>& b) { SetField(b, 36, Field(b, 36) - 1); }},
    {"CoeffOffsetLeavesAGap", kReadFailed,
     [](std::vector<char>& b) {
       const std::int32_t coeff = Field(b, 40);
       Insert(b, static_cast<std::size_t>(coeff), 8);
       SetField(b, 40, coeff + 8);
     }},
    {"CoeffOffsetPastTheEnd", kReadFailed,
     [](std::vector<char>& b) { SetField(b, 40, static_cast<std::int32_t>(b.size()) + 100); }},
    {"AverageOffsetAfterAGap", kReadFailed,
     [](std::vector<char>& b) {
       Insert(b, 44, 4);
       SetField(b, 32, 48);
       SetField(b, 36, Field(b, 36) + 4);
       SetField(b, 40, Field(b, 40) + 4);
     }},
    {"LastSectionCutShort", kReadFailed, [](std::vector<char>& b) { b.pop_back(); }},
};

class OddLayout : public SectionReaderTest, public testing::WithParamInterface<Layout> {};

TEST_P(OddLayout, DecodePreviewInfoAndSearchAgree) {
  std::vector<char> bytes = ReadAll(m_path);
  GetParam().apply(bytes);
  const std::string path = m_dir.File("odd.pqz");
  WriteAll(path, bytes);
  const ResultCode want = GetParam().code;

  PqzReader reader;  // what pqz info opens the file with
  EXPECT_EQ(reader.OpenFile(path), want) << "reader";
  Tarn::Matrix<double> m;
  PqzHeader h;
  EXPECT_EQ(ReadAverages(path, m, h), want) << "averages";
  EXPECT_EQ(ReadBases(path, m, h), want) << "bases";
  Int16Rows rows;
  EXPECT_EQ(ReadSmallBases(path, rows, h), want) << "small bases";
  std::ostringstream report;
  PqzCodec decoder;
  decoder.SetReportSink(report);
  CImageEx image;
  EXPECT_EQ(decoder.Decode(image, path), want) << "decode";
  EXPECT_EQ(PqzCodec().Preview(image, path), want) << "preview";
  std::vector<std::uint8_t> raw(bytes.size());
  std::memcpy(raw.data(), bytes.data(), bytes.size());
  PqzCodec fromMemory;
  fromMemory.SetReportSink(report);
  EXPECT_EQ(fromMemory.DecodeMemory(image, raw.data(), raw.size()), want) << "decode from memory";
}

INSTANTIATE_TEST_SUITE_P(Layouts, OddLayout, testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// A reader that keeps a section whole refuses one beyond the working memory of its limits.
TEST_F(SectionReaderTest, SectionsBeyondTheWorkingMemoryAreRefusedWith7) {
  DecodeLimits tight;
  tight.MaxWorkingBytes = 64;
  Tarn::Matrix<double> m;
  PqzHeader h;
  EXPECT_EQ(ReadAverages(m_path, m, h, tight), kNoMemory);
  EXPECT_EQ(ReadBases(m_path, m, h, tight), kNoMemory);
  EXPECT_TRUE(m.IsEmpty());
  Int16Rows rows;
  EXPECT_EQ(ReadSmallBases(m_path, rows, h, tight), kNoMemory);
  EXPECT_TRUE(rows.IsEmpty());
}

}  // namespace
}  // namespace orvane
