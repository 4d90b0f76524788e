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
  m_lookup.fill(0);
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
    // Every first-level entry is the canonical walk run over its kLookupBits bits: the first
    // length whose code word does not exceed MAXCODE decides, as in DecodeCanonical.
    for (std::uint32_t e = 0; e < m_lookup.size(); ++e) {
      for (int l = 1; l <= kLookupBits && l <= m_longest; ++l) {
        const std::int32_t word = static_cast<std::int32_t>(e >> (kLookupBits - l));
        if (word > m_maxCode[l]) continue;
        const std::uint32_t s =
            m_huffval[static_cast<std::size_t>(m_valPtr[l] + word - m_minCode[l])];
        m_lookup[e] = (s << kSymbolShift) | static_cast<std::uint32_t>(l);
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  return kSuccess;
}

ResultCode HuffmanDecoder::DecodeLong(BitStream& stream, std::uint64_t window,
                                      std::uint32_t& symbol) const {
  // The window holds at least 57 bits, more than the longest code word of 16.
  for (int length = kLookupBits + 1; length <= m_longest; ++length) {
    const std::int32_t word = static_cast<std::int32_t>(window >> (64 - length));
    if (word > m_maxCode[length]) continue;
    stream.Consume(length);
    symbol = m_huffval[static_cast<std::size_t>(m_valPtr[length] + word - m_minCode[length])];
    return kSuccess;
  }
  return kReadFailed;
}

}  // namespace orvane
