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

// The run of an entry that is not a value symbol, and the step of one the hot loop does not
// take: more than any row has room for, so that one comparison stops the hot loop there.
constexpr std::uint32_t kNotAValue = UINT32_MAX;

// What one code word stands for, ready for the row walk.
struct Meaning {
  std::uint32_t run = kNotAValue;  // zeros before the value of a value symbol
  std::uint8_t length = 0;         // code word bits; 0 when the entry needs the long walk
  std::uint8_t total = 0;          // code word and extra bits
  std::uint8_t drop = 64;          // 64 - k for a value of k extra bits
  std::uint8_t kind = 0;           // a RunSizeSymbol::Kind
};
static_assert(sizeof(Meaning) == 8);

// The meaning of symbol `s` after a code word of `length` bits.
inline Meaning MeaningOf(const RunSizeSymbol& s, unsigned length) {
  const bool value = s.kind == RunSizeSymbol::Kind::kValue;
  const unsigned extra = value ? static_cast<unsigned>(s.size) : 0;
  return {value ? s.run : kNotAValue, static_cast<std::uint8_t>(length),
          static_cast<std::uint8_t>(length + extra), static_cast<std::uint8_t>(64 - extra),
          static_cast<std::uint8_t>(s.kind)};
}

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

// A first-level entry as the hot loop takes it. A value symbol whose code word is shorter
// than the index, so that the index also holds its first extra bit, and which is at most
// kHotBits long: its value is its code word and extra bits read as one number plus a
// constant of the entry (the extra bits are that number less the code word shifted past
// them, and the first extra bit tells whether ExtendValue subtracts 2^k - 1). EOB and a ZRL
// of at least one zero, of any short code word, write a zero as the last column they move
// over, which already holds one.
struct HotEntry {
  // The columns a value symbol or ZRL moves over; 0 for EOB, which moves to the end of the
  // row; kNotAValue for the rest.
  std::uint32_t step = kNotAValue;
  std::int32_t constant = 0;
};
static_assert(sizeof(HotEntry) == 8);

constexpr unsigned kHotBits = 28;

// The hot entries of every first-level index, field by field, and their totals: the next
// symbol waits only on the load of its total, addressed by the index itself, and the rest
// is read beside it.
struct HotTable {
  static constexpr std::size_t kEntries = std::size_t{1} << HuffmanDecoder::kLookupBits;
  std::array<std::uint8_t, kEntries> totals;
  std::array<std::uint32_t, kEntries> steps;
  std::array<std::int32_t, kEntries> constants;
  // Entries from..from+count-1.
  void Set(std::size_t from, std::size_t count, std::uint8_t total, const HotEntry& entry) {
    std::fill_n(totals.begin() + static_cast<std::ptrdiff_t>(from), count, total);
    std::fill_n(steps.begin() + static_cast<std::ptrdiff_t>(from), count, entry.step);
    std::fill_n(constants.begin() + static_cast<std::ptrdiff_t>(from), count, entry.constant);
  }
};

// The hot entry of a first-level entry `index` with meaning `m`; `zeroRun` is R.
HotEntry HotEntryOf(std::uint32_t index, const Meaning& m, std::uint32_t zeroRun) {
  using Kind = RunSizeSymbol::Kind;
  const unsigned below = HuffmanDecoder::kLookupBits - m.length;
  const std::int64_t code = index >> below;
  const auto kind = static_cast<Kind>(m.kind);
  if (kind == Kind::kEndOfRow) return {0, static_cast<std::int32_t>(-code)};
  if (kind == Kind::kZeroRun) {
    if (zeroRun == 0) return {};
    return {zeroRun, static_cast<std::int32_t>(-code)};
  }
  const unsigned extra = m.total - m.length;
  if (kind != Kind::kValue || m.length >= HuffmanDecoder::kLookupBits || m.total > kHotBits ||
      extra == 0) {
    return {};
  }
  const bool positive = ((index >> (below - 1)) & 1) != 0;
  const std::int64_t offset = positive ? 0 : -((std::int64_t{1} << extra) - 1);
  return {m.run + 1, static_cast<std::int32_t>(offset - (code << extra))};
}

// The hot loop's values, few enough to stay in registers. `acc` holds the stream's bits from
// the read position on, `held` of them counted, and `next` is the byte that starts right
// after them (next x 8 = position + held); `room` is what is left of the row and `out` its
// next column. A walk may go on into `rowsAfter` further rows, `gap` values after the end of
// each row.
template <typename Out>
struct HotLane {
  const HotTable* table;
  const std::uint8_t* next;
  const std::uint8_t* last;
  std::uint64_t acc;
  unsigned held;
  std::uint32_t room;
  std::uint32_t columns;
  std::uint32_t rowsAfter;
  std::size_t gap;
  Out* out;
};

// Every refill ORs in the eight bytes at `next` below the counted bits, bringing `held` to
// 56 or more, so the refill needs no branch, and its load, whose address the previous refill
// set, does not wait for the symbols in between.
template <typename Out>
inline void Refill(HotLane<Out>& l) {
  l.acc |= BytesAt(l.next, 0) >> l.held;  // held < 64
  l.next += (63 - l.held) >> 3;
  l.held |= 56;
}

// The columns a symbol of step `step` moves over in a row with `room` left: EOB (0) takes the
// rest of the row. With walks side by side, a select rather than the branch GCC makes, which
// there costs register moves on every symbol; alone the branch is faster.
template <int N>
inline std::uint32_t StepOrRest(std::uint32_t step, std::uint32_t room) {
#if defined(__x86_64__)
  if constexpr (N > 1) {
    asm("test %k[s], %k[s]\n\tcmovz %k[r], %k[s]" : [s] "+r"(step) : [r] "r"(room) : "cc");
    return step;
  }
#endif
  return step != 0 ? step : room;
}

// One symbol of a lane; false when the lane stops, before a symbol it does not take or at
// the end of its last row.
template <typename Out, int N>
inline bool TakeHot(HotLane<Out>& l) {
  const std::uint64_t index = l.acc >> (64 - HuffmanDecoder::kLookupBits);
  const unsigned total = l.table->totals[index];
  const HotEntry h{l.table->steps[index], l.table->constants[index]};
  if (h.step > l.room) return false;  // also every symbol the table does not take
  const std::uint32_t step = StepOrRest<N>(h.step, l.room);
  if constexpr (kStores<Out>) {
    l.out += step;
    // The code word and its extra bits: acc >> (64 - total), total being 1..kHotBits; side by
    // side the shift count is taken as -total modulo 64, one instruction fewer.
    const unsigned drop = N > 1 ? (0u - total) & 63 : 64 - total;
    l.out[-1] = static_cast<Out>(static_cast<std::int64_t>(l.acc >> drop) + h.constant);
  }
  l.room -= step;
  l.acc <<= total;
  l.held -= total;
  if (l.room != 0) return true;
  if (l.rowsAfter == 0) return false;
  --l.rowsAfter;
  if constexpr (kStores<Out>) l.out += l.gap;
  l.room = l.columns;
  return true;
}

// The hot loop of the row walk for N independent walks at once, a symbol of each in turn:
// the symbols that the hot table takes whose run stays inside the row, for as long as they
// come, the rows last and the buffer holds eight bytes past the bits in hand. Each symbol
// waits on the one before it in its own stream only, so the processor works on all of them.
// Stops before any other symbol, which the caller then decodes and checks its own way, and
// at the end of the last row a walk may enter, as soon as any walk would stop; each walk's
// state is then what the loop alone would have left after the same symbols. kPerRefill
// symbols of at most 56 / kPerRefill bits each follow one refill.
template <typename Out, int kPerRefill, int N>
__attribute__((always_inline)) inline void RunLanes(HotLane<Out> (&lanes)[N]) {
  for (;;) {
    for (int k = 0; k < N; ++k) {
      if (lanes[k].next > lanes[k].last) return;
    }
    for (int k = 0; k < N; ++k) Refill(lanes[k]);
    for (int i = 0; i < kPerRefill; ++i) {
      for (int k = 0; k < N; ++k) {
        if (!TakeHot<Out, N>(lanes[k])) return;
      }
    }
  }
}

// RunLanes on copies of the lanes, so that their values live in registers rather than in
// the caller's memory; in a function of its own (below), one for each instruction set.
template <typename Out, int kPerRefill, int N>
__attribute__((always_inline)) inline void RunOnCopies(HotLane<Out> (&lanes)[N]) {
  HotLane<Out> local[N];
  for (int k = 0; k < N; ++k) local[k] = lanes[k];
  RunLanes<Out, kPerRefill, N>(local);
  for (int k = 0; k < N; ++k) lanes[k] = local[k];
}

template <typename Out, int kPerRefill, int N>
__attribute__((noinline)) void RunLaneCopies(HotLane<Out> (&lanes)[N]) {
  RunOnCopies<Out, kPerRefill, N>(lanes);
}

// The same with BMI2's shifts by a register, which leave the flags and the count register
// alone: fewer instructions a symbol.
template <typename Out, int kPerRefill, int N>
__attribute__((target("bmi2"), noinline)) void RunLaneCopiesBmi2(HotLane<Out> (&lanes)[N]) {
  RunOnCopies<Out, kPerRefill, N>(lanes);
}

template <typename Out, int kPerRefill, int N>
void DecodeValueRunsTogether(HotLane<Out> (&lanes)[N]) {
  static const bool bmi2 = __builtin_cpu_supports("bmi2");
  if (bmi2) {
    RunLaneCopiesBmi2<Out, kPerRefill, N>(lanes);
  } else {
    RunLaneCopies<Out, kPerRefill, N>(lanes);
  }
}

// One walk alone, inline: a walk into doubles clears and enters its rows one at a time, and a
// call for every row would cost more than the shifts save.
template <typename Out, int kPerRefill>
void DecodeValueRun(HotLane<Out>& l) {
  HotLane<Out> lane[1] = {l};
  RunLanes<Out, kPerRefill, 1>(lane);
  l = lane[0];
}

}  // namespace

namespace {

// The tables of one walk, filled from the decoder's first-level table and the alphabet.
struct WalkTables {
  HotTable table;
  // Whether three symbols follow one refill of the hot loop: every symbol it takes is at
  // most 18 bits long, as with bases of up to 8 bits; two otherwise (at most kHotBits).
  bool triples = false;
};

// One section's walk over its rows, kept between runs of the hot loop and the symbols taken
// one at a time.
//
// The bits from the read position on are kept in a window that is loaded afresh from memory
// (eight bytes at the read position) only when it may no longer hold a whole symbol, its
// code word and extra bits: so most symbols cost one table lookup and a shift, and a
// symbol's bits are those of the buffer at its position whichever load brought them.
// Symbols are read this way while eight whole bytes remain at their position; in the last
// bytes of the buffer one symbol at a time goes through the stream itself, which checks
// every bit.
template <typename Out>
struct RowWalk {
  BitStream* stream = nullptr;
  const RunSizeAlphabet* alphabet = nullptr;
  const WalkTables* tables = nullptr;
  const std::uint8_t* buffer = nullptr;
  std::uint64_t windowEnd = 0;
  std::uint64_t lastLoad = 0;
  unsigned symbolBits = 0;  // the longest symbol, code word and value
  Out* data = nullptr;
  std::uint32_t rows = 0;
  std::uint32_t columns = 0;
  std::size_t stride = 0;
  BitWindow window;
  std::uint32_t r = 0;  // the row being walked
  std::uint32_t e = 0;  // its next column
  Out* row = nullptr;
};

// Whether the hot loop can start on the walk: room in the row and eight bytes in the buffer
// past the read position.
template <typename Out>
inline bool CanRunHot(const RowWalk<Out>& w) {
  return w.e < w.columns && (w.window.position >> 3) + 7 <= w.lastLoad;
}

// Whether the hot loop takes the walk's next symbol, all of whose bits are in hand.
template <typename Out>
inline bool NextIsHot(const RowWalk<Out>& w) {
  if (!CanRunHot(w)) return false;
  const std::uint64_t index = w.window.acc >> (64 - HuffmanDecoder::kLookupBits);
  const std::uint32_t step = w.tables->table.steps[index];
  return w.tables->table.totals[index] <= w.window.avail && step != kNotAValue &&
         step <= w.columns - w.e;
}

// The hot loop's values for the walk. Rows of 16 bits come cleared, so the loop may go on
// into the next rows; other rows are cleared one at a time when they start.
template <typename Out>
inline HotLane<Out> LaneOf(const RowWalk<Out>& w) {
  const std::uint64_t start = w.window.position;
  HotLane<Out> l{};
  l.table = &w.tables->table;
  l.next = w.buffer + (start >> 3) + 7;
  l.last = w.buffer + w.lastLoad;
  l.acc = WindowAt(w.buffer, start);
  l.held = 56 - static_cast<unsigned>(start & 7);
  l.room = w.columns - w.e;
  l.columns = w.columns;
  l.rowsAfter = std::is_same_v<Out, std::int16_t> ? w.rows - 1 - w.r : 0;
  l.gap = w.stride - w.columns;
  if constexpr (kStores<Out>) l.out = w.row + w.e;
  return l;
}

// Takes the walk on to where the lane stopped.
template <typename Out>
inline void FromLane(const HotLane<Out>& l, RowWalk<Out>& w) {
  w.window = {static_cast<std::uint64_t>(l.next - w.buffer) * 8 - l.held, l.acc, l.held};
  if constexpr (std::is_same_v<Out, std::int16_t>) {
    const std::uint32_t crossed = (w.rows - 1 - w.r) - l.rowsAfter;
    if (crossed != 0) {
      w.r += crossed;
      w.row = w.data + w.r * w.stride;
    }
  }
  w.e = w.columns - l.room;
}

// The hot loop over the walk's present row and, for 16-bit rows, the rows after it.
template <typename Out>
inline void HotRun(RowWalk<Out>& w) {
  if (!CanRunHot(w)) return;
  HotLane<Out> l = LaneOf(w);
  if (w.tables->triples) {
    DecodeValueRun<Out, 3>(l);
  } else {
    DecodeValueRun<Out, 2>(l);
  }
  FromLane(l, w);
}

// Sets up row r. The row is cleared first, so that zero runs, ZRL and EOB only move the
// column: one pass of wide stores instead of stores of zeros before every value. 16-bit rows
// come cleared, all in one pass.
template <typename Out>
inline void StartRow(RowWalk<Out>& w) {
  w.e = 0;
  if constexpr (kStores<Out>) {
    w.row = w.data + w.r * w.stride;
    if constexpr (!std::is_same_v<Out, std::int16_t>) std::fill(w.row, w.row + w.columns, Out{0});
  }
}

// Moves on to the next row once the present one is full; false when every row is.
template <typename Out>
inline bool RowLeft(RowWalk<Out>& w) {
  if (w.e < w.columns) return true;
  if (++w.r >= w.rows) return false;
  StartRow(w);
  return true;
}

}  // namespace

// The walk's parts that need the decoder's canonical tables.
struct HuffmanRowWalk {
  static void FillTables(const HuffmanDecoder& d, const RunSizeAlphabet& alphabet, WalkTables& t) {
    const std::size_t size = d.m_lookup.size();
    unsigned longestHot = 0;
    for (std::size_t e = 0; e < size;) {
      const std::uint32_t length = d.m_lookup[e] & HuffmanDecoder::kLengthMask;
      if (length == 0) {
        t.table.Set(e, 1, 0, HotEntry{});
        ++e;
        continue;
      }
      // A code word of `length` bits owns the aligned run of entries it starts. Its hot
      // entries differ only by the first bit after it, which splits the run in halves.
      const Meaning meaning =
          MeaningOf(alphabet.Interpret(d.m_lookup[e] >> HuffmanDecoder::kSymbolShift), length);
      const std::size_t span = std::size_t{1} << (HuffmanDecoder::kLookupBits - length);
      const std::size_t half = span > 1 ? span / 2 : span;
      for (std::size_t h = e; h < e + span; h += half) {
        const HotEntry entry =
            HotEntryOf(static_cast<std::uint32_t>(h), meaning, alphabet.MaxZeroRun());
        t.table.Set(h, half, meaning.total, entry);
        if (entry.step != kNotAValue) longestHot = std::max<unsigned>(longestHot, meaning.total);
      }
      e += span;
    }
    t.triples = 3 * longestHot <= 56;
  }

  // Sets up the walk of `rows` rows from the stream's position; false when there are none.
  template <typename Out>
  static bool Begin(const HuffmanDecoder& d, BitStream& stream, const RunSizeAlphabet& alphabet,
                    const WalkTables& tables, Out* data, std::uint32_t rows, std::uint32_t columns,
                    std::size_t stride, RowWalk<Out>& w) {
    w.stream = &stream;
    w.alphabet = &alphabet;
    w.tables = &tables;
    w.buffer = stream.Data();
    w.windowEnd = stream.Capacity() >= 8 ? (stream.Capacity() - 8) * 8 : 0;
    w.lastLoad = stream.Capacity() >= 8 ? stream.Capacity() - 8 : 0;
    // A code word of m_longest <= 16 bits and a value of up to P <= 32 bits, within the 57
    // bits a fresh load holds at least.
    w.symbolBits = static_cast<unsigned>(d.m_longest + alphabet.Precision());
    w.data = data;
    w.rows = rows;
    w.columns = columns;
    w.stride = stride;
    w.window = BitWindow{};
    w.window.position = stream.BitPosition();
    w.r = 0;
    if (rows == 0) return false;
    StartRow(w);
    return true;
  }

  // Takes the symbol at the read position, which the hot loop left, in the row that has
  // room: 14 for the reserved symbol, a run past the row's end or a code word that matches
  // nothing; bit stream failures are passed on.
  template <typename Out>
  static ResultCode Symbol(const HuffmanDecoder& d, RowWalk<Out>& w) {
    using Kind = RunSizeSymbol::Kind;
    constexpr int kLookupBits = HuffmanDecoder::kLookupBits;
    std::uint64_t& position = w.window.position;
    std::uint64_t& acc = w.window.acc;
    unsigned& avail = w.window.avail;
    const RunSizeAlphabet& alphabet = *w.alphabet;
    const std::uint32_t columns = w.columns;
    std::uint32_t& e = w.e;
    RunSizeSymbol s;
    if (position < w.windowEnd) {
      if (avail < w.symbolBits) {
        acc = WindowAt(w.buffer, position);
        avail = 64 - static_cast<unsigned>(position & 7);
      }
      const std::uint32_t entry = d.m_lookup[acc >> (64 - kLookupBits)];
      Meaning m;
      if (const unsigned length = entry & HuffmanDecoder::kLengthMask; length != 0) {
        m = MeaningOf(alphabet.Interpret(entry >> HuffmanDecoder::kSymbolShift), length);
      } else {
        // A long code word: the canonical walk over the accumulator's further bits.
        for (int l = kLookupBits + 1; l <= d.m_longest; ++l) {
          const std::int32_t word = static_cast<std::int32_t>(acc >> (64 - l));
          if (word > d.m_maxCode[l]) continue;
          m = MeaningOf(
              alphabet.Interpret(
                  d.m_huffval[static_cast<std::size_t>(d.m_valPtr[l] + word - d.m_minCode[l])]),
              static_cast<unsigned>(l));
          break;
        }
        if (m.length == 0) return kReadFailed;
      }
      const Kind kind = static_cast<Kind>(m.kind);
      if (kind == Kind::kValue) {
        // The common case: the code word and its extra bits in one step.
        if (m.run >= columns - e) return kReadFailed;
        TakeValue<Out>(m, w.row, e, position, acc, avail);
        return kSuccess;
      }
      position += m.length;
      acc <<= m.length;
      avail -= m.length;
      s.kind = kind;
      s.run = kind == Kind::kZeroRun ? alphabet.MaxZeroRun() : 0;
    } else {
      BitStream& stream = *w.stream;
      std::uint32_t symbol;
      stream.Seek(position);
      if (const ResultCode code = d.DecodeCanonical(stream, symbol); code != kSuccess) {
        return code;
      }
      s = alphabet.Interpret(symbol);
      position = stream.BitPosition();
      if (s.kind == Kind::kValue) {
        // Checked as below; the extra bits come from the stream.
        if (s.run >= columns - e) return kReadFailed;
        e += s.run;
        std::uint32_t extra;
        if (const ResultCode code = stream.Read(s.size, extra); code != kSuccess) return code;
        position = stream.BitPosition();
        if constexpr (kStores<Out>) w.row[e] = static_cast<Out>(ExtendValue(extra, s.size));
        ++e;
        return kSuccess;
      }
    }
    if (s.kind == Kind::kEndOfRow) {
      e = columns;
      return kSuccess;
    }
    if (s.kind == Kind::kReserved) return kReadFailed;
    // ZRL: R zeros, which may fill the row but not pass its end.
    if (s.run > columns - e) return kReadFailed;
    e += s.run;
    return kSuccess;
  }

  // Walks the rest of the rows alone.
  template <typename Out>
  static ResultCode Finish(const HuffmanDecoder& d, RowWalk<Out>& w) {
    for (;;) {
      HotRun(w);
      if (w.e < w.columns) {
        if (const ResultCode code = Symbol(d, w); code != kSuccess) return code;
      }
      if (!RowLeft(w)) break;
    }
    w.stream->Seek(w.window.position);
    return kSuccess;
  }

  // The hot loops of N walks at once.
  template <typename Out, int N>
  static void HotRunsTogether(RowWalk<Out>* const* walk) {
    bool triples = true;
    for (int k = 0; k < N; ++k) {
      if (!CanRunHot(*walk[k])) return;
      triples = triples && walk[k]->tables->triples;
    }
    HotLane<Out> lanes[N];
    for (int k = 0; k < N; ++k) lanes[k] = LaneOf(*walk[k]);
    if (triples) {
      DecodeValueRunsTogether<Out, 3>(lanes);
    } else {
      DecodeValueRunsTogether<Out, 2>(lanes);
    }
    for (int k = 0; k < N; ++k) FromLane(lanes[k], *walk[k]);
  }

  // Walks the N live walks side by side until one ends, then the others the same way.
  template <typename Out, int N>
  static void RunTogether(RowWalk<Out>* const* walk, HuffmanDecoder::RowsJob<Out>* const* job) {
    if constexpr (N == 1) {
      job[0]->result = Finish(*job[0]->decoder, *walk[0]);
    } else {
      bool live[N];
      for (bool& l : live) l = true;
      bool all = true;
      while (all) {
        HotRunsTogether<Out, N>(walk);
        // The walk that stopped takes its next symbol the slow way; so does any other whose
        // next symbol its hot loop would not take either.
        for (int k = 0; k < N; ++k) {
          RowWalk<Out>& w = *walk[k];
          if (w.e < w.columns && !NextIsHot(w)) {
            const ResultCode code = Symbol(*job[k]->decoder, w);
            if (code != kSuccess) {
              job[k]->result = code;
              live[k] = all = false;
              continue;
            }
          }
          if (!RowLeft(w)) {
            w.stream->Seek(w.window.position);
            live[k] = all = false;
          }
        }
      }
      RowWalk<Out>* rest[N - 1];
      HuffmanDecoder::RowsJob<Out>* restJobs[N - 1];
      int n = 0;
      for (int k = 0; k < N; ++k) {
        if (!live[k]) continue;
        rest[n] = walk[k];
        restJobs[n++] = job[k];
      }
      RunLive<Out, N - 1>(rest, restJobs, n);
    }
  }

  // RunTogether of the first `live` of up to N walks.
  template <typename Out, int N>
  static void RunLive(RowWalk<Out>* const* walk, HuffmanDecoder::RowsJob<Out>* const* job,
                      int live) {
    if (live == N) {
      RunTogether<Out, N>(walk, job);
    } else if constexpr (N > 1) {
      RunLive<Out, N - 1>(walk, job, live);
    }
  }

  template <typename Out>
  static void WalkTogether(HuffmanDecoder::RowsJob<Out>* jobs, int count) {
    thread_local WalkTables tables[HuffmanDecoder::kMaxWalksTogether];
    RowWalk<Out> walks[HuffmanDecoder::kMaxWalksTogether];
    RowWalk<Out>* walk[HuffmanDecoder::kMaxWalksTogether];
    HuffmanDecoder::RowsJob<Out>* job[HuffmanDecoder::kMaxWalksTogether];
    int live = 0;
    for (int k = 0; k < count; ++k) {
      HuffmanDecoder::RowsJob<Out>& j = jobs[k];
      FillTables(*j.decoder, *j.alphabet, tables[k]);
      j.result = kSuccess;
      if (Begin(*j.decoder, *j.stream, *j.alphabet, tables[k], j.data, j.rows, j.columns, j.stride,
                walks[k])) {
        walk[live] = &walks[k];
        job[live++] = &j;
      }
    }
    RunLive<Out, HuffmanDecoder::kMaxWalksTogether>(walk, job, live);
  }

  template <typename Out>
  static ResultCode Walk(const HuffmanDecoder& d, BitStream& stream,
                         const RunSizeAlphabet& alphabet, Out* data, std::uint32_t rows,
                         std::uint32_t columns, std::size_t stride) {
    // Kept per thread from one walk to the next; every entry is written.
    thread_local WalkTables tables;
    FillTables(d, alphabet, tables);
    RowWalk<Out> w;
    if (!Begin(d, stream, alphabet, tables, data, rows, columns, stride, w)) return kSuccess;
    return Finish(d, w);
  }
};

ResultCode HuffmanDecoder::DecodeRows(BitStream& stream, const RunSizeAlphabet& alphabet,
                                      double* data, std::uint32_t rows,
                                      std::uint32_t columns) const {
  return HuffmanRowWalk::Walk<double>(*this, stream, alphabet, data, rows, columns, columns);
}

namespace {

// Whether values of the alphabet fit 16-bit rows `stride` values apart.
bool FitsSmallRows(const RunSizeAlphabet& alphabet, std::uint32_t columns, std::size_t stride) {
  return alphabet.Precision() <= 15 && stride >= columns;
}

}  // namespace

ResultCode HuffmanDecoder::DecodeRows(BitStream& stream, const RunSizeAlphabet& alphabet,
                                      std::int16_t* data, std::uint32_t rows, std::uint32_t columns,
                                      std::size_t stride) const {
  if (!FitsSmallRows(alphabet, columns, stride)) return kInvalidValues;
  return HuffmanRowWalk::Walk<std::int16_t>(*this, stream, alphabet, data, rows, columns, stride);
}

void HuffmanDecoder::DecodeRowsTogether(SmallRows* jobs, std::size_t count) {
  while (count > 0) {
    const std::size_t n = std::min<std::size_t>(count, kMaxWalksTogether);
    bool fit = true;
    for (std::size_t k = 0; k < n; ++k) {
      fit = fit && FitsSmallRows(*jobs[k].alphabet, jobs[k].columns, jobs[k].stride);
    }
    if (fit) {
      HuffmanRowWalk::WalkTogether<std::int16_t>(jobs, static_cast<int>(n));
    } else {
      for (std::size_t k = 0; k < n; ++k) {
        SmallRows& j = jobs[k];
        j.result =
            j.decoder->DecodeRows(*j.stream, *j.alphabet, j.data, j.rows, j.columns, j.stride);
      }
    }
    jobs += n;
    count -= n;
  }
}

void HuffmanDecoder::DecodeRowsTogether(WideRows* jobs, std::size_t count) {
  while (count > 0) {
    const std::size_t n = std::min<std::size_t>(count, kMaxWalksTogether);
    HuffmanRowWalk::WalkTogether<double>(jobs, static_cast<int>(n));
    jobs += n;
    count -= n;
  }
}

ResultCode HuffmanDecoder::SkipRows(BitStream& stream, const RunSizeAlphabet& alphabet,
                                    std::uint32_t rows, std::uint32_t columns) const {
  return HuffmanRowWalk::Walk<void>(*this, stream, alphabet, nullptr, rows, columns, columns);
}

}  // namespace orvane
