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

// One tile: kTileRows left rows (row r's bytes at left[r], its sum at sums[r]) against
// kVectors x 16 right columns (quad q at right + q x quadStride), over `quads` groups of four
// depths. Writes every corrected sum of the tile to out (ldo values a row): with every index
// constant and no partial store, the accumulators stay in registers.
template <int kVectors>
__attribute__((target("avx512f,avx512bw,avx512vnni"))) void ByteTile(
    const std::int8_t* const left[kTileRows], const std::int32_t* sums, const std::uint8_t* right,
    std::size_t quadStride, std::uint32_t quads, std::int32_t* out, std::size_t ldo) {
  __m512i acc[kTileRows][kVectors];
#pragma GCC unroll 8
  for (std::uint32_t r = 0; r < kTileRows; ++r) {
#pragma GCC unroll 3
    for (int v = 0; v < kVectors; ++v) acc[r][v] = _mm512_setzero_si512();
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
      for (int v = 0; v < kVectors; ++v) {
        // vpdpbusd written out: GCC 12 copies the intrinsic's accumulator through another
        // register, and with 24 accumulators that spills them all to memory.
        asm("vpdpbusd %[s], %[u], %[acc]" : [acc] "+v"(acc[r][v]) : [u] "v"(rv[v]), [s] "v"(lv));
      }
    }
  }
#pragma GCC unroll 8
  for (std::uint32_t r = 0; r < kTileRows; ++r) {
    const __m512i correction = _mm512_set1_epi32(128 * sums[r]);
#pragma GCC unroll 3
    for (int v = 0; v < kVectors; ++v) {
      _mm512_storeu_si512(out + r * ldo + static_cast<std::size_t>(v) * kLanes,
                          _mm512_sub_epi32(acc[r][v], correction));
    }
  }
}

// The tile at rows i.., columns j.. of C, `rows` x `columns` of it inside C.
template <int kVectors>
void ByteTileInto(const std::int8_t* const left[kTileRows], const std::int32_t* sums,
                  const std::uint8_t* right, std::size_t quadStride, std::uint32_t quads,
                  std::uint32_t rows, std::uint32_t columns, std::int32_t* c, std::size_t ldc) {
  if (rows == kTileRows && columns == kVectors * kLanes) {
    ByteTile<kVectors>(left, sums, right, quadStride, quads, c, ldc);
    return;
  }
  std::int32_t scratch[kTileRows * kVectors * kLanes];
  ByteTile<kVectors>(left, sums, right, quadStride, quads, scratch, kVectors * kLanes);
  for (std::uint32_t r = 0; r < rows; ++r) {
    std::copy_n(scratch + r * kVectors * kLanes, columns, c + r * ldc);
  }
}

// GCC 12 reports the undefined source operand its narrowing intrinsic passes to the masked
// builtin as maybe uninitialized; the full-width form never reads it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// One right row of `quads` x 4 values to bytes offset by 128, quad q at to + q x quadStride;
// eight quads a step (quads is a multiple of eight).
__attribute__((target("avx512f,avx512bw"))) void PackRight(const std::int16_t* row,
                                                           std::uint32_t quads, std::uint8_t* to,
                                                           std::size_t quadStride) {
  const __m512i offset = _mm512_set1_epi16(128);
  for (std::uint32_t q = 0; q < quads; q += 8) {
    const __m512i values = _mm512_add_epi16(_mm512_loadu_si512(row + 4 * q), offset);
    alignas(32) std::uint32_t four[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(four), _mm512_cvtepi16_epi8(values));
    for (std::uint32_t t = 0; t < 8; ++t) {
      std::memcpy(to + (q + t) * quadStride, &four[t], sizeof four[t]);
    }
  }
}

// One left row of `stride` values (a multiple of 32) to signed bytes; returns its sum.
__attribute__((target("avx512f,avx512bw"))) std::int32_t PackLeft(const std::int16_t* row,
                                                                  std::uint32_t stride,
                                                                  std::int8_t* to) {
  const __m512i ones = _mm512_set1_epi16(1);
  __m512i sum = _mm512_setzero_si512();
  for (std::uint32_t k = 0; k < stride; k += 32) {
    const __m512i values = _mm512_loadu_si512(row + k);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + k), _mm512_cvtepi16_epi8(values));
    sum = _mm512_add_epi32(sum, _mm512_madd_epi16(values, ones));
  }
  return _mm512_reduce_add_epi32(sum);
}
#pragma GCC diagnostic pop

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
  right.resize(quads * quadStride);
  for (std::uint32_t q = 0; q < quads && width > n; ++q) {
    std::fill_n(right.data() + q * quadStride + std::size_t{n} * 4, (width - n) * 4, 128);
  }
  for (std::uint32_t j = 0; j < n; ++j) {
    PackRight(b.Row(j), quads, right.data() + std::size_t{j} * 4, quadStride);
  }
  // The left rows are kept packed from one product to the next with rows of the same stamp
  // (a search's query against every candidate).
  thread_local std::uint64_t leftStamp = 0;
  thread_local std::uint32_t leftRows = 0;
  if (a.Stamp() == 0 || a.Stamp() != leftStamp || leftRows < m) {
    leftStamp = 0;  // until the rows are packed
    left.resize(static_cast<std::size_t>(m) * stride);
    sums.resize(m);
    for (std::uint32_t i = 0; i < m; ++i) {
      sums[i] = PackLeft(a.Row(i), stride, left.data() + static_cast<std::size_t>(i) * stride);
    }
    leftStamp = a.Stamp();
    leftRows = m;
  }
  for (std::uint32_t i = 0; i < m; i += kTileRows) {
    const std::uint32_t rows = std::min(kTileRows, m - i);
    // A tile at the bottom edge repeats its last row; only the rows that exist are stored.
    const std::int8_t* rowsOf[kTileRows];
    std::int32_t sumsOf[kTileRows];
    for (std::uint32_t r = 0; r < kTileRows; ++r) {
      const std::uint32_t row = i + std::min(r, rows - 1);
      rowsOf[r] = left.data() + static_cast<std::size_t>(row) * stride;
      sumsOf[r] = sums[row];
    }
    for (std::uint32_t j = 0; j < n; j += 3 * kLanes) {
      const std::uint32_t columns = std::min(3 * kLanes, n - j);
      const std::uint8_t* panel = right.data() + std::size_t{j} * 4;
      std::int32_t* tile = c + static_cast<std::size_t>(i) * n + j;
      if (columns > 2 * kLanes) {
        ByteTileInto<3>(rowsOf, sumsOf, panel, quadStride, quads, rows, columns, tile, n);
      } else if (columns > kLanes) {
        ByteTileInto<2>(rowsOf, sumsOf, panel, quadStride, quads, rows, columns, tile, n);
      } else {
        ByteTileInto<1>(rowsOf, sumsOf, panel, quadStride, quads, rows, columns, tile, n);
      }
    }
  }
}

}  // namespace orvane::detail
