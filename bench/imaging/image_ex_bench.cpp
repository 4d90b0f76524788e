// Megapixels per second of reading a 12-megapixel photo pixel by pixel through GetPixel (how
// the encoder reads every image) next to a plain loop over the same bytes, and of making a
// thumbnail of it, so the cost of the per-pixel interface comes out of one run.
#include <array>
#include <cstdint>

#include <benchmark/benchmark.h>

#include "imaging/image_ex.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

const orvane::CImageEx& Photo(int bpp) {
  static orvane::CImageEx palette;
  static orvane::CImageEx colour;
  orvane::CImageEx& image = bpp == 8 ? palette : colour;
  if (!image.IsNull() || !image.Create(kWidth, kHeight, bpp)) {
    return image;
  }
  if (bpp == 8) {
    std::array<std::uint32_t, 256> greys{};
    for (std::uint32_t i = 0; i < greys.size(); ++i) {
      greys[i] = i * 0x010101u;
    }
    image.SetColourTable(greys);
  }
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = image.GetBits() + static_cast<std::ptrdiff_t>(y) * image.GetPitch();
    for (int x = 0; x < kWidth * bpp / 8; ++x) {
      row[x] = static_cast<std::uint8_t>((x * 2654435761u) ^ (y * 40503u));
    }
  }
  return image;
}

void SetMegapixels(benchmark::State& state) {
  state.counters["Mpixel/s"] =
      benchmark::Counter(1e-6 * kWidth * kHeight * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void BM_GetPixel(benchmark::State& state) {
  const orvane::CImageEx& image = Photo(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        sum += image.GetPixel(x, y);
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  SetMegapixels(state);
}

// Reference: the same colours read straight from the 24-bit rows.
void BM_RawRowRead(benchmark::State& state) {
  const orvane::CImageEx& image = Photo(24);
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* p = image.GetBits() + static_cast<std::ptrdiff_t>(y) * image.GetPitch();
      for (int x = 0; x < kWidth; ++x, p += 3) {
        sum += std::uint32_t{p[2]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[0]} << 16;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  SetMegapixels(state);
}

void BM_MakeThumbnail(benchmark::State& state) {
  orvane::CImageEx image;
  image.CopyFrom(Photo(24));
  image.FitToBox(orvane::kThumbnailSide, orvane::kThumbnailSide);
  for (auto _ : state) {
    orvane::CImageEx thumbnail = image.MakeThumbnail();
    benchmark::DoNotOptimize(thumbnail.GetBits());
  }
}

BENCHMARK(BM_GetPixel)->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawRowRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeThumbnail)->Unit(benchmark::kMicrosecond);

}  // namespace
