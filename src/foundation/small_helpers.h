#pragma once

// Small helpers that several libraries need: ASCII case folding, ceiling division, a closer
// for C file handles and the Euclidean norms of matrix rows.

#include <cmath>
#include <concepts>
#include <cstddef>
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

/// RowNorm of each of `rows` rows of `length` values stored one after the other, into
/// `norms`. Four rows are summed side by side, each in its own order as RowNorm sums it, so
/// the norms are RowNorm's to the bit while the extended-precision additions, which wait on
/// each other within a row, overlap across rows.
inline void RowNorms(const double* data, std::uint32_t rows, std::uint32_t length, double* norms) {
  std::uint32_t r = 0;
  for (; r + 4 <= rows; r += 4) {
    const double* a = data + static_cast<std::size_t>(r) * length;
    const double* b = a + length;
    const double* c = b + length;
    const double* d = c + length;
    long double sa = 0.0L, sb = 0.0L, sc = 0.0L, sd = 0.0L;
    for (std::uint32_t k = 0; k < length; ++k) {
      const long double va = a[k], vb = b[k], vc = c[k], vd = d[k];
      sa += va * va;
      sb += vb * vb;
      sc += vc * vc;
      sd += vd * vd;
    }
    norms[r] = static_cast<double>(std::sqrt(sa));
    norms[r + 1] = static_cast<double>(std::sqrt(sb));
    norms[r + 2] = static_cast<double>(std::sqrt(sc));
    norms[r + 3] = static_cast<double>(std::sqrt(sd));
  }
  for (; r < rows; ++r) norms[r] = RowNorm(data + static_cast<std::size_t>(r) * length, length);
}

}  // namespace orvane
