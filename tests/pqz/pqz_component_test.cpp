#include "pqz/pqz_component.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"
#include "pqz/pqz_header.h"
#include "pqz/run_size_symbols.h"
#include "pqz_test_support.h"

namespace orvane {
namespace {

using test::Coding;
using test::MakeHeader;
using test::PayloadBits;
using test::RawSection;
using test::SectionBytes;
using test::TempFile;

// Sizes the component from `header` and reads and expands one section from `bytes`;
// returns the first failure.
ResultCode ReadSection(const std::vector<std::uint8_t>& bytes, const PqzHeader& header,
                       CPQZComponent& out, bool dequantize) {
  TempFile file(bytes);
  if (const ResultCode code = out.SizeFromHeader(header); code != kSuccess) return code;
  if (const ResultCode code = out.Read(file.get()); code != kSuccess) return code;
  return out.Expand(dequantize);
}

// Reads one section as ReadSection does, but streamed, and decodes its `rows` x `columns`
// stored values into zeroed 16-bit rows a few values apart more than the columns (77 in
// between).
ResultCode ReadSmall(const std::vector<std::uint8_t>& bytes, const PqzHeader& header,
                     CPQZComponent& out, std::uint32_t rows, std::uint32_t columns,
                     std::vector<std::int16_t>& values, std::size_t& stride) {
  TempFile file(bytes);
  if (const ResultCode code = out.SizeFromHeader(header); code != kSuccess) return code;
  if (const ResultCode code = out.ReadStreamed(file.get()); code != kSuccess) return code;
  stride = columns + 5;
  values.assign(rows * stride, 77);
  for (std::uint32_t r = 0; r < rows; ++r) std::fill_n(values.begin() + r * stride, columns, 0);
  return out.ExpandSmall(values.data(), stride);
}

// ReadSmall of two sections into components `a` and `b`, their rows walked side by side;
// each section's code in `codes`.
void ReadSmallTogether(const std::vector<std::uint8_t>* bytes[2], const PqzHeader& header,
                       CPQZComponent* component[2], std::uint32_t rows, std::uint32_t columns,
                       std::vector<std::int16_t> values[2], ResultCode codes[2]) {
  const std::size_t stride = columns + 5;
  for (int k = 0; k < 2; ++k) {
    TempFile file(*bytes[k]);
    codes[k] = component[k]->SizeFromHeader(header);
    if (codes[k] == kSuccess) codes[k] = component[k]->ReadStreamed(file.get());
    values[k].assign(rows * stride, 77);
    for (std::uint32_t r = 0; r < rows; ++r)
      std::fill_n(values[k].begin() + r * stride, columns, 0);
  }
  CPQZComponent::SmallExpansion items[2];
  for (int k = 0; k < 2; ++k) items[k] = {component[k], values[k].data(), stride};
  CPQZComponent::ExpandSmallTogether(items, 2);
  for (int k = 0; k < 2; ++k) {
    if (codes[k] == kSuccess) codes[k] = items[k].result;
  }
}

// ReadSection of two sections into `component`, expanded side by side; each section's code
// in `codes`.
void ReadTogether(const std::vector<std::uint8_t>* bytes[2], const PqzHeader& header,
                  CPQZComponent* component[2], bool dequantize, ResultCode codes[2]) {
  for (int k = 0; k < 2; ++k) {
    TempFile file(*bytes[k]);
    codes[k] = component[k]->SizeFromHeader(header);
    if (codes[k] == kSuccess) codes[k] = component[k]->Read(file.get());
  }
  CPQZComponent::Expansion items[2];
  for (int k = 0; k < 2; ++k) items[k] = {component[k], dequantize};
  CPQZComponent::ExpandTogether(items, 2);
  for (int k = 0; k < 2; ++k) {
    if (codes[k] == kSuccess) codes[k] = items[k].result;
  }
}

void ExpectSameValues(const Tarn::Matrix<double>& got, const Tarn::Matrix<double>& want) {
  ASSERT_EQ(got.Rows(), want.Rows());
  ASSERT_EQ(got.Columns(), want.Columns());
  for (std::uint32_t r = 0; r < want.Rows(); ++r) {
    for (std::uint32_t c = 0; c < want.Columns(); ++c) {
      ASSERT_EQ(got(r, c), want(r, c)) << "at (" << r << ", " << c << ")";
    }
  }
}

// A shape with partial patches: 8 x 6 = 48 patches of 5 x 4 pixels, 60 values per patch.
const PqzHeader kHeader = MakeHeader(37, 23, 5, 4, 7);

// ---------------------------------------------------------------------------------------
// Round trips of random matrices across codings, precisions and run lengths.

class RoundTrip : public testing::TestWithParam<std::tuple<std::int32_t, int, int>> {
 protected:
  std::int32_t coding() const { return std::get<0>(GetParam()); }
  int p() const { return std::get<1>(GetParam()); }
  int r() const { return std::get<2>(GetParam()); }
  // Uniform integers in [-m, m], zero with probability `zeros`.
  double Draw(double m, double zeros) {
    if (std::uniform_real_distribution<double>(0, 1)(m_rng) < zeros) return 0;
    return std::trunc(std::uniform_real_distribution<double>(-m, m)(m_rng));
  }
  std::mt19937 m_rng{12345};
};

TEST_P(RoundTrip, CoefficientsComeBackExactly) {
  const PatchGrid grid = GridOf(kHeader);
  CCoeff coeff;
  ASSERT_EQ(coeff.Setup(Coding(p(), r())), kSuccess);
  coeff.SetCoding(coding());
  coeff.Resize(grid.Patches, kHeader.Dimension);
  // Decaying magnitudes, up to the largest value P classes (and int32) can hold.
  const double top = std::ldexp(1.0, std::min(p(), 31)) - 1;
  for (std::uint32_t i = 0; i < coeff.Rows(); ++i) {
    for (std::uint32_t d = 0; d < coeff.Columns(); ++d) {
      coeff(i, d) = d == 0 ? top * (i % 2 ? 1 : -1) : Draw(top / (1 << d), 0.4);
    }
  }
  const Tarn::Matrix<double> original = coeff;
  ASSERT_EQ(coeff.Compress(), kSuccess);
  CCoeff back;
  ASSERT_EQ(ReadSection(SectionBytes(coeff), kHeader, back, true), kSuccess);
  EXPECT_EQ(back.Coding(), coding());
  ExpectSameValues(back, original);
}

TEST_P(RoundTrip, AveragesComeBackAsStoredAndDequantized) {
  const PatchGrid grid = GridOf(kHeader);
  CAverage average;
  ASSERT_EQ(average.Setup(Coding(p(), r(), 1)), kSuccess);
  average.StepTable() = {1, 2, 3};
  average.SetCoding(coding());
  average.Resize(3, grid.Patches);
  // Successive differences stay within P bits when the values do within P - 1.
  const double top = std::ldexp(1.0, std::min(p(), 31) - 1);
  for (std::uint32_t i = 0; i < average.Count(); ++i) {
    average.Data()[i] = std::fabs(Draw(top, 0.3));
  }
  // Multiples of each row's step, so that quantisation is exact and the test needs no
  // arithmetic of its own.
  for (std::uint32_t j = 0; j < average.Columns(); ++j) {
    average(1, j) = 2 * std::trunc(average(1, j) / 2);
    average(2, j) = 3 * std::trunc(average(2, j) / 3);
  }
  const Tarn::Matrix<double> original = average;
  ASSERT_EQ(average.Compress(), kSuccess);
  const std::vector<std::uint8_t> bytes = SectionBytes(average);
  CAverage dequantized;
  ASSERT_EQ(ReadSection(bytes, kHeader, dequantized, true), kSuccess);
  ExpectSameValues(dequantized, original);
  EXPECT_EQ(dequantized.StepTable(), (std::vector<std::uint32_t>{1, 2, 3}));
  CAverage stored;
  ASSERT_EQ(ReadSection(bytes, kHeader, stored, false), kSuccess);
  for (std::uint32_t j = 0; j < stored.Columns(); ++j) {
    ASSERT_EQ(stored(0, j), original(0, j));
    ASSERT_EQ(stored(2, j) * 3, original(2, j)) << "stored values are the quantised ones";
  }
  // Expanded side by side, beside itself and beside a section cut short, with and without
  // dequantisation: each as alone.
  std::vector<std::uint8_t> shortened = bytes;
  shortened.resize(shortened.size() - shortened.size() / 3);
  const std::vector<std::uint8_t>& cut = shortened;
  for (const bool dequantize : {false, true}) {
    for (const std::vector<std::uint8_t>* other : {&bytes, &cut}) {
      const std::vector<std::uint8_t>* pair[2] = {other, &bytes};
      CAverage first, second;
      CPQZComponent* components[2] = {&first, &second};
      ResultCode codes[2];
      ReadTogether(pair, kHeader, components, dequantize, codes);
      ASSERT_EQ(codes[1], kSuccess);
      ExpectSameValues(second, dequantize ? dequantized : stored);
      if (other == &bytes) {
        ASSERT_EQ(codes[0], kSuccess);
        ExpectSameValues(first, second);
      } else {
        CAverage alone;
        EXPECT_EQ(codes[0], ReadSection(cut, kHeader, alone, dequantize));
        EXPECT_NE(codes[0], kSuccess);
      }
    }
  }
}

TEST_P(RoundTrip, BasesComeBackAsStoredAndDividedByTheirFactors) {
  const PatchGrid grid = GridOf(kHeader);
  CBase base;
  ASSERT_EQ(base.Setup(Coding(p(), r())), kSuccess);
  base.SetCoding(coding());
  base.Resize(kHeader.Dimension, 3 * grid.PixelsPerPatch);
  const double top = p() >= 2 ? std::ldexp(1.0, std::min(p(), 31) - 2) : 0;
  for (std::uint32_t i = 0; i < base.Count(); ++i) base.Data()[i] = Draw(top, 0.2);
  base.StepTable() = {1, 2, 4, 8, 16, 32, 64};
  const Tarn::Matrix<double> original = base;
  ASSERT_EQ(base.Compress(), kSuccess);
  const std::vector<std::uint8_t> bytes = SectionBytes(base);
  CBase stored;
  ASSERT_EQ(ReadSection(bytes, kHeader, stored, false), kSuccess);
  ExpectSameValues(stored, original);
  CBase divided;
  ASSERT_EQ(ReadSection(bytes, kHeader, divided, true), kSuccess);
  for (std::uint32_t j = 0; j < divided.Columns(); ++j) {
    ASSERT_EQ(divided(6, j) * 64, original(6, j));  // powers of two divide exactly
  }
  // Into 16-bit rows, only under Coding 0 and up to 14 bits: the same values.
  CBase small;
  std::vector<std::int16_t> values;
  std::size_t stride = 0;
  const ResultCode code =
      ReadSmall(bytes, kHeader, small, base.Rows(), base.Columns(), values, stride);
  if (coding() != kCodingHuffman || p() > CPQZComponent::kMaxSmallPrecision) {
    EXPECT_EQ(code, kInvalidValues);
    return;
  }
  ASSERT_EQ(code, kSuccess);
  // Two walks side by side give each what it gives alone: this section beside itself and
  // beside one that fails half-way.
  std::vector<std::uint8_t> shortened = bytes;
  shortened.resize(shortened.size() - shortened.size() / 3);
  const std::vector<std::uint8_t>& cut = shortened;
  for (const std::vector<std::uint8_t>* other : {&bytes, &cut}) {
    const std::vector<std::uint8_t>* pair[2] = {&bytes, other};
    CBase first, second;
    CPQZComponent* components[2] = {&first, &second};
    std::vector<std::int16_t> together[2];
    ResultCode codes[2];
    ReadSmallTogether(pair, kHeader, components, base.Rows(), base.Columns(), together, codes);
    EXPECT_EQ(codes[0], kSuccess);
    EXPECT_EQ(together[0], values);
    if (other == &bytes) {
      EXPECT_EQ(codes[1], kSuccess);
      EXPECT_EQ(together[1], values);
    } else {
      EXPECT_NE(codes[1], kSuccess);
    }
  }
  const auto [lowest, highest] =
      CBase::Unpredict(values.data(), base.Rows(), base.Columns(), stride);
  double low = 0, high = 0;
  for (std::uint32_t i = 0; i < original.Count(); ++i) {
    low = std::min(low, original.Data()[i]);
    high = std::max(high, original.Data()[i]);
  }
  EXPECT_EQ(lowest, low);
  EXPECT_EQ(highest, high);
  for (std::uint32_t i = 0; i < base.Rows(); ++i) {
    for (std::uint32_t j = 0; j < stride; ++j) {
      ASSERT_EQ(values[i * stride + j], j < base.Columns() ? original(i, j) : 77.0)
          << i << ", " << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    CodingsPrecisionsRuns, RoundTrip,
    testing::Combine(testing::Values(kCodingHuffman, kCodingDeflate),
                     testing::Values(1, 2, 7, 16, 31, 32), testing::Values(1, 3, 16, 300)),
    [](const testing::TestParamInfo<std::tuple<std::int32_t, int, int>>& info) {
      return std::string(std::get<0>(info.param) == 0 ? "Huffman" : "Deflate") + "_P" +
             std::to_string(std::get<1>(info.param)) + "_R" +
             std::to_string(std::get<2>(info.param));
    });

// ---------------------------------------------------------------------------------------
// The component's own rules.

TEST(Coefficients, AreClampedToWhatPClassesHoldWithoutRounding) {
  CCoeff coeff;
  ASSERT_EQ(coeff.Setup(Coding(16, 16)), kSuccess);
  coeff.Resize(1, 4);
  coeff(0, 0) = 70000;
  coeff(0, 1) = -70000;
  coeff(0, 2) = 65535.7;
  coeff(0, 3) = -3.9;
  ASSERT_EQ(coeff.Quantize(), kSuccess);
  EXPECT_EQ(coeff(0, 0), 65535);
  EXPECT_EQ(coeff(0, 1), -65535);
  EXPECT_EQ(coeff(0, 2), 65535);
  EXPECT_EQ(coeff(0, 3), -3.9) << "clamping does not round";
  coeff(0, 0) = 70000;
  ASSERT_EQ(coeff.Compress(), kSuccess);
  CCoeff back;
  ASSERT_EQ(ReadSection(SectionBytes(coeff), MakeHeader(1, 1, 2, 2, 4), back, true), kSuccess);
  EXPECT_EQ(back(0, 0), 65535);
  EXPECT_EQ(back(0, 3), -3) << "coded values are truncated toward zero";
}

// A photo's coefficients are coded in shares of rows on every core and joined; the joint
// must be invisible, and a value that cannot be coded is refused wherever it lies.
TEST(Coefficients, ManyRowsComeBackExactlyAndABadValueInAnyShareIsRefused) {
  const PqzHeader header = MakeHeader(1024, 320, 4, 4, 3);  // 20,480 patches
  const PatchGrid grid = GridOf(header);
  std::mt19937 rng(7);
  CCoeff coeff;
  ASSERT_EQ(coeff.Setup(Coding(12, 5)), kSuccess);
  coeff.SetCoding(kCodingHuffman);
  coeff.Resize(grid.Patches, 3);
  for (std::uint32_t i = 0; i < coeff.Count(); ++i) {
    coeff.Data()[i] =
        rng() % 4 == 0 ? 0.0 : static_cast<double>(static_cast<int>(rng() % 301) - 150);
  }
  const Tarn::Matrix<double> original = coeff;
  ASSERT_EQ(coeff.Compress(), kSuccess);
  CCoeff back;
  ASSERT_EQ(ReadSection(SectionBytes(coeff), header, back, true), kSuccess);
  ExpectSameValues(back, original);

  for (const std::uint32_t row : {0u, grid.Patches / 2 + 1, grid.Patches - 1}) {
    static_cast<Tarn::Matrix<double>&>(coeff) = original;
    coeff(row, 1) = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(coeff.Compress(), kInvalidValues) << "row " << row;
  }
}

TEST(Averages, QuantiseByTruncationTowardZero) {
  CAverage average;
  ASSERT_EQ(average.Setup(Coding(16, 16, 4)), kSuccess);
  average.StepTable() = {4, 4, 0};
  average.Resize(3, 2);
  const double values[] = {11, -11, 7.9, -0.5, 9.5, -9.5};
  std::copy(values, values + 6, average.Data());
  ASSERT_EQ(average.Quantize(), kSuccess);
  EXPECT_EQ(average(0, 0), 2);
  EXPECT_EQ(average(0, 1), -2);
  EXPECT_EQ(average(1, 0), 1);
  EXPECT_EQ(average(1, 1), 0);
  EXPECT_EQ(average(2, 0), 9.5) << "a row with step 0 is left as it is";
}

TEST(Averages, PredictAgainstTheLeftNeighbourAndUndoIt) {
  CAverage average;
  average.Resize(3, 4);
  const double values[] = {5, 7, 4, 4, 0, -1, 1, 0, 9, 9, 9, 9};
  std::copy(values, values + 12, average.Data());
  ASSERT_EQ(average.Predict(), kSuccess);
  const double differences[] = {5, 2, -3, 0, 0, -1, 2, -1, 9, 0, 0, 0};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(average.Data()[i], differences[i]) << i;
  ASSERT_EQ(average.Unpredict(), kSuccess);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(average.Data()[i], values[i]) << i;
}

// Rows of stored values of every length up to a few steps of four, a photo's and one past
// the longest whose sums are regrouped: the running sums left to right, exactly.
TEST(Averages, UnpredictGivesTheRunningSumsOfStoredValues) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<std::int64_t> stored(-(std::int64_t{1} << 32) + 1,
                                                     (std::int64_t{1} << 32) - 1);
  for (std::uint32_t columns : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 13u, 1000u, (1u << 20) + 1}) {
    CAverage average;
    average.Resize(3, columns);
    for (std::uint32_t i = 0; i < average.Count(); ++i) {
      average.Data()[i] = static_cast<double>(i % 5 == 0 ? stored(rng) : stored(rng) % 300);
    }
    Tarn::Matrix<double> sums = average;
    for (std::uint32_t r = 0; r < 3; ++r) {
      for (std::uint32_t j = 1; j < columns; ++j) sums(r, j) += sums(r, j - 1);
    }
    ASSERT_EQ(average.Unpredict(), kSuccess);
    ExpectSameValues(average, sums);
  }
}

TEST(Averages, SingleColumnIsLeftUnchanged) {
  CAverage average;
  ASSERT_EQ(average.Setup(Coding(8, 4)), kSuccess);
  average.Resize(3, 1);
  average(0, 0) = 100;
  average(1, 0) = -20;
  average(2, 0) = 0;
  const Tarn::Matrix<double> original = average;
  ASSERT_EQ(average.Predict(), kSuccess);
  ExpectSameValues(average, original);
  ASSERT_EQ(average.Compress(), kSuccess);
  CAverage back;
  ASSERT_EQ(ReadSection(SectionBytes(average), MakeHeader(3, 3, 8, 8, 1), back, true), kSuccess);
  ExpectSameValues(back, original);
}

TEST(Bases, PredictTheSecondAndThirdPlaneFromTheFirst) {
  CBase base;
  base.Resize(1, 6);
  const double values[] = {3, -1, 5, 0, 2, 2};  // N = 2: planes (3, -1), (5, 0), (2, 2)
  std::copy(values, values + 6, base.Data());
  ASSERT_EQ(base.Predict(), kSuccess);
  const double differences[] = {3, -1, 2, 1, -1, 3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(base.Data()[i], differences[i]) << i;
  ASSERT_EQ(base.Unpredict(), kSuccess);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(base.Data()[i], values[i]) << i;
}

TEST(Bases, TakePrecisionFromBasePrecisionBitUnlessItIsZero) {
  CompressionParameters p = Coding(16, 5);
  p.BasePrecisionBit = 7;
  CBase base;
  ASSERT_EQ(base.Setup(p), kSuccess);
  EXPECT_EQ(base.Precision(), 7);
  EXPECT_EQ(base.Block().MaxZeroRun, 5);
  p.BasePrecisionBit = 0;
  p.CoeffQuantizeStep = 12;
  p.DoChangeStep = 1;
  ASSERT_EQ(base.Setup(p), kSuccess);
  EXPECT_EQ(base.Precision(), 16);
  EXPECT_EQ(base.CoeffQuantizeStep(), 12u);
  EXPECT_EQ(base.DoChangeStep(), 1u);
}

TEST(Bases, AZeroFactorFailsDequantizeWith13) {
  const PqzHeader header = MakeHeader(2, 2, 1, 1, 2);
  CBase base;
  ASSERT_EQ(base.Setup(Coding(8, 4)), kSuccess);
  base.Resize(2, 3);
  base.Fill(4);
  base.StepTable() = {2, 0};
  ASSERT_EQ(base.Compress(), kSuccess);
  const std::vector<std::uint8_t> bytes = SectionBytes(base);
  CBase back;
  EXPECT_EQ(ReadSection(bytes, header, back, true), kDividedByZero);
  EXPECT_EQ(back(0, 0), 4) << "nothing is divided when one factor is 0";
  CBase stored;
  EXPECT_EQ(ReadSection(bytes, header, stored, false), kSuccess);
}

TEST(Averages, AZeroStepFailsDequantizeWith13) {
  CAverage average;
  average.Resize(3, 2);
  average.Fill(1);
  average.StepTable() = {1, 0, 1};
  EXPECT_EQ(average.Dequantize(), kDividedByZero);
}

class ValuesBeyondP : public testing::TestWithParam<bool> {};

TEST_P(ValuesBeyondP, AreRefusedWith22RatherThanWrittenAsOtherSymbols) {
  // A bit length of P + 1 would decode as the symbol of the next run; the averages and bases
  // are not clamped, so the writer must refuse them.
  const bool bases = GetParam();
  CAverage average;
  CBase base;
  CPQZComponent& c = bases ? static_cast<CPQZComponent&>(base) : average;
  ASSERT_EQ(average.Setup(Coding(4, 4)), kSuccess);
  ASSERT_EQ(base.Setup(Coding(4, 4)), kSuccess);
  c.Resize(3, 3);
  c.Fill(0);
  base.StepTable().assign(3, 1);
  c(1, 0) = 16;
  EXPECT_EQ(c.Compress(), kInvalidValues);
}

INSTANTIATE_TEST_SUITE_P(AveragesAndBases, ValuesBeyondP, testing::Bool());

TEST(Compress, RefusesParametersAndTablesThatCannotBeWrittenWith22) {
  CCoeff coeff;
  coeff.Resize(1, 1);
  coeff(0, 0) = 1;
  ASSERT_EQ(coeff.Setup(Coding(0, 16)), kSuccess);
  EXPECT_EQ(coeff.Compress(), kInvalidValues) << "P = 0";
  ASSERT_EQ(coeff.Setup(Coding(33, 16)), kSuccess);
  EXPECT_EQ(coeff.Compress(), kInvalidValues) << "P = 33";
  ASSERT_EQ(coeff.Setup(Coding(8, 0)), kSuccess);
  EXPECT_EQ(coeff.Compress(), kInvalidValues) << "R = 0 never ends a run";
  CAverage average;
  ASSERT_EQ(average.Setup(Coding(8, 4)), kSuccess);
  average.StepTable() = {1, 1};
  average.Resize(3, 2);
  average.Fill(1);
  EXPECT_EQ(average.Compress(), kInvalidValues) << "a row without a step";
}

TEST(Compress, RefusesValuesOutsideInt32UnderDeflateWith22) {
  CCoeff coeff;
  ASSERT_EQ(coeff.Setup(Coding(32, 4)), kSuccess);
  coeff.SetCoding(kCodingDeflate);
  coeff.Resize(1, 2);
  coeff(0, 0) = 1;
  coeff(0, 1) = 3e9;
  EXPECT_EQ(coeff.Compress(), kInvalidValues);
}

TEST(Deflate, CodesAOneByOneMatrix) {
  // Sizing the output as 1.2 x the input would leave 4 bytes for a stream of at least 12.
  CCoeff coeff;
  ASSERT_EQ(coeff.Setup(Coding(16, 16)), kSuccess);
  coeff.SetCoding(kCodingDeflate);
  coeff.Resize(1, 1);
  coeff(0, 0) = -123;
  ASSERT_EQ(coeff.Compress(), kSuccess);
  EXPECT_EQ(coeff.Block().BitsCount, 0);
  EXPECT_EQ(coeff.Block().HuffvalCount, 0);
  CCoeff back;
  ASSERT_EQ(ReadSection(SectionBytes(coeff), MakeHeader(1, 1, 1, 1, 1), back, true), kSuccess);
  EXPECT_EQ(back(0, 0), -123);
}

TEST(UnknownCoding, IsRefusedWith16ByCompressWriteAndRead) {
  CCoeff coeff;
  ASSERT_EQ(coeff.Setup(Coding(8, 4)), kSuccess);
  coeff.Resize(1, 1);
  coeff(0, 0) = 1;
  coeff.SetCoding(2);
  EXPECT_EQ(coeff.Compress(), kUnsupportedVersion);
  TempFile file;
  EXPECT_EQ(coeff.Write(file.get()), kUnsupportedVersion);
  coeff.SetCoding(kCodingHuffman);
  ASSERT_EQ(coeff.Compress(), kSuccess);
  std::vector<std::uint8_t> bytes = SectionBytes(coeff);
  bytes[0] = 2;
  CCoeff back;
  EXPECT_EQ(ReadSection(bytes, MakeHeader(1, 1, 1, 1, 1), back, true), kUnsupportedVersion);
}

TEST(StoredSize, IsTheHeadPlusThePayload) {
  CCoeff coeff;
  ASSERT_EQ(coeff.Setup(Coding(8, 4)), kSuccess);
  coeff.Resize(4, 4);
  coeff.Fill(3);
  ASSERT_EQ(coeff.Compress(), kSuccess);
  EXPECT_EQ(coeff.StoredSize(), 40 + coeff.PayloadLength());
  EXPECT_EQ(SectionBytes(coeff).size(), coeff.StoredSize());
}

TEST(Operations, NeedTheirPreviousSteps) {
  CCoeff coeff;
  EXPECT_EQ(coeff.Expand(true), kNotReady);
  TempFile file(std::vector<std::uint8_t>(100, 0));
  EXPECT_EQ(coeff.Read(file.get()), kNotReady) << "Read before SizeFromHeader";
  EXPECT_EQ(coeff.SizeFromHeader(MakeHeader(8, 8, 8, 8, 193)), kInvalidFileType);
}

TEST(Component, StartsWithAnEmptyHeaderAndCoding0) {
  const CCoeff coeff;
  EXPECT_EQ(coeff.Coding(), kCodingHuffman);
  EXPECT_EQ(coeff.Header().FileType, kPqzFileType);
  EXPECT_EQ(coeff.Header().ImageWidth, 0);
  EXPECT_EQ(coeff.Block().Precision, 0);
  EXPECT_EQ(coeff.Block().StepCount, 0);
}

TEST(Huffman, CodesSkewedHistogramsWithinSixteenBits) {
  // Size classes k = 1..24 with Fibonacci counts 1, 2, 3, 5, ... and the reserved symbol's
  // 1 make a natural code 24 bits deep; 196416 values fill 2046 rows of 96 exactly.
  std::vector<double> values;
  std::uint64_t a = 1, b = 2;
  for (int k = 1; k <= 24; ++k) {
    for (std::uint64_t i = 0; i < a; ++i) values.push_back(std::ldexp(k % 2 ? 1.0 : -1.0, k - 1));
    const std::uint64_t next = a + b;
    a = b;
    b = next;
  }
  ASSERT_EQ(values.size(), 2046u * 96);
  CCoeff coeff;
  ASSERT_EQ(coeff.Setup(Coding(24, 16)), kSuccess);
  coeff.Resize(2046, 96);
  std::copy(values.begin(), values.end(), coeff.Data());
  const Tarn::Matrix<double> original = coeff;
  ASSERT_EQ(coeff.Compress(), kSuccess);
  EXPECT_EQ(coeff.Block().BitsCount, 25) << "the BITS list keeps the natural L + 1 entries";
  CCoeff back;
  ASSERT_EQ(ReadSection(SectionBytes(coeff), MakeHeader(2046 * 8, 8, 8, 8, 96), back, true),
            kSuccess);
  ExpectSameValues(back, original);
}

// ---------------------------------------------------------------------------------------
// Hand-made Coding 0 sections of a 2 x 3 coefficient matrix with P = 2 and R = 2: the
// alphabet is 0 EOB, 1 and 2 (no run, size 1 or 2), 3 and 4 (run of one), 5 ZRL and 6
// reserved. The baseline code gives the four two-bit words 00 01 10 11 to EOB, symbol 2,
// ZRL and symbol 4.

const PqzHeader kSmall = MakeHeader(2, 1, 1, 1, 3);  // G = 2, D = 3

struct HandMade {
  std::vector<std::uint32_t> bits = {0, 0, 4};
  std::vector<std::uint32_t> huffval = {0, 2, 5, 4, 0, 0, 0};
  // Row 0: value 3, then EOB. Row 1: a zero and the value 2, then the value -3.
  const char* symbols = "01 11  00   11 10  01 00";
  std::int32_t precision = 2;
  std::int32_t maxZeroRun = 2;

  std::vector<std::uint8_t> Bytes() const {
    RawSection s;
    PayloadBits payload;
    const auto store = [&payload](const std::vector<std::uint32_t>& list, std::int32_t& count,
                                  std::int32_t& width) {
      std::uint32_t largest = 0;
      for (const std::uint32_t v : list) largest = std::max(largest, v);
      count = static_cast<std::int32_t>(list.size());
      width = BitLength(largest);
      for (const std::uint32_t v : list) payload.Put(v, width);
    };
    store(bits, s.block.BitsCount, s.block.BitsBits);
    store(huffval, s.block.HuffvalCount, s.block.HuffvalBits);
    payload.Put(symbols);
    s.block.Precision = precision;
    s.block.MaxZeroRun = maxZeroRun;
    s.payload = payload.Bytes();
    return s.Bytes();
  }
};

TEST(HandMadeSection, BaselineDecodesToItsValues) {
  CCoeff coeff;
  ASSERT_EQ(ReadSection(HandMade{}.Bytes(), kSmall, coeff, true), kSuccess);
  const double expected[] = {3, 0, 0, 0, 2, -3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(coeff.Data()[i], expected[i]) << i;
}

struct CorruptCase {
  const char* name;
  HandMade section;
};

HandMade With(void (*change)(HandMade&)) {
  HandMade h;
  change(h);
  return h;
}

class CorruptSection : public testing::TestWithParam<CorruptCase> {};

TEST_P(CorruptSection, IsRefusedWith14) {
  CCoeff coeff;
  EXPECT_EQ(ReadSection(GetParam().section.Bytes(), kSmall, coeff, true), kReadFailed);
  CCoeff small;
  std::vector<std::int16_t> values;
  std::size_t stride;
  EXPECT_EQ(ReadSmall(GetParam().section.Bytes(), kSmall, small, 2, 3, values, stride),
            kReadFailed);
  // Beside a sound section, walked side by side, in either place: only this one fails.
  const std::vector<std::uint8_t> bad = GetParam().section.Bytes(), good = HandMade{}.Bytes();
  for (int place = 0; place < 2; ++place) {
    const std::vector<std::uint8_t>* pair[2] = {place == 0 ? &bad : &good,
                                                place == 0 ? &good : &bad};
    CCoeff first, second;
    CPQZComponent* components[2] = {&first, &second};
    std::vector<std::int16_t> together[2];
    ResultCode codes[2];
    ReadSmallTogether(pair, kSmall, components, 2, 3, together, codes);
    EXPECT_EQ(codes[place], kReadFailed);
    ASSERT_EQ(codes[1 - place], kSuccess);
    const std::vector<std::int16_t> expected = {3, 0, 0,  77, 77, 77, 77, 77,
                                                0, 2, -3, 77, 77, 77, 77, 77};
    EXPECT_EQ(together[1 - place], expected);
    // The same into the double matrices.
    CCoeff wide[2];
    CPQZComponent* expanded[2] = {&wide[0], &wide[1]};
    ReadTogether(pair, kSmall, expanded, true, codes);
    EXPECT_EQ(codes[place], kReadFailed);
    ASSERT_EQ(codes[1 - place], kSuccess);
    CCoeff alone;
    ASSERT_EQ(ReadSection(good, kSmall, alone, true), kSuccess);
    ExpectSameValues(wide[1 - place], alone);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CorruptSection,
    testing::Values(
        CorruptCase{"CodeLongerThanAnyInTheTable", With([](HandMade& h) {
                      h.bits = {0, 0, 3};  // 00 01 10: the word 11 matches nothing
                      h.symbols = "11";
                    })},
        CorruptCase{"ValueRunPastRowEnd", With([](HandMade& h) { h.symbols = "11 10 11 10"; })},
        CorruptCase{"ZeroRunPastRowEnd", With([](HandMade& h) { h.symbols = "11 10 10"; })},
        CorruptCase{"BitsNotAPrefixCode", With([](HandMade& h) {
                      h.bits = {0, 0, 5};
                      h.huffval = {0, 2, 5, 4, 1, 0, 0};
                    })},
        CorruptCase{"HuffvalShorterThanTheAlphabet",
                    With([](HandMade& h) { h.huffval = {0, 2, 5, 4, 0, 0}; })},
        CorruptCase{"MoreCodesThanHuffvalEntries", With([](HandMade& h) {
                      h.precision = 1;
                      h.maxZeroRun = 1;  // 4 symbols
                      h.bits = {0, 0, 0, 5};
                      h.huffval = {0, 1, 2, 3};
                    })},
        CorruptCase{"HuffvalSymbolOutsideTheAlphabet",
                    With([](HandMade& h) { h.huffval = {0, 2, 5, 9, 0, 0, 0}; })},
        CorruptCase{"HuffvalSymbolTwice",
                    With([](HandMade& h) { h.huffval = {0, 2, 5, 2, 0, 0, 0}; })},
        CorruptCase{"ReservedSymbolInTheStream", With([](HandMade& h) {
                      h.huffval = {0, 2, 5, 6, 0, 0, 0};
                      h.symbols = "11";
                    })},
        CorruptCase{"PrecisionZero", With([](HandMade& h) { h.precision = 0; })},
        CorruptCase{"PrecisionAbove32", With([](HandMade& h) { h.precision = 33; })},
        CorruptCase{"NoZeroRun", With([](HandMade& h) { h.maxZeroRun = 0; })}),
    [](const testing::TestParamInfo<CorruptCase>& info) { return info.param.name; });

class CorruptHead
    : public testing::TestWithParam<std::tuple<const char*, std::size_t, std::int32_t>> {};

TEST_P(CorruptHead, IsRefusedWith14) {
  // Overwrites one int32 of the section head of the baseline section.
  std::vector<std::uint8_t> bytes = HandMade{}.Bytes();
  StoreLeInt32(bytes.data() + std::get<1>(GetParam()), std::get<2>(GetParam()));
  CCoeff coeff;
  EXPECT_EQ(ReadSection(bytes, kSmall, coeff, true), kReadFailed);
  EXPECT_EQ(coeff.Rows(), 0u) << "nothing is allocated for a refused section";
}

INSTANTIATE_TEST_SUITE_P(Table, CorruptHead,
                         testing::Values(std::make_tuple("NegativePayloadLength", 4, -1),
                                         std::make_tuple("PayloadLongerThanTheFile", 4, 1000),
                                         std::make_tuple("StepsForAComponentWithout", 8, 2),
                                         std::make_tuple("NegativeBitsCount", 16, -5),
                                         std::make_tuple("BitsWiderThan32", 20, 33),
                                         std::make_tuple("BitsOfZeroWidth", 20, 0),
                                         std::make_tuple("HuffvalWiderThanThePayload", 28, 32)),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });

TEST(StepTable, WithFewerEntriesThanRowsIsRefusedWith14) {
  CAverage average;
  ASSERT_EQ(average.Setup(Coding(8, 4)), kSuccess);
  average.Resize(3, 4);
  average.Fill(7);
  ASSERT_EQ(average.Compress(), kSuccess);
  std::vector<std::uint8_t> bytes = SectionBytes(average);
  ASSERT_EQ(LoadLeInt32(bytes.data() + 8), 3);
  StoreLeInt32(bytes.data() + 8, 2);
  CAverage back;
  EXPECT_EQ(ReadSection(bytes, MakeHeader(4, 1, 1, 1, 1), back, true), kReadFailed);
}

// ---------------------------------------------------------------------------------------
// Coding 1 sections whose zlib stream does not match the matrix.

std::vector<std::uint8_t> DeflateSection(const std::vector<std::int32_t>& values) {
  std::vector<std::uint8_t> raw(values.size() * 4);
  for (std::size_t i = 0; i < values.size(); ++i) StoreLeInt32(raw.data() + 4 * i, values[i]);
  uLongf length = compressBound(raw.size());
  std::vector<std::uint8_t> stream(length);
  EXPECT_EQ(compress(stream.data(), &length, raw.data(), raw.size()), Z_OK);
  stream.resize(length);
  RawSection s;
  s.coding = kCodingDeflate;
  s.payload = stream;
  return s.Bytes();
}

TEST(DeflateSection, MatchingStreamDecodes) {
  CCoeff coeff;
  ASSERT_EQ(ReadSection(DeflateSection({1, -2, 3, -4, 5, 2147483647}), kSmall, coeff, true),
            kSuccess);
  EXPECT_EQ(coeff(1, 2), 2147483647);
  EXPECT_EQ(coeff(0, 1), -2);
}

TEST(DeflateSection, StreamWithFewerValuesIsRefusedWith12) {
  // Accepting it would leave the last value of the matrix unset.
  CCoeff coeff;
  EXPECT_EQ(ReadSection(DeflateSection({1, 2, 3, 4, 5}), kSmall, coeff, true), kDecompressFailed);
}

TEST(DeflateSection, StreamWithMoreValuesIsRefusedWith12) {
  CCoeff coeff;
  EXPECT_EQ(ReadSection(DeflateSection({1, 2, 3, 4, 5, 6, 7}), kSmall, coeff, true),
            kDecompressFailed);
}

TEST(DeflateSection, BytesThatAreNoZlibStreamAreRefusedWith12) {
  RawSection s;
  s.coding = kCodingDeflate;
  s.payload.assign(40, 0x5A);
  CCoeff coeff;
  EXPECT_EQ(ReadSection(s.Bytes(), kSmall, coeff, true), kDecompressFailed);
}

// ---------------------------------------------------------------------------------------
// Matrices larger than the file can hold are refused before anything is allocated.

std::vector<std::uint8_t> SmallSection(CPQZComponent& c, std::uint32_t rows, std::uint32_t columns,
                                       std::int32_t coding) {
  c.Resize(rows, columns);
  c.Fill(1);
  c.SetCoding(coding);
  EXPECT_EQ(c.Compress(), kSuccess);
  return SectionBytes(c);
}

struct Oversized {
  const char* name;
  int component;  // 0 averages, 1 bases, 2 coefficients
  std::int32_t coding;
  PqzHeader header;
};

class OversizedMatrix : public testing::TestWithParam<Oversized> {};

TEST_P(OversizedMatrix, IsRefusedWith14WithoutAllocating) {
  const Oversized& o = GetParam();
  CAverage average;
  CBase base;
  CCoeff coeff;
  CPQZComponent* c[] = {&average, &base, &coeff};
  ASSERT_EQ(average.Setup(Coding(8, 16)), kSuccess);
  ASSERT_EQ(base.Setup(Coding(8, 16)), kSuccess);
  ASSERT_EQ(coeff.Setup(Coding(8, 16)), kSuccess);
  base.StepTable() = {1};
  // An honest small section: 3 x 1, 1 x 3 or 1 x 1.
  const std::uint32_t rows = o.component == 0 ? 3 : 1;
  const std::uint32_t columns = o.component == 1 ? 3 : 1;
  const std::vector<std::uint8_t> bytes = SmallSection(*c[o.component], rows, columns, o.coding);
  ASSERT_LT(bytes.size(), 1000u);
  CAverage a2;
  CBase b2;
  CCoeff c2;
  CPQZComponent* read[] = {&a2, &b2, &c2};
  TempFile file(bytes);
  ASSERT_EQ(read[o.component]->SizeFromHeader(o.header), kSuccess);
  EXPECT_EQ(read[o.component]->Read(file.get()), kReadFailed);
  EXPECT_EQ(read[o.component]->Rows(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OversizedMatrix,
    testing::Values(
        // 3 x 16.7 million patch means from a section of a hundred bytes.
        Oversized{"AveragesOfAHugeImage", 0, kCodingHuffman, MakeHeader(4096, 4096, 1, 1, 1)},
        // One basis of 50 million values.
        Oversized{"BasesOfAHugePatch", 1, kCodingHuffman, MakeHeader(4096, 4096, 4096, 4096, 1)},
        // A million coefficient rows from a payload of a few bits.
        Oversized{"CoefficientRowsBeyondThePayload", 2, kCodingHuffman,
                  MakeHeader(1024, 1024, 1, 1, 1)},
        // Ten thousand int32 from a zlib stream of a dozen bytes: beyond deflate's 1032:1.
        Oversized{"DeflateBeyondItsRatio", 2, kCodingDeflate, MakeHeader(100, 100, 1, 1, 1)}),
    [](const testing::TestParamInfo<Oversized>& info) { return std::string(info.param.name); });

TEST(WholeFile, OfAPlainLargeImageIsNotRefusedByTheBound) {
  // A one-colour 1024 x 1024 image: 16384 patches whose 96 coefficients are all zero cost one
  // bit a patch, so the file is small, yet it is honest and must decode.
  const PqzHeader header = MakeHeader(1024, 1024, 8, 8, 96);
  const PatchGrid grid = GridOf(header);
  CAverage average;
  CBase base;
  CCoeff coeff;
  ASSERT_EQ(average.Setup(Coding(16, 16)), kSuccess);
  ASSERT_EQ(base.Setup(Coding(8, 16)), kSuccess);
  ASSERT_EQ(coeff.Setup(Coding(16, 16)), kSuccess);
  average.Resize(3, grid.Patches);
  average.Fill(128);
  base.Resize(96, 192);
  base.Fill(0);  // as the projection leaves them for a plain image
  base.StepTable().assign(96, 5);
  coeff.Resize(grid.Patches, 96);
  coeff.Fill(0);
  TempFile file;
  for (CPQZComponent* c :
       {static_cast<CPQZComponent*>(&average), static_cast<CPQZComponent*>(&base),
        static_cast<CPQZComponent*>(&coeff)}) {
    ASSERT_EQ(c->Compress(), kSuccess);
    ASSERT_EQ(c->Write(file.get()), kSuccess);
  }
  const std::vector<std::uint8_t> bytes = file.Bytes();
  // About one bit a patch: the 1.6 million values come from some 2.5 KB.
  EXPECT_LT(bytes.size(), 3000u);
  TempFile in(bytes);
  CAverage a2;
  CBase b2;
  CCoeff c2;
  for (CPQZComponent* c : {static_cast<CPQZComponent*>(&a2), static_cast<CPQZComponent*>(&b2),
                           static_cast<CPQZComponent*>(&c2)}) {
    ASSERT_EQ(c->SizeFromHeader(header), kSuccess);
    ASSERT_EQ(c->Read(in.get()), kSuccess);
    ASSERT_EQ(c->Expand(true), kSuccess);
  }
  EXPECT_EQ(a2(2, grid.Patches - 1), 128);
  EXPECT_EQ(c2(grid.Patches - 1, 95), 0);
}

}  // namespace
}  // namespace orvane
