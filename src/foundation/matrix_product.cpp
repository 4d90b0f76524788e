// The product driver. B (given transposed) is packed into panels as wide as the register
// tile, A into slivers as tall as it, both zero-padded at the edges; a kernel chosen once per
// process by what the processor offers multiplies sliver by panel. Every element of C is
// one chain of multiply-adds in increasing order of the inner index whatever the blocking, so
// results are bit-identical from run to run on one machine.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "foundation/matrix.h"
#include "foundation/product_kernels.h"

namespace Tarn::detail {
namespace {

// Depth of one packed block: a B panel of kDepthBlock x 24 doubles stays in the first-level
// cache, and the whole packed block of B in the second.
constexpr std::uint32_t kDepthBlock = 256;
// Columns of B packed at a time (rounded up to whole panels).
constexpr std::uint32_t kColumnBlock = 192;

constexpr std::uint32_t kPortableRows = 4;
constexpr std::uint32_t kPortableColumns = 4;

// Plain multiply then add, in the same per-element order as the vector kernels.
void PortableTile(std::uint32_t depth, const double* a, const double* b, double* c, std::size_t ldc,
                  bool accumulate) {
  double acc[kPortableRows][kPortableColumns];
  for (std::uint32_t r = 0; r < kPortableRows; ++r)
    for (std::uint32_t j = 0; j < kPortableColumns; ++j)
      acc[r][j] = accumulate ? c[r * ldc + j] : 0.0;
  for (std::uint32_t k = 0; k < depth; ++k) {
    for (std::uint32_t r = 0; r < kPortableRows; ++r) {
      const double x = a[r];
      for (std::uint32_t j = 0; j < kPortableColumns; ++j) {
        const double p = x * b[j];
        acc[r][j] += p;
      }
    }
    a += kPortableRows;
    b += kPortableColumns;
  }
  for (std::uint32_t r = 0; r < kPortableRows; ++r)
    for (std::uint32_t j = 0; j < kPortableColumns; ++j) c[r * ldc + j] = acc[r][j];
}

KernelShape ShapeOf(ProductPath path) {
  switch (path) {
    case ProductPath::kAvx512:
      return Avx512Kernel();
    case ProductPath::kAvx2Fma:
      return Avx2FmaKernel();
    case ProductPath::kPortable:
      break;
  }
  return PortableKernel();
}

void Multiply(const KernelShape& shape, const double* a, const double* bt, double* c,
              std::uint32_t m, std::uint32_t n, std::uint32_t k) {
  const std::uint32_t mr = shape.rows, nr = shape.columns;
  const std::uint32_t column_block = (kColumnBlock + nr - 1) / nr * nr;
  thread_local std::vector<double> a_pack, b_pack;
  a_pack.resize(static_cast<std::size_t>(mr) * kDepthBlock);
  b_pack.resize(static_cast<std::size_t>(column_block) * kDepthBlock);
  std::vector<double> edge(static_cast<std::size_t>(mr) * nr);

  for (std::uint32_t j0 = 0; j0 < n; j0 += column_block) {
    const std::uint32_t columns = std::min(column_block, n - j0);
    const std::uint32_t panels = (columns + nr - 1) / nr;
    for (std::uint32_t p0 = 0; p0 < k; p0 += kDepthBlock) {
      const std::uint32_t depth = std::min(kDepthBlock, k - p0);
      const bool accumulate = p0 != 0;
      // Panel p holds, for every depth q, columns j0 + p nr .. + nr - 1 of B side by side.
      for (std::uint32_t p = 0; p < panels; ++p) {
        double* panel = b_pack.data() + static_cast<std::size_t>(p) * depth * nr;
        for (std::uint32_t jj = 0; jj < nr; ++jj) {
          const std::uint32_t j = j0 + p * nr + jj;
          if (j < n) {
            const double* src = bt + static_cast<std::size_t>(j) * k + p0;
            for (std::uint32_t q = 0; q < depth; ++q) panel[q * nr + jj] = src[q];
          } else {
            for (std::uint32_t q = 0; q < depth; ++q) panel[q * nr + jj] = 0.0;
          }
        }
      }
      for (std::uint32_t i0 = 0; i0 < m; i0 += mr) {
        const std::uint32_t rows = std::min(mr, m - i0);
        for (std::uint32_t r = 0; r < mr; ++r) {
          if (r < rows) {
            const double* src = a + static_cast<std::size_t>(i0 + r) * k + p0;
            for (std::uint32_t q = 0; q < depth; ++q) a_pack[q * mr + r] = src[q];
          } else {
            for (std::uint32_t q = 0; q < depth; ++q) a_pack[q * mr + r] = 0.0;
          }
        }
        for (std::uint32_t p = 0; p < panels; ++p) {
          const std::uint32_t jc = j0 + p * nr;
          const std::uint32_t cols = std::min(nr, n - jc);
          const double* panel = b_pack.data() + static_cast<std::size_t>(p) * depth * nr;
          double* tile = c + static_cast<std::size_t>(i0) * n + jc;
          if (rows == mr && cols == nr) {
            shape.kernel(depth, a_pack.data(), panel, tile, n, accumulate);
            continue;
          }
          // Edge tile: work in a full-size scratch tile and copy the part inside C.
          if (accumulate) {
            for (std::uint32_t r = 0; r < rows; ++r)
              std::copy_n(tile + static_cast<std::size_t>(r) * n, cols, &edge[r * nr]);
          }
          shape.kernel(depth, a_pack.data(), panel, edge.data(), nr, accumulate);
          for (std::uint32_t r = 0; r < rows; ++r)
            std::copy_n(&edge[r * nr], cols, tile + static_cast<std::size_t>(r) * n);
        }
      }
    }
  }
}

}  // namespace

KernelShape PortableKernel() { return {PortableTile, kPortableRows, kPortableColumns}; }

bool ProductPathAvailable(ProductPath path) {
  switch (path) {
    case ProductPath::kAvx512:
      return __builtin_cpu_supports("avx512f");
    case ProductPath::kAvx2Fma:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case ProductPath::kPortable:
      return true;
  }
  return false;
}

ProductPath BestProductPath() {
  static const ProductPath best = [] {
    for (ProductPath p : {ProductPath::kAvx512, ProductPath::kAvx2Fma})
      if (ProductPathAvailable(p)) return p;
    return ProductPath::kPortable;
  }();
  return best;
}

void MultiplyTransposedWith(ProductPath path, const double* a, const double* bt, double* c,
                            std::uint32_t m, std::uint32_t n, std::uint32_t k) {
  if (m == 0 || n == 0) return;
  if (k == 0) {
    std::fill(c, c + static_cast<std::size_t>(m) * n, 0.0);
    return;
  }
  Multiply(ShapeOf(path), a, bt, c, m, n, k);
}

void MultiplyTransposed(const double* a, const double* bt, double* c, std::uint32_t m,
                        std::uint32_t n, std::uint32_t k) {
  MultiplyTransposedWith(BestProductPath(), a, bt, c, m, n, k);
}

}  // namespace Tarn::detail
