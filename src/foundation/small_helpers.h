#pragma once

// Small helpers that several libraries need: ASCII case folding, ceiling division, a closer
// for C file handles and the Euclidean norm of a matrix row.

#include <cmath>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace orvane {

/// `c` in lower case when it is an ASCII capital; every other byte as it is, whatever the
/// process locale is.
constexpr char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/// a / b rounded up, without the overflow of (a + b - 1) / b; b must not be 0.
template <std::unsigned_integral T>
constexpr T CeilDiv(T a, T b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

/// Closes a C file handle when its owner goes.
struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != nullptr) std::fclose(file);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

/// Euclidean norm of `length` values, the squares summed in extended precision so that large
/// values cannot overflow the sum.
inline double RowNorm(const double* row, std::uint32_t length) {
  long double sum = 0.0L;
  for (std::uint32_t c = 0; c < length; ++c) {
    const long double v = row[c];
    sum += v * v;
  }
  return static_cast<double>(std::sqrt(sum));
}

}  // namespace orvane
