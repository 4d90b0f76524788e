#include "imaging/loading/load_file.h"

#include "imaging/file_type.h"
#include "imaging/image_file.h"
#include "pqz/pqz_codec.h"

namespace orvane {
namespace {

// A preview up to this size (one pixel per patch) is too small for a 96-pixel thumbnail
// (0.7 of the thumbnail side), so the file is decoded in full instead.
constexpr double kSmallestUsefulPreview = 67.2;

LoadResult Finish(CImageEx& image, ResultCode code, int type) {
  if (code != kSuccess) {
    image.Destroy();
    type = TYPE_ORDINARY_IMAGE;
  }
  image.m_nImageType = static_cast<std::uint16_t>(type);
  return {code, type};
}

// A codec for one decode with the caller's hook, sink and limits.
void SetUp(PqzCodec& codec, const LoadContext& context) {
  codec.SetCancelHook(context.Cancel);
  codec.SetDecodeLimits(context.Limits);
  if (context.Report != nullptr) codec.SetReportSink(*context.Report);
}

}  // namespace

LoadResult LoadFile(CImageEx& image, const std::string& path, LoadMode mode,
                    const LoadContext& context) {
  image.Destroy();
  if (IsCanceled(context.Cancel)) return Finish(image, kCanceled, TYPE_ORDINARY_IMAGE);
  if (GetFileTypeCode(path) != FILE_TYPE_PQZ) {
    LoadImageFile(image, path);  // an unreadable file leaves an empty image, as intended
    return Finish(image, kSuccess, TYPE_ORDINARY_IMAGE);
  }
  if (mode == LoadMode::kPreview) {
    PqzCodec preview;
    SetUp(preview, context);
    const ResultCode rc = preview.Preview(image, path);
    // A broken file is not read a second time: only a good preview too small for a thumbnail
    // gives way to the full decode.
    if (rc != kSuccess || image.GetWidth() >= kSmallestUsefulPreview ||
        image.GetHeight() >= kSmallestUsefulPreview) {
      return Finish(image, rc, preview.Header().IterationFlag);
    }
  }
  PqzCodec full;
  SetUp(full, context);
  const ResultCode rc = full.Decode(image, path);
  return Finish(image, rc, full.Header().IterationFlag);
}

}  // namespace orvane
