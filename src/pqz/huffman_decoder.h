#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "foundation/result_code.h"
#include "pqz/bit_stream.h"
#include "pqz/huffman_code.h"

namespace orvane {

/// Decodes the canonical code of a stored BITS list and HUFFVAL list (T.81 F.15, F.16).
class HuffmanDecoder {
 public:
  /// Builds MINCODE, MAXCODE and VALPTR. `huffval` holds the symbols in code order, at
  /// least as many as BITS counts codes. 14 when the lists cannot form a prefix code: no
  /// code at all, a code of length 0 or longer than 16, more codes of a length than fit, or
  /// fewer symbols than codes. The caller checks that the symbols belong to its alphabet.
  ResultCode Build(const std::vector<std::uint32_t>& bits,
                   const std::vector<std::uint32_t>& huffval);

  /// Reads one code word bit by bit: a code that is still above MAXCODE at the longest
  /// length of the table matches no code word (14). Bit stream failures are passed on.
  ResultCode Decode(BitStream& stream, std::uint32_t& symbol) const {
    std::uint32_t bit;
    if (const ResultCode code = stream.ReadBit(bit); code != kSuccess) return code;
    std::int32_t word = static_cast<std::int32_t>(bit);
    int length = 1;
    while (word > m_maxCode[length]) {
      if (++length > m_longest) return kReadFailed;
      if (const ResultCode code = stream.ReadBit(bit); code != kSuccess) return code;
      word = (word << 1) | static_cast<std::int32_t>(bit);
    }
    symbol = m_huffval[static_cast<std::size_t>(m_valPtr[length] + word - m_minCode[length])];
    return kSuccess;
  }

  /// Number of code words.
  std::size_t CodeCount() const { return m_huffval.size(); }

 private:
  static constexpr int kSlots = kMaxHuffmanCodeLength + 1;
  std::array<std::int32_t, kSlots> m_minCode{};
  std::array<std::int32_t, kSlots> m_maxCode{};  ///< -1 for lengths without codes
  std::array<std::int32_t, kSlots> m_valPtr{};
  int m_longest = 0;
  std::vector<std::uint32_t> m_huffval;  ///< the symbols that have codes, in code order
};

}  // namespace orvane
