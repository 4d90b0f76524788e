#include "pqz/huffman_code.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>
#include <random>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "pqz/bit_stream.h"
#include "pqz/huffman_decoder.h"

namespace orvane {
namespace {

using Sizes = std::vector<std::uint32_t>;
using Frequencies = std::vector<std::uint64_t>;

Sizes CodeSizes(const Frequencies& f) {
  Sizes sizes;
  EXPECT_EQ(ComputeCodeSizes(f, sizes), kSuccess);
  return sizes;
}

// The sum over all codes of 2^(16 - length): 2^16 for a complete code.
std::uint64_t KraftSum(const std::vector<std::uint32_t>& bits) {
  std::uint64_t sum = 0;
  for (std::size_t l = 1; l < bits.size() && l <= 16; ++l) sum += bits[l] << (16 - l);
  return sum;
}

// The cost of an optimal prefix code found independently: the sum of the weights of all
// merged nodes equals sum(frequency x code length) of every Huffman code.
std::uint64_t OptimalCost(const Frequencies& f) {
  std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> q;
  for (const std::uint64_t x : f) {
    if (x != 0) q.push(x);
  }
  std::uint64_t cost = 0;
  while (q.size() > 1) {
    const std::uint64_t a = q.top();
    q.pop();
    const std::uint64_t b = q.top();
    q.pop();
    cost += a + b;
    q.push(a + b);
  }
  return cost;
}

TEST(CodeSizes, TiesGoToTheLargerSymbol) {
  // V1 = 2 and V2 = 1 merge first; symbol 0 is left with the short code.
  EXPECT_EQ(CodeSizes({1, 1, 1}), (Sizes{1, 2, 2}));
  EXPECT_EQ(CodeSizes({2, 1, 1, 2}), (Sizes{1, 3, 3, 2}));
  EXPECT_EQ(CodeSizes({3, 1, 1, 1}), (Sizes{1, 2, 3, 3}));
}

TEST(CodeSizes, OneUsedSymbolAndTheReservedOneGetOneBitEach) {
  EXPECT_EQ(CodeSizes({9, 0, 0, 1}), (Sizes{1, 0, 0, 1}));
}

TEST(CodeSizes, FewerThanTwoUsedSymbolsIsValueNotFound) {
  Sizes sizes;
  EXPECT_EQ(ComputeCodeSizes({0, 7, 0}, sizes), kValueNotFound);
  EXPECT_EQ(ComputeCodeSizes({}, sizes), kValueNotFound);
}

TEST(CodeSizes, AreOptimalAndCompleteForRandomHistograms) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    Frequencies f(1 + rng() % 300);
    for (std::uint64_t& x : f) x = rng() % 3 == 0 ? 0 : 1 + rng() % (1u << (rng() % 16));
    f.push_back(1);  // the reserved symbol
    const Sizes sizes = CodeSizes(f);
    std::uint64_t cost = 0;
    for (std::size_t s = 0; s < f.size(); ++s) {
      ASSERT_EQ(sizes[s] == 0, f[s] == 0) << "exactly the used symbols get codes";
      cost += f[s] * sizes[s];
    }
    EXPECT_EQ(cost, OptimalCost(f)) << "trial " << trial;
    // Kraft equality with exact arithmetic: sum of 2^(L - size) equals 2^L.
    const std::uint32_t longest = *std::max_element(sizes.begin(), sizes.end());
    ASSERT_LT(longest, 64u);
    std::uint64_t kraft = 0;
    for (const std::uint32_t size : sizes) {
      if (size != 0) kraft += std::uint64_t{1} << (longest - size);
    }
    EXPECT_EQ(kraft, std::uint64_t{1} << longest) << "trial " << trial;
  }
}

TEST(CountCodeSizes, HasOneEntryPerLengthUpToTheLongest) {
  EXPECT_EQ(CountCodeSizes({3, 1, 0, 2, 3}), (std::vector<std::uint32_t>{0, 1, 1, 2}));
}

TEST(SortSymbolsBySize, ListsShortCodesFirstThenBySymbolAndPadsWithZeros) {
  EXPECT_EQ(SortSymbolsBySize({3, 1, 0, 2, 3, 0}), (std::vector<std::uint32_t>{1, 3, 0, 4, 0, 0}));
}

TEST(LimitCodeLengths, MovesLongCodesUpToSixteenBits) {
  // A chain: one code at each length 1..17 and two at 18 (a complete code).
  std::vector<std::uint32_t> bits(19, 1);
  bits[0] = 0;
  bits[18] = 2;
  LimitCodeLengths(bits);
  std::vector<std::uint32_t> expected(19, 0);
  for (int l = 1; l <= 13; ++l) expected[l] = 1;
  expected[15] = 2;
  expected[16] = 3;  // four after K.3, one taken away for the reserved symbol
  EXPECT_EQ(bits, expected);
}

TEST(LimitCodeLengths, LeavesCodesOfAtMostSixteenBitsAlone) {
  std::vector<std::uint32_t> bits = {0, 0, 3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
  const std::vector<std::uint32_t> before = bits;
  LimitCodeLengths(bits);
  EXPECT_EQ(bits, before);
}

TEST(GenerateCodeWords, AssignsConsecutiveValuesDoubledPerLength) {
  std::vector<std::uint16_t> codes;
  std::vector<std::uint8_t> lengths;
  ASSERT_EQ(GenerateCodeWords({0, 0, 2, 3, 0, 1}, codes, lengths), kSuccess);
  EXPECT_EQ(codes, (std::vector<std::uint16_t>{0b00, 0b01, 0b100, 0b101, 0b110, 0b11100}));
  EXPECT_EQ(lengths, (std::vector<std::uint8_t>{2, 2, 3, 3, 3, 5}));
}

TEST(GenerateCodeWords, RefusesListsThatCannotFormAPrefixCode) {
  std::vector<std::uint16_t> codes;
  std::vector<std::uint8_t> lengths;
  EXPECT_EQ(GenerateCodeWords({0, 3}, codes, lengths), kReadFailed);        // 3 one-bit codes
  EXPECT_EQ(GenerateCodeWords({0, 1, 1, 3}, codes, lengths), kReadFailed);  // Kraft sum 9/8
  EXPECT_EQ(GenerateCodeWords({1, 1}, codes, lengths), kReadFailed);        // length 0
  std::vector<std::uint32_t> seventeen(18, 0);
  seventeen[17] = 1;
  EXPECT_EQ(GenerateCodeWords(seventeen, codes, lengths), kReadFailed);
  std::vector<std::uint32_t> full(17, 0);
  full[16] = 65536;
  EXPECT_EQ(GenerateCodeWords(full, codes, lengths), kSuccess);
  EXPECT_EQ(codes.back(), 0xFFFF);
}

// Fibonacci frequencies give the deepest Huffman trees. Starting at 1, 2 and followed by the
// reserved symbol's 1, n of them make a chain n bits deep.
Frequencies Fibonacci(int n) {
  Frequencies f = {1, 2};
  while (static_cast<int>(f.size()) < n) f.push_back(f[f.size() - 1] + f[f.size() - 2]);
  return f;
}

TEST(HuffmanCode, LimitsSkewedHistogramsToSixteenBitsAndDropsTheReservedCode) {
  Frequencies f = Fibonacci(24);
  f.push_back(1);  // reserved, the last symbol
  const std::uint32_t reserved = 24;
  HuffmanCode code;
  ASSERT_EQ(code.Build(f), kSuccess);
  const std::vector<std::uint32_t>& bits = code.Bits();
  EXPECT_EQ(bits.size(), CountCodeSizes(CodeSizes(f)).size()) << "the list keeps L + 1 entries";
  ASSERT_GT(bits.size(), 17u);
  for (std::size_t l = 17; l < bits.size(); ++l) EXPECT_EQ(bits[l], 0u) << "length " << l;
  EXPECT_EQ(KraftSum(bits), 65535u) << "complete but for the reserved code point";
  for (std::uint32_t s = 0; s < reserved; ++s) {
    EXPECT_GE(code.CodeWord(s).length, 1) << "symbol " << s;
    EXPECT_LE(code.CodeWord(s).length, 16) << "symbol " << s;
  }
  EXPECT_EQ(code.CodeWord(reserved).length, 0);
  // More frequent symbols never get longer codes.
  for (std::uint32_t s = 1; s < reserved; ++s) {
    if (f[s] > f[s - 1]) {
      EXPECT_LE(code.CodeWord(s).length, code.CodeWord(s - 1).length) << "symbol " << s;
    }
  }
}

TEST(HuffmanCode, KeepsTheReservedCodeWhenNoLimitIsNeeded) {
  HuffmanCode code;
  ASSERT_EQ(code.Build({10, 0, 4, 4, 1}), kSuccess);
  EXPECT_EQ(code.Bits(), (std::vector<std::uint32_t>{0, 1, 1, 2}));
  EXPECT_EQ(code.Huffval(), (std::vector<std::uint32_t>{0, 2, 3, 4, 0}));
  EXPECT_EQ(code.CodeWord(0).code, 0b0);
  EXPECT_EQ(code.CodeWord(2).code, 0b10);
  EXPECT_EQ(code.CodeWord(3).code, 0b110);
  EXPECT_EQ(code.CodeWord(4).code, 0b111);
  EXPECT_EQ(code.CodeWord(4).length, 3);
  EXPECT_EQ(code.CodeWord(1).length, 0);
}

TEST(HuffmanCode, RefusesMoreSymbolsThanSixteenBitsCanTellApartWith22) {
  HuffmanCode code;
  EXPECT_EQ(code.Build(Frequencies((1u << 16) + 1, 1)), kInvalidValues);
}

TEST(HuffmanDecoder, DecodesEveryCodeWordOfABuiltCode) {
  Frequencies f = Fibonacci(20);
  f.insert(f.end(), {0, 0, 17, 300, 1});
  HuffmanCode code;
  ASSERT_EQ(code.Build(f), kSuccess);
  std::vector<std::uint32_t> used;
  BitStream stream;
  for (std::uint32_t s = 0; s < f.size(); ++s) {
    if (code.CodeWord(s).length == 0) continue;
    used.push_back(s);
    ASSERT_EQ(stream.Write(code.CodeWord(s).code, code.CodeWord(s).length), kSuccess);
  }
  HuffmanDecoder decoder;
  ASSERT_EQ(decoder.Build(code.Bits(), code.Huffval()), kSuccess);
  stream.Rewind();
  for (const std::uint32_t s : used) {
    std::uint32_t symbol = 9999;
    ASSERT_EQ(decoder.Decode(stream, symbol), kSuccess);
    EXPECT_EQ(symbol, s);
  }
}

TEST(HuffmanDecoder, RefusesACodeLongerThanAnyInTheTableWith14) {
  HuffmanDecoder decoder;
  ASSERT_EQ(decoder.Build({0, 1, 1}, {7, 9}), kSuccess);  // codes 0 and 10
  BitStream stream;
  const std::uint8_t ones = 0xFF;
  ASSERT_EQ(stream.Assign(&ones, 1), kSuccess);
  std::uint32_t symbol;
  EXPECT_EQ(decoder.Decode(stream, symbol), kReadFailed);
}

TEST(HuffmanDecoder, PassesOnTheEndOfTheBuffer) {
  HuffmanDecoder decoder;
  ASSERT_EQ(decoder.Build({0, 2}, {1, 2}), kSuccess);
  BitStream stream;
  ASSERT_EQ(stream.Assign(nullptr, 0), kSuccess);
  ASSERT_EQ(stream.Skip(65536 * 8), kSuccess);
  std::uint32_t symbol;
  EXPECT_EQ(decoder.Decode(stream, symbol), kOutOfRange);
}

// The first-level table must give exactly what the canonical walk gives, for short and
// long code words, for bits that match no code word, and in the last bytes of the buffer,
// where decoding falls back to the walk.
TEST(HuffmanDecoder, TableDecodingMatchesTheCanonicalWalk) {
  // One code of every length from 1 to 15 and two of 16 less one: the all-ones word of 16
  // bits matches nothing.
  std::vector<std::uint32_t> bits(17, 1);
  bits[0] = 0;
  std::vector<std::uint32_t> huffval;
  for (std::uint32_t s = 0; s < 16; ++s) huffval.push_back(100 + 3 * s);
  HuffmanDecoder decoder;
  ASSERT_EQ(decoder.Build(bits, huffval), kSuccess);
  std::mt19937 rng(5);
  for (int trial = 0; trial < 40; ++trial) {
    // Runs of ones reach the long codes; a few streams end in ones, the invalid word.
    std::vector<std::uint8_t> payload(300);
    for (auto& b : payload) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : 0xFF);
    BitStream fast, slow;
    ASSERT_EQ(fast.Assign(payload.data(), payload.size()), kSuccess);
    ASSERT_EQ(slow.Assign(payload.data(), payload.size()), kSuccess);
    // Half the trials start just before the end of the buffer.
    if (trial % 2 == 1) {
      const std::uint64_t start = fast.Capacity() * 8 - 200 - static_cast<std::uint64_t>(trial);
      ASSERT_EQ(fast.Skip(start), kSuccess);
      ASSERT_EQ(slow.Skip(start), kSuccess);
    }
    for (int n = 0; n < 400; ++n) {
      std::uint32_t a = 0, b = 0;
      const ResultCode ca = decoder.Decode(fast, a);
      const ResultCode cb = decoder.DecodeCanonical(slow, b);
      ASSERT_EQ(ca, cb) << "trial " << trial << " word " << n;
      if (ca != kSuccess) break;
      ASSERT_EQ(a, b);
      ASSERT_EQ(fast.BitPosition(), slow.BitPosition());
    }
  }
}

// The row walk of a section written out with Decode and Interpret, as the reference for
// DecodeRows.
ResultCode ReferenceRows(const HuffmanDecoder& decoder, BitStream& stream,
                         const RunSizeAlphabet& alphabet, std::vector<double>& out,
                         std::uint32_t rows, std::uint32_t columns) {
  using Kind = RunSizeSymbol::Kind;
  for (std::uint32_t r = 0; r < rows; ++r) {
    double* row = out.data() + r * columns;
    std::uint32_t e = 0;
    while (e < columns) {
      std::uint32_t symbol;
      if (const ResultCode code = decoder.Decode(stream, symbol); code != kSuccess) return code;
      const RunSizeSymbol s = alphabet.Interpret(symbol);
      if (s.kind == Kind::kEndOfRow) {
        std::fill(row + e, row + columns, 0.0);
        break;
      }
      if (s.kind == Kind::kReserved) return kReadFailed;
      const std::uint32_t room = columns - e;
      if (s.kind == Kind::kZeroRun ? s.run > room : s.run >= room) return kReadFailed;
      std::fill(row + e, row + e + s.run, 0.0);
      e += s.run;
      if (s.kind == Kind::kValue) {
        std::uint32_t extra;
        if (const ResultCode code = stream.Read(s.size, extra); code != kSuccess) return code;
        row[e++] = static_cast<double>(ExtendValue(extra, s.size));
      }
    }
  }
  return kSuccess;
}

// Random streams over a code of every symbol of a small alphabet (P = 5, R = 3): values,
// runs that pass the row's end, the reserved symbol, long code words, and streams that run
// into the end of the buffer all give what the symbol-by-symbol walk gives.
struct WalkCase {
  int precision, maxZeroRun;
  std::vector<std::uint32_t> bits;  // code words per length, index = length
};

class HuffmanDecoderWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(HuffmanDecoderWalk, DecodeRowsAndSkipRowsMatchTheSymbolWalk) {
  const RunSizeAlphabet alphabet(GetParam().precision, GetParam().maxZeroRun);
  const std::vector<std::uint32_t> bits = GetParam().bits;
  std::vector<std::uint32_t> huffval;
  std::mt19937 rng(7);
  for (std::uint32_t s = 0; s < alphabet.Size(); ++s) huffval.push_back(s);
  std::shuffle(huffval.begin(), huffval.end(), rng);
  HuffmanDecoder decoder;
  ASSERT_EQ(decoder.Build(bits, huffval), kSuccess);
  int successes = 0;
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<std::uint8_t> payload(64 + rng() % 400);
    for (auto& b : payload) b = static_cast<std::uint8_t>(rng());
    const std::uint32_t rows = 1 + rng() % 6, columns = 1 + rng() % 40;
    BitStream fast, slow, skip, small;
    for (BitStream* stream : {&fast, &slow, &skip, &small}) {
      ASSERT_EQ(stream->Assign(payload.data(), payload.size()), kSuccess);
    }
    if (trial % 3 == 2) {
      const std::uint64_t start = fast.Capacity() * 8 - 1 - rng() % 300;
      for (BitStream* stream : {&fast, &slow, &skip, &small}) {
        ASSERT_EQ(stream->Skip(start), kSuccess);
      }
    }
    std::vector<double> a(rows * columns, -7.0), b(rows * columns, -7.0);
    const ResultCode ca = decoder.DecodeRows(fast, alphabet, a.data(), rows, columns);
    const ResultCode cb = ReferenceRows(decoder, slow, alphabet, b, rows, columns);
    // Skipping the rows checks the same and ends in the same place.
    const ResultCode cs = decoder.SkipRows(skip, alphabet, rows, columns);
    ASSERT_EQ(ca, cb) << "trial " << trial;
    ASSERT_EQ(cs, cb) << "trial " << trial;
    // Zeroed 16-bit rows, three values apart more than the columns: the gaps are left alone.
    const std::size_t stride = columns + 3;
    std::vector<std::int16_t> c(rows * stride, 77);
    for (std::uint32_t r = 0; r < rows; ++r) std::fill_n(c.begin() + r * stride, columns, 0);
    if (GetParam().precision <= 15) {
      ASSERT_EQ(decoder.DecodeRows(small, alphabet, c.data(), rows, columns, stride), cb)
          << "trial " << trial;
    }
    if (ca != kSuccess) continue;
    ++successes;
    EXPECT_EQ(a, b) << "trial " << trial;
    EXPECT_EQ(fast.BitPosition(), slow.BitPosition());
    EXPECT_EQ(skip.BitPosition(), slow.BitPosition());
    if (GetParam().precision <= 15) {
      EXPECT_EQ(small.BitPosition(), slow.BitPosition());
      for (std::uint32_t r = 0; r < rows; ++r) {
        for (std::size_t k = 0; k < stride; ++k) {
          const double want = k < columns ? b[r * columns + k] : 77.0;
          ASSERT_EQ(c[r * stride + k], want) << "trial " << trial << " row " << r << " at " << k;
        }
      }
    }
  }
  EXPECT_GT(successes, 10);
}

// One to five walks side by side (more than are taken at once): codes of their own, streams
// of their own, rows of their own shapes, and each gets what it gets alone: the result, the
// rows and the end position. 16-bit rows come zeroed; rows of doubles hold anything.
template <typename Out>
void CheckWalksTogether(const WalkCase& param) {
  constexpr int kWalks = 5;
  const int widest = std::is_same_v<Out, std::int16_t> ? 15 : 32;
  const Out start = std::is_same_v<Out, std::int16_t> ? Out{0} : Out{-7};
  // Some walks' values are longer, so that their symbols may not fit three to a refill.
  std::vector<RunSizeAlphabet> alphabets;
  std::mt19937 rng(11);
  HuffmanDecoder decoders[kWalks];
  for (int k = 0; k < kWalks; ++k) {
    alphabets.emplace_back(std::min(widest, param.precision + 3 * (k % 3)), param.maxZeroRun);
    std::vector<std::uint32_t> huffval;
    for (std::uint32_t s = 0; s < alphabets[k].Size(); ++s) huffval.push_back(s);
    std::shuffle(huffval.begin(), huffval.end(), rng);
    ASSERT_EQ(decoders[k].Build(param.bits, huffval), kSuccess);
  }
  int allDone = 0;
  for (int trial = 0; trial < 600; ++trial) {
    const int count = 1 + trial % kWalks;
    std::vector<std::uint8_t> payload[kWalks];
    std::uint32_t rows[kWalks], columns[kWalks];
    BitStream together[kWalks], alone[kWalks];
    std::vector<Out> a[kWalks], b[kWalks];
    HuffmanDecoder::RowsJob<Out> jobs[kWalks];
    for (int k = 0; k < count; ++k) {
      payload[k].resize(16 + rng() % 400);
      for (auto& byte : payload[k]) byte = static_cast<std::uint8_t>(rng());
      rows[k] = rng() % 7;
      columns[k] = 1 + rng() % 40;
      const std::size_t stride = columns[k] + k % 2;
      a[k].assign(rows[k] * stride, start);
      b[k].assign(rows[k] * stride, start);
      ASSERT_EQ(together[k].Assign(payload[k].data(), payload[k].size()), kSuccess);
      ASSERT_EQ(alone[k].Assign(payload[k].data(), payload[k].size()), kSuccess);
      jobs[k] = {&decoders[k], &together[k], &alphabets[k], a[k].data(),
                 rows[k],      columns[k],   stride};
    }
    HuffmanDecoder::DecodeRowsTogether(jobs, static_cast<std::size_t>(count));
    bool done = true;
    for (int k = 0; k < count; ++k) {
      ResultCode want;
      if constexpr (std::is_same_v<Out, std::int16_t>) {
        want = decoders[k].DecodeRows(alone[k], alphabets[k], b[k].data(), rows[k], columns[k],
                                      columns[k] + k % 2);
      } else {
        // The double walk alone writes rows `columns` apart: one row at a time here.
        want = kSuccess;
        for (std::uint32_t r = 0; r < rows[k] && want == kSuccess; ++r) {
          want = decoders[k].DecodeRows(alone[k], alphabets[k],
                                        b[k].data() + r * (columns[k] + k % 2), 1, columns[k]);
        }
      }
      ASSERT_EQ(jobs[k].result, want) << "trial " << trial << " walk " << k;
      done = done && want == kSuccess;
      if (want != kSuccess) continue;
      EXPECT_EQ(a[k], b[k]) << "trial " << trial << " walk " << k;
      EXPECT_EQ(together[k].BitPosition(), alone[k].BitPosition()) << "trial " << trial;
    }
    allDone += done && count > 1;
  }
  EXPECT_GT(allDone, 5);
}

TEST_P(HuffmanDecoderWalk, DecodeRowsTogetherMatchesEachWalkAlone) {
  if (GetParam().precision > 15) GTEST_SKIP() << "16-bit rows only";
  CheckWalksTogether<std::int16_t>(GetParam());
}

TEST_P(HuffmanDecoderWalk, DecodeRowsTogetherIntoDoublesMatchesEachWalkAlone) {
  CheckWalksTogether<double>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Alphabets, HuffmanDecoderWalk,
    testing::Values(
        // 18 symbols: lengths 2, 3, 4, ... up to 13 (some long), every symbol once.
        WalkCase{5, 3, {0, 0, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1}},
        // 33 symbols in a complete code: runs of up to 9 zeros before a value, longer than
        // the walk's block of zeros, and rows shorter than it.
        WalkCase{3, 10, {0, 0, 0, 0, 0, 31, 2}},
        // 27 symbols of values up to 24 bits: symbols longer than two fit in one refill of
        // the walk's window.
        WalkCase{24, 1, {0, 0, 0, 0, 8, 8, 8, 3}},
        // Values of up to 9 bits after code words of up to 9 bits: three symbols of at most
        // 18 bits to one refill, and code words of 10 bits, whose first extra bit lies past
        // the table's index.
        WalkCase{9, 2, {0, 0, 2, 2, 2, 2, 2, 2, 2, 2, 4}}));

struct BadLists {
  const char* what;
  std::vector<std::uint32_t> bits;
  std::vector<std::uint32_t> huffval;
};

class HuffmanDecoderBuild : public testing::TestWithParam<BadLists> {};

TEST_P(HuffmanDecoderBuild, RefusesListsThatDoNotFormACodeWith14) {
  HuffmanDecoder decoder;
  EXPECT_EQ(decoder.Build(GetParam().bits, GetParam().huffval), kReadFailed) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, HuffmanDecoderBuild,
                         testing::Values(BadLists{"no code at all", {0, 0, 0}, {1, 2}},
                                         BadLists{"fewer symbols than codes", {0, 0, 3}, {1, 2}},
                                         BadLists{"not a prefix code", {0, 2, 1}, {1, 2, 3}},
                                         BadLists{"code of length 0", {1, 1}, {1, 2}}));

}  // namespace
}  // namespace orvane
