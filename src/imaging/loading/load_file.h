#pragma once

#include <string>

#include "foundation/cancel_hook.h"
#include "foundation/report_sink.h"
#include "foundation/result_code.h"
#include "imaging/image_ex.h"
#include "pqz/decode_limits.h"

namespace orvane {

/// Whether LoadFile may stand a PQZ file's patch means in for its pixels.
enum class LoadMode { kFull, kPreview };

/// What a caller gives a load besides the file: a hook asked between the decoder's steps, the
/// sink for the decoder's timing lines (standard output when none is given) and the decoder's
/// limits.
struct LoadContext {
  CancelHook Cancel;
  ReportSink* Report = nullptr;
  DecodeLimits Limits;
};

/// What a load gave: the result code of the load (0 when the file was loaded) and the type code
/// it gave the image (also stored in the image's m_nImageType).
struct LoadResult {
  ResultCode Code = kSuccess;
  int ImageType = TYPE_ORDINARY_IMAGE;

  bool Loaded() const { return Code == kSuccess; }
};

/// Loads any recognised file into `image` by its name. Ordinary files go through the image
/// file reader and get type TYPE_ORDINARY_IMAGE; a file the reader cannot read leaves an empty
/// image and still counts as loaded (code 0). PQZ files go through the decoder and get their
/// header's IterationFlag as type; in preview mode a file of at most 67 x 67 patches is decoded
/// in full instead, since its preview would be too small for a thumbnail. A PQZ file that fails
/// to decode gives the decoder's result code, TYPE_ORDINARY_IMAGE and an empty image; a failed
/// preview is not followed by a full decode of the same file. A load cancelled through the
/// context gives 29 and an empty image.
LoadResult LoadFile(CImageEx& image, const std::string& path, LoadMode mode,
                    const LoadContext& context = {});

}  // namespace orvane
