#pragma once

#include <cmath>
#include <cstdint>

#include "foundation/result_code.h"

namespace orvane {

/// Number of bits needed to write v: the smallest n with v < 2^n (0 for 0, 1 for 1, 2 for
/// 2 and 3).
inline int BitLength(std::uint64_t v) {
  int n = 0;
  while (v != 0) {
    ++n;
    v >>= 1;
  }
  return n;
}

/// What a decoded symbol asks for.
struct RunSizeSymbol {
  enum class Kind { kEndOfRow, kZeroRun, kValue, kReserved };
  Kind kind = Kind::kEndOfRow;
  std::uint32_t run = 0;  ///< zeros before the value (kValue) or written (kZeroRun)
  int size = 0;           ///< bit length k of the value's magnitude (kValue)
};

/// The run/size alphabet of P magnitude classes and longest run R (R x P + 3 symbols):
/// 0 ends a row (EOB), c x P + k is a run of c < R zeros followed by a value of bit length
/// 1 <= k <= P, R x P + 1 is a run of R zeros (ZRL), and R x P + 2 is reserved: it is given a
/// frequency of 1 so that the Huffman code always has a spare code point, and never emitted.
class RunSizeAlphabet {
 public:
  static constexpr int kMaxPrecision = 32;
  /// Every section stores its whole HUFFVAL list; an alphabet this large already allows
  /// R = 65535 with P = 16 and keeps the list and the code tables bounded.
  static constexpr std::int64_t kMaxSize = std::int64_t{1} << 20;

  /// True for 1 <= P <= 32 and R >= 1 with at most kMaxSize symbols. P = 0 or R = 0 would
  /// make symbols alias each other (and R = 0 would never end a run of zeros).
  static bool IsValid(std::int64_t precision, std::int64_t maxZeroRun) {
    return precision >= 1 && precision <= kMaxPrecision && maxZeroRun >= 1 &&
           maxZeroRun <= kMaxSize && maxZeroRun * precision + 3 <= kMaxSize;
  }

  /// The caller guarantees IsValid(precision, maxZeroRun).
  RunSizeAlphabet(int precision, int maxZeroRun)
      : m_precision(precision),
        m_maxZeroRun(static_cast<std::uint32_t>(maxZeroRun)),
        m_reciprocal(precision > 1 ? UINT64_MAX / static_cast<std::uint64_t>(precision) + 1 : 0) {}

  int Precision() const { return m_precision; }
  std::uint32_t MaxZeroRun() const { return m_maxZeroRun; }
  std::uint32_t Size() const { return m_maxZeroRun * static_cast<std::uint32_t>(m_precision) + 3; }
  static constexpr std::uint32_t EndOfRow() { return 0; }
  std::uint32_t ZeroRun() const { return Size() - 2; }
  std::uint32_t Reserved() const { return Size() - 1; }
  std::uint32_t ValueSymbol(std::uint32_t run, int size) const {
    return run * static_cast<std::uint32_t>(m_precision) + static_cast<std::uint32_t>(size);
  }

  /// The meaning of a symbol below Size().
  RunSizeSymbol Interpret(std::uint32_t symbol) const {
    using Kind = RunSizeSymbol::Kind;
    if (symbol == EndOfRow()) return {Kind::kEndOfRow, 0, 0};
    if (symbol == ZeroRun()) return {Kind::kZeroRun, m_maxZeroRun, 0};
    if (symbol >= Reserved()) return {Kind::kReserved, 0, 0};
    // symbol = c x P + k with 1 <= k <= P: the remainder is k except that k = P leaves 0.
    const std::uint32_t p = static_cast<std::uint32_t>(m_precision);
    std::uint32_t quotient, remainder;
    if (p == 1) {
      quotient = symbol;
      remainder = 0;
    } else {
      // Division by the reciprocal: exact for every 32-bit symbol and divisor, and this is
      // the hot path of the streamed symbol walk.
      const std::uint64_t fraction = m_reciprocal * symbol;
      quotient =
          static_cast<std::uint32_t>((static_cast<unsigned __int128>(m_reciprocal) * symbol) >> 64);
      remainder = static_cast<std::uint32_t>((static_cast<unsigned __int128>(fraction) * p) >> 64);
    }
    if (remainder == 0) return {Kind::kValue, quotient - 1, static_cast<int>(p)};
    return {Kind::kValue, quotient, static_cast<int>(remainder)};
  }

 private:
  int m_precision;
  std::uint32_t m_maxZeroRun;
  std::uint64_t m_reciprocal;  ///< 2^64 / P rounded up; 0 for P = 1
};

/// The value that `size` extra bits stand for: bit patterns with the top bit set are the
/// positive values 2^(k-1) .. 2^k - 1, the others the negative ones -(2^k - 1) .. -2^(k-1)
/// (stored as n - 1 in k-bit two's complement).
inline std::int64_t ExtendValue(std::uint32_t bits, int size) {
  if (size == 0) return 0;
  const std::int64_t half = std::int64_t{1} << (size - 1);
  return bits >= half ? std::int64_t{bits} : std::int64_t{bits} - (half << 1) + 1;
}

/// Truncates a matrix value toward zero; false for values that are not finite or too large
/// for any magnitude class (at least 2^62).
inline bool TruncateToInteger(double value, std::int64_t& out) {
  constexpr double kLimit = 4611686018427387904.0;  // 2^62
  if (!(std::fabs(value) < kLimit)) return false;   // also false for NaN
  out = static_cast<std::int64_t>(value);
  return true;
}

/// Walks one matrix row into run/size symbols, calling `emitSymbol(symbol, extraBits, extraSize)`
/// for each (extraSize 0 for EOB and ZRL). Values are truncated toward zero. A run of zeros
/// that reaches the end of the row becomes one EOB; a row ending in a non-zero value has no
/// EOB. 22 when a value is not finite or its magnitude needs more than P bits (it would be
/// read back as another symbol); otherwise the first failure of `emitSymbol`.
template <typename Emit>
ResultCode CodeRow(const double* row, std::uint32_t columns, const RunSizeAlphabet& alphabet,
                   Emit&& emitSymbol) {
  const std::uint32_t maxRun = alphabet.MaxZeroRun();
  std::uint32_t run = 0;
  for (std::uint32_t j = 0; j < columns; ++j) {
    std::int64_t n;
    if (!TruncateToInteger(row[j], n)) return kInvalidValues;
    if (n == 0) {
      if (j + 1 == columns) {
        if (const ResultCode code = emitSymbol(RunSizeAlphabet::EndOfRow(), 0u, 0);
            code != kSuccess) {
          return code;
        }
        run = 0;
      } else {
        ++run;
      }
      continue;
    }
    const std::uint64_t magnitude = n > 0 ? std::uint64_t(n) : std::uint64_t(-n);
    const int size = BitLength(magnitude);
    if (size > alphabet.Precision()) return kInvalidValues;
    while (run >= maxRun) {
      if (const ResultCode code = emitSymbol(alphabet.ZeroRun(), 0u, 0); code != kSuccess)
        return code;
      run -= maxRun;
    }
    // Negative values are sent as n - 1 in size-bit two's complement, so that their top
    // extra bit is 0 and ExtendValue can tell them from the positive ones.
    const std::uint64_t pattern = static_cast<std::uint64_t>(n > 0 ? n : n - 1);
    const std::uint32_t extra =
        static_cast<std::uint32_t>(pattern & ((std::uint64_t{1} << size) - 1));
    if (const ResultCode code = emitSymbol(alphabet.ValueSymbol(run, size), extra, size);
        code != kSuccess) {
      return code;
    }
    run = 0;
  }
  return kSuccess;
}

}  // namespace orvane
