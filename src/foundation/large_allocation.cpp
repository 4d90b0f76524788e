#include "foundation/large_allocation.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orvane {

void* AllocateLarge(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  void* p = nullptr;
#if defined(__linux__)
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  if (bytes >= 2 * kHugePage && bytes <= SIZE_MAX - kHugePage) {
    p = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
    if (p != nullptr) ::madvise(p, bytes, MADV_HUGEPAGE);
  }
#endif
  if (p == nullptr) p = std::malloc(bytes);
  return p;
}

}  // namespace orvane
