#include "pqz/huffman_decoder.h"

#include <new>

namespace orvane {

ResultCode HuffmanDecoder::Build(const std::vector<std::uint32_t>& bits,
                                 const std::vector<std::uint32_t>& huffval) {
  m_huffval.clear();
  m_longest = 0;
  m_maxCode.fill(-1);
  m_minCode.fill(0);
  m_valPtr.fill(0);
  try {
    std::vector<std::uint16_t> codes;
    std::vector<std::uint8_t> lengths;
    if (const ResultCode code = GenerateCodeWords(bits, codes, lengths); code != kSuccess) {
      return code;
    }
    if (codes.empty() || huffval.size() < codes.size()) return kReadFailed;
    // F.15: per length, the first and last code word and where its symbols start in HUFFVAL.
    std::size_t k = 0;
    for (int l = 1; l < kSlots && l < static_cast<int>(bits.size()); ++l) {
      if (bits[l] == 0) continue;
      m_valPtr[l] = static_cast<std::int32_t>(k);
      m_minCode[l] = codes[k];
      k += bits[l];
      m_maxCode[l] = codes[k - 1];
      m_longest = l;
    }
    m_huffval.assign(huffval.begin(), huffval.begin() + static_cast<std::ptrdiff_t>(codes.size()));
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  return kSuccess;
}

}  // namespace orvane
