// The product driver. B (given transposed) is packed into panels as wide as the register
// tile, A into slivers as tall as it, both zero-padded at the edges; a kernel chosen once per
// process by what the processor offers multiplies sliver by panel. A block of slivers is
// packed at a time and each panel passes over the whole block while it sits in the
// first-level cache, instead of every panel being fetched again from the second-level cache
// for each sliver. Where the kernel can read A's rows where they lie (AVX-512), only the
// partial sliver at the bottom edge is packed. For a row-major A, packed or not, the rows of
// the next block are fetched into the second-level cache while the current one is multiplied. Every
// element of C is one chain of multiply-adds in increasing order of the inner index whatever the
// blocking, so results are bit-identical from run to run on one machine.
#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/matrix.h"
#include "foundation/product_kernels.h"

namespace Tarn::detail {
namespace {

// Depth of one packed block: a B panel of kDepthBlock x 24 doubles stays in the first-level
// cache, and the whole packed block of B in the second.
constexpr std::uint32_t kDepthBlock = 256;
// Rows of A packed at a time: a block of kRowBlock x kDepthBlock doubles stays in the
// second-level cache while every panel of B passes over it.
constexpr std::uint32_t kRowBlock = 128;
// Columns of B packed at a time (rounded up to whole panels).
constexpr std::uint32_t kColumnBlock = 192;
// Multiply-adds of a Gram product below which a second thread costs more than it saves.
constexpr std::uint64_t kParallelGramWork = std::uint64_t{1} << 24;

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

// The blocked walk shared by the products. `pack_a(i0, p0, depth, dst)` writes rows
// i0 .. i0 + mr - 1 of the left operand over depths p0 .. p0 + depth - 1 as `depth` groups of
// mr values (zero past row m); `pack_b(j0, p0, depth, dst)` writes columns j0 .. j0 + nr - 1
// of the right operand the same way (zero past column n). With `upper` only the tiles that
// reach the main diagonal or above it are computed. Only the columns from `first_column` (a
// multiple of the tile's columns) up to `last_column` are computed, each exactly as in the
// whole product. `prefetch_a(i0, p0, depth, part, parts)`, called once per tile with the rows
// of the next block's slivers, may fetch part `part` of `parts` of those rows ahead of their
// packing or reading; NoPrefetch fetches nothing. With `laid_a` (the left operand row-major, k
// values a row) and a path whose shape has a row kernel, whole slivers are read where they lie
// instead of being packed: the same tiles, without a pass over the operand.
struct NoPrefetch {
  void operator()(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) const {
  }
};

template <typename PackA, typename PackB, typename PrefetchA = NoPrefetch>
void MultiplyPacked(const KernelShape& shape, std::uint32_t m, std::uint32_t n, std::uint32_t k,
                    PackA&& pack_a, PackB&& pack_b, double* c, bool upper,
                    std::uint32_t first_column = 0, std::uint32_t last_column = UINT32_MAX,
                    PrefetchA&& prefetch_a = {}, const double* laid_a = nullptr) {
  const std::uint32_t mr = shape.rows, nr = shape.columns;
  const std::uint32_t column_block = (kColumnBlock + nr - 1) / nr * nr;
  thread_local std::vector<double> a_pack, b_pack;
  const std::uint32_t row_block = std::max(mr, kRowBlock / mr * mr);
  a_pack.resize(static_cast<std::size_t>(row_block) * kDepthBlock);
  b_pack.resize(static_cast<std::size_t>(column_block) * kDepthBlock);
  std::vector<double> edge(static_cast<std::size_t>(mr) * nr);
  const bool laid = laid_a != nullptr && shape.rows_kernel != nullptr;
  // Whether the sliver from row i0 is read where it lies.
  const auto laid_sliver = [&](std::uint32_t i0) { return laid && m - i0 >= mr; };

  const std::uint32_t column_end = std::min(n, last_column);
  for (std::uint32_t j0 = first_column; j0 < column_end; j0 += column_block) {
    const std::uint32_t columns = std::min(column_block, column_end - j0);
    const std::uint32_t panels = (columns + nr - 1) / nr;
    for (std::uint32_t p0 = 0; p0 < k; p0 += kDepthBlock) {
      const std::uint32_t depth = std::min(kDepthBlock, k - p0);
      const bool accumulate = p0 != 0;
      for (std::uint32_t p = 0; p < panels; ++p) {
        pack_b(j0 + p * nr, p0, depth, b_pack.data() + static_cast<std::size_t>(p) * depth * nr);
      }
      const std::uint32_t i_end = upper ? std::min(m, j0 + columns) : m;
      for (std::uint32_t ib = 0; ib < i_end; ib += row_block) {
        const std::uint32_t block_end = std::min(i_end, ib + row_block);
        const std::uint32_t slivers = (block_end - ib + mr - 1) / mr;
        for (std::uint32_t s = 0; s < slivers; ++s) {
          if (laid_sliver(ib + s * mr)) continue;
          pack_a(ib + s * mr, p0, depth, a_pack.data() + static_cast<std::size_t>(s) * depth * mr);
        }
        for (std::uint32_t p = 0; p < panels; ++p) {
          const std::uint32_t jc = j0 + p * nr;
          const std::uint32_t cols = std::min(nr, n - jc);
          const double* panel = b_pack.data() + static_cast<std::size_t>(p) * depth * nr;
          for (std::uint32_t s = 0; s < slivers; ++s) {
            const std::uint32_t i0 = ib + s * mr;
            const std::uint32_t next = ib + row_block + s * mr;
            // A laid sliver's kernel fetches the next block's sliver itself, spread over the
            // steps of its depth, on the first panel's pass; on the other passes it is given
            // its own sliver, already in the cache, so that it fetches nothing new.
            if (!laid) prefetch_a(next, p0, depth, p, panels);
            if (upper && jc + nr <= i0) continue;  // wholly below the diagonal
            const std::uint32_t rows = std::min(mr, m - i0);
            const double* sliver = laid_sliver(i0)
                                       ? laid_a + static_cast<std::size_t>(i0) * k + p0
                                       : a_pack.data() + static_cast<std::size_t>(s) * depth * mr;
            const auto run = [&](double* out, std::size_t ldc) {
              if (laid_sliver(i0)) {
                const double* ahead = p == 0 && next < m && laid_sliver(next)
                                          ? laid_a + static_cast<std::size_t>(next) * k + p0
                                          : sliver;
                shape.rows_kernel(depth, sliver, k, ahead, panel, out, ldc, accumulate);
              } else {
                shape.kernel(depth, sliver, panel, out, ldc, accumulate);
              }
            };
            double* tile = c + static_cast<std::size_t>(i0) * n + jc;
            if (rows == mr && cols == nr) {
              run(tile, n);
              continue;
            }
            // Edge tile: work in a full-size scratch tile and copy the part inside C.
            if (accumulate) {
              for (std::uint32_t r = 0; r < rows; ++r)
                std::copy_n(tile + static_cast<std::size_t>(r) * n, cols, &edge[r * nr]);
            }
            run(edge.data(), nr);
            for (std::uint32_t r = 0; r < rows; ++r)
              std::copy_n(&edge[r * nr], cols, tile + static_cast<std::size_t>(r) * n);
          }
        }
      }
    }
  }
}

// Packs `count` (mr or nr) rows first .. of a row-major matrix of `length` values per row,
// which holds `limit` rows, over depths p0 ..: the rows are the operand's rows. Whole groups
// of eight rows go through the path's vector transpose where it has one.
void PackRows(const KernelShape& shape, const double* src, std::uint32_t limit,
              std::uint32_t length, std::uint32_t first, std::uint32_t count, std::uint32_t p0,
              std::uint32_t depth, double* dst) {
  std::uint32_t r = 0;
  if (shape.pack != nullptr) {
    for (; r + 8 <= count && first + r + 8 <= limit; r += 8) {
      shape.pack(src + static_cast<std::size_t>(first + r) * length + p0, length, depth, dst + r,
                 count);
    }
  }
  for (; r < count; ++r) {
    if (first + r < limit) {
      const double* row = src + static_cast<std::size_t>(first + r) * length + p0;
      for (std::uint32_t q = 0; q < depth; ++q) dst[q * count + r] = row[q];
    } else {
      for (std::uint32_t q = 0; q < depth; ++q) dst[q * count + r] = 0.0;
    }
  }
}

// Packs `count` columns first .. of a row-major matrix with `width` columns over rows p0 ..:
// the columns are the operand's rows, so every depth is one contiguous run.
void PackColumns(const double* src, std::uint32_t width, std::uint32_t first, std::uint32_t count,
                 std::uint32_t p0, std::uint32_t depth, double* dst) {
  const std::uint32_t inside = first < width ? std::min(count, width - first) : 0;
  for (std::uint32_t q = 0; q < depth; ++q) {
    const double* row = src + static_cast<std::size_t>(p0 + q) * width + first;
    double* out = dst + static_cast<std::size_t>(q) * count;
    std::copy_n(row, inside, out);
    std::fill(out + inside, out + count, 0.0);
  }
}

// Fetches rows of a row-major left operand into the second-level cache a share at a time,
// while the tiles of the block before run. An operand larger than the last-level cache,
// packed straight from memory (eight rows read side by side), kept the tiles waiting for a
// sixth of the product's time; read ahead, the packing finds its rows in the cache.
struct RowPrefetch {
  const double* src;
  std::uint32_t limit;   // rows of the operand
  std::uint32_t length;  // values per row
  std::uint32_t count;   // rows per sliver
  void operator()(std::uint32_t first, std::uint32_t p0, std::uint32_t depth, std::uint32_t part,
                  std::uint32_t parts) const {
    const std::uint32_t lines = (depth + 7) / 8;
    const std::uint32_t from = lines * part / parts, to = lines * (part + 1) / parts;
    for (std::uint32_t r = 0; r < count && first + r < limit; ++r) {
      const double* row = src + static_cast<std::size_t>(first + r) * length + p0;
      for (std::uint32_t l = from; l < to; ++l) {
        __builtin_prefetch(row + 8 * l, 0, 2);
        // A loop of prefetches alone has no effect the language sees, and C++ lets the
        // compiler delete such a loop (GCC does); the empty statement keeps it.
        asm volatile("");
      }
    }
  }
};

void MultiplyByRows(const KernelShape& shape, const double* a, const double* bt, double* c,
                    std::uint32_t m, std::uint32_t n, std::uint32_t k) {
  MultiplyPacked(
      shape, m, n, k,
      [&](std::uint32_t i0, std::uint32_t p0, std::uint32_t depth, double* dst) {
        PackRows(shape, a, m, k, i0, shape.rows, p0, depth, dst);
      },
      [&](std::uint32_t j0, std::uint32_t p0, std::uint32_t depth, double* dst) {
        PackRows(shape, bt, n, k, j0, shape.columns, p0, depth, dst);
      },
      c, false, 0, UINT32_MAX, RowPrefetch{a, m, k, shape.rows}, a);
}

// The sparse row with the portable kernel's plain multiply, then add.
void PortableSparseRowKernel(const double* a, const std::uint32_t* nonzero, std::uint32_t count,
                             const double* b, std::uint32_t n, double* c) {
  std::fill(c, c + n, 0.0);
  for (std::uint32_t t = 0; t < count; ++t) {
    const double x = a[nonzero[t]];
    const double* row = b + static_cast<std::size_t>(nonzero[t]) * n;
    for (std::uint32_t j = 0; j < n; ++j) {
      const double p = x * row[j];
      c[j] += p;
    }
  }
}

}  // namespace

KernelShape PortableKernel() { return {PortableTile, kPortableRows, kPortableColumns, nullptr}; }
SparseRowKernel PortableSparseRow() { return PortableSparseRowKernel; }

namespace {

// Without a branch: whether a coefficient is zero follows no pattern the processor could
// learn, and a mispredicted branch per value cost more than the products.
std::uint32_t PortableNonzero(const double* values, std::uint32_t count, std::uint32_t* out) {
  std::uint32_t found = 0;
  for (std::uint32_t j = 0; j < count; ++j) {
    out[found] = j;
    found += values[j] != 0.0 ? 1u : 0u;
  }
  return found;
}

}  // namespace

NonzeroIndexer PortableNonzeroIndexer() { return PortableNonzero; }

void MultiplySparseWith(ProductPath path, const double* a, const double* b, double* c,
                        std::uint32_t m, std::uint32_t n, std::uint32_t k) {
  if (m == 0 || n == 0) return;
  const SparseRowKernel kernel = path == ProductPath::kAvx512    ? Avx512SparseRow()
                                 : path == ProductPath::kAvx2Fma ? Avx2FmaSparseRow()
                                                                 : PortableSparseRow();
  static const bool compress = __builtin_cpu_supports("avx512vl");
  const NonzeroIndexer indexer =
      path == ProductPath::kAvx512 && compress ? Avx512NonzeroIndexer() : PortableNonzeroIndexer();
  thread_local std::vector<std::uint32_t> nonzero;
  nonzero.resize(std::size_t{k} + 8);
  for (std::uint32_t i = 0; i < m; ++i) {
    const double* row = a + static_cast<std::size_t>(i) * k;
    const std::uint32_t count = indexer(row, k, nonzero.data());
    kernel(row, nonzero.data(), count, b, n, c + static_cast<std::size_t>(i) * n);
  }
}

void MultiplySparse(const double* a, const double* b, double* c, std::uint32_t m, std::uint32_t n,
                    std::uint32_t k) {
  MultiplySparseWith(BestProductPath(), a, b, c, m, n, k);
}

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
  MultiplyByRows(ShapeOf(path), a, bt, c, m, n, k);
}

void MultiplyTransposed(const double* a, const double* bt, double* c, std::uint32_t m,
                        std::uint32_t n, std::uint32_t k) {
  MultiplyTransposedWith(BestProductPath(), a, bt, c, m, n, k);
}

void MultiplyTransposedParallel(const double* a, const double* bt, double* c, std::uint32_t m,
                                std::uint32_t n, std::uint32_t k, unsigned threads) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  // Below a few tiles per thread the threads cost more than they save.
  constexpr std::uint32_t kRowsPerThread = 64;
  threads = std::min<unsigned>(threads, std::max(1u, m / kRowsPerThread));
  if (threads <= 1) {
    MultiplyTransposed(a, bt, c, m, n, k);
    return;
  }
  // Shares of whole 8-row groups, so that every tile but the last is full.
  const std::uint32_t groups = (m + 7) / 8;
  std::vector<std::thread> helpers;
  std::uint32_t start = 0;
  for (unsigned t = 0; t < threads; ++t) {
    const std::uint32_t end = std::min(m, (groups * (t + 1) / threads) * 8);
    if (end <= start) continue;
    const double* part_a = a + static_cast<std::size_t>(start) * k;
    double* part_c = c + static_cast<std::size_t>(start) * n;
    const std::uint32_t rows = end - start;
    if (t + 1 == threads) {
      MultiplyTransposed(part_a, bt, part_c, rows, n, k);
    } else {
      try {
        helpers.emplace_back([=] { MultiplyTransposed(part_a, bt, part_c, rows, n, k); });
      } catch (const std::system_error&) {
        MultiplyTransposed(part_a, bt, part_c, rows, n, k);  // no thread to be had
      }
    }
    start = end;
  }
  for (std::thread& helper : helpers) helper.join();
}

void MultiplyWith(ProductPath path, const double* a, const double* b, double* c, std::uint32_t m,
                  std::uint32_t n, std::uint32_t k) {
  if (m == 0 || n == 0) return;
  if (k == 0) {
    std::fill(c, c + static_cast<std::size_t>(m) * n, 0.0);
    return;
  }
  const KernelShape shape = ShapeOf(path);
  // B's rows are the depths, so its panels are contiguous runs of each row.
  MultiplyPacked(
      shape, m, n, k,
      [&](std::uint32_t i0, std::uint32_t p0, std::uint32_t depth, double* dst) {
        PackRows(shape, a, m, k, i0, shape.rows, p0, depth, dst);
      },
      [&](std::uint32_t j0, std::uint32_t p0, std::uint32_t depth, double* dst) {
        PackColumns(b, n, j0, shape.columns, p0, depth, dst);
      },
      c, false, 0, UINT32_MAX, RowPrefetch{a, m, k, shape.rows}, a);
}

void Multiply(const double* a, const double* b, double* c, std::uint32_t m, std::uint32_t n,
              std::uint32_t k) {
  MultiplyWith(BestProductPath(), a, b, c, m, n, k);
}

void GramProductWith(ProductPath path, const double* x, std::uint32_t rows, std::uint32_t d,
                     double* c) {
  if (d == 0) return;
  if (rows == 0) {
    std::fill(c, c + static_cast<std::size_t>(d) * d, 0.0);
    return;
  }
  const KernelShape shape = ShapeOf(path);
  // Both operands of xᵀx are the columns of x, read a row of x (one depth) at a time.
  const auto columns = [&](std::uint32_t first, std::uint32_t last) {
    MultiplyPacked(
        shape, d, d, rows,
        [&](std::uint32_t i0, std::uint32_t p0, std::uint32_t depth, double* dst) {
          PackColumns(x, d, i0, shape.rows, p0, depth, dst);
        },
        [&](std::uint32_t j0, std::uint32_t p0, std::uint32_t depth, double* dst) {
          PackColumns(x, d, j0, shape.columns, p0, depth, dst);
        },
        c, true, first, last);
  };
  // The upper triangle's columns split in two of about equal area (the later columns are
  // taller) between two threads; every element is the same chain over the rows of x either
  // way. Small products stay on the calling thread.
  const std::uint32_t nr = shape.columns;
  const std::uint32_t split = static_cast<std::uint32_t>(0.7071 * d) / nr * nr;
  const bool two = std::thread::hardware_concurrency() > 1 &&
                   static_cast<std::uint64_t>(rows) * d * d >= kParallelGramWork && split != 0;
  std::thread helper;
  if (two) {
    try {
      helper = std::thread(columns, split, d);
    } catch (const std::system_error&) {
      // No thread to be had: the calling thread does all columns.
    }
  }
  if (helper.joinable()) {
    columns(0, split);
    helper.join();
  } else {
    columns(0, d);
  }
  for (std::uint32_t i = 0; i < d; ++i)
    for (std::uint32_t j = i + 1; j < d; ++j)
      c[static_cast<std::size_t>(j) * d + i] = c[static_cast<std::size_t>(i) * d + j];
}

void GramProduct(const double* x, std::uint32_t rows, std::uint32_t d, double* c) {
  GramProductWith(BestProductPath(), x, rows, d, c);
}

}  // namespace Tarn::detail
