// GFLOP/s of the matrix product on the codec's and the learning's shapes, next to Debian's
// OpenBLAS dgemm on one thread on the same operands, so the ratio comes out of one run.
#include <algorithm>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>
#include <cblas.h>
#include <immintrin.h>
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

// Independent fused multiply-adds on registers only, twelve chains so that the adder's latency
// never stalls them: the most double-precision FLOP/s one core can do at all, whatever the
// product. Returns FLOP/s over `rounds` rounds of every chain.
__attribute__((target("avx2,fma"))) double FmaRegisterFlops256(long rounds) {
  __m256d acc[12];
  for (int i = 0; i < 12; ++i) acc[i] = _mm256_set1_pd(0.001 * i);
  const __m256d a = _mm256_set1_pd(0.999999), b = _mm256_set1_pd(1e-7);
  const double t0 = ThreadSeconds();
  for (long r = 0; r < rounds; ++r) {
    for (int i = 0; i < 12; ++i) acc[i] = _mm256_fmadd_pd(acc[i], a, b);
  }
  const double seconds = ThreadSeconds() - t0;
  for (int i = 0; i < 12; ++i) benchmark::DoNotOptimize(acc[i]);
  return 12.0 * 4 * 2 * static_cast<double>(rounds) / seconds;
}

__attribute__((target("avx512f"))) double FmaRegisterFlops512(long rounds) {
  __m512d acc[12];
  for (int i = 0; i < 12; ++i) acc[i] = _mm512_set1_pd(0.001 * i);
  const __m512d a = _mm512_set1_pd(0.999999), b = _mm512_set1_pd(1e-7);
  const double t0 = ThreadSeconds();
  for (long r = 0; r < rounds; ++r) {
    for (int i = 0; i < 12; ++i) acc[i] = _mm512_fmadd_pd(acc[i], a, b);
  }
  const double seconds = ThreadSeconds() - t0;
  for (int i = 0; i < 12; ++i) benchmark::DoNotOptimize(acc[i]);
  return 12.0 * 8 * 2 * static_cast<double>(rounds) / seconds;
}

// GFLOP/s of the processor's widest fused multiply-add, best of three rounds, measured once:
// the ceiling of every double-precision product on this machine.
double MachinePeakGflops() {
  static const double gflops = [] {
    double best = 0;
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    const bool avx512 = __builtin_cpu_supports("avx512f");
    for (int round = 0; round < 3; ++round) {
      if (avx2) best = std::max(best, FmaRegisterFlops256(20'000'000) / 1e9);
      if (avx512) best = std::max(best, FmaRegisterFlops512(10'000'000) / 1e9);
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
  // The ceilings: the tile kernel's own speed, and the ratio to OpenBLAS it would give.
  state.counters["kernel_peak_GFLOP/s"] = KernelPeakGflops();
  state.counters["x_OpenBLAS_at_peak"] = KernelPeakGflops() / (flops / theirs / 1e9);
  // The machine's own ceiling: no double-precision product can pass this ratio here.
  state.counters["machine_peak_GFLOP/s"] = MachinePeakGflops();
  state.counters["x_OpenBLAS_at_machine_peak"] = MachinePeakGflops() / (flops / theirs / 1e9);
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
