#pragma once

#include <QString>

#include "retrieval/file_record.h"

namespace orvane {

/// The tooltip of a ranked result's thumbnail: its combined, colour and Edge similarity, one a
/// line, with "unreadable" for a section that could not be read (-1). Empty for a record that
/// no search has scored (all three similarities 0), so a plain folder listing shows none.
QString SimilarityToolTip(const FileRecord& record);

}  // namespace orvane
