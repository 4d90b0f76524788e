#include "imaging/loading/load_file.h"

#include "imaging/file_type.h"
#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "pqz/pqz_codec.h"

namespace orvane {
namespace {

// A preview up to this size (one pixel per patch) is too small for a 96-pixel thumbnail
// (0.7 of the thumbnail side), so the file is decoded in full instead.
constexpr double kSmallestUsefulPreview = 67.2;

}  // namespace

int LoadFile(CImageEx& image, const std::string& path, LoadMode mode) {
  image.Destroy();
  if (GetFileTypeCode(path) != FILE_TYPE_PQZ) {
    LoadImageFile(image, path);  // an unreadable file leaves an empty image, as intended
    image.m_nImageType = TYPE_ORDINARY_IMAGE;
    return 1;
  }
  PqzCodec codec;
  ResultCode rc = kSuccess;
  if (mode == LoadMode::kPreview) {
    rc = codec.Preview(image, path);
    if (image.GetWidth() < kSmallestUsefulPreview && image.GetHeight() < kSmallestUsefulPreview) {
      PqzCodec full;
      rc = full.Decode(image, path);
      if (rc == kSuccess) {
        image.m_nImageType = full.Header().IterationFlag;
        return 1;
      }
    }
  } else {
    rc = codec.Decode(image, path);
  }
  if (rc != kSuccess) {
    image.m_nImageType = TYPE_ORDINARY_IMAGE;
    return 0;
  }
  image.m_nImageType = codec.Header().IterationFlag;
  return 1;
}

}  // namespace orvane
