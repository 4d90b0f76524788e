#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "foundation/result_code.h"
#include "retrieval/file_record.h"

namespace orvane {

/// True when `a` comes before `b` in natural order: runs of digits compare by their numeric
/// value ("img2" before "img10"), everything else byte by byte. Names that are equal in that
/// order (such as "a01" and "a1") are ordered plainly so that the order is total.
bool NaturalLess(std::string_view a, std::string_view b);

/// Lists the image files of `folder` into `records`, replacing what it held: one record per
/// regular file whose name GetFileTypeCode recognises, with the lower-cased name, the full
/// path, type TYPE_NOT_LOADED and similarities 0. Entries are visited in natural order of
/// their lower-cased names; with `recursive` a sub-folder's files are listed at the position
/// of the sub-folder's entry (depth first). Links to folders are not followed, so a link loop
/// cannot make the listing endless; sub-folders that cannot be read are passed over.
///
/// 8 ("Cannot open file.\n") when `folder` itself is missing or cannot be read; `records` is
/// then empty.
ResultCode ListImageFiles(const std::string& folder, bool recursive,
                          std::vector<FileRecord>& records);

}  // namespace orvane
