#include "retrieval_feature_entry.h"

#include <cmath>
#include <cstring>
#include <string>

#include "foundation/int16_rows.h"
#include "foundation/matrix.h"
#include "fuzz_decode_limits.h"
#include "fuzz_input_file.h"
#include "pqz/pqz_header.h"
#include "retrieval/color_feature.h"
#include "retrieval/edge_feature.h"
#include "retrieval/feature_kind.h"
#include "retrieval/section_reader.h"

namespace orvane::fuzz {
namespace {

bool InRange(double value, double low, double high) {
  return !std::isnan(value) && value >= low && value <= high;
}

}  // namespace

FeatureOutcome ReadFeatureBytes(const std::uint8_t* data, std::size_t size) {
  FeatureOutcome outcome;
  const std::string path = WriteInputFile(data, size, "target.pqz");
  if (path.empty()) {
    outcome.Code = kCannotOpenFile;
    return outcome;
  }
  Tarn::Matrix<double> averages;
  Tarn::Matrix<double> bases;
  PqzHeader header;
  const DecodeLimits limits = FuzzDecodeLimits();
  const ResultCode averagesCode = ReadAverages(path, averages, header, limits);
  const ResultCode basesCode = ReadBases(path, bases, header, limits);
  outcome.Code = averagesCode != kSuccess ? averagesCode : basesCode;
  Int16Rows small;
  const ResultCode smallCode = ReadSmallBases(path, small, header, limits);
  if (smallCode == kSuccess) {
    outcome.SmallBasesAgree =
        basesCode == kSuccess && small.Rows() == bases.Rows() && small.Length() == bases.Columns();
    for (std::uint32_t r = 0; outcome.SmallBasesAgree && r < small.Rows(); ++r) {
      for (std::uint32_t c = 0; c < small.Length(); ++c) {
        outcome.SmallBasesAgree &= small.Row(r)[c] == bases(r, c);
      }
    }
  } else {
    // 22: a section the 16-bit rows do not take, which the search then reads as doubles.
    outcome.SmallBasesAgree = smallCode == basesCode || smallCode == kInvalidValues;
  }

  for (std::int32_t kind = 0; kind < kFeatureKindCount; ++kind) {
    ColorFeature colour(kind);
    colour.SetDecodeLimits(limits);
    if (colour.LoadQuery(path) == kSuccess) {
      const double similarity = colour.Similarity(path);
      outcome.SimilaritiesInRange &= InRange(similarity, -1.0, 1.0 + 1e-9);
      const std::string* paths[3] = {&path, &path, &path};
      double together[3] = {0, 0, 0};
      colour.SimilarityTogether(paths, 3, together);
      for (const double s : together) {
        outcome.TogetherAgrees &= std::memcmp(&s, &similarity, sizeof s) == 0;
      }
    }
  }
  EdgeFeature edge;
  edge.SetDecodeLimits(limits);
  if (edge.LoadQuery(path) == kSuccess) {
    const double similarity = edge.Similarity(path);
    outcome.SimilaritiesInRange &= similarity == -1.0 || InRange(similarity, 0.0, 1.0 + 1e-9);
    const std::string* paths[3] = {&path, &path, &path};
    double together[3] = {0, 0, 0};
    edge.SimilarityTogether(paths, 3, together);
    for (const double s : together) {
      outcome.TogetherAgrees &= std::memcmp(&s, &similarity, sizeof s) == 0;
    }
  }
  return outcome;
}

}  // namespace orvane::fuzz
