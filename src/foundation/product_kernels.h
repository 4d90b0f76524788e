#pragma once

#include <cstddef>
#include <cstdint>

namespace Tarn::detail {

/// The instruction sets a product kernel can be built for, widest last.
enum class ProductPath { kPortable, kAvx2Fma, kAvx512 };

/// One register tile of the product: C (rows x columns of the tile) = or += A-sliver x
/// B-panel. `a` holds `depth` groups of the tile's rows (one value per row, row order),
/// `b` holds `depth` groups of the tile's columns. Every element of the tile accumulates its
/// products in increasing depth order, one after the other, so the result of an element
/// depends neither on where the tile sits nor on how the depth is split into blocks.
using TileKernel = void (*)(std::uint32_t depth, const double* a, const double* b, double* c,
                            std::size_t ldc, bool accumulate);

/// TileKernel for a left operand read where it lies: row r of the sliver at a + r x lda,
/// its values in depth order. The same multiply-adds in the same order as TileKernel on the
/// packed sliver, so both give identical tiles. `ahead` is a sliver a later call will read
/// (row r at ahead + r x lda, `depth` values each): one cache line of it a step of the depth
/// is fetched into the second-level cache, about the whole sliver by the end of the call.
using RowTileKernel = void (*)(std::uint32_t depth, const double* a, std::size_t lda,
                               const double* ahead, const double* b, double* c, std::size_t ldc,
                               bool accumulate);

/// Packs eight rows of `depth` values (row r at src + r x stride) as `depth` groups, the
/// group of depth q at dst + q x group holding the eight values of that depth in row order.
using PackEight = void (*)(const double* src, std::size_t stride, std::uint32_t depth, double* dst,
                           std::uint32_t group);

struct KernelShape {
  TileKernel kernel;
  std::uint32_t rows;        // rows of C per tile
  std::uint32_t columns;     // columns of C per tile
  PackEight pack = nullptr;  // a vector transpose for packing, where the path has one
  // Where the path has it, whole slivers of a row-major left operand are not packed.
  RowTileKernel rows_kernel = nullptr;
};

KernelShape PortableKernel();
KernelShape Avx2FmaKernel();
KernelShape Avx512Kernel();

/// One row of the sparse product: c (n values) = the sum over t of a[nonzero[t]] times row
/// nonzero[t] of b (row-major, n values a row), taken in the order listed, each step the
/// multiply-add of the path's tile kernel (fused on the vector paths).
using SparseRowKernel = void (*)(const double* a, const std::uint32_t* nonzero, std::uint32_t count,
                                 const double* b, std::uint32_t n, double* c);

/// Writes the positions of the values of `values` (count of them) that are not zero (NaN
/// counts as not zero, -0 as zero) to `out`, in increasing order, and returns how many.
/// `out` must have room for count + 8 positions: the vector path stores whole registers.
using NonzeroIndexer = std::uint32_t (*)(const double* values, std::uint32_t count,
                                         std::uint32_t* out);

NonzeroIndexer PortableNonzeroIndexer();
/// Needs AVX-512 VL besides F.
NonzeroIndexer Avx512NonzeroIndexer();

SparseRowKernel PortableSparseRow();
SparseRowKernel Avx2FmaSparseRow();
SparseRowKernel Avx512SparseRow();

/// Whether the processor running the program can execute the path.
bool ProductPathAvailable(ProductPath path);
/// The widest path the processor offers, fixed for the life of the process.
ProductPath BestProductPath();

/// The product of `MultiplyTransposed` computed with a given path (which must be available).
void MultiplyTransposedWith(ProductPath path, const double* a, const double* bt, double* c,
                            std::uint32_t m, std::uint32_t n, std::uint32_t k);

/// C (m x n) = A (m x k) B (k x n), both row-major, without a transposed copy of B; the same
/// per-element order as MultiplyTransposed, so both give identical results.
void Multiply(const double* a, const double* b, double* c, std::uint32_t m, std::uint32_t n,
              std::uint32_t k);
void MultiplyWith(ProductPath path, const double* a, const double* b, double* c, std::uint32_t m,
                  std::uint32_t n, std::uint32_t k);

/// C (m x n) = A (m x k) B (k x n), both row-major, for an A that is mostly zeros: each
/// element sums only the products of A's non-zero values, in increasing depth order, with the
/// path's multiply-add steps. A zero product (0 times a finite b) leaves a sum as it is, so
/// when B holds no infinity or NaN the result is MultiplyWith's value for value, at a cost
/// that follows the non-zero values instead of all of them.
void MultiplySparse(const double* a, const double* b, double* c, std::uint32_t m, std::uint32_t n,
                    std::uint32_t k);
void MultiplySparseWith(ProductPath path, const double* a, const double* b, double* c,
                        std::uint32_t m, std::uint32_t n, std::uint32_t k);

/// MultiplyTransposed with the rows of C split between `threads` threads (the calling one
/// included; 0 takes one per processor core). Every row comes out exactly as from
/// MultiplyTransposed, since an element's value does not depend on where its tile sits.
void MultiplyTransposedParallel(const double* a, const double* bt, double* c, std::uint32_t m,
                                std::uint32_t n, std::uint32_t k, unsigned threads);

/// C (d x d) = xᵀ x for a row-major x of `rows` x d, exactly symmetric: the tiles on and above
/// the diagonal are computed, each element one chain over the rows of x in order, and
/// mirrored. No transposed copy of x is made.
void GramProduct(const double* x, std::uint32_t rows, std::uint32_t d, double* c);
void GramProductWith(ProductPath path, const double* x, std::uint32_t rows, std::uint32_t d,
                     double* c);

}  // namespace Tarn::detail
