#include "retrieval/search_progress.h"

#include <cstdio>

namespace orvane {

std::string ProgressCaption(SearchPhase phase, std::size_t index, std::size_t count) {
  const char* format = "Loading images %zu / %zu ...";
  if (phase == SearchPhase::kCalculating) format = "Calculating similarity %zu / %zu ...";
  if (phase == SearchPhase::kReplacing) format = "Replacing thumbnails %zu / %zu ...";
  char text[96];
  std::snprintf(text, sizeof text, format, index, count);
  return text;
}

int ProgressPercent(std::size_t index, std::size_t count) {
  if (count == 0) return 0;
  // Integer arithmetic is the truncation; index < count keeps it below 100.
  return static_cast<int>(static_cast<unsigned long long>(index) * 100 / count);
}

}  // namespace orvane
