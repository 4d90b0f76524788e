#pragma once

#include <cstdint>

#include "foundation/result_code.h"
#include "pqz/decode_limits.h"
#include "pqz/pqz_header.h"

namespace orvane {

/// How a full decode will run: the patch rows of one band (the coefficients of a band are
/// expanded, multiplied by the bases and arranged into the picture before the next band).
struct DecodePlan {
  std::uint32_t BandRows = 0;  ///< patch rows per band, at least 1
};

/// Checks a header against the limits before a full decode reads any section: the picture's
/// pixels and the pixels of its whole patches (G x N, more than the picture's when patches
/// reach past its edges), each within MaxPixels and FreePixels or PixelsPerFileByte x
/// `fileLength`; and the working memory, which is the bases twice (D x 3N doubles, as stored
/// and transposed for the product) and at least one band (the means, the coefficients and the
/// patch vectors of one patch row: patch columns x (3 + D + 3N) doubles). 7 when the file
/// would pass them; otherwise fills `plan` with bands of at most a few megabytes.
ResultCode PlanDecode(const PqzHeader& header, std::uint64_t fileLength, const DecodeLimits& limits,
                      DecodePlan& plan);

/// Checks a header against the limits before a preview reads the patch means: the preview's
/// G pixels by the same rules as a picture's. Its working memory is a band of means of fixed
/// size. 7 when the pixels pass the limits.
ResultCode CheckPreviewLimits(const PqzHeader& header, std::uint64_t fileLength,
                              const DecodeLimits& limits);

/// 7 when the stored matrix of one whole section (`rows` x `columns` doubles) would not fit
/// the working memory of the limits; for readers that keep a section whole.
ResultCode CheckSectionLimit(std::uint64_t rows, std::uint64_t columns, const DecodeLimits& limits);

}  // namespace orvane
