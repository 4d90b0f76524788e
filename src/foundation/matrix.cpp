#include "foundation/matrix.h"

#include <limits>

#include "foundation/large_allocation.h"

namespace Tarn {
namespace detail {

void* AllocateElements(unsigned long long count, unsigned long long size) {
  constexpr unsigned long long kMaxBytes = std::numeric_limits<std::uint32_t>::max();
  if (count == 0 || size == 0) return nullptr;
  if (count > kMaxBytes / size) throw MatrixException{kTooFewMemory};
  const std::size_t bytes = static_cast<std::size_t>(count * size);
  void* p = orvane::AllocateLarge(bytes);
  if (p == nullptr) throw MatrixException{kTooFewMemory};
  return p;
}

}  // namespace detail
}  // namespace Tarn
