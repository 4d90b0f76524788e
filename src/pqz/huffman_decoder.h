#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/result_code.h"
#include "pqz/bit_stream.h"
#include "pqz/huffman_code.h"
#include "pqz/run_size_symbols.h"

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

  /// Reads one code word. The first kLookupBits bits of the stream pick an entry of the
  /// first-level table, which holds every code word of up to that many bits; only longer
  /// code words continue with the canonical walk. Near the end of the buffer the whole word
  /// is read bit by bit, so the results (and failures) are those of DecodeCanonical.
  ResultCode Decode(BitStream& stream, std::uint32_t& symbol) const {
    if (!stream.HasWindow()) return DecodeCanonical(stream, symbol);
    const std::uint64_t window = stream.Window();
    const std::uint32_t entry = m_lookup[window >> (64 - kLookupBits)];
    if ((entry & kLengthMask) == 0) return DecodeLong(stream, window, symbol);
    stream.Consume(static_cast<int>(entry & kLengthMask));
    symbol = entry >> kSymbolShift;
    return kSuccess;
  }

  /// Reads one code word bit by bit (T.81 F.16): a code that is still above MAXCODE at the
  /// longest length of the table matches no code word (14). Bit stream failures are passed
  /// on.
  ResultCode DecodeCanonical(BitStream& stream, std::uint32_t& symbol) const {
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

  /// Decodes `rows` rows of `columns` run/size coded values into `data` (row-major), as the
  /// symbol walk of a section does: EOB fills the rest of the row with zeros, ZRL writes R
  /// zeros, a value symbol writes its run of zeros and then the value of its extra bits.
  /// 14 for the reserved symbol or a run that passes the end of the row, and for a code word
  /// that matches nothing; bit stream failures are passed on. The symbols of the code must
  /// belong to `alphabet`. Where a code word and its extra bits both lie in one window they
  /// are taken in one step; the results are those of Decode followed by Interpret.
  ResultCode DecodeRows(BitStream& stream, const RunSizeAlphabet& alphabet, double* data,
                        std::uint32_t rows, std::uint32_t columns) const;

  /// DecodeRows into rows of 16-bit integers `stride` values apart, for an alphabet whose
  /// values fit 16 bits: 22 for a precision above 15 or a stride below the columns. The rows
  /// must hold zeros: only the values of value symbols are written, nothing between the rows.
  ResultCode DecodeRows(BitStream& stream, const RunSizeAlphabet& alphabet, std::int16_t* data,
                        std::uint32_t rows, std::uint32_t columns, std::size_t stride) const;

  /// One walk of DecodeRows: its decoder, stream, alphabet and rows (`stride` values apart,
  /// at least the columns), and after DecodeRowsTogether its result.
  template <typename Out>
  struct RowsJob {
    const HuffmanDecoder* decoder = nullptr;
    BitStream* stream = nullptr;
    const RunSizeAlphabet* alphabet = nullptr;
    Out* data = nullptr;
    std::uint32_t rows = 0;
    std::uint32_t columns = 0;
    std::size_t stride = 0;
    ResultCode result = kSuccess;
  };
  using SmallRows = RowsJob<std::int16_t>;
  using WideRows = RowsJob<double>;

  /// The 16-bit DecodeRows of `count` independent sections, up to kMaxWalksTogether at once,
  /// a symbol of each in turn, so that the processor works on their streams side by side:
  /// each walk gets the result, the rows and the stream position that DecodeRows alone gives
  /// it.
  static void DecodeRowsTogether(SmallRows* jobs, std::size_t count);
  /// The same for DecodeRows into doubles, whose rows need not hold zeros.
  static void DecodeRowsTogether(WideRows* jobs, std::size_t count);

  /// Most walks DecodeRowsTogether takes at once: with three, their values no longer fit the
  /// processor's registers and the walk is slower than two at a time.
  static constexpr int kMaxWalksTogether = 2;

  /// Moves the stream past `rows` rows of `columns` run/size coded values, with the checks
  /// and results of DecodeRows but nothing written: how a streamed reader finds where a
  /// later row starts without holding the rows before it.
  ResultCode SkipRows(BitStream& stream, const RunSizeAlphabet& alphabet, std::uint32_t rows,
                      std::uint32_t columns) const;

  /// Bits that index the first-level table.
  static constexpr int kLookupBits = 10;

  /// Number of code words.
  std::size_t CodeCount() const { return m_huffval.size(); }

 private:
  // The row walks of DecodeRows, DecodeRowsTogether and SkipRows.
  friend struct HuffmanRowWalk;

  static constexpr int kSlots = kMaxHuffmanCodeLength + 1;
  // A table entry holds the code length in its low byte (0: no code word of at most
  // kLookupBits bits starts with these bits) and the symbol above it.
  static constexpr std::uint32_t kLengthMask = 0xFF;
  static constexpr int kSymbolShift = 8;

  /// The canonical walk from length kLookupBits + 1 on, over bits already in the window.
  ResultCode DecodeLong(BitStream& stream, std::uint64_t window, std::uint32_t& symbol) const;

  std::array<std::uint32_t, std::size_t{1} << kLookupBits> m_lookup{};
  std::array<std::int32_t, kSlots> m_minCode{};
  std::array<std::int32_t, kSlots> m_maxCode{};  ///< -1 for lengths without codes
  std::array<std::int32_t, kSlots> m_valPtr{};
  int m_longest = 0;
  std::vector<std::uint32_t> m_huffval;  ///< the symbols that have codes, in code order
};

}  // namespace orvane
