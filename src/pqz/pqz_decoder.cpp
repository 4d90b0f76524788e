// Decoding: PQZ file to a 24-bit image, and the one-pixel-per-patch preview.
#include <algorithm>
#include <ostream>

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
  m_base.Resize(0, 0);
  if (VisitColorConversion(m_header.ColorSpace, [](auto) { return kSuccess; }) != kSuccess) {
    return guard.rc = kUnsupportedColorSpace;
  }
  if (Canceled()) return guard.rc = kCanceled;

  if ((guard.rc = CreateTarget(image, m_header.ImageWidth, m_header.ImageHeight, kUnknownError)) !=
      kSuccess) {
    return guard.rc;
  }
  if ((guard.rc = DecodeBands(basesT, plan.BandRows, image, times)) != kSuccess) return guard.rc;

  PrintTiming("  expand time = ", times.expand);
  PrintTiming("  multiply time = ", times.multiply);
  PrintTiming("  arrange time = ", times.arrange);
  Report() << std::endl;
  return guard.rc = kSuccess;
}

ResultCode PqzCodec::DecodeBands(const Tarn::Matrix<double>& basesT, std::uint32_t bandRows,
                                 CImageEx& image, DecodeTimes& times) {
  const PatchGrid grid = GridOf(m_header);
  const std::uint32_t dimension = static_cast<std::uint32_t>(m_header.Dimension);
  const std::uint32_t patchLength = 3 * grid.PixelsPerPatch;
  Tarn::Matrix<double> means, coefficients;
  PatchMatrix patches(static_cast<std::uint32_t>(m_header.PatchWidth),
                      static_cast<std::uint32_t>(m_header.PatchHeight));
  for (std::uint32_t row = 0; row < grid.Rows; row += bandRows) {
    if (Canceled()) return kCanceled;
    const std::uint32_t first = row * grid.Columns;
    const std::uint32_t count = std::min(bandRows, grid.Rows - row) * grid.Columns;

    StageTimer timer;
    if (const ResultCode rc = m_average.ExpandBand(count, means); rc != kSuccess) return rc;
    if (const ResultCode rc = m_coeff.ExpandRows(count, coefficients); rc != kSuccess) return rc;
    times.expand += timer.Seconds();

    timer.Restart();
    try {
      if (patches.Rows() != count) patches.Resize(count, patchLength);
    } catch (const Tarn::MatrixException&) {
      return kNoMemory;
    }
    // (band x D) x (D x 3N): every patch of the band as a sum of bases.
    Tarn::detail::MultiplyTransposed(coefficients.Data(), basesT.Data(), patches.Data(), count,
                                     patchLength, dimension);
    times.multiply += timer.Seconds();

    timer.Restart();
    if (const ResultCode rc =
            ArrangePatches(patches, means, m_header, image, ArrangePath::kAuto, first);
        rc != kSuccess) {
      return rc;
    }
    times.arrange += timer.Seconds();
  }
  return kSuccess;
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
