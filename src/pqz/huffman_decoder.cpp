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

namespace {

// What one first-level entry stands for, ready for the row walk.
struct Meaning {
  std::uint32_t run = 0;
  std::uint8_t length = 0;  // code word bits; 0 when the entry needs the long walk
  std::uint8_t total = 0;   // code word and extra bits
  std::uint8_t size = 0;
  RunSizeSymbol::Kind kind = RunSizeSymbol::Kind::kEndOfRow;
};

}  // namespace

template <bool kStore>
ResultCode HuffmanDecoder::WalkRows(BitStream& stream, const RunSizeAlphabet& alphabet,
                                    double* data, std::uint32_t rows, std::uint32_t columns) const {
  using Kind = RunSizeSymbol::Kind;
  // The meaning of every first-level entry. The entries of one code word are consecutive,
  // so each code word is interpreted once.
  std::vector<Meaning> first(m_lookup.size());
  std::uint32_t last = 0;
  Meaning meaning;
  for (std::size_t e = 0; e < m_lookup.size(); ++e) {
    const std::uint32_t length = m_lookup[e] & kLengthMask;
    if (length == 0) continue;
    if (m_lookup[e] != last) {
      last = m_lookup[e];
      const RunSizeSymbol s = alphabet.Interpret(last >> kSymbolShift);
      const int extra = s.kind == Kind::kValue ? s.size : 0;
      meaning = {s.run, static_cast<std::uint8_t>(length),
                 static_cast<std::uint8_t>(length + static_cast<std::uint32_t>(extra)),
                 static_cast<std::uint8_t>(extra), s.kind};
    }
    first[e] = meaning;
  }

  // Every symbol starts from a fresh window of the buffer at the read position, taken
  // straight from memory while eight whole bytes remain there; that keeps the window's load
  // off the decision of how many bits the last symbol took. In the last bytes of the buffer
  // one symbol at a time goes through the stream itself, which checks every bit.
  std::uint64_t position = stream.BitPosition();
  const std::uint8_t* const buffer = stream.Data();
  const std::uint64_t windowEnd = stream.Capacity() >= 8 ? (stream.Capacity() - 8) * 8 : 0;
  const auto window_at = [buffer](std::uint64_t bit) {
    std::uint64_t w;
    __builtin_memcpy(&w, buffer + (bit >> 3), sizeof w);
    return __builtin_bswap64(w) << (bit & 7);
  };

  for (std::uint32_t r = 0; r < rows; ++r) {
    double* row = kStore ? data + static_cast<std::size_t>(r) * columns : nullptr;
    std::uint32_t e = 0;
    while (e < columns) {
      RunSizeSymbol s;
      if (position < windowEnd) {
        const std::uint64_t acc = window_at(position);
        Meaning m = first[acc >> (64 - kLookupBits)];
        if (m.length == 0) {
          // A long code word: the canonical walk over the accumulator's further bits.
          for (int l = kLookupBits + 1; l <= m_longest; ++l) {
            const std::int32_t word = static_cast<std::int32_t>(acc >> (64 - l));
            if (word > m_maxCode[l]) continue;
            const RunSizeSymbol found = alphabet.Interpret(
                m_huffval[static_cast<std::size_t>(m_valPtr[l] + word - m_minCode[l])]);
            const int extra = found.kind == Kind::kValue ? found.size : 0;
            m = {found.run, static_cast<std::uint8_t>(l), static_cast<std::uint8_t>(l + extra),
                 static_cast<std::uint8_t>(extra), found.kind};
            break;
          }
          if (m.length == 0) return kReadFailed;
        }
        if (m.kind == Kind::kValue) {
          // The common case: the code word and its extra bits in one step.
          if (m.run >= columns - e) return kReadFailed;
          if constexpr (kStore) {
            for (std::uint32_t z = 0; z < m.run; ++z) row[e + z] = 0.0;
          }
          e += m.run;
          // ExtendValue without a branch on the sign: patterns whose top bit is clear stand
          // for v - 2^k + 1.
          const std::int64_t v = static_cast<std::int64_t>((acc << m.length) >> (64 - m.size));
          const std::int64_t clear = ((v >> (m.size - 1)) & 1) - 1;  // -1 when the top bit is 0
          position += m.total;
          if constexpr (kStore) {
            row[e] = static_cast<double>(v + (clear & (1 - (std::int64_t{1} << m.size))));
          }
          ++e;
          continue;
        }
        position += m.length;
        s.kind = m.kind;
        s.run = m.run;
      } else {
        std::uint32_t symbol;
        stream.Seek(position);
        if (const ResultCode code = DecodeCanonical(stream, symbol); code != kSuccess) {
          return code;
        }
        s = alphabet.Interpret(symbol);
        position = stream.BitPosition();
        if (s.kind == Kind::kValue) {
          // Checked as below; the extra bits come from the stream.
          const std::uint32_t room = columns - e;
          if (s.run >= room) return kReadFailed;
          if constexpr (kStore) {
            for (std::uint32_t z = 0; z < s.run; ++z) row[e + z] = 0.0;
          }
          e += s.run;
          std::uint32_t extra;
          if (const ResultCode code = stream.Read(s.size, extra); code != kSuccess) return code;
          position = stream.BitPosition();
          if constexpr (kStore) row[e] = static_cast<double>(ExtendValue(extra, s.size));
          ++e;
          continue;
        }
      }
      if (s.kind == Kind::kEndOfRow) {
        if constexpr (kStore) {
          for (; e < columns; ++e) row[e] = 0.0;
        }
        break;
      }
      if (s.kind == Kind::kReserved) return kReadFailed;
      // ZRL: R zeros, which may fill the row but not pass its end.
      if (s.run > columns - e) return kReadFailed;
      if constexpr (kStore) {
        for (std::uint32_t z = 0; z < s.run; ++z) row[e + z] = 0.0;
      }
      e += s.run;
    }
  }
  stream.Seek(position);
  return kSuccess;
}

ResultCode HuffmanDecoder::DecodeRows(BitStream& stream, const RunSizeAlphabet& alphabet,
                                      double* data, std::uint32_t rows,
                                      std::uint32_t columns) const {
  return WalkRows<true>(stream, alphabet, data, rows, columns);
}

ResultCode HuffmanDecoder::SkipRows(BitStream& stream, const RunSizeAlphabet& alphabet,
                                    std::uint32_t rows, std::uint32_t columns) const {
  return WalkRows<false>(stream, alphabet, nullptr, rows, columns);
}

}  // namespace orvane
