// Decoding: PQZ file to a 24-bit image, and the one-pixel-per-patch preview.
#include <cstdio>
#include <iostream>
#include <memory>

#include "imaging/image_ex.h"
#include "pqz/patch_arranger.h"
#include "pqz/pqz_codec.h"
#include "pqz/stage_timer.h"

namespace orvane {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

void PrintTiming(const char* label, const StageTimer& timer) {
  std::cout << label << timer.Seconds() << std::endl;
}

// Opens `path` and reads its header: 8, 14 or 21 on failure.
ResultCode OpenWithHeader(const std::string& path, FilePtr& file, PqzHeader& header) {
  file.reset(std::fopen(path.c_str(), "rb"));
  if (!file) return kCannotOpenFile;
  return ReadPqzHeader(file.get(), header);
}

// A 24-bit image, or `failure` when the bitmap cannot be had.
ResultCode CreateTarget(CImageEx& image, int width, int height, ResultCode failure) {
  image.Destroy();
  return image.Create(width, height, 24) ? kSuccess : failure;
}

}  // namespace

ResultCode PqzCodec::ReadSections(const std::string& path) {
  FilePtr file;
  if (const ResultCode rc = OpenWithHeader(path, file, m_header); rc != kSuccess) return rc;
  for (CPQZComponent* component : Components()) {
    if (const ResultCode rc = component->SizeFromHeader(m_header); rc != kSuccess) return rc;
  }
  for (CPQZComponent* component : Components()) {
    if (const ResultCode rc = component->Read(file.get()); rc != kSuccess) return rc;
  }
  return kSuccess;
}

ResultCode PqzCodec::ExpandSections() {
  for (CPQZComponent* component : Components()) {
    if (const ResultCode rc = component->Expand(true); rc != kSuccess) return rc;
  }
  return kSuccess;
}

ResultCode PqzCodec::Decode(CImageEx& image, const std::string& path) {
  // Whatever fails, the caller must not mistake a half-filled picture for the file's.
  struct EmptyOnFailure {
    CImageEx& image;
    ResultCode rc = kUnknownError;
    ~EmptyOnFailure() {
      if (rc != kSuccess) image.Destroy();
    }
  } guard{image};

  StageTimer timer;
  if ((guard.rc = ReadSections(path)) != kSuccess) return guard.rc;
  PrintTiming("  loading time = ", timer);

  timer.Restart();
  if ((guard.rc = ExpandSections()) != kSuccess) return guard.rc;
  PrintTiming("  expand time = ", timer);

  if ((guard.rc = CreateTarget(image, m_header.ImageWidth, m_header.ImageHeight, kUnknownError)) !=
      kSuccess) {
    return guard.rc;
  }

  timer.Restart();
  PatchMatrix patches(static_cast<std::uint32_t>(m_header.PatchWidth),
                      static_cast<std::uint32_t>(m_header.PatchHeight));
  try {
    patches = m_coeff * m_base;  // (G x D) x (D x 3N): every patch as a sum of bases
  } catch (const Tarn::MatrixException&) {
    return guard.rc = kNoMemory;
  }
  PrintTiming("  multiply time = ", timer);

  timer.Restart();
  if ((guard.rc = ArrangePatches(patches, m_average, m_header, image)) != kSuccess) {
    return guard.rc;
  }
  PrintTiming("  arrange time = ", timer);
  std::cout << std::endl;
  return guard.rc = kSuccess;
}

ResultCode PqzCodec::Preview(CImageEx& image, const std::string& path) {
  ResultCode rc = kSuccess;
  {
    FilePtr file;
    rc = OpenWithHeader(path, file, m_header);
    if (rc == kSuccess) rc = m_average.SizeFromHeader(m_header);
    if (rc == kSuccess) rc = m_average.Read(file.get());
  }
  if (rc == kSuccess) rc = m_average.Expand(true);
  if (rc == kSuccess) {
    const PatchGrid grid = GridOf(m_header);
    rc = CreateTarget(image, static_cast<int>(grid.Columns), static_cast<int>(grid.Rows),
                      kPlatformError);
  }
  if (rc == kSuccess) rc = DrawPatchMeans(m_average, m_header, image);
  if (rc != kSuccess) image.Destroy();
  return rc;
}

}  // namespace orvane
