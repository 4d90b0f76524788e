// GFLOP/s of the matrix product on the codec's and the learning's shapes, next to Debian's
// OpenBLAS dgemm on one thread on the same operands, so the ratio comes out of one run.
#include <algorithm>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>
#include <cblas.h>
#include <time.h>

#include "foundation/matrix.h"
#include "foundation/product_kernels.h"

extern "C" void openblas_set_num_threads(int);

namespace {

Tarn::Matrix<double> Random(std::uint32_t rows, std::uint32_t columns) {
  std::mt19937 rng(rows * 7 + columns);
  std::uniform_real_distribution<double> dist(-1, 1);
  Tarn::Matrix<double> m(rows, columns);
  for (std::uint32_t i = 0; i < m.Count(); ++i) m.Data()[i] = dist(rng);
  return m;
}

// Processor time of the calling thread: the machine is shared, and the ratio should not
// depend on how often the other work preempts this one.
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

const char* PathName(Tarn::detail::ProductPath path) {
  switch (path) {
    case Tarn::detail::ProductPath::kAvx512:
      return "avx512";
    case Tarn::detail::ProductPath::kAvx2Fma:
      return "avx2+fma";
    case Tarn::detail::ProductPath::kPortable:
      break;
  }
  return "portable";
}

// GFLOP/s of the chosen path's register tile alone, its packed operands in the first-level
// cache: the most any product built on it can reach on this machine, measured once.
double KernelPeakGflops() {
  static const double gflops = [] {
    const Tarn::detail::KernelShape shape = [] {
      switch (Tarn::detail::BestProductPath()) {
        case Tarn::detail::ProductPath::kAvx512:
          return Tarn::detail::Avx512Kernel();
        case Tarn::detail::ProductPath::kAvx2Fma:
          return Tarn::detail::Avx2FmaKernel();
        case Tarn::detail::ProductPath::kPortable:
          break;
      }
      return Tarn::detail::PortableKernel();
    }();
    constexpr std::uint32_t kDepth = 64;
    std::vector<double> a(shape.rows * kDepth, 0.5), b(shape.columns * kDepth, 0.25),
        c(shape.rows * shape.columns, 0.0);
    constexpr int kCalls = 200000;
    double best = 0;
    for (int round = 0; round < 3; ++round) {
      const double t0 = ThreadSeconds();
      for (int i = 0; i < kCalls; ++i) {
        shape.kernel(kDepth, a.data(), b.data(), c.data(), shape.columns, true);
        benchmark::DoNotOptimize(c.data());
      }
      const double seconds = ThreadSeconds() - t0;
      best = std::max(best, 2.0 * shape.rows * shape.columns * kDepth * kCalls / seconds / 1e9);
    }
    return best;
  }();
  return gflops;
}

// Each iteration runs the system's product (with its transposed copy of B, as every caller
// pays it) and OpenBLAS's dgemm, both into storage allocated and touched before the loop so
// that neither pays the first touch of its output; both times are kept apart.
void BM_ProductVsOpenBlas(benchmark::State& state) {
  openblas_set_num_threads(1);
  const auto m = static_cast<std::uint32_t>(state.range(0));
  const auto k = static_cast<std::uint32_t>(state.range(1));
  const auto n = static_cast<std::uint32_t>(state.range(2));
  const auto a = Random(m, k), b = Random(k, n);
  Tarn::Matrix<double> blas(m, n), c(m, n);
  blas.Fill(0);
  c.Fill(0);
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    double t0 = ThreadSeconds();
    const Tarn::Matrix<double> bt = b.Transpose();
    Tarn::detail::MultiplyTransposed(a.Data(), bt.Data(), c.Data(), m, n, k);
    benchmark::DoNotOptimize(c.Data());
    ours += ThreadSeconds() - t0;
    t0 = ThreadSeconds();
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, static_cast<int>(m), static_cast<int>(n),
                static_cast<int>(k), 1.0, a.Data(), static_cast<int>(k), b.Data(),
                static_cast<int>(n), 0.0, blas.Data(), static_cast<int>(n));
    benchmark::DoNotOptimize(blas.Data());
    theirs += ThreadSeconds() - t0;
  }
  const double flops = 2.0 * m * k * n * static_cast<double>(state.iterations());
  state.counters["GFLOP/s"] = flops / ours / 1e9;
  state.counters["OpenBLAS_GFLOP/s"] = flops / theirs / 1e9;
  state.counters["x_OpenBLAS"] = theirs / ours;
  // The ceiling: the tile kernel's own speed, and the ratio to OpenBLAS it would give.
  state.counters["kernel_peak_GFLOP/s"] = KernelPeakGflops();
  state.counters["x_OpenBLAS_at_peak"] = KernelPeakGflops() / (flops / theirs / 1e9);
  state.SetLabel(PathName(Tarn::detail::BestProductPath()));
}

// Decoder: coefficients (G x D) times bases (D x 3N); encoder: patches (G x 3N) times Q;
// learning: whitened data of a 12-megapixel photo (187,500 patches) times the unmixing.
BENCHMARK(BM_ProductVsOpenBlas)
    ->Args({16384, 96, 192})
    ->Args({16384, 192, 96})
    ->Args({187500, 96, 192})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

}  // namespace
