// Coding and decoding speed of a coefficient matrix of a realistic size (16384 patches x 96
// bases) under both section codings, in MB/s of the int32 values the matrix stands for. The
// plain conversion of the same values to int32 runs beside them as the reference, so the
// ratio holds on a busy machine too.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include <benchmark/benchmark.h>

#include "pqz/bit_stream.h"
#include "pqz/coeff.h"
#include "pqz/encoding_parameters.h"
#include "pqz/huffman_decoder.h"
#include "pqz/pqz_header.h"
#include "pqz/run_size_symbols.h"

namespace {

using namespace orvane;

constexpr std::uint32_t kPatches = 16384;
constexpr std::uint32_t kBases = 96;
constexpr double kInputBytes = double{kPatches} * kBases * 4;

// Coefficients fall off with the basis index as those of bases sorted by decreasing norm do:
// Laplacian values whose scale halves every 12 bases, so the later columns are mostly zero.
const Tarn::Matrix<double>& Coefficients() {
  static const Tarn::Matrix<double> matrix = [] {
    std::mt19937 rng(2024);
    std::exponential_distribution<double> magnitude(1.0);
    std::bernoulli_distribution negative(0.5);
    Tarn::Matrix<double> m(kPatches, kBases);
    for (std::uint32_t r = 0; r < kPatches; ++r) {
      for (std::uint32_t d = 0; d < kBases; ++d) {
        const double scale = 600.0 * std::exp2(-static_cast<double>(d) / 12.0);
        const double v = std::trunc(magnitude(rng) * scale);
        m(r, d) = negative(rng) ? -v : v;
      }
    }
    return m;
  }();
  return matrix;
}

void ReportRate(benchmark::State& state) {
  state.counters["MB/s"] = benchmark::Counter(
      kInputBytes * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void Prepare(CCoeff& coeff, std::int32_t coding) {
  CompressionParameters p;  // P = 16, R = 16: the defaults
  coeff.Setup(p);
  coeff.SetCoding(coding);
  static_cast<Tarn::Matrix<double>&>(coeff) = Coefficients();
}

void BM_Compress(benchmark::State& state) {
  CCoeff coeff;
  Prepare(coeff, static_cast<std::int32_t>(state.range(0)));
  // The clamp of Compress leaves values within 16 bits unchanged, so the same matrix can be
  // compressed again and again.
  for (auto _ : state) {
    if (coeff.Compress() != kSuccess) state.SkipWithError("Compress failed");
    benchmark::DoNotOptimize(coeff.PayloadLength());
  }
  ReportRate(state);
  state.counters["bytes/value"] = static_cast<double>(coeff.PayloadLength()) / (kPatches * kBases);
}

void BM_Expand(benchmark::State& state) {
  CCoeff coeff;
  Prepare(coeff, static_cast<std::int32_t>(state.range(0)));
  std::FILE* file = std::tmpfile();
  if (coeff.Compress() != kSuccess || coeff.Write(file) != kSuccess) {
    state.SkipWithError("cannot write the section");
  }
  std::rewind(file);
  PqzHeader header;
  header.ImageWidth = kPatches * 8;
  header.ImageHeight = 8;
  header.PatchWidth = 8;
  header.PatchHeight = 8;
  header.Dimension = kBases;
  CCoeff back;
  if (back.SizeFromHeader(header) != kSuccess || back.Read(file) != kSuccess) {
    state.SkipWithError("cannot read the section");
  }
  std::fclose(file);
  // Expand decodes the loaded payload afresh each time.
  for (auto _ : state) {
    if (back.Expand(true) != kSuccess) state.SkipWithError("Expand failed");
    benchmark::DoNotOptimize(back.Data());
  }
  ReportRate(state);
}

// Reference: the same section decoded as it was before the first-level table, every code
// word walked bit by bit (T.81 F.16) and every extra bit read singly. Only the symbol
// decoding is redone here; the lists are read once outside the loop.
ResultCode ReadBitByBit(BitStream& s, int bits, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < bits; ++i) {
    std::uint32_t bit;
    if (const ResultCode code = s.ReadBit(bit); code != kSuccess) return code;
    value = (value << 1) | bit;
  }
  return kSuccess;
}

// The coefficient section's symbols, ready to be decoded again and again: the bit stream,
// where the symbols start, the code and the alphabet.
struct SymbolStream {
  BitStream stream;
  std::uint64_t start = 0;
  HuffmanDecoder decoder;
  RunSizeAlphabet alphabet{1, 1};
};

bool LoadSymbols(SymbolStream& out) {
  CCoeff coeff;
  Prepare(coeff, kCodingHuffman);
  std::FILE* file = std::tmpfile();
  if (coeff.Compress() != kSuccess || coeff.Write(file) != kSuccess) return false;
  const SectionBlock block = coeff.Block();
  std::vector<std::uint8_t> payload(coeff.PayloadLength());
  std::fseek(file, 40, SEEK_SET);
  const bool read = std::fread(payload.data(), 1, payload.size(), file) == payload.size();
  std::fclose(file);
  if (!read) return false;
  BitStream& stream = out.stream;
  stream.Assign(payload.data(), payload.size());
  stream.Skip(std::uint64_t(block.StepCount) * std::uint64_t(block.StepBits));
  std::vector<std::uint32_t> bits(static_cast<std::size_t>(block.BitsCount));
  for (auto& v : bits) stream.Read(block.BitsBits, v);
  std::uint32_t codes = 0;
  for (const std::uint32_t n : bits) codes += n;
  std::vector<std::uint32_t> huffval(codes);
  for (auto& v : huffval) stream.Read(block.HuffvalBits, v);
  stream.Skip(std::uint64_t(block.HuffvalCount - codes) * std::uint64_t(block.HuffvalBits));
  out.start = stream.BitPosition();
  out.alphabet = RunSizeAlphabet(block.Precision, block.MaxZeroRun);
  return out.decoder.Build(bits, huffval) == kSuccess;
}

// Decodes the symbols into `out` with the canonical walk bit by bit; false on a failure.
bool WalkBitByBit(SymbolStream& symbols, Tarn::Matrix<double>& out) {
  BitStream& stream = symbols.stream;
  const HuffmanDecoder& decoder = symbols.decoder;
  const RunSizeAlphabet& alphabet = symbols.alphabet;
  stream.Rewind();
  stream.Skip(symbols.start);
  for (std::uint32_t r = 0; r < kPatches; ++r) {
    double* row = out.Row(r);
    std::uint32_t e = 0;
    while (e < kBases) {
      std::uint32_t symbol = 0;
      if (decoder.DecodeCanonical(stream, symbol) != kSuccess) return false;
      const RunSizeSymbol sym = alphabet.Interpret(symbol);
      if (sym.kind == RunSizeSymbol::Kind::kEndOfRow) {
        std::fill(row + e, row + kBases, 0.0);
        break;
      }
      std::fill(row + e, row + e + sym.run, 0.0);
      e += sym.run;
      if (sym.kind == RunSizeSymbol::Kind::kValue) {
        std::uint32_t extra = 0;
        ReadBitByBit(stream, sym.size, extra);
        row[e++] = static_cast<double>(ExtendValue(extra, sym.size));
      }
    }
  }
  return true;
}

void BM_ExpandBitByBit(benchmark::State& state) {
  SymbolStream symbols;
  if (!LoadSymbols(symbols)) return state.SkipWithError("cannot make the section");
  Tarn::Matrix<double> out(kPatches, kBases);
  for (auto _ : state) {
    if (!WalkBitByBit(symbols, out)) return state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.Data());
  }
  ReportRate(state);
}

// The row walk of the table-driven decoder over the same symbols (what Expand of a Huffman
// coded section does between reading its lists and Unpredict), as a multiple of the bit by
// bit walk measured in the same run.
void BM_DecodeRows(benchmark::State& state) {
  SymbolStream symbols;
  if (!LoadSymbols(symbols)) return state.SkipWithError("cannot make the section");
  Tarn::Matrix<double> out(kPatches, kBases);
  for (auto _ : state) {
    symbols.stream.Rewind();
    symbols.stream.Skip(symbols.start);
    if (symbols.decoder.DecodeRows(symbols.stream, symbols.alphabet, out.Data(), kPatches,
                                   kBases) != kSuccess) {
      return state.SkipWithError("decode failed");
    }
    benchmark::DoNotOptimize(out.Data());
  }
  ReportRate(state);
}

// Expand of the Huffman coded section (the component's whole Expand) as a multiple of the
// bit by bit walk over the same symbols, both measured here in turn: x_bit_by_bit. The walk
// stands for the decoding as it was before the first-level table.
void BM_ExpandVsBitByBit(benchmark::State& state) {
  SymbolStream symbols;
  if (!LoadSymbols(symbols)) return state.SkipWithError("cannot make the section");
  CCoeff coeff;
  Prepare(coeff, kCodingHuffman);
  std::FILE* file = std::tmpfile();
  if (coeff.Compress() != kSuccess || coeff.Write(file) != kSuccess) {
    return state.SkipWithError("cannot write the section");
  }
  std::rewind(file);
  PqzHeader header;
  header.ImageWidth = kPatches * 8;
  header.ImageHeight = 8;
  header.PatchWidth = 8;
  header.PatchHeight = 8;
  header.Dimension = kBases;
  CCoeff back;
  if (back.SizeFromHeader(header) != kSuccess || back.Read(file) != kSuccess) {
    return state.SkipWithError("cannot read the section");
  }
  std::fclose(file);
  Tarn::Matrix<double> out(kPatches, kBases);
  double expand = 0, walk = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (back.Expand(true) != kSuccess) return state.SkipWithError("Expand failed");
    benchmark::DoNotOptimize(back.Data());
    auto middle = std::chrono::steady_clock::now();
    if (!WalkBitByBit(symbols, out)) return state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.Data());
    expand += std::chrono::duration<double>(middle - start).count();
    walk += std::chrono::duration<double>(std::chrono::steady_clock::now() - middle).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["Expand MB/s"] = kInputBytes * n / expand / 1e6;
  state.counters["bit by bit MB/s"] = kInputBytes * n / walk / 1e6;
  state.counters["x_bit_by_bit"] = walk / expand;
}

// Reference: converting the values to int32, the least any coding must do with them.
void BM_ConvertToInt32(benchmark::State& state) {
  const Tarn::Matrix<double>& m = Coefficients();
  std::vector<std::int32_t> out(m.Count());
  for (auto _ : state) {
    for (std::uint32_t i = 0; i < m.Count(); ++i) out[i] = static_cast<std::int32_t>(m.Data()[i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  ReportRate(state);
}

BENCHMARK(BM_Compress)->ArgName("Coding")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Expand)->ArgName("Coding")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpandBitByBit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpandVsBitByBit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertToInt32)->Unit(benchmark::kMillisecond);

}  // namespace
