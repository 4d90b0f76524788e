#pragma once

namespace orvane {

/// Records shown on one page of the thumbnail list.
inline constexpr int kPatchesPerPage = 50;

/// Pages needed for `fileCount` records: 1 for an empty list, else (n - 1) / 50 + 1.
constexpr int PageCountFor(int fileCount) {
  return fileCount <= 0 ? 1 : (fileCount - 1) / kPatchesPerPage + 1;
}

/// Records on page `page` (0-based) of `pageCount` pages holding `fileCount` records: all of
/// them on a single page, the remainder on the last page, 50 on every other.
constexpr int CountOnPageOf(int page, int pageCount, int fileCount) {
  if (pageCount == 1) return fileCount;
  if (page + 1 == pageCount) return fileCount - page * kPatchesPerPage;
  return kPatchesPerPage;
}

}  // namespace orvane
