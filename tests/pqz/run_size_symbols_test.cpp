#include "pqz/run_size_symbols.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct Coded {
  std::uint32_t symbol;
  std::uint32_t extra;
  int size;
  bool operator==(const Coded&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Coded& c) {
  return os << "{" << c.symbol << ", " << c.extra << ", " << c.size << "}";
}

ResultCode Walk(const std::vector<double>& row, const RunSizeAlphabet& a, std::vector<Coded>& out) {
  out.clear();
  return CodeRow(row.data(), static_cast<std::uint32_t>(row.size()), a,
                 [&out](std::uint32_t s, std::uint32_t e, int k) {
                   out.push_back({s, e, k});
                   return kSuccess;
                 });
}

std::vector<Coded> Symbols(const std::vector<double>& row, const RunSizeAlphabet& a) {
  std::vector<Coded> out;
  EXPECT_EQ(Walk(row, a, out), kSuccess);
  return out;
}

TEST(RunSizeSymbols, ZeroRowIsASingleEndOfRow) {
  const RunSizeAlphabet a(16, 16);
  EXPECT_EQ(Symbols(std::vector<double>(40, 0.0), a), (std::vector<Coded>{{0, 0, 0}}));
}

TEST(RunSizeSymbols, RowEndingInAValueHasNoEndOfRow) {
  const RunSizeAlphabet a(8, 4);
  // Runs restart with every row: the second row's run counts only its own zeros.
  EXPECT_EQ(Symbols({0, 3}, a), (std::vector<Coded>{{1 * 8 + 2, 3, 2}}));
  EXPECT_EQ(Symbols({0, 0, 5}, a), (std::vector<Coded>{{2 * 8 + 3, 5, 3}}));
}

TEST(RunSizeSymbols, TrailingZerosAfterAValueBecomeOneEndOfRow) {
  const RunSizeAlphabet a(8, 4);
  EXPECT_EQ(Symbols({7, 0, 0, 0, 0, 0, 0, 0, 0, 0}, a), (std::vector<Coded>{{3, 7, 3}, {0, 0, 0}}));
}

TEST(RunSizeSymbols, RunsOfRZerosOrMoreUseZeroRunSymbols) {
  const int p = 8, r = 4;
  const RunSizeAlphabet a(p, r);
  std::vector<double> row(2 * r + 3, 0.0);
  row.push_back(5);
  const std::uint32_t zrl = r * p + 1;
  EXPECT_EQ(Symbols(row, a), (std::vector<Coded>{{zrl, 0, 0}, {zrl, 0, 0}, {3 * p + 3, 0b101, 3}}));
  // Exactly R zeros before a value: one ZRL and a run of 0.
  EXPECT_EQ(Symbols({0, 0, 0, 0, 1}, a), (std::vector<Coded>{{zrl, 0, 0}, {1, 1, 1}}));
}

TEST(RunSizeSymbols, SendsNegativeValuesAsValueMinusOne) {
  const RunSizeAlphabet a(8, 4);
  EXPECT_EQ(Symbols({1}, a), (std::vector<Coded>{{1, 1, 1}}));
  EXPECT_EQ(Symbols({-1}, a), (std::vector<Coded>{{1, 0, 1}}));
  EXPECT_EQ(Symbols({-5}, a), (std::vector<Coded>{{3, 0b010, 3}}));
  EXPECT_EQ(Symbols({-255}, a), (std::vector<Coded>{{8, 0, 8}}));
}

TEST(RunSizeSymbols, TruncatesValuesTowardZero) {
  const RunSizeAlphabet a(8, 4);
  EXPECT_EQ(Symbols({2.9, -2.9, 0.7}, a), (std::vector<Coded>{{2, 2, 2}, {2, 0b01, 2}, {0, 0, 0}}));
}

TEST(RunSizeSymbols, ExtendValueInvertsTheExtraBitsOfEveryValue) {
  const RunSizeAlphabet a(12, 4);
  for (int n = -4095; n <= 4095; ++n) {
    if (n == 0) continue;
    const std::vector<Coded> c = Symbols({static_cast<double>(n)}, a);
    ASSERT_EQ(c.size(), 1u);
    ASSERT_EQ(ExtendValue(c[0].extra, c[0].size), n);
  }
}

TEST(RunSizeSymbols, CarriesMagnitudesOfThirtyTwoBits) {
  const RunSizeAlphabet a(32, 16);
  const double big = 4294967295.0;  // 2^32 - 1
  const std::vector<Coded> c = Symbols({-big}, a);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].size, 32);
  EXPECT_EQ(ExtendValue(c[0].extra, 32), -4294967295LL);
}

TEST(RunSizeSymbols, RefusesValuesThePrecisionCannotHoldWith22) {
  // A value of bit length P + 1 would decode as the next run's symbol.
  const RunSizeAlphabet a(4, 4);
  std::vector<Coded> out;
  EXPECT_EQ(Walk({15}, a, out), kSuccess);
  EXPECT_EQ(Walk({16}, a, out), kInvalidValues);
  EXPECT_EQ(Walk({-16}, a, out), kInvalidValues);
  EXPECT_EQ(Walk({std::nan("")}, a, out), kInvalidValues);
  EXPECT_EQ(Walk({std::numeric_limits<double>::infinity()}, a, out), kInvalidValues);
  EXPECT_EQ(Walk({1e300}, a, out), kInvalidValues);
}

TEST(RunSizeSymbols, PassesOnTheEmittersFailure) {
  const RunSizeAlphabet a(8, 4);
  const double row[] = {1, 2, 3};
  int calls = 0;
  const ResultCode code = CodeRow(row, 3, a, [&calls](std::uint32_t, std::uint32_t, int) {
    return ++calls == 2 ? kNoMemory : kSuccess;
  });
  EXPECT_EQ(code, kNoMemory);
  EXPECT_EQ(calls, 2) << "no symbol after the failure";
}

struct Meaning {
  std::uint32_t symbol;
  RunSizeSymbol::Kind kind;
  std::uint32_t run;
  int size;
};

TEST(RunSizeAlphabet, InterpretsEverySymbolKind) {
  using Kind = RunSizeSymbol::Kind;
  const RunSizeAlphabet a(4, 3);  // 15 symbols
  EXPECT_EQ(a.Size(), 15u);
  const Meaning table[] = {{0, Kind::kEndOfRow, 0, 0}, {1, Kind::kValue, 0, 1},
                           {4, Kind::kValue, 0, 4},    {5, Kind::kValue, 1, 1},
                           {8, Kind::kValue, 1, 4},    {12, Kind::kValue, 2, 4},
                           {13, Kind::kZeroRun, 3, 0}, {14, Kind::kReserved, 0, 0}};
  for (const Meaning& m : table) {
    const RunSizeSymbol s = a.Interpret(m.symbol);
    EXPECT_EQ(s.kind, m.kind) << "symbol " << m.symbol;
    EXPECT_EQ(s.run, m.run) << "symbol " << m.symbol;
    EXPECT_EQ(s.size, m.size) << "symbol " << m.symbol;
  }
  // With P = 1 every remainder is 0: the size is always 1.
  const RunSizeAlphabet one(1, 5);
  EXPECT_EQ(one.Interpret(3).run, 2u);
  EXPECT_EQ(one.Interpret(3).size, 1);
  EXPECT_EQ(one.Interpret(6).kind, Kind::kZeroRun);
  // Every value symbol of every precision, up to the largest alphabet, is c x P + k.
  for (int p = 1; p <= RunSizeAlphabet::kMaxPrecision; ++p) {
    const auto runs = static_cast<int>((RunSizeAlphabet::kMaxSize - 3) / p);
    const RunSizeAlphabet big(p, runs);
    for (std::uint32_t symbol = 1; symbol < big.ZeroRun(); symbol += symbol < 4096 ? 1 : 997) {
      const RunSizeSymbol s = big.Interpret(symbol);
      ASSERT_EQ(s.kind, Kind::kValue) << p << " " << symbol;
      ASSERT_TRUE(s.size >= 1 && s.size <= p) << p << " " << symbol;
      ASSERT_EQ(s.run * static_cast<std::uint32_t>(p) + static_cast<std::uint32_t>(s.size), symbol)
          << p << " " << symbol;
    }
  }
}

TEST(RunSizeAlphabet, AcceptsOnlyParametersThatKeepSymbolsApart) {
  EXPECT_TRUE(RunSizeAlphabet::IsValid(1, 1));
  EXPECT_TRUE(RunSizeAlphabet::IsValid(32, 16));
  EXPECT_TRUE(RunSizeAlphabet::IsValid(16, 65535));
  EXPECT_FALSE(RunSizeAlphabet::IsValid(0, 16));
  EXPECT_FALSE(RunSizeAlphabet::IsValid(33, 16));
  EXPECT_FALSE(RunSizeAlphabet::IsValid(16, 0));
  EXPECT_FALSE(RunSizeAlphabet::IsValid(16, -1));
  EXPECT_FALSE(RunSizeAlphabet::IsValid(32, 65535));
}

TEST(BitLength, IsTheSmallestNWithValueBelowTwoToTheN) {
  EXPECT_EQ(BitLength(0), 0);
  EXPECT_EQ(BitLength(1), 1);
  EXPECT_EQ(BitLength(2), 2);
  EXPECT_EQ(BitLength(3), 2);
  EXPECT_EQ(BitLength(4), 3);
  EXPECT_EQ(BitLength(0xFFFFFFFFu), 32);
}

}  // namespace
}  // namespace orvane
