// Basis learning on the patch matrix of a synthetic smooth photo (8 x 8 patches, RGB, 192
// values per patch, 96 bases kept): PCA only, and with a fixed number of ICA steps. The
// covariance is timed next to the plain library route (transpose, then product) on the same
// matrix, so the ratio of the two comes out of one run.
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include "foundation/matrix.h"
#include "learning/basis_learner.h"
#include "learning/basis_projector.h"
#include "learning/dense_products.h"
#include "learning/tanh_nonlinearity.h"

namespace {

constexpr std::uint32_t kSide = 8;
constexpr std::uint32_t kPatchLength = kSide * kSide * 3;
constexpr std::uint32_t kBases = 96;

// Patches of a width x height RGB picture made of soft gradients and waves with a little
// noise, channel-planar with each channel's mean removed, as the encoder extracts them.
Tarn::Matrix<double> SmoothPhotoPatches(std::uint32_t width, std::uint32_t height) {
  std::mt19937 rng(12345);
  std::normal_distribution<double> noise(0.0, 2.0);
  const std::uint32_t columns = width / kSide, rows = height / kSide;
  Tarn::Matrix<double> x(columns * rows, kPatchLength);
  for (std::uint32_t pr = 0; pr < rows; ++pr) {
    for (std::uint32_t pc = 0; pc < columns; ++pc) {
      double* patch = x[pr * columns + pc];
      for (std::uint32_t channel = 0; channel < 3; ++channel) {
        double* plane = patch + channel * kSide * kSide;
        double sum = 0.0;
        for (std::uint32_t y = 0; y < kSide; ++y)
          for (std::uint32_t xx = 0; xx < kSide; ++xx) {
            const double u = pc * kSide + xx, v = pr * kSide + y;
            const double value =
                128.0 + 60.0 * std::sin(u * 0.011 + channel) * std::cos(v * 0.017) +
                30.0 * std::sin((u + v) * 0.05 + channel * 0.5) + 0.02 * (u - v) + noise(rng);
            plane[y * kSide + xx] = value;
            sum += value;
          }
        const double mean = sum / (kSide * kSide);
        for (std::uint32_t i = 0; i < kSide * kSide; ++i) plane[i] -= mean;
      }
    }
  }
  return x;
}

// The learner prints its progress on standard output; keep it out of the benchmark table.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    m_saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(m_saved, 1);
    close(m_saved);
  }

 private:
  int m_saved;
};

const Tarn::Matrix<double>& Patches(std::uint32_t count) {
  // 1024 x 1024 gives 16384 patches; 4000 x 3000 (12 megapixels) gives 187500.
  static const Tarn::Matrix<double> small = SmoothPhotoPatches(1024, 1024);
  if (count == small.Rows()) return small;
  static const Tarn::Matrix<double> large = SmoothPhotoPatches(4000, 3000);
  return large;
}

void BM_CovarianceGram(benchmark::State& state) {
  const auto& x = Patches(static_cast<std::uint32_t>(state.range(0)));
  for (auto _ : state) {
    Tarn::Matrix<double> c = orvane::GramMatrix(x);
    benchmark::DoNotOptimize(c.Data());
  }
}

void BM_CovarianceTransposeProduct(benchmark::State& state) {
  const auto& x = Patches(static_cast<std::uint32_t>(state.range(0)));
  for (auto _ : state) {
    Tarn::Matrix<double> c = x.Transpose() * x;
    benchmark::DoNotOptimize(c.Data());
  }
}

void LearnWith(benchmark::State& state, std::uint32_t iterations) {
  const auto& x = Patches(static_cast<std::uint32_t>(state.range(0)));
  orvane::LearnerOptions parameters;
  parameters.DimensionReduction = kBases;
  parameters.MaxIterations = iterations;
  parameters.ConversionCondition = 0.0;  // never met: exactly `iterations` ICA steps
  for (auto _ : state) {
    Tarn::Matrix<double> bases;
    orvane::BasisLearner learner(parameters);
    QuietStdout quiet;
    if (learner.LearnBases(x, bases) != orvane::kSuccess) state.SkipWithError("learning failed");
    benchmark::DoNotOptimize(bases.Data());
  }
}

// Processor seconds of the calling thread, so that the shared machine's other work does not
// count.
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double LearnSeconds(const Tarn::Matrix<double>& x, std::uint32_t iterations) {
  orvane::LearnerOptions parameters;
  parameters.DimensionReduction = kBases;
  parameters.MaxIterations = iterations;
  parameters.ConversionCondition = 0.0;
  Tarn::Matrix<double> bases;
  orvane::BasisLearner learner(parameters);
  QuietStdout quiet;
  const double start = ThreadSeconds();
  learner.LearnBases(x, bases);
  return ThreadSeconds() - start;
}

// One ICA iteration on 187,500 patches (the difference of 10 iterations and none, over 10)
// against its floor: its multiply-adds (W·Zᵀ and g(Y)·Z, 2 N m² of them) at the product's
// speed measured here on the same shape, plus one non-linearity per activity (N m values) at
// TanhWithSlopeSum's speed measured here.
void BM_IcaIterationFloor(benchmark::State& state) {
  const auto& x = Patches(187500);
  const double n = x.Rows(), m = kBases;
  double iteration = 0, product_rate = 0, tanh_rate = 0;
  for (auto _ : state) {
    iteration = (LearnSeconds(x, 10) - LearnSeconds(x, 0)) / 10.0;
    // The product on the iteration's shape: (N x m)(m x m).
    Tarn::Matrix<double> z(x.Rows(), kBases), w(kBases, kBases), y(x.Rows(), kBases);
    for (std::uint32_t i = 0; i < z.Count(); ++i) z.Data()[i] = std::sin(i * 0.37);
    for (std::uint32_t i = 0; i < w.Count(); ++i) w.Data()[i] = std::cos(i * 0.11) * 0.1;
    y.Fill(0);
    double start = ThreadSeconds();
    Tarn::detail::MultiplyTransposed(z.Data(), w.Data(), y.Data(), x.Rows(), kBases, kBases);
    product_rate = n * m * m / (ThreadSeconds() - start);  // multiply-adds per second
    start = ThreadSeconds();
    benchmark::DoNotOptimize(orvane::TanhWithSlopeSum(y.Data(), y.Count()));
    tanh_rate = y.Count() / (ThreadSeconds() - start);
  }
  const double floor = 2 * n * m * m / product_rate + n * m / tanh_rate;
  state.counters["iteration s"] = iteration;
  state.counters["floor s"] = floor;
  state.counters["product GFLOP/s"] = 2 * product_rate / 1e9;
  state.counters["tanh Mvalues/s"] = tanh_rate / 1e6;
  state.counters["x_floor"] = iteration / floor;
}

void BM_LearnBasesPca(benchmark::State& state) { LearnWith(state, 0); }
void BM_LearnBasesIca10(benchmark::State& state) { LearnWith(state, 10); }

void BM_ProjectBases(benchmark::State& state) {
  const auto& x = Patches(16384);
  orvane::LearnerOptions parameters;
  parameters.DimensionReduction = kBases;
  Tarn::Matrix<double> learned;
  {
    QuietStdout quiet;
    orvane::BasisLearner(parameters).LearnBases(x, learned);
  }
  for (auto _ : state) {
    Tarn::Matrix<double> bases = learned;
    std::vector<std::uint32_t> steps;
    Tarn::Matrix<double> q;
    orvane::BasisProjector(7, 1, true).Run(bases, steps, q);
    benchmark::DoNotOptimize(q.Data());
  }
}

BENCHMARK(BM_CovarianceGram)->Arg(16384)->Arg(187500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CovarianceTransposeProduct)->Arg(16384)->Arg(187500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LearnBasesPca)->Arg(16384)->Arg(187500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LearnBasesIca10)->Arg(16384)->Arg(187500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProjectBases)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IcaIterationFloor)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
