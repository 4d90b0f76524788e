#pragma once

#include <string>

#include "foundation/cancel_hook.h"
#include "imaging/loading/load_file.h"

namespace orvane {

class CImageEx;

/// Loads any recognised file into `image` by its name, in full or as a preview: the program's
/// one call of the loading by file type. True when the image holds pixels afterwards; the
/// image's type code is set either way (TYPE_ORDINARY_IMAGE for a file that could not be
/// read). `cancel` is asked by loads that can stop early.
bool LoadImageForView(CImageEx& image, const std::string& path, LoadMode mode,
                      const CancelHook& cancel = {});

}  // namespace orvane
