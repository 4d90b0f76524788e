#include "app/document/image_loading.h"

#include <sstream>

#include "foundation/report_sink.h"
#include "imaging/image_ex.h"

namespace orvane {

bool LoadImageForView(CImageEx& image, const std::string& path, LoadMode mode,
                      const CancelHook& cancel) {
  if (IsCanceled(cancel)) {
    image.Destroy();
    image.m_nImageType = TYPE_ORDINARY_IMAGE;
    return false;
  }
  // The decoder's report of this job is written out in one piece when the job ends.
  std::ostringstream report;
  LoadContext context;
  context.Cancel = cancel;
  context.Report = &report;
  const LoadResult result = LoadFile(image, path, mode, context);
  WriteJobReport(report.str());
  return result.Code == kSuccess && !image.IsNull();
}

}  // namespace orvane
