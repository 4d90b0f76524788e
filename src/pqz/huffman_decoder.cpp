#include "pqz/huffman_decoder.h"

#include <algorithm>
#include <new>
#include <type_traits>

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
    // Every first-level entry is what the canonical walk finds over its kLookupBits bits: the
    // one code word of at most kLookupBits bits it starts with, if any. In a canonical code
    // each such word owns one aligned run of entries, filled here in one go; entries that
    // start with no short code word (a long one, or none) stay 0.
    for (std::size_t c = 0; c < codes.size(); ++c) {
      const int length = lengths[c];
      if (length > kLookupBits) break;  // code order: every later word is as long
      const std::uint32_t span = std::uint32_t{1} << (kLookupBits - length);
      const std::uint32_t begin = std::uint32_t{codes[c]} << (kLookupBits - length);
      const std::uint32_t entry =
          (m_huffval[c] << kSymbolShift) | static_cast<std::uint32_t>(length);
      std::fill(m_lookup.begin() + begin, m_lookup.begin() + begin + span, entry);
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

// The run of every entry that is not a value symbol: more than any row has room for, so
// that one comparison stops the hot loop at EOB, ZRL, reserved symbols and long code words.
constexpr std::uint32_t kNotAValue = UINT32_MAX;

// What one first-level entry stands for, ready for the row walk.
struct Meaning {
  std::uint32_t run = kNotAValue;  // zeros before the value of a value symbol
  std::uint8_t length = 0;         // code word bits; 0 when the entry needs the long walk
  std::uint8_t total = 0;          // code word and extra bits
  std::uint8_t drop = 64;          // 64 - k for a value of k extra bits
  std::uint8_t kind = 0;           // a RunSizeSymbol::Kind
};
static_assert(sizeof(Meaning) == 8);

// The bit reader of the row walk: `acc` holds the stream's bits from `position` on, `avail`
// of them valid from the top.
struct BitWindow {
  std::uint64_t position = 0;
  std::uint64_t acc = 0;
  unsigned avail = 0;
};

// Eight bytes of the buffer at bit `bit`, its first bit on top: at least 57 valid bits.
inline std::uint64_t WindowAt(const std::uint8_t* buffer, std::uint64_t bit) {
  std::uint64_t w;
  __builtin_memcpy(&w, buffer + (bit >> 3), sizeof w);
  return __builtin_bswap64(w) << (bit & 7);
}

// The value of a value symbol whose code word is at the top of `acc`, its k extra bits after
// it: ExtendValue without a branch on the sign (patterns v whose top bit is clear stand for
// v - (2^k - 1)).
inline std::int64_t ValueAfter(std::uint64_t acc, const Meaning& m) {
  const std::uint64_t bits = acc << m.length;  // the extra bits on top
  const std::uint64_t v = bits >> m.drop;
  const std::uint64_t positive = static_cast<std::uint64_t>(static_cast<std::int64_t>(bits) >> 63);
  const std::uint64_t low = ~std::uint64_t{0} >> m.drop;  // 2^k - 1
  return static_cast<std::int64_t>(v - (~positive & low));
}

// Whether the walk writes values at all.
template <typename Out>
constexpr bool kStores = !std::is_void_v<Out>;

// Writes the value of a value symbol at the top of `acc` to the row (already zero) after its
// run of zeros from column `e`, and moves past it; the caller has checked that its run stays
// inside the row.
template <typename Out>
inline void TakeValue(const Meaning& m, Out* row, std::uint32_t& e, std::uint64_t& position,
                      std::uint64_t& acc, unsigned& avail) {
  e += m.run;
  if constexpr (kStores<Out>) row[e] = static_cast<Out>(ValueAfter(acc, m));
  position += m.total;
  acc <<= m.total;
  avail -= m.total;
  ++e;
}

// Eight bytes of the buffer at byte `at`, the first on top.
inline std::uint64_t BytesAt(const std::uint8_t* buffer, std::uint64_t at) {
  std::uint64_t w;
  __builtin_memcpy(&w, buffer + at, sizeof w);
  return __builtin_bswap64(w);
}

// A first-level entry as the hot loop takes it: a value symbol whose code word is shorter
// than the index, so that the index also holds its first extra bit, and which is at most
// kHotBits long. Such a symbol's value is its code word and extra bits read as one number
// plus a constant of the entry: the extra bits are that number less the code word shifted
// past them, and the first extra bit tells whether ExtendValue subtracts 2^k - 1.
struct HotEntry {
  std::uint32_t runPlusOne = kNotAValue;  // the run and the value; kNotAValue for the rest
  std::int32_t constant = 0;
};
static_assert(sizeof(HotEntry) == 8);

constexpr unsigned kHotBits = 28;

// The hot entry of a first-level entry `index` with meaning `m`.
HotEntry HotEntryOf(std::uint32_t index, const Meaning& m) {
  const unsigned extra = m.total - m.length;
  if (m.run == kNotAValue || m.length >= HuffmanDecoder::kLookupBits || m.total > kHotBits ||
      extra == 0) {
    return {};
  }
  const unsigned below = HuffmanDecoder::kLookupBits - m.length;
  const std::int64_t code = index >> below;
  const bool positive = ((index >> (below - 1)) & 1) != 0;
  const std::int64_t offset = positive ? 0 : -((std::int64_t{1} << extra) - 1);
  return {m.run + 1, static_cast<std::int32_t>(offset - (code << extra))};
}

// The hot loop of the row walk, apart from the rest so that its few values stay in
// registers: symbols that the hot table takes and whose run stays inside the row, for as
// long as they come, the row lasts and the buffer holds eight bytes past the bits in hand.
// Stops before any other symbol, which the caller then decodes and checks its own way.
//
// `acc` holds the stream's bits from `position` on, `held` of them counted, and `next` is
// the byte that starts right after them (next x 8 = position + held). Every refill ORs in
// the eight bytes at `next` below the counted bits, bringing `held` to 56 or more, so the
// refill needs no branch, and its load, whose address the previous refill set, does not
// wait for the symbols in between. kPerRefill symbols of at most 56 / kPerRefill bits each
// follow one refill.
template <typename Out, int kPerRefill>
void DecodeValueRun(const HotEntry* hot, const std::uint8_t* totals, const std::uint8_t* buffer,
                    std::uint64_t lastLoad, BitWindow& window, Out* row, std::uint32_t& column,
                    std::uint32_t columns) {
  const std::uint64_t start = window.position;
  if (column >= columns || (start >> 3) + 7 > lastLoad) return;
  // Few values live through the loop, so that all stay in registers: the read position is
  // next x 8 - held, and the column columns - room.
  const std::uint8_t* next = buffer + (start >> 3) + 7;
  const std::uint8_t* const last = buffer + lastLoad;
  std::uint64_t acc = WindowAt(buffer, start);
  unsigned held = 56 - static_cast<unsigned>(start & 7);
  std::uint32_t room = columns - column;
  Out* out = nullptr;
  if constexpr (kStores<Out>) out = row + column;
  while (next <= last) {
    acc |= BytesAt(next, 0) >> held;  // held < 64
    next += (63 - held) >> 3;
    held |= 56;
    for (int i = 0; i < kPerRefill; ++i) {
      const std::uint64_t index = acc >> (64 - HuffmanDecoder::kLookupBits);
      const unsigned total = totals[index];
      const HotEntry h = hot[index];
      if (h.runPlusOne > room) goto done;  // also every symbol the table does not take
      if constexpr (kStores<Out>) {
        out += h.runPlusOne;
        out[-1] = static_cast<Out>(static_cast<std::int64_t>(acc >> (64 - total)) + h.constant);
      }
      room -= h.runPlusOne;
      acc <<= total;
      held -= total;
      if (room == 0) goto done;
    }
  }
done:
  window = {static_cast<std::uint64_t>(next - buffer) * 8 - held, acc, held};
  column = columns - room;
}

}  // namespace

template <typename Out>
ResultCode HuffmanDecoder::WalkRows(BitStream& stream, const RunSizeAlphabet& alphabet, Out* data,
                                    std::uint32_t rows, std::uint32_t columns,
                                    std::size_t stride) const {
  constexpr bool kStore = kStores<Out>;
  using Kind = RunSizeSymbol::Kind;
  // The meaning of every first-level entry. The entries of one code word are consecutive,
  // so each code word is interpreted once. Both tables are kept per thread from one walk to
  // the next, and every entry is written below.
  thread_local std::vector<Meaning> first;
  // The entries' totals once more in a table of bytes: the next symbol waits only on this
  // load, addressed by the index itself, and the rest of the entry is read beside it.
  thread_local std::vector<std::uint8_t> totals;
  thread_local std::vector<HotEntry> hot;
  first.resize(m_lookup.size());
  totals.resize(m_lookup.size());
  hot.resize(m_lookup.size());
  unsigned longestHot = 0;
  for (std::size_t e = 0; e < m_lookup.size();) {
    const std::uint32_t length = m_lookup[e] & kLengthMask;
    if (length == 0) {
      first[e] = Meaning{};
      totals[e] = 0;
      hot[e] = HotEntry{};
      ++e;
      continue;
    }
    // A code word of `length` bits owns the aligned run of entries it starts.
    const RunSizeSymbol s = alphabet.Interpret(m_lookup[e] >> kSymbolShift);
    const int extra = s.kind == Kind::kValue ? s.size : 0;
    const Meaning meaning = {
        s.kind == Kind::kValue ? s.run : kNotAValue, static_cast<std::uint8_t>(length),
        static_cast<std::uint8_t>(length + static_cast<std::uint32_t>(extra)),
        static_cast<std::uint8_t>(64 - extra), static_cast<std::uint8_t>(s.kind)};
    const std::size_t span = std::size_t{1} << (kLookupBits - length);
    std::fill(first.begin() + static_cast<std::ptrdiff_t>(e),
              first.begin() + static_cast<std::ptrdiff_t>(e + span), meaning);
    std::fill_n(totals.begin() + static_cast<std::ptrdiff_t>(e), span, meaning.total);
    for (std::size_t i = e; i < e + span; ++i) {
      hot[i] = HotEntryOf(static_cast<std::uint32_t>(i), meaning);
      if (hot[i].runPlusOne != kNotAValue)
        longestHot = std::max<unsigned>(longestHot, meaning.total);
    }
    e += span;
  }
  // Three symbols follow one refill of the hot loop when every symbol it takes is at most
  // 18 bits long, as with bases of up to 8 bits; two otherwise (at most kHotBits).
  const bool triples = 3 * longestHot <= 56;

  // The bits from the read position on are kept in a window that is loaded afresh from
  // memory (eight bytes at the read position) only when it may no longer hold a whole
  // symbol, its code word and extra bits: so most symbols cost one table lookup and a shift,
  // and a symbol's bits are those of the buffer at its position whichever load brought them.
  // Symbols are read this way while eight whole bytes remain at their position; in the last
  // bytes of the buffer one symbol at a time goes through the stream itself, which checks
  // every bit.
  BitWindow window;
  window.position = stream.BitPosition();
  std::uint64_t& position = window.position;
  std::uint64_t& acc = window.acc;
  unsigned& avail = window.avail;
  const std::uint8_t* const buffer = stream.Data();
  const std::uint64_t windowEnd = stream.Capacity() >= 8 ? (stream.Capacity() - 8) * 8 : 0;
  const std::uint64_t lastLoad = stream.Capacity() >= 8 ? stream.Capacity() - 8 : 0;
  // The longest symbol: a code word of m_longest <= 16 bits and a value of up to P <= 32 bits,
  // within the 57 bits a fresh load holds at least.
  const unsigned symbolBits = static_cast<unsigned>(m_longest + alphabet.Precision());

  for (std::uint32_t r = 0; r < rows; ++r) {
    Out* row = nullptr;
    if constexpr (kStore) {
      // The row is cleared first, so that zero runs, ZRL and EOB only move the column: one
      // pass of wide stores instead of stores of zeros before every value. 16-bit rows come
      // cleared, all in one pass.
      row = data + r * stride;
      if constexpr (!std::is_same_v<Out, std::int16_t>) std::fill(row, row + columns, Out{0});
    }
    std::uint32_t e = 0;
    while (e < columns) {
      if (triples) {
        DecodeValueRun<Out, 3>(hot.data(), totals.data(), buffer, lastLoad, window, row, e,
                               columns);
      } else {
        DecodeValueRun<Out, 2>(hot.data(), totals.data(), buffer, lastLoad, window, row, e,
                               columns);
      }
      if (e >= columns) break;
      RunSizeSymbol s;
      if (position < windowEnd) {
        if (avail < symbolBits) {
          acc = WindowAt(buffer, position);
          avail = 64 - static_cast<unsigned>(position & 7);
        }
        Meaning m = first[acc >> (64 - kLookupBits)];
        if (m.length == 0) {
          // A long code word: the canonical walk over the accumulator's further bits.
          for (int l = kLookupBits + 1; l <= m_longest; ++l) {
            const std::int32_t word = static_cast<std::int32_t>(acc >> (64 - l));
            if (word > m_maxCode[l]) continue;
            const RunSizeSymbol found = alphabet.Interpret(
                m_huffval[static_cast<std::size_t>(m_valPtr[l] + word - m_minCode[l])]);
            const int extra = found.kind == Kind::kValue ? found.size : 0;
            m = {found.kind == Kind::kValue ? found.run : kNotAValue, static_cast<std::uint8_t>(l),
                 static_cast<std::uint8_t>(l + extra), static_cast<std::uint8_t>(64 - extra),
                 static_cast<std::uint8_t>(found.kind)};
            break;
          }
          if (m.length == 0) return kReadFailed;
        }
        const Kind kind = static_cast<Kind>(m.kind);
        if (kind == Kind::kValue) {
          // The common case: the code word and its extra bits in one step.
          if (m.run >= columns - e) return kReadFailed;
          TakeValue<Out>(m, row, e, position, acc, avail);
          continue;
        }
        position += m.length;
        acc <<= m.length;
        avail -= m.length;
        s.kind = kind;
        s.run = kind == Kind::kZeroRun ? alphabet.MaxZeroRun() : 0;
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
          e += s.run;
          std::uint32_t extra;
          if (const ResultCode code = stream.Read(s.size, extra); code != kSuccess) return code;
          position = stream.BitPosition();
          if constexpr (kStore) row[e] = static_cast<Out>(ExtendValue(extra, s.size));
          ++e;
          continue;
        }
      }
      if (s.kind == Kind::kEndOfRow) break;
      if (s.kind == Kind::kReserved) return kReadFailed;
      // ZRL: R zeros, which may fill the row but not pass its end.
      if (s.run > columns - e) return kReadFailed;
      e += s.run;
    }
  }
  stream.Seek(position);
  return kSuccess;
}

ResultCode HuffmanDecoder::DecodeRows(BitStream& stream, const RunSizeAlphabet& alphabet,
                                      double* data, std::uint32_t rows,
                                      std::uint32_t columns) const {
  return WalkRows<double>(stream, alphabet, data, rows, columns, columns);
}

ResultCode HuffmanDecoder::DecodeRows(BitStream& stream, const RunSizeAlphabet& alphabet,
                                      std::int16_t* data, std::uint32_t rows, std::uint32_t columns,
                                      std::size_t stride) const {
  return WalkRows<std::int16_t>(stream, alphabet, data, rows, columns, stride);
}

ResultCode HuffmanDecoder::SkipRows(BitStream& stream, const RunSizeAlphabet& alphabet,
                                    std::uint32_t rows, std::uint32_t columns) const {
  return WalkRows<void>(stream, alphabet, nullptr, rows, columns, columns);
}

}  // namespace orvane
