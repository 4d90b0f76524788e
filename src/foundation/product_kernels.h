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

struct KernelShape {
  TileKernel kernel;
  std::uint32_t rows;     // rows of C per tile
  std::uint32_t columns;  // columns of C per tile
};

KernelShape PortableKernel();
KernelShape Avx2FmaKernel();
KernelShape Avx512Kernel();

/// Whether the processor running the program can execute the path.
bool ProductPathAvailable(ProductPath path);
/// The widest path the processor offers, fixed for the life of the process.
ProductPath BestProductPath();

/// The product of `MultiplyTransposed` computed with a given path (which must be available).
void MultiplyTransposedWith(ProductPath path, const double* a, const double* bt, double* c,
                            std::uint32_t m, std::uint32_t n, std::uint32_t k);

}  // namespace Tarn::detail
