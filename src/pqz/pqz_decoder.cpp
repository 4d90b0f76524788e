// Decoding: PQZ file to a 24-bit image, and the one-pixel-per-patch preview.
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <ostream>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/product_kernels.h"
#include "imaging/image_ex.h"
#include "pqz/color_space.h"
#include "pqz/decode_budget.h"
#include "pqz/patch_arranger.h"
#include "pqz/pqz_codec.h"
#include "pqz/pqz_reader.h"
#include "pqz/stage_timer.h"

namespace orvane {
namespace {

// A 24-bit image, or `failure` when the bitmap cannot be had.
ResultCode CreateTarget(CImageEx& image, int width, int height, ResultCode failure) {
  image.Destroy();
  return image.Create(width, height, 24) ? kSuccess : failure;
}

// Whatever fails, the caller must not mistake a half-filled picture for the file's.
struct EmptyOnFailure {
  CImageEx& image;
  ResultCode rc = kUnknownError;
  ~EmptyOnFailure() {
    if (rc != kSuccess) image.Destroy();
  }
};

}  // namespace

void PqzCodec::PrintTiming(const char* label, double seconds) const {
  Report() << label << seconds << std::endl;
}

ResultCode PqzCodec::Decode(CImageEx& image, const std::string& path) {
  StageTimer timer;
  PqzReader reader;
  const ResultCode rc = reader.OpenFile(path);
  if (rc != kSuccess) {
    image.Destroy();
    return rc;
  }
  return DecodeFrom(reader, image, timer);
}

ResultCode PqzCodec::DecodeMemory(CImageEx& image, const std::uint8_t* data, std::size_t size) {
  StageTimer timer;
  PqzReader reader;
  const ResultCode rc = reader.OpenMemory(data, size);
  if (rc != kSuccess) {
    image.Destroy();
    return rc;
  }
  return DecodeFrom(reader, image, timer);
}

ResultCode PqzCodec::Preview(CImageEx& image, const std::string& path) {
  PqzReader reader;
  const ResultCode rc = reader.OpenFile(path);
  if (rc != kSuccess) {
    image.Destroy();
    return rc;
  }
  return PreviewFrom(reader, image);
}

ResultCode PqzCodec::PreviewMemory(CImageEx& image, const std::uint8_t* data, std::size_t size) {
  PqzReader reader;
  const ResultCode rc = reader.OpenMemory(data, size);
  if (rc != kSuccess) {
    image.Destroy();
    return rc;
  }
  return PreviewFrom(reader, image);
}

ResultCode PqzCodec::DecodeFrom(PqzReader& reader, CImageEx& image, StageTimer& timer) {
  EmptyOnFailure guard{image};
  m_header = reader.Header();
  // Everything the header implies is weighed before a section is read or memory is taken.
  DecodePlan plan;
  if ((guard.rc = PlanDecode(m_header, reader.FileLength(), m_limits, plan)) != kSuccess) {
    return guard.rc;
  }
  if (Canceled()) return guard.rc = kCanceled;
  if ((guard.rc = reader.ReadSection(PqzSection::kAverage, m_average, true)) != kSuccess ||
      (guard.rc = reader.ReadSection(PqzSection::kBase, m_base)) != kSuccess ||
      (guard.rc = reader.ReadSection(PqzSection::kCoeff, m_coeff, true)) != kSuccess) {
    return guard.rc;
  }
  reader.Close();
  PrintTiming("  loading time = ", timer.Seconds());
  if (Canceled()) return guard.rc = kCanceled;

  // The stage lines give the total of each stage over all bands.
  DecodeTimes times;
  timer.Restart();
  if ((guard.rc = m_base.Expand(true)) != kSuccess) return guard.rc;
  times.expand += timer.Seconds();
  // The bases are walked along their rows by the product: transposed once for all bands.
  Tarn::Matrix<double> basesT;
  try {
    basesT = m_base.Transpose();
  } catch (const Tarn::MatrixException&) {
    return guard.rc = kNoMemory;
  }
  // Zero coefficients add nothing to a patch but a product with a finite basis value, so
  // they may be skipped; an infinite or NaN basis value would make even those count.
  bool sparse = true;
  for (std::uint32_t i = 0; i < m_base.Count() && sparse; ++i) {
    sparse = std::isfinite(m_base.Data()[i]);
  }
  if (VisitColorConversion(m_header.ColorSpace, [](auto) { return kSuccess; }) != kSuccess) {
    return guard.rc = kUnsupportedColorSpace;
  }
  if (Canceled()) return guard.rc = kCanceled;

  if ((guard.rc = CreateTarget(image, m_header.ImageWidth, m_header.ImageHeight, kUnknownError)) !=
      kSuccess) {
    return guard.rc;
  }
  guard.rc = DecodeBands(m_base, basesT, sparse, plan.BandRows, image, times);
  m_base.Resize(0, 0);
  if (guard.rc != kSuccess) return guard.rc;

  PrintTiming("  expand time = ", times.expand);
  PrintTiming("  multiply time = ", times.multiply);
  PrintTiming("  arrange time = ", times.arrange);
  Report() << std::endl;
  return guard.rc = kSuccess;
}

namespace {

// Quarters of a band's coefficients that must be zero for the product to skip them: with
// fewer zeros the packed dense product is quicker.
constexpr std::size_t kSparseZeroQuarters = 2;

// One band of patch rows in flight: its coefficients, then its patches.
struct Band {
  Tarn::Matrix<double> means;  // 3 x count
  Tarn::Matrix<double> coefficients;
  PatchMatrix patches;
  std::uint32_t first = 0;  // first patch
  std::uint32_t count = 0;  // patches
};

}  // namespace

ResultCode PqzCodec::DecodeBands(const Tarn::Matrix<double>& bases,
                                 const Tarn::Matrix<double>& basesT, bool sparse,
                                 std::uint32_t bandRows, CImageEx& image, DecodeTimes& times) {
  const PatchGrid grid = GridOf(m_header);
  const std::uint32_t dimension = static_cast<std::uint32_t>(m_header.Dimension);
  const std::uint32_t patchLength = 3 * grid.PixelsPerPatch;
  const std::uint32_t pw = static_cast<std::uint32_t>(m_header.PatchWidth);
  const std::uint32_t ph = static_cast<std::uint32_t>(m_header.PatchHeight);

  // The coefficients must be expanded in file order, one band after the other, on this
  // thread; multiplying and arranging a band touch only its own buffers and its own pixel
  // rows, so up to one band per core is multiplied and arranged meanwhile, and one more is
  // in hand, so that expanding goes on while every core multiplies. The bands are made
  // smaller by the number in flight, so that they take no more memory together than one
  // band of the plan.
  unsigned threads =
      m_decodeThreads != 0 ? m_decodeThreads : std::max(1u, std::thread::hardware_concurrency());
  threads = std::min<unsigned>(threads, std::max(1u, grid.Rows / 2));
  const unsigned inFlight = threads > 1 ? threads + 1 : 1;
  const std::uint32_t rowsPerBand = std::max<std::uint32_t>(1, bandRows / inFlight);

  std::vector<Band> bands(inFlight);
  for (Band& band : bands) band.patches = PatchMatrix(pw, ph);
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::size_t> ready, idle;
  for (std::size_t i = 0; i < bands.size(); ++i) idle.push_back(i);
  std::size_t busy = 0;
  bool stop = false;
  ResultCode failure = kSuccess;

  // Multiplies and arranges band `i`; called with the lock released.
  const auto finish_band = [&](std::size_t i, double& multiply, double& arrange) {
    Band& band = bands[i];
    StageTimer timer;
    try {
      if (band.patches.Rows() != band.count) band.patches.Resize(band.count, patchLength);
    } catch (const Tarn::MatrixException&) {
      return kNoMemory;
    }
    // (band x D) x (D x 3N): every patch of the band as a sum of bases. Quantised photos
    // leave most coefficients zero; where they do, only the others are multiplied, which
    // gives the same sums.
    const double* coefficients = band.coefficients.Data();
    const std::size_t values = static_cast<std::size_t>(band.count) * dimension;
    const std::size_t zeros =
        sparse ? static_cast<std::size_t>(std::count(coefficients, coefficients + values, 0.0)) : 0;
    if (zeros * 4 >= values * kSparseZeroQuarters) {
      Tarn::detail::MultiplySparse(coefficients, bases.Data(), band.patches.Data(), band.count,
                                   patchLength, dimension);
    } else {
      Tarn::detail::MultiplyTransposed(coefficients, basesT.Data(), band.patches.Data(), band.count,
                                       patchLength, dimension);
    }
    multiply += timer.Seconds();
    timer.Restart();
    const ResultCode rc =
        ArrangePatches(band.patches, band.means, m_header, image, ArrangePath::kAuto, band.first);
    arrange += timer.Seconds();
    return rc;
  };
  // Takes a ready band and finishes it; false when none is ready.
  const auto take_and_finish = [&](std::unique_lock<std::mutex>& lock) {
    if (ready.empty()) return false;
    const std::size_t i = ready.front();
    ready.pop_front();
    ++busy;
    lock.unlock();
    double multiply = 0, arrange = 0;
    const ResultCode rc = finish_band(i, multiply, arrange);
    lock.lock();
    times.multiply += multiply;
    times.arrange += arrange;
    if (rc != kSuccess && failure == kSuccess) failure = rc;
    --busy;
    idle.push_back(i);
    changed.notify_all();
    return true;
  };

  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back([&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
          changed.wait(lock, [&] { return stop || !ready.empty(); });
          if (!take_and_finish(lock) && stop) return;
        }
      });
    } catch (const std::system_error&) {
      break;  // fewer helpers; this thread does the rest
    }
  }

  ResultCode rc = kSuccess;
  for (std::uint32_t row = 0; row < grid.Rows; row += rowsPerBand) {
    if (Canceled()) {
      rc = kCanceled;
      break;
    }
    std::size_t i;
    {
      std::unique_lock<std::mutex> lock(mutex);
      // With every band in flight this thread finishes one itself rather than wait.
      while (idle.empty()) {
        if (!take_and_finish(lock)) changed.wait(lock);
      }
      if (failure != kSuccess) break;
      i = idle.front();
      idle.pop_front();
    }
    Band& band = bands[i];
    band.first = row * grid.Columns;
    band.count = std::min(rowsPerBand, grid.Rows - row) * grid.Columns;
    StageTimer timer;
    rc = m_average.ExpandBand(band.count, band.means);
    if (rc == kSuccess) rc = m_coeff.ExpandRows(band.count, band.coefficients);
    times.expand += timer.Seconds();
    std::lock_guard<std::mutex> guard(mutex);
    if (rc != kSuccess) {
      idle.push_back(i);
      break;
    }
    ready.push_back(i);
    changed.notify_one();
  }
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (take_and_finish(lock)) {
    }
    changed.wait(lock, [&] { return busy == 0 && ready.empty(); });
    stop = true;
    changed.notify_all();
  }
  for (std::thread& helper : helpers) helper.join();
  if (rc != kSuccess) return rc;
  return failure;
}

ResultCode PqzCodec::PreviewFrom(PqzReader& reader, CImageEx& image) {
  EmptyOnFailure guard{image};
  m_header = reader.Header();
  if ((guard.rc = CheckPreviewLimits(m_header, reader.FileLength(), m_limits)) != kSuccess) {
    return guard.rc;
  }
  if (Canceled()) return guard.rc = kCanceled;
  if ((guard.rc = reader.ReadSection(PqzSection::kAverage, m_average, true)) != kSuccess) {
    return guard.rc;
  }
  reader.Close();
  if (VisitColorConversion(m_header.ColorSpace, [](auto) { return kSuccess; }) != kSuccess) {
    return guard.rc = kUnsupportedColorSpace;
  }
  const PatchGrid grid = GridOf(m_header);
  if ((guard.rc = CreateTarget(image, static_cast<int>(grid.Columns), static_cast<int>(grid.Rows),
                               kPlatformError)) != kSuccess) {
    return guard.rc;
  }
  // The means come a band at a time, each drawn before the next is decoded.
  constexpr std::uint32_t kBandPatches = 1u << 16;
  Tarn::Matrix<double> means;
  for (std::uint32_t first = 0; first < grid.Patches; first += kBandPatches) {
    if (Canceled()) return guard.rc = kCanceled;
    const std::uint32_t count = std::min(kBandPatches, grid.Patches - first);
    if ((guard.rc = m_average.ExpandBand(count, means)) != kSuccess ||
        (guard.rc = DrawPatchMeans(means, m_header, image, first)) != kSuccess) {
      return guard.rc;
    }
  }
  return guard.rc = kSuccess;
}

}  // namespace orvane
