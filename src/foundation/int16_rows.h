#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane {

/// Rows of small integers held as 16-bit values, for dot products computed exactly in 32-bit
/// integer arithmetic. Each row is padded with zeros to Stride() values, a multiple of 32, so
/// that vector kernels read whole registers.
///
/// Assign admits only values whose products can never leave int32: integers of magnitude at
/// most 32767 with length x (largest magnitude)^2 below 2^31. Any dot product of two rows that
/// meet the bound (of one matrix or of two) then fits int32, and equals, converted to double,
/// what a double-precision sum of the same products gives in any order (every partial sum is
/// an integer below 2^53).
class Int16Rows {
 public:
  /// Takes `rows` rows of `length` values from a row-major double matrix. false, leaving
  /// nothing, when a value is not an integer, is too large, or the bound above fails. Keeps
  /// its storage from one call to the next, so that an object reused for rows of one shape
  /// allocates once.
  bool Assign(const double* data, std::uint32_t rows, std::uint32_t length);

  /// Makes room for `rows` rows of `length` zeros to be written in place, Stride() apart
  /// from the first, which is returned; the padding after each row is zero too. Finish must
  /// follow before the rows are used. Keeps storage as Assign does.
  std::int16_t* Prepare(std::uint32_t rows, std::uint32_t length);
  /// After the rows are written: takes their largest magnitude and checks the bound of
  /// Assign (-32768 included). false, leaving nothing, when it fails.
  bool Finish();
  /// Finish when the lowest and highest of the values written are known, from the pass that
  /// wrote them.
  bool Finish(std::int16_t lowest, std::int16_t highest);

  void Clear();

  std::uint32_t Rows() const { return m_rows; }
  std::uint32_t Length() const { return m_length; }
  std::uint32_t Stride() const { return m_stride; }
  const std::int16_t* Row(std::uint32_t r) const {
    return m_values.data() + static_cast<std::size_t>(r) * m_stride;
  }
  bool IsEmpty() const { return m_rows == 0; }
  /// The largest magnitude of a value.
  std::int32_t Largest() const { return m_largest; }
  /// A number that no other rows of this process have had, given anew by every call that may
  /// change the rows (copies share it): a product may keep what it derived from rows of the
  /// same stamp. 0 for rows that were never set.
  std::uint64_t Stamp() const { return m_stamp; }

  /// Values a row is padded to a multiple of.
  static constexpr std::uint32_t kStrideMultiple = 32;

 private:
  std::vector<std::int16_t> m_values;
  std::uint32_t m_rows = 0;
  std::uint32_t m_length = 0;
  std::uint32_t m_stride = 0;
  std::int32_t m_largest = 0;
  std::uint64_t m_stamp = 0;
};

/// The instruction sets the integer dot products can run on, widest last. kAvx512Bytes is
/// AVX-512 VNNI on 8-bit values, taken only when the values of both operands lie within
/// +-127 (the values of search bases); other rows go the kAvx512 way.
enum class Int16DotPath { kPortable, kAvx2, kAvx512, kAvx512Bytes };

bool Int16DotPathAvailable(Int16DotPath path);
/// The widest path the processor offers for any values (kAvx512Bytes never: Int16DotProducts
/// takes it by the values), fixed for the life of the process.
Int16DotPath BestInt16DotPath();

/// c[i x n + j] = row i of `a` . row j of `b` for i < m and j < n: exact, the same on every
/// path. Both must have the same length; m and n at most their row counts.
void Int16DotProducts(const Int16Rows& a, std::uint32_t m, const Int16Rows& b, std::uint32_t n,
                      std::int32_t* c);
void Int16DotProductsWith(Int16DotPath path, const Int16Rows& a, std::uint32_t m,
                          const Int16Rows& b, std::uint32_t n, std::int32_t* c);

/// sums[r] = row r . row r, exactly, for every row.
void Int16SquareSums(const Int16Rows& a, std::int64_t* sums);

}  // namespace orvane
