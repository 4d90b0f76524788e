#pragma once

#include <cstdint>
#include <string>

#include "imaging/image_ex.h"

namespace orvane {

/// One image file of a listed folder, or one ranked candidate of a search. The document keeps
/// a list of these; a search replaces that list by its candidates, best first.
struct FileRecord {
  std::string m_strName;  ///< the file name, lower-cased
  std::string m_strPath;  ///< the full path as listed (case kept)
  /// TYPE_NOT_LOADED until the file's image has been loaded, then its m_nImageType.
  std::uint16_t m_nType = TYPE_NOT_LOADED;
  double m_dEdgeSimilarity = 0.0;   ///< set by a search; -1 when the bases could not be read
  double m_dColorSimilarity = 0.0;  ///< set by a search; -1 when the averages could not be read
  double m_dSimilarity = 0.0;       ///< the combination of the two, the sort key of a search
};

}  // namespace orvane
