#pragma once

#include <cstdint>
#include <vector>

#include "foundation/result_code.h"

namespace orvane {

/// Longest code word the stored code may use; code words are kept as 16-bit values.
inline constexpr int kMaxHuffmanCodeLength = 16;

/// Code sizes of an optimal prefix code by the merge procedure of JPEG (T.81 K.1): take V1,
/// the symbol with the least non-zero frequency, and V2, the next least, ties going to the
/// larger symbol number for both; V1 takes V2's frequency, V2's is zeroed, and every symbol
/// merged into either gets one bit longer. Symbols of frequency 0 get size 0. 31 ("Value is
/// not found.\n") when fewer than two symbols have a non-zero frequency.
ResultCode ComputeCodeSizes(const std::vector<std::uint64_t>& frequencies,
                            std::vector<std::uint32_t>& sizes);

/// The BITS list of code sizes: L + 1 entries for the longest size L; entry 0 is 0 and entry
/// l counts the symbols of size l.
std::vector<std::uint32_t> CountCodeSizes(const std::vector<std::uint32_t>& sizes);

/// When the longest size exceeds 16, moves codes up from the longest lengths in pairs until
/// none is longer than 16 (T.81 K.3) and then takes one code away from the longest remaining
/// length: the code point of the reserved symbol, which sorts last. Lists whose longest size
/// is at most 16 are left alone. The list keeps its length either way. The caller guarantees
/// at most 2^16 codes, the most that 16 bits can hold.
void LimitCodeLengths(std::vector<std::uint32_t>& bits);

/// The HUFFVAL list: the used symbols by increasing code size, by increasing number within a
/// size, followed by zeros up to one entry per symbol of the alphabet.
std::vector<std::uint32_t> SortSymbolsBySize(const std::vector<std::uint32_t>& sizes);

/// Canonical code words of a BITS list (T.81 C.1, C.2): within a length consecutive values,
/// doubled when the length grows. 14 when the list asks for more codes of some length than
/// fit (it cannot form a prefix code), has a code of length 0, or a code longer than 16.
ResultCode GenerateCodeWords(const std::vector<std::uint32_t>& bits,
                             std::vector<std::uint16_t>& codes, std::vector<std::uint8_t>& lengths);

/// One code word: `length` low bits of `code`, sent most significant first.
struct HuffmanCodeWord {
  std::uint16_t code = 0;
  std::uint8_t length = 0;  ///< 0: the symbol has no code
};

/// The encoder's Huffman code for one section: from symbol frequencies to the stored BITS
/// and HUFFVAL lists and the code word of each symbol (T.81 C.3).
class HuffmanCode {
 public:
  /// Builds the code. 31 for fewer than two used symbols, 22 for more than 2^16 (no code of
  /// at most 16 bits can tell them apart), 7 when memory cannot be had.
  ResultCode Build(const std::vector<std::uint64_t>& frequencies);

  const std::vector<std::uint32_t>& Bits() const { return m_bits; }
  const std::vector<std::uint32_t>& Huffval() const { return m_huffval; }
  const HuffmanCodeWord& CodeWord(std::uint32_t symbol) const { return m_table[symbol]; }

 private:
  std::vector<std::uint32_t> m_bits;
  std::vector<std::uint32_t> m_huffval;
  std::vector<HuffmanCodeWord> m_table;
};

}  // namespace orvane
