#include "app/document/image_loading.h"

#include "imaging/image_ex.h"

namespace orvane {

bool LoadImageForView(CImageEx& image, const std::string& path, LoadMode mode,
                      const CancelHook& cancel) {
  if (IsCanceled(cancel)) {
    image.Destroy();
    image.m_nImageType = TYPE_ORDINARY_IMAGE;
    return false;
  }
  LoadFile(image, path, mode);
  return !image.IsNull();
}

}  // namespace orvane
