#include "turbojpeg_anchor.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>

#include <turbojpeg.h>

namespace orvane::bench {
namespace {

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

double TurboJpegEncodeSeconds(const CImageEx& image, int quality, int runs) {
  if (image.IsNull() || image.GetBPP() != 24) return -1;
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) return -1;
  const int w = image.GetWidth(), h = image.GetHeight();
  // The rows lie bottom-up in memory: the last row's bytes come first.
  const unsigned char* bottom = image.GetBits() + static_cast<long>(h - 1) * image.GetPitch();
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const auto start = std::chrono::steady_clock::now();
    const int failed = tjCompress2(handle, bottom, w, -image.GetPitch(), h, TJPF_BGR, &jpeg, &size,
                                   TJSAMP_420, quality, TJFLAG_BOTTOMUP);
    const double seconds = Since(start);
    tjFree(jpeg);
    if (failed != 0) {
      best = -1;
      break;
    }
    best = std::min(best, seconds);
  }
  tjDestroy(handle);
  return best;
}

double TurboJpegDecodeSeconds(const std::string& path, int divisor, int runs, bool freshOutput) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> jpeg((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (jpeg.empty()) return -1;
  tjhandle handle = tjInitDecompress();
  if (handle == nullptr) return -1;
  int w = 0, h = 0, subsampling = 0, colorspace = 0;
  double best = -1;
  if (tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &w, &h, &subsampling, &colorspace) ==
      0) {
    const int ow = (w + divisor - 1) / divisor, oh = (h + divisor - 1) / divisor;
    const std::size_t bytes = static_cast<std::size_t>(ow) * oh * 3;
    std::unique_ptr<unsigned char[]> reused(new unsigned char[bytes]);
    best = 1e30;
    for (int i = 0; i < runs; ++i) {
      const auto start = std::chrono::steady_clock::now();
      // A fresh block of this size comes straight from the kernel, untouched, as a new
      // picture's does.
      std::unique_ptr<unsigned char[]> fresh(freshOutput ? new unsigned char[bytes] : nullptr);
      unsigned char* pixels = freshOutput ? fresh.get() : reused.get();
      if (tjDecompress2(handle, jpeg.data(), jpeg.size(), pixels, ow, 0, oh, TJPF_BGR, 0) != 0) {
        best = -1;
        break;
      }
      best = std::min(best, Since(start));
    }
  }
  tjDestroy(handle);
  return best;
}

}  // namespace orvane::bench
