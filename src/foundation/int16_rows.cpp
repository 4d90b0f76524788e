#include "foundation/int16_rows.h"

#include <algorithm>
#include <atomic>

#include "foundation/byte_dot_products.h"
#include "foundation/int16_kernels.h"

namespace orvane {
namespace {

std::uint64_t NewStamp() {
  static std::atomic<std::uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

bool Int16Rows::Assign(const double* data, std::uint32_t rows, std::uint32_t length) {
  m_stamp = NewStamp();
  m_rows = m_length = m_stride = 0;
  m_largest = 0;
  const std::uint32_t stride = (length + kStrideMultiple - 1) / kStrideMultiple * kStrideMultiple;
  // Every value is written below; storage of the same size is kept as it is.
  m_values.resize(static_cast<std::size_t>(rows) * stride);
  const Int16DotPath best = BestInt16DotPath();
  const detail::Int16Convert convert = best == Int16DotPath::kAvx512 ? detail::Avx512Int16Convert()
                                       : best == Int16DotPath::kAvx2
                                           ? detail::Avx2Int16Convert()
                                           : detail::PortableInt16Convert();
  std::int32_t largest = 0;
  for (std::uint32_t r = 0; r < rows; ++r) {
    std::int16_t* to = m_values.data() + static_cast<std::size_t>(r) * stride;
    if (!convert(data + static_cast<std::size_t>(r) * length, length, to, largest)) {
      m_values.clear();
      return false;
    }
    std::fill(to + length, to + stride, std::int16_t{0});
  }
  if (std::int64_t{length} * largest * largest >= (std::int64_t{1} << 31)) {
    m_values.clear();
    return false;
  }
  m_rows = rows;
  m_length = length;
  m_stride = stride;
  m_largest = largest;
  return true;
}

std::int16_t* Int16Rows::Prepare(std::uint32_t rows, std::uint32_t length) {
  Clear();  // a new stamp too
  const std::uint32_t stride = (length + kStrideMultiple - 1) / kStrideMultiple * kStrideMultiple;
  m_values.assign(static_cast<std::size_t>(rows) * stride, 0);
  m_rows = rows;
  m_length = length;
  m_stride = stride;
  return m_values.data();
}

bool Int16Rows::Finish() {
  // Lowest and highest apart, so that the loop stays in 16 bits (and vectorises).
  std::int16_t lowest = 0, highest = 0;
  for (const std::int16_t v : m_values) {
    lowest = std::min(lowest, v);
    highest = std::max(highest, v);
  }
  return Finish(lowest, highest);
}

bool Int16Rows::Finish(std::int16_t lowest, std::int16_t highest) {
  m_stamp = NewStamp();
  const std::int32_t largest = std::max(-std::int32_t{lowest}, std::int32_t{highest});
  if (largest > 32767 || std::int64_t{m_length} * largest * largest >= (std::int64_t{1} << 31)) {
    Clear();
    return false;
  }
  m_largest = largest;
  return true;
}

void Int16Rows::Clear() {
  m_stamp = NewStamp();
  m_values.clear();
  m_rows = m_length = m_stride = 0;
  m_largest = 0;
}

bool Int16DotPathAvailable(Int16DotPath path) {
  switch (path) {
    case Int16DotPath::kAvx512:
    case Int16DotPath::kAvx512Bytes:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vnni");
    case Int16DotPath::kAvx2:
      return __builtin_cpu_supports("avx2");
    case Int16DotPath::kPortable:
      return true;
  }
  return false;
}

Int16DotPath BestInt16DotPath() {
  static const Int16DotPath best = [] {
    for (Int16DotPath p : {Int16DotPath::kAvx512, Int16DotPath::kAvx2})
      if (Int16DotPathAvailable(p)) return p;
    return Int16DotPath::kPortable;
  }();
  return best;
}

void Int16DotProductsWith(Int16DotPath path, const Int16Rows& a, std::uint32_t m,
                          const Int16Rows& b, std::uint32_t n, std::int32_t* c) {
  if (m == 0 || n == 0) return;
  if (path == Int16DotPath::kAvx512Bytes) {
    if (detail::ByteDotProductsFit(a, b)) {
      detail::ByteDotProducts(a, m, b, n, c);
      return;
    }
    path = Int16DotPath::kAvx512;
  }
  const detail::Int16Tile3x4 tile = path == Int16DotPath::kAvx512 ? detail::Avx512Int16Tile()
                                    : path == Int16DotPath::kAvx2 ? detail::Avx2Int16Tile()
                                                                  : detail::PortableInt16Tile();
  const std::uint32_t stride = a.Stride();
  // A tile at the edge repeats its last row of a or b; only the cells that exist are kept.
  std::int32_t cell[3 * 4];
  for (std::uint32_t i = 0; i < m; i += 3) {
    const std::uint32_t rows = std::min<std::uint32_t>(3, m - i);
    const std::int16_t* ar[3];
    for (std::uint32_t r = 0; r < 3; ++r) ar[r] = a.Row(i + std::min(r, rows - 1));
    for (std::uint32_t j = 0; j < n; j += 4) {
      const std::uint32_t columns = std::min<std::uint32_t>(4, n - j);
      const std::int16_t* br[4];
      for (std::uint32_t q = 0; q < 4; ++q) br[q] = b.Row(j + std::min(q, columns - 1));
      if (rows == 3 && columns == 4) {
        tile(ar, br, stride, c + static_cast<std::size_t>(i) * n + j, n);
        continue;
      }
      tile(ar, br, stride, cell, 4);
      for (std::uint32_t r = 0; r < rows; ++r) {
        std::copy(cell + r * 4, cell + r * 4 + columns,
                  c + static_cast<std::size_t>(i + r) * n + j);
      }
    }
  }
}

void Int16DotProducts(const Int16Rows& a, std::uint32_t m, const Int16Rows& b, std::uint32_t n,
                      std::int32_t* c) {
  const Int16DotPath best = BestInt16DotPath();
  Int16DotProductsWith(best == Int16DotPath::kAvx512 ? Int16DotPath::kAvx512Bytes : best, a, m, b,
                       n, c);
}

void Int16SquareSums(const Int16Rows& a, std::int64_t* sums) {
  for (std::uint32_t r = 0; r < a.Rows(); ++r) {
    const std::int16_t* row = a.Row(r);
    std::int32_t sum = 0;  // fits: length x largest^2 < 2^31
    for (std::uint32_t k = 0; k < a.Length(); ++k) sum += std::int32_t{row[k]} * row[k];
    sums[r] = sum;
  }
}

}  // namespace orvane
