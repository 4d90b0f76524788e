// The greedy pairing, kept without moving columns. A picked column only leaves the block and
// the column at e only changes place, so each row keeps the largest value over its live
// columns, the column that holds it first in the block's order, and whether another live
// column holds it too. A step then marks the picked column dead, in one mask that searches
// apply to every row, and searches again only the rows whose maximum was in it, or was tied
// and sat at e. The block's order of the columns is kept as a map, and values are never
// written. Given the rows' maxima (so no NaN), the searches go by coarse 16-bit keys of the
// values first.
//
// A block that holds a NaN goes the way of the definition instead, one column move and one
// search per changed row at a time: there a NaN in front of a row is its first maximum.
#include "retrieval/greedy_matching.h"

#include <algorithm>
#include <limits>
#include <vector>

#include <immintrin.h>

#include "foundation/first_maximum.h"

namespace orvane {
namespace {

// A row's largest live value, the physical column of its first holder in the block's order
// and whether another live column holds it as well.
struct Peak {
  double value;
  std::uint32_t column;
  bool tied;
};

// Takes columns that hold the row's largest value, listed by the bits of `holders` (bit b is
// column base + b): the first of all holders in the block's order becomes the peak's column,
// and a second holder marks the peak as tied.
inline void TakeHolders(unsigned holders, std::uint32_t base, const std::uint32_t* position,
                        Peak& peak, bool& found) {
  while (holders != 0) {
    const std::uint32_t c = base + static_cast<std::uint32_t>(__builtin_ctz(holders));
    holders &= holders - 1;
    if (!found) {
      peak.column = c;
      found = true;
    } else {
      peak.tied = true;
      if (position[c] < position[peak.column]) peak.column = c;
    }
  }
}

Peak PeakPortable(const double* row, std::uint32_t k, const std::uint32_t* position, bool& nan) {
  double most = -std::numeric_limits<double>::infinity();
  for (std::uint32_t c = 0; c < k; ++c) {
    nan |= row[c] != row[c];
    most = row[c] > most ? row[c] : most;
  }
  Peak peak{most, 0, false};
  bool found = false;
  for (std::uint32_t c = 0; c < k; ++c) {
    if (row[c] == most) TakeHolders(1u, c, position, peak, found);
  }
  return peak;
}

// The peak of a row whose largest value `most` is known: the first of its holders in the
// block's order, four columns a step.
__attribute__((target("avx2"))) Peak HoldersAvx2(const double* row, std::uint32_t k,
                                                 const std::uint32_t* position, double most) {
  Peak peak{most, 0, false};
  bool found = false;
  const __m256d wanted = _mm256_set1_pd(most);
  std::uint32_t c = 0;
  for (; c + 4 <= k; c += 4) {
    const unsigned holders = static_cast<unsigned>(
        _mm256_movemask_pd(_mm256_cmp_pd(_mm256_loadu_pd(row + c), wanted, _CMP_EQ_OQ)));
    if (holders != 0) TakeHolders(holders, c, position, peak, found);
  }
  for (; c < k; ++c) {
    if (row[c] == most) TakeHolders(1u, c, position, peak, found);
  }
  return peak;
}

// The same, four columns a step: maxpd keeps its second operand when the first is NaN, so
// dead columns never count.
__attribute__((target("avx2"))) Peak PeakAvx2(const double* row, std::uint32_t k,
                                              const std::uint32_t* position, bool& nan) {
  __m256d best0 = _mm256_set1_pd(-std::numeric_limits<double>::infinity()), best1 = best0;
  __m256d unordered = _mm256_setzero_pd();
  std::uint32_t c = 0;
  for (; c + 8 <= k; c += 8) {
    const __m256d x0 = _mm256_loadu_pd(row + c), x1 = _mm256_loadu_pd(row + c + 4);
    best0 = _mm256_max_pd(x0, best0);
    best1 = _mm256_max_pd(x1, best1);
    unordered = _mm256_or_pd(unordered, _mm256_cmp_pd(x0, x1, _CMP_UNORD_Q));
  }
  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, _mm256_max_pd(best0, best1));
  double most = lanes[0];
  for (const double lane : lanes) most = lane > most ? lane : most;
  nan |= _mm256_movemask_pd(unordered) != 0;
  for (std::uint32_t t = c; t < k; ++t) {
    nan |= row[t] != row[t];
    most = row[t] > most ? row[t] : most;
  }
  return HoldersAvx2(row, k, position, most);
}

Peak PeakOf(const double* row, std::uint32_t k, const std::uint32_t* position, bool& nan) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 ? PeakAvx2(row, k, position, nan) : PeakPortable(row, k, position, nan);
}

// The peak of a row whose largest value `most` is known.
Peak HoldersOf(const double* row, std::uint32_t k, const std::uint32_t* position, double most) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return HoldersAvx2(row, k, position, most);
  Peak peak{most, 0, false};
  bool found = false;
  for (std::uint32_t c = 0; c < k; ++c) {
    if (row[c] == most) TakeHolders(1u, c, position, peak, found);
  }
  return peak;
}

// The row's largest value over the columns that `dead` does not mark (all bits set), the
// first of its holders in the block's order and whether it has another one: PeakOf of the
// row with its dead columns NaN.
Peak LivePeakPortable(const double* row, const std::uint64_t* dead, std::uint32_t k,
                      const std::uint32_t* position) {
  double most = -std::numeric_limits<double>::infinity();
  for (std::uint32_t c = 0; c < k; ++c) {
    if (dead[c] == 0) most = row[c] > most ? row[c] : most;
  }
  Peak peak{most, 0, false};
  bool found = false;
  for (std::uint32_t c = 0; c < k; ++c) {
    if (dead[c] == 0 && row[c] == most) TakeHolders(1u, c, position, peak, found);
  }
  return peak;
}

// The same, four columns a step: a dead column's value ORed with all bits set is a NaN, which
// maxpd and the equality never take.
__attribute__((target("avx2"))) Peak LivePeakAvx2(const double* row, const std::uint64_t* dead,
                                                  std::uint32_t k, const std::uint32_t* position) {
  const auto* mask = reinterpret_cast<const double*>(dead);
  __m256d best0 = _mm256_set1_pd(-std::numeric_limits<double>::infinity()), best1 = best0;
  std::uint32_t c = 0;
  for (; c + 8 <= k; c += 8) {
    const __m256d x0 = _mm256_or_pd(_mm256_loadu_pd(row + c), _mm256_loadu_pd(mask + c));
    const __m256d x1 = _mm256_or_pd(_mm256_loadu_pd(row + c + 4), _mm256_loadu_pd(mask + c + 4));
    best0 = _mm256_max_pd(x0, best0);
    best1 = _mm256_max_pd(x1, best1);
  }
  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, _mm256_max_pd(best0, best1));
  double most = lanes[0];
  for (const double lane : lanes) most = lane > most ? lane : most;
  for (std::uint32_t t = c; t < k; ++t) {
    if (dead[t] == 0) most = row[t] > most ? row[t] : most;
  }
  Peak peak{most, 0, false};
  bool found = false;
  const __m256d wanted = _mm256_set1_pd(most);
  for (c = 0; c + 4 <= k; c += 4) {
    const __m256d x = _mm256_or_pd(_mm256_loadu_pd(row + c), _mm256_loadu_pd(mask + c));
    const unsigned holders =
        static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(x, wanted, _CMP_EQ_OQ)));
    if (holders != 0) TakeHolders(holders, c, position, peak, found);
  }
  for (; c < k; ++c) {
    if (dead[c] == 0 && row[c] == most) TakeHolders(1u, c, position, peak, found);
  }
  return peak;
}

Peak LivePeakOf(const double* row, const std::uint64_t* dead, std::uint32_t k,
                const std::uint32_t* position) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 ? LivePeakAvx2(row, dead, k, position) : LivePeakPortable(row, dead, k, position);
}

// Coarse keys of a block whose values are not NaN: 16-bit numbers that never order two
// values the other way round (a larger value has an equal or larger key), and 0 for no
// value. A row's largest live value then has the largest live key, and only the few
// columns that share that key need their values compared: a search of 16-bit lanes, sixteen
// columns a step, instead of one of doubles.
constexpr std::uint32_t kKeyLanes = 16;

inline std::uint16_t KeyOf(double v) {
  const double clamped = std::min(v > 0.0 ? v : 0.0, 1.0);
  return static_cast<std::uint16_t>(1 + static_cast<std::int32_t>(clamped * 65533.0));
}

// Writes the keys of a row of k values to a row of `stride` keys (a multiple of kKeyLanes)
// whose columns past k are 0, eight a step.
__attribute__((target("avx2"))) void KeysAvx2(const double* row, std::uint32_t k,
                                              std::uint32_t stride, std::uint16_t* keys) {
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
  const __m256d scale = _mm256_set1_pd(65533.0);
  const __m128i ones = _mm_set1_epi16(1);
  std::uint32_t c = 0;
  for (; c + 8 <= k; c += 8) {
    const __m256d low = _mm256_min_pd(_mm256_max_pd(_mm256_loadu_pd(row + c), zero), one);
    const __m256d high = _mm256_min_pd(_mm256_max_pd(_mm256_loadu_pd(row + c + 4), zero), one);
    const __m128i packed = _mm_packus_epi32(_mm256_cvttpd_epi32(_mm256_mul_pd(low, scale)),
                                            _mm256_cvttpd_epi32(_mm256_mul_pd(high, scale)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(keys + c), _mm_add_epi16(packed, ones));
  }
  for (; c < k; ++c) keys[c] = KeyOf(row[c]);
  for (; c < stride; ++c) keys[c] = 0;
}

// The largest of sixteen keys.
__attribute__((target("avx2"))) inline std::uint16_t LargestKey(__m256i keys) {
  const __m128i both =
      _mm_max_epu16(_mm256_castsi256_si128(keys), _mm256_extracti128_si256(keys, 1));
  const __m128i flipped = _mm_xor_si128(both, _mm_set1_epi32(-1));
  return static_cast<std::uint16_t>(0xFFFF ^ _mm_extract_epi16(_mm_minpos_epu16(flipped), 0));
}

// Takes the columns of `candidates` (two bits per column from c on, the lower set) as
// holders when their value is the row's largest so far, or ties it.
inline void TakeCandidates(unsigned candidates, std::uint32_t c, const double* row,
                           const std::uint32_t* position, Peak& peak, bool& found) {
  for (candidates &= 0x55555555u; candidates != 0; candidates &= candidates - 1) {
    const std::uint32_t column = c + static_cast<std::uint32_t>(__builtin_ctz(candidates)) / 2;
    const double v = row[column];
    if (v > peak.value) {
      peak = {v, column, false};
      found = true;
    } else if (v == peak.value) {
      TakeHolders(1u, column, position, peak, found);
    }
  }
}

// Sixteen keys from column c on, those of columns that `live` does not hold 0.
__attribute__((target("avx2"))) inline __m256i LiveKeys(const std::uint16_t* keys,
                                                        const std::uint16_t* live,
                                                        std::uint32_t c) {
  return _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(keys + c)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(live + c)));
}

// HoldersOf by the keys: only columns whose key is that of `most` can hold it. Every column
// is live yet, and the keys past k are 0.
__attribute__((target("avx2"))) Peak HoldersByKeysAvx2(const double* row, const std::uint16_t* keys,
                                                       std::uint32_t stride,
                                                       const std::uint32_t* position, double most) {
  Peak peak{most, 0, false};
  bool found = false;
  const __m256i wanted = _mm256_set1_epi16(static_cast<std::int16_t>(KeyOf(most)));
  for (std::uint32_t c = 0; c < stride; c += kKeyLanes) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keys + c));
    unsigned candidates =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(x, wanted))) & 0x55555555u;
    for (; candidates != 0; candidates &= candidates - 1) {
      const std::uint32_t column = c + static_cast<std::uint32_t>(__builtin_ctz(candidates)) / 2;
      if (row[column] == most) TakeHolders(1u, column, position, peak, found);
    }
  }
  return peak;
}

// LivePeakOf by the keys: `live` holds all bits set for a live column and 0 for a picked one
// or one past k.
__attribute__((target("avx2"))) Peak LivePeakByKeysAvx2(const double* row,
                                                        const std::uint16_t* keys,
                                                        const std::uint16_t* live,
                                                        std::uint32_t stride,
                                                        const std::uint32_t* position) {
  __m256i best = _mm256_setzero_si256();
  for (std::uint32_t c = 0; c < stride; c += kKeyLanes)
    best = _mm256_max_epu16(best, LiveKeys(keys, live, c));
  const __m256i wanted = _mm256_set1_epi16(static_cast<std::int16_t>(LargestKey(best)));
  Peak peak{-std::numeric_limits<double>::infinity(), 0, false};
  bool found = false;
  for (std::uint32_t c = 0; c < stride; c += kKeyLanes) {
    const unsigned candidates = static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi16(LiveKeys(keys, live, c), wanted)));
    if (candidates != 0) TakeCandidates(candidates, c, row, position, peak, found);
  }
  return peak;
}

// Sets of rows as bits, `words` words a set, set s at sets + s x words.
struct RowSets {
  std::uint64_t* bits;
  std::uint32_t words;
  std::uint64_t* Set(std::uint32_t s) const { return bits + std::size_t{s} * words; }
  static std::uint64_t Bit(std::uint32_t row) { return std::uint64_t{1} << (row % 64); }
  void Add(std::uint32_t s, std::uint32_t row) const { Set(s)[row / 64] |= Bit(row); }
  void Remove(std::uint32_t s, std::uint32_t row) const { Set(s)[row / 64] &= ~Bit(row); }
  bool Has(std::uint32_t s, std::uint32_t row) const { return (Set(s)[row / 64] & Bit(row)) != 0; }
};

// The picks' mean, step e weighing k - e.
class WeightedPicks {
 public:
  explicit WeightedPicks(std::uint32_t k) : m_k(k) {}
  void Add(std::uint32_t e, double best) {
    const double weight = static_cast<double>(m_k - e);
    m_num += weight * best;
    m_den += weight;
  }
  double Mean() const { return m_num / m_den; }

 private:
  std::uint32_t m_k;
  double m_num = 0.0;
  double m_den = 0.0;
};

// The pairing as defined, for blocks that hold a NaN: rows move by pointer, column e is moved
// into column g in every row that remains, and a row is searched again when its maximum was
// in column e or g.
double MatchByMoves(Tarn::Matrix<double>& m, std::uint32_t k) {
  std::vector<double*> row_of(k);
  for (std::uint32_t r = 0; r < k; ++r) row_of[r] = m.Row(r);
  std::vector<double> row_max(k);
  std::vector<std::uint32_t> row_arg(k);
  const auto search_row = [&](std::uint32_t r, std::uint32_t from) {
    const double* row = row_of[r] + from;
    const std::uint32_t arg = from + FirstMaximum(row, k - from);
    row_max[r] = row_of[r][arg];
    row_arg[r] = arg;
  };
  for (std::uint32_t r = 0; r < k; ++r) search_row(r, 0);
  WeightedPicks picks(k);
  for (std::uint32_t e = 0; e < k; ++e) {
    const std::uint32_t h = e + FirstMaximum(row_max.data() + e, k - e);
    const std::uint32_t g = row_arg[h];
    picks.Add(e, row_max[h]);
    const std::uint32_t from = e + 1;
    if (from >= k) break;
    if (h != e) row_of[h] = row_of[e];
    for (std::uint32_t r = from; r < k; ++r) {
      double* row = row_of[r];
      const double v = row[e];
      row[g] = v;  // a no-op when g == e, where column e leaves the block anyway
      if (r == h || row_arg[r] == e || row_arg[r] == g) {
        search_row(r, from);
        continue;
      }
      // Only the value in column g changed in this row (g > e here, as row_arg[r] != g).
      if (v > row_max[r] || (v == row_max[r] && g < row_arg[r])) {
        row_max[r] = v;
        row_arg[r] = g;
      }
    }
  }
  return picks.Mean();
}

}  // namespace

double GreedyMatch(Tarn::Matrix<double>& m, std::uint32_t k, const double* rowMax) {
  if (k == 0) return 0.0;
  // Kept per thread from one matching to the next: a search matches thousands of blocks.
  struct Scratch {
    std::vector<double*> row_of;
    std::vector<double> row_max;
    std::vector<std::uint32_t> row_column;  // physical column of the first maximum
    // The physical column at each place of the block's order, and the place of each column.
    std::vector<std::uint32_t> column_at, position;
    // All bits set for a picked column (searches without keys); the values themselves are
    // never written.
    std::vector<std::uint64_t> dead;
    // Set c: the rows whose maximum column c holds first; set k: the rows whose maximum
    // another live column holds too; set k + 1: the rows a step searches again. So a step
    // finds those rows without going through the others.
    std::vector<std::uint64_t> sets;
    // With known row maxima: the rows' keys, `stride` a row, and the live columns' mask.
    std::vector<std::uint16_t> keys, live;
    std::vector<const std::uint16_t*> key_of;
  };
  thread_local Scratch scratch;
  const std::uint32_t words = (k + 63) / 64;
  scratch.row_of.resize(k);
  scratch.row_max.resize(k);
  scratch.row_column.resize(k);
  scratch.column_at.resize(k);
  scratch.position.resize(k);
  scratch.dead.assign(k, 0);
  scratch.sets.assign(std::size_t{k + 2} * words, 0);
  double** const row_of = scratch.row_of.data();
  double* const row_max = scratch.row_max.data();
  std::uint32_t* const row_column = scratch.row_column.data();
  std::uint32_t* const column_at = scratch.column_at.data();
  std::uint32_t* const position = scratch.position.data();
  std::uint64_t* const dead = scratch.dead.data();
  const RowSets sets{scratch.sets.data(), words};
  const std::uint32_t tied = k;
  std::uint64_t* const gone = sets.Set(k + 1);
  for (std::uint32_t c = 0; c < k; ++c) column_at[c] = position[c] = c;
  static const bool avx2 = __builtin_cpu_supports("avx2");
  const bool byKeys = rowMax != nullptr && avx2;
  const std::uint32_t stride = (k + kKeyLanes - 1) / kKeyLanes * kKeyLanes;
  const std::uint16_t** key_of = nullptr;
  std::uint16_t* live = nullptr;
  if (byKeys) {
    scratch.key_of.resize(k);
    scratch.live.assign(stride, 0);
    key_of = scratch.key_of.data();
    live = scratch.live.data();
    std::fill_n(live, k, std::uint16_t{0xFFFF});
    scratch.keys.resize(std::size_t{k} * stride);
    for (std::uint32_t r = 0; r < k; ++r) {
      std::uint16_t* const row = scratch.keys.data() + std::size_t{r} * stride;
      KeysAvx2(m.Row(r), k, stride, row);
      key_of[r] = row;
    }
  }
  const auto keep = [&](std::uint32_t r, const Peak& peak) {
    row_max[r] = peak.value;
    row_column[r] = peak.column;
    sets.Add(peak.column, r);
    if (peak.tied) {
      sets.Add(tied, r);
    } else {
      sets.Remove(tied, r);
    }
  };
  bool nan = false;
  for (std::uint32_t r = 0; r < k; ++r) {
    row_of[r] = m.Row(r);
    keep(r, byKeys ? HoldersByKeysAvx2(row_of[r], key_of[r], stride, position, rowMax[r])
            : rowMax != nullptr ? HoldersOf(row_of[r], k, position, rowMax[r])
                                : PeakOf(row_of[r], k, position, nan));
  }
  if (nan) return MatchByMoves(m, k);  // nothing has changed yet
  WeightedPicks picks(k);
  for (std::uint32_t e = 0; e < k; ++e) {
    const std::uint32_t h = e + FirstMaximum(row_max + e, k - e);
    const std::uint32_t picked = row_column[h];
    const std::uint32_t g = position[picked];
    picks.Add(e, row_max[h]);
    const std::uint32_t from = e + 1;
    if (from >= k) break;
    // The picked row leaves; row e moves to h with what is known of it.
    sets.Remove(picked, h);
    sets.Remove(tied, h);
    if (h != e) {
      const std::uint32_t c = row_column[e];
      row_of[h] = row_of[e];
      if (byKeys) key_of[h] = key_of[e];
      row_max[h] = row_max[e];
      row_column[h] = c;
      sets.Remove(c, e);
      sets.Add(c, h);
      if (sets.Has(tied, e)) {
        sets.Remove(tied, e);
        sets.Add(tied, h);
      }
    }
    // The column at e takes g's place in the block's order; the picked column leaves.
    const std::uint32_t moved = column_at[e];
    column_at[g] = moved;
    position[moved] = g;
    if (byKeys) {
      live[picked] = 0;
    } else {
      dead[picked] = ~std::uint64_t{0};
    }
    // A maximum in the picked column is gone. One that sat at e now sits at g, the first of
    // its holders still unless another column holds it too.
    const std::uint64_t* in_picked = sets.Set(picked);
    const std::uint64_t* in_moved = sets.Set(moved);
    const std::uint64_t* in_tied = sets.Set(tied);
    for (std::uint32_t w = 0; w < words; ++w) gone[w] = in_picked[w] | (in_moved[w] & in_tied[w]);
    for (std::uint32_t w = 0; w < words; ++w) {
      for (std::uint64_t bits = gone[w]; bits != 0; bits &= bits - 1) {
        const std::uint32_t r = 64 * w + static_cast<std::uint32_t>(__builtin_ctzll(bits));
        sets.Remove(row_column[r], r);
        keep(r, byKeys ? LivePeakByKeysAvx2(row_of[r], key_of[r], live, stride, position)
                       : LivePeakOf(row_of[r], dead, k, position));
      }
    }
  }
  return picks.Mean();
}

}  // namespace orvane
