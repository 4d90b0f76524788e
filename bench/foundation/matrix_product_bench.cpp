// GFLOP/s of the matrix product on the codec's two shapes, next to a plain triple loop on
// the same operands, so the ratio comes out of one run.
#include <benchmark/benchmark.h>

#include <random>

#include "foundation/matrix.h"

namespace {

Tarn::Matrix<double> Random(std::uint32_t rows, std::uint32_t columns) {
  std::mt19937 rng(rows * 7 + columns);
  std::uniform_real_distribution<double> dist(-1, 1);
  Tarn::Matrix<double> m(rows, columns);
  for (std::uint32_t i = 0; i < m.Count(); ++i) m.Data()[i] = dist(rng);
  return m;
}

void SetFlops(benchmark::State& state, double m, double k, double n) {
  state.counters["GFLOP/s"] = benchmark::Counter(2.0 * m * k * n * state.iterations() / 1e9,
                                                 benchmark::Counter::kIsRate);
}

void BM_BlockedProduct(benchmark::State& state) {
  const auto m = static_cast<std::uint32_t>(state.range(0));
  const auto k = static_cast<std::uint32_t>(state.range(1));
  const auto n = static_cast<std::uint32_t>(state.range(2));
  const auto a = Random(m, k), b = Random(k, n);
  for (auto _ : state) {
    Tarn::Matrix<double> c = a * b;
    benchmark::DoNotOptimize(c.Data());
  }
  SetFlops(state, m, k, n);
}

void BM_TripleLoop(benchmark::State& state) {
  const auto m = static_cast<std::uint32_t>(state.range(0));
  const auto k = static_cast<std::uint32_t>(state.range(1));
  const auto n = static_cast<std::uint32_t>(state.range(2));
  const auto a = Random(m, k), b = Random(k, n);
  Tarn::Matrix<double> c(m, n);
  for (auto _ : state) {
    for (std::uint32_t i = 0; i < m; ++i)
      for (std::uint32_t j = 0; j < n; ++j) {
        double s = 0;
        for (std::uint32_t q = 0; q < k; ++q) s += a(i, q) * b(q, j);
        c(i, j) = s;
      }
    benchmark::DoNotOptimize(c.Data());
  }
  SetFlops(state, m, k, n);
}

// Decoder: coefficients (G x D) times bases (D x 3N); encoder: patches (G x 3N) times Q.
BENCHMARK(BM_BlockedProduct)->Args({16384, 96, 192})->Args({16384, 192, 96})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TripleLoop)->Args({16384, 96, 192})->Args({16384, 192, 96})->Unit(benchmark::kMillisecond);

}  // namespace
