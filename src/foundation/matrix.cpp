#include "foundation/matrix.h"

#include <cstdlib>
#include <limits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Tarn {
namespace detail {

void* AllocateElements(unsigned long long count, unsigned long long size) {
  constexpr unsigned long long kMaxBytes = std::numeric_limits<std::uint32_t>::max();
  if (count == 0 || size == 0) return nullptr;
  if (count > kMaxBytes / size) throw MatrixException{kTooFewMemory};
  const std::size_t bytes = static_cast<std::size_t>(count * size);
  void* p = nullptr;
#if defined(__linux__)
  // Patch and coefficient matrices of large photos run to hundreds of megabytes, and their
  // first touch page by page costs as much as the product that fills them. Huge pages cut
  // the number of faults by 512.
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  if (bytes >= 2 * kHugePage) {
    p = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
    if (p != nullptr) ::madvise(p, bytes, MADV_HUGEPAGE);
  }
#endif
  if (p == nullptr) p = std::malloc(bytes);
  if (p == nullptr) throw MatrixException{kTooFewMemory};
  return p;
}

}  // namespace detail
}  // namespace Tarn
