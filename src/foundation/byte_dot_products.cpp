// Exact dot products of small integers eight bits at a time. vpdpbusd multiplies unsigned by
// signed bytes, so the right rows are stored offset by 128 (values 1 .. 255) and each sum is
// corrected by 128 times the left row's sum: (b + 128) . a - 128 (1 . a) = b . a, in integer
// arithmetic, hence exactly. The right rows are laid out four depths at a time across sixteen
// rows, so that each 32-bit lane of a register sums one element of C and no lanes need adding
// up at the end; the left row's four bytes are broadcast to every lane.
#include "foundation/byte_dot_products.h"

#include <algorithm>
#include <cstring>
#include <vector>

// GCC 12's AVX-512 intrinsics pass an undefined value as the unused source of their masked
// forms, which -Wuninitialized reports wherever they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

namespace orvane::detail {
namespace {

constexpr std::uint32_t kTileRows = 8;
constexpr std::uint32_t kLanes = 16;  // 32-bit lanes of a register: columns of C per vector
// The largest magnitude of an unsigned-by-signed byte product here: 255 x 127.
constexpr std::int64_t kLargestProduct = 255 * 127;

// Rows 0 .. kTileRows - 1 of a tile (row r of the left bytes at left[r]) against `vectors`
// (1 to 3) registers of right columns from `right` (quad q at right + q x quadStride), over
// `quads` groups of four depths; writes the corrected sums of the first `rows` rows and
// `columns` columns to c.
template <int kVectors>
__attribute__((target("avx512f,avx512bw,avx512vnni"))) void ByteTile(
    const std::int8_t* const left[kTileRows], const std::int32_t* sums, const std::uint8_t* right,
    std::size_t quadStride, std::uint32_t quads, std::uint32_t rows, std::uint32_t columns,
    std::int32_t* c, std::size_t ldc) {
  __m512i acc[kTileRows][kVectors];
  for (auto& row : acc) {
    for (auto& v : row) v = _mm512_setzero_si512();
  }
  for (std::uint32_t q = 0; q < quads; ++q) {
    __m512i rv[kVectors];
#pragma GCC unroll 3
    for (int v = 0; v < kVectors; ++v) {
      rv[v] = _mm512_loadu_si512(right + q * quadStride + static_cast<std::size_t>(v) * 64);
    }
#pragma GCC unroll 8
    for (std::uint32_t r = 0; r < kTileRows; ++r) {
      std::int32_t four;
      std::memcpy(&four, left[r] + 4 * q, sizeof four);
      const __m512i lv = _mm512_set1_epi32(four);
#pragma GCC unroll 3
      for (int v = 0; v < kVectors; ++v) acc[r][v] = _mm512_dpbusd_epi32(acc[r][v], rv[v], lv);
    }
  }
  for (std::uint32_t r = 0; r < rows; ++r) {
    const __m512i correction = _mm512_set1_epi32(128 * sums[r]);
    for (int v = 0; v < kVectors; ++v) {
      const std::uint32_t first = static_cast<std::uint32_t>(v) * kLanes;
      if (first >= columns) break;
      const std::uint32_t count = std::min(kLanes, columns - first);
      const __mmask16 mask = static_cast<__mmask16>((1u << count) - 1);
      _mm512_mask_storeu_epi32(c + r * ldc + first, mask, _mm512_sub_epi32(acc[r][v], correction));
    }
  }
}

}  // namespace

bool ByteDotProductsFit(const Int16Rows& a, const Int16Rows& b) {
  return a.Largest() <= 127 && b.Largest() <= 127 && a.Stride() == b.Stride() &&
         std::int64_t{a.Stride()} * kLargestProduct < (std::int64_t{1} << 31);
}

void ByteDotProducts(const Int16Rows& a, std::uint32_t m, const Int16Rows& b, std::uint32_t n,
                     std::int32_t* c) {
  if (m == 0 || n == 0) return;
  const std::uint32_t stride = a.Stride();  // a multiple of 32, so of four
  const std::uint32_t quads = stride / 4;
  const std::uint32_t width = (n + kLanes - 1) / kLanes * kLanes;
  const std::size_t quadStride = std::size_t{width} * 4;
  thread_local std::vector<std::uint8_t> right;
  thread_local std::vector<std::int8_t> left;
  thread_local std::vector<std::int32_t> sums;
  // Right rows: quad q of row j at (q x width + j) x 4, offset by 128; the columns past n
  // hold zeros (128) and are never stored.
  right.assign(quads * quadStride, 128);
  for (std::uint32_t j = 0; j < n; ++j) {
    const std::int16_t* row = b.Row(j);
    for (std::uint32_t q = 0; q < quads; ++q) {
      std::uint8_t* to = right.data() + q * quadStride + std::size_t{j} * 4;
      for (int t = 0; t < 4; ++t) to[t] = static_cast<std::uint8_t>(row[4 * q + t] + 128);
    }
  }
  left.resize(static_cast<std::size_t>(m) * stride);
  sums.resize(m);
  for (std::uint32_t i = 0; i < m; ++i) {
    const std::int16_t* row = a.Row(i);
    std::int8_t* to = left.data() + static_cast<std::size_t>(i) * stride;
    std::int32_t sum = 0;
    for (std::uint32_t k = 0; k < stride; ++k) {
      to[k] = static_cast<std::int8_t>(row[k]);
      sum += row[k];
    }
    sums[i] = sum;
  }
  for (std::uint32_t i = 0; i < m; i += kTileRows) {
    const std::uint32_t rows = std::min(kTileRows, m - i);
    // A tile at the bottom edge repeats its last row; only the rows that exist are stored.
    const std::int8_t* rowsOf[kTileRows];
    for (std::uint32_t r = 0; r < kTileRows; ++r) {
      rowsOf[r] = left.data() + static_cast<std::size_t>(i + std::min(r, rows - 1)) * stride;
    }
    for (std::uint32_t j = 0; j < n; j += 3 * kLanes) {
      const std::uint32_t columns = std::min(3 * kLanes, n - j);
      const std::uint8_t* panel = right.data() + std::size_t{j} * 4;
      std::int32_t* tile = c + static_cast<std::size_t>(i) * n + j;
      const std::int32_t* tileSums = sums.data() + i;
      if (columns > 2 * kLanes) {
        ByteTile<3>(rowsOf, tileSums, panel, quadStride, quads, rows, columns, tile, n);
      } else if (columns > kLanes) {
        ByteTile<2>(rowsOf, tileSums, panel, quadStride, quads, rows, columns, tile, n);
      } else {
        ByteTile<1>(rowsOf, tileSums, panel, quadStride, quads, rows, columns, tile, n);
      }
    }
  }
}

}  // namespace orvane::detail
