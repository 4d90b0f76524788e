// Full decode and preview of a 12-megapixel PQZ file made from a real photo, in megapixels per
// second, next to Qt's JPEG decode of the same picture in full and scaled to 1/8 while reading
// (how a thumbnail of an ordinary photo is best made), all in one run.
//
// The photo (coffee.png from the fetched set, 600 x 400) is scaled up to 4242 x 2828 with Qt's
// smooth scaling and encoded once with the default parameters; the PQZ file and a JPEG of
// quality 90 of the same pixels are kept in the build folder for later runs.
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench_support.h"
#include "imaging/image_file.h"
#include "imaging/qt_image.h"
#include "turbojpeg_anchor.h"

namespace {

using orvane::CImageEx;
using orvane::bench::StageSeconds;

constexpr int kWidth = 4242;
constexpr int kHeight = 2828;
const std::string kCache = ORVANE_BENCH_CACHE;
const std::string kPqz = kCache + "/coffee-4242x2828-defaults.pqz";
const std::string kJpeg = kCache + "/coffee-4242x2828-q90.jpg";

// Makes the two cached files when they are missing; false when the photo cannot be had.
bool EnsureFiles() {
  static const bool ready = [] {
    if (std::filesystem::exists(kPqz) && std::filesystem::exists(kJpeg)) return true;
    CImageEx photo;
    if (!orvane::bench::LoadPhoto("coffee.png", kWidth, kHeight, photo)) return false;
    const std::string pqzTemp = kPqz + ".new", jpegTemp = kJpeg + ".new";
    if (orvane::bench::EncodeQuietly(photo, orvane::EncodingParameters{}, pqzTemp) != 0) {
      return false;
    }
    QImageWriter writer(QString::fromStdString(jpegTemp), "jpeg");
    writer.setQuality(90);
    if (!writer.write(orvane::ToQImage(photo))) return false;
    std::filesystem::rename(pqzTemp, kPqz);
    std::filesystem::rename(jpegTemp, kJpeg);
    return true;
  }();
  return ready;
}

void SetMegapixels(benchmark::State& state) {
  state.counters["Mpixel/s"] =
      benchmark::Counter(1e-6 * kWidth * kHeight * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// The decoder's own stage seconds, averaged over the iterations.
void AddStages(benchmark::State& state, const StageSeconds& total) {
  for (const auto& [label, seconds] : total) {
    state.counters[label + " s"] = seconds / static_cast<double>(state.iterations());
  }
}

void Accumulate(StageSeconds& total, const StageSeconds& one) {
  if (total.empty()) {
    total = one;
    return;
  }
  for (std::size_t i = 0; i < total.size() && i < one.size(); ++i) total[i].second += one[i].second;
}

// range(0): decode threads (1, or 0 for one per core). The ratio to libjpeg-turbo (one
// thread) is of wall-clock time: the decode, loading included, against the anchor's.
void BM_PqzDecodeFull(benchmark::State& state) {
  if (!EnsureFiles()) return state.SkipWithError("photo or cached files not available");
  const unsigned threads = static_cast<unsigned>(state.range(0));
  StageSeconds total;
  double wall = 0;
  for (auto _ : state) {
    CImageEx image;
    StageSeconds stages;
    const auto start = std::chrono::steady_clock::now();
    if (orvane::bench::DecodeQuietly(kPqz, image, false, &stages, threads) != 0) {
      return state.SkipWithError("decode failed");
    }
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Accumulate(total, stages);
    benchmark::DoNotOptimize(image.GetBits());
  }
  SetMegapixels(state);
  AddStages(state, total);
  // The anchor: libjpeg-turbo decoding the same picture as a JPEG of quality 90, as a
  // fraction of whose speed this decode runs (1 would be as fast).
  // x_turbojpeg: against libjpeg-turbo decoding into a new buffer each time, as this decode
  // makes a new image; x_turbojpeg_reused: against it reusing one buffer, which spares it the
  // first touch of 36 MB of pages (on a virtual machine a large part of the decode).
  const double seconds = wall / static_cast<double>(state.iterations());
  const double turbo = orvane::bench::TurboJpegDecodeSeconds(kJpeg, 1, 5, true);
  const double reused = orvane::bench::TurboJpegDecodeSeconds(kJpeg, 1, 5, false);
  if (turbo > 0 && reused > 0 && wall > 0) {
    state.counters["turbojpeg s"] = turbo;
    state.counters["turbojpeg reused s"] = reused;
    state.counters["x_turbojpeg"] = turbo / seconds;
    state.counters["x_turbojpeg_reused"] = reused / seconds;
  }
}
BENCHMARK(BM_PqzDecodeFull)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

void BM_PqzPreview(benchmark::State& state) {
  if (!EnsureFiles()) return state.SkipWithError("photo or cached files not available");
  double seconds = 0;
  for (auto _ : state) {
    CImageEx image;
    const auto start = std::chrono::steady_clock::now();
    if (orvane::bench::DecodeQuietly(kPqz, image, true) != 0) {
      return state.SkipWithError("preview failed");
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(image.GetBits());
  }
  SetMegapixels(state);
  // The anchor: libjpeg-turbo's decode of the JPEG scaled to 1/8 while decoding; above 1 the
  // preview is faster.
  const double turbo = orvane::bench::TurboJpegDecodeSeconds(kJpeg, 8, 10);
  if (turbo > 0 && seconds > 0) {
    state.counters["turbojpeg 1/8 s"] = turbo;
    state.counters["x_turbojpeg_1/8"] = turbo / (seconds / static_cast<double>(state.iterations()));
  }
}
BENCHMARK(BM_PqzPreview)->Unit(benchmark::kMillisecond);

// Wall seconds of `pqz decode kPqz OUT.bmp` run as a new process, its output thrown away.
double FreshProcessDecodeSeconds(const std::string& out) {
  const char* argv[] = {ORVANE_PQZ_TOOL, "decode", kPqz.c_str(), out.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = 0;
  const bool ran = posix_spawn(&pid, ORVANE_PQZ_TOOL, &actions, nullptr,
                               const_cast<char* const*>(argv), environ) == 0 &&
                   waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return ran ? seconds : -1.0;
}

// The tool's decode of the 12-megapixel file in a process of its own (loading the program
// and its libraries, first touch of all its memory) against this process's warm decode plus
// writing the same BMP file, in turns: x_warm is the ratio of the best of ten of each (the
// machine is shared, and a single process start can be slowed by anything else).
void BM_PqzDecodeFreshProcess(benchmark::State& state) {
  if (!EnsureFiles()) return state.SkipWithError("photo or cached files not available");
  const std::string out = kCache + "/coffee-decoded.bmp";
  double fresh = 1e30, warm = 1e30;
  for (auto _ : state) {
    for (int i = 0; i < 10; ++i) {
      const double seconds = FreshProcessDecodeSeconds(out);
      if (seconds < 0) return state.SkipWithError("pqz decode failed");
      fresh = std::min(fresh, seconds);
      CImageEx image;
      const auto start = std::chrono::steady_clock::now();
      if (orvane::bench::DecodeQuietly(kPqz, image, false, nullptr, 0) != 0 ||
          !orvane::SaveImageFile(std::move(image), out)) {
        return state.SkipWithError("decode or write failed");
      }
      warm = std::min(
          warm, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
  }
  std::filesystem::remove(out);
  state.counters["fresh process s"] = fresh;
  state.counters["warm decode and write s"] = warm;
  state.counters["x_warm"] = fresh / warm;
}
BENCHMARK(BM_PqzDecodeFreshProcess)->Iterations(1)->Unit(benchmark::kMillisecond);

// Qt's JPEG reader; the argument is the scale divisor (1: full size, 8: 1/8 on each side, which
// the JPEG decoder does while decoding).
void BM_QtJpegDecode(benchmark::State& state) {
  if (!EnsureFiles()) return state.SkipWithError("photo or cached files not available");
  const int divisor = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QImageReader reader(QString::fromStdString(kJpeg));
    if (divisor != 1) reader.setScaledSize(QSize(kWidth / divisor, kHeight / divisor));
    const QImage image = reader.read();
    if (image.isNull()) return state.SkipWithError("JPEG decode failed");
    benchmark::DoNotOptimize(image.constBits());
  }
  SetMegapixels(state);
}
BENCHMARK(BM_QtJpegDecode)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_FileSizes(benchmark::State& state) {
  if (!EnsureFiles()) return state.SkipWithError("photo or cached files not available");
  for (auto _ : state) benchmark::DoNotOptimize(kPqz.size());
  const double pixels = double(kWidth) * kHeight;
  state.counters["pqz bpp"] = 8.0 * double(std::filesystem::file_size(kPqz)) / pixels;
  state.counters["jpeg90 bpp"] = 8.0 * double(std::filesystem::file_size(kJpeg)) / pixels;
}
BENCHMARK(BM_FileSizes)->Iterations(1);

}  // namespace
