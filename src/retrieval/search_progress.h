#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace orvane {

/// The three phases of a search, in the order they run.
enum class SearchPhase {
  kLoading,      ///< collecting the candidates of the list (index and count over the list)
  kCalculating,  ///< scoring the candidates (over the candidates)
  kReplacing,    ///< building the ranked list (over the candidates, in ranked order)
};

/// Called by a search once per step of a phase, before the step's file is worked on (after it
/// for the replacing phase), with the step's index counted from 0 and the phase's count, so
/// the last step of a phase shows count - 1. Returning false cancels the search.
using SearchProgress = std::function<bool(SearchPhase phase, std::size_t index, std::size_t count)>;

/// The progress dialog's caption of a step: "Loading images %d / %d ...",
/// "Calculating similarity %d / %d ..." or "Replacing thumbnails %d / %d ...".
std::string ProgressCaption(SearchPhase phase, std::size_t index, std::size_t count);

/// The progress bar position of a step, trunc(index / count x 100): never 100 inside a phase.
/// 0 for a count of 0.
int ProgressPercent(std::size_t index, std::size_t count);

}  // namespace orvane
