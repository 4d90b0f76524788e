#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane::detail {

/// c[r x ldc + q] = a[r] . b[q] for r < 3 and q < 4, each a row of `stride` 16-bit values
/// (a multiple of 32), summed in 32-bit lanes. The caller guarantees that no sum leaves int32.
using Int16Tile3x4 = void (*)(const std::int16_t* const a[3], const std::int16_t* const b[4],
                              std::uint32_t stride, std::int32_t* c, std::size_t ldc);

/// Converts `length` doubles to 16-bit integers at `to`; false when a value is not an integer
/// of magnitude at most 32767 (`to` then holds no meaning). `largest` is raised to the
/// largest magnitude converted.
using Int16Convert = bool (*)(const double* from, std::uint32_t length, std::int16_t* to,
                              std::int32_t& largest);

Int16Convert PortableInt16Convert();
Int16Convert Avx2Int16Convert();
/// Needs AVX-512 F.
Int16Convert Avx512Int16Convert();

Int16Tile3x4 PortableInt16Tile();
Int16Tile3x4 Avx2Int16Tile();
Int16Tile3x4 Avx512Int16Tile();

}  // namespace orvane::detail
