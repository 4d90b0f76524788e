#pragma once

namespace Tarn {

/// Thrown by value by the matrix library; operation boundaries turn it into a result code.
struct MatrixException {
  const char* message;  ///< "too few memory" or "devided by 0"
};

inline constexpr const char* kTooFewMemory = "too few memory";
inline constexpr const char* kDividedByZero = "devided by 0";

namespace detail {

/// Allocates `count` values of `size` bytes each, uninitialised. Storage is addressed with
/// 32-bit sizes, so a byte count above 2^32 - 1 is an allocation failure, never a wrapped size.
void* AllocateElements(unsigned long long count, unsigned long long size);

}  // namespace detail
}  // namespace Tarn
