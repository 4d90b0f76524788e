// libFuzzer target: arbitrary bytes as a PQZ file through the search's section readers and
// its colour and Edge features. A similarity outside its range, or base readers that disagree,
// count as a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "retrieval_feature_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const orvane::fuzz::FeatureOutcome outcome = orvane::fuzz::ReadFeatureBytes(data, size);
  if (!outcome.SimilaritiesInRange || !outcome.SmallBasesAgree || !outcome.TogetherAgrees) {
    std::abort();
  }
  return 0;
}
