#include "pqz/huffman_code.h"

#include <new>
#include <queue>

namespace orvane {
namespace {

constexpr std::uint64_t kMaxCodes = std::uint64_t{1} << kMaxHuffmanCodeLength;

// A live subtree of the merge: its total frequency, the symbol that names it (V1 of its
// last merge, as in the chain form of the procedure) and its node in the merge tree.
struct Subtree {
  std::uint64_t frequency;
  std::uint32_t symbol;
  std::uint32_t node;
};

// Orders the queue so that its top is the least frequency, ties going to the larger symbol.
struct LaterInQueue {
  bool operator()(const Subtree& a, const Subtree& b) const {
    if (a.frequency != b.frequency) return a.frequency > b.frequency;
    return a.symbol < b.symbol;
  }
};

}  // namespace

ResultCode ComputeCodeSizes(const std::vector<std::uint64_t>& frequencies,
                            std::vector<std::uint32_t>& sizes) {
  // The chains of K.1 are the leaves of the merge tree, and lengthening every symbol of two
  // chains by one bit is putting both subtrees under a new node: a code size is the depth of
  // the leaf. A heap finds V1 and V2 in O(log n) where K.1 scans the whole alphabet.
  std::priority_queue<Subtree, std::vector<Subtree>, LaterInQueue> queue;
  std::vector<std::uint32_t> parent;
  std::vector<std::uint32_t> leafOf(frequencies.size(), 0);
  for (std::uint32_t s = 0; s < frequencies.size(); ++s) {
    if (frequencies[s] == 0) continue;
    leafOf[s] = static_cast<std::uint32_t>(parent.size());
    queue.push({frequencies[s], s, leafOf[s]});
    parent.push_back(0);
  }
  if (queue.size() < 2) return kValueNotFound;
  while (queue.size() >= 2) {
    const Subtree v1 = queue.top();
    queue.pop();
    const Subtree v2 = queue.top();
    queue.pop();
    const auto merged = static_cast<std::uint32_t>(parent.size());
    parent[v1.node] = merged;
    parent[v2.node] = merged;
    parent.push_back(merged);  // the root ends as its own parent; it is never read
    queue.push({v1.frequency + v2.frequency, v1.symbol, merged});
  }
  // Parents are made after their children, so one pass from the root down gives depths.
  std::vector<std::uint32_t> depth(parent.size(), 0);
  for (std::size_t n = parent.size() - 1; n-- > 0;) depth[n] = depth[parent[n]] + 1;
  sizes.assign(frequencies.size(), 0);
  for (std::uint32_t s = 0; s < frequencies.size(); ++s) {
    if (frequencies[s] != 0) sizes[s] = depth[leafOf[s]];
  }
  return kSuccess;
}

std::vector<std::uint32_t> CountCodeSizes(const std::vector<std::uint32_t>& sizes) {
  std::uint32_t longest = 0;
  for (const std::uint32_t size : sizes) longest = size > longest ? size : longest;
  std::vector<std::uint32_t> bits(longest + 1, 0);
  for (const std::uint32_t size : sizes) {
    if (size != 0) ++bits[size];
  }
  return bits;
}

void LimitCodeLengths(std::vector<std::uint32_t>& bits) {
  if (bits.size() <= kMaxHuffmanCodeLength + 1) return;
  // A prefix code's longest codes come in sibling pairs. Take such a pair at length i: one
  // of them moves up to replace their parent at i - 1, the other becomes the second child of
  // the shortest code that is still longer-able (length j < i - 1), which moves down to
  // j + 1 together with it. The Kraft sum stays 1 and no code grows beyond i - 1.
  for (std::size_t i = bits.size() - 1; i > kMaxHuffmanCodeLength; --i) {
    while (bits[i] > 0) {
      std::size_t j = i - 2;
      while (bits[j] == 0) --j;
      bits[i] -= 2;
      bits[i - 1] += 1;
      bits[j + 1] += 2;
      bits[j] -= 1;
    }
  }
  std::size_t i = kMaxHuffmanCodeLength;
  while (bits[i] == 0) --i;
  bits[i] -= 1;
}

std::vector<std::uint32_t> SortSymbolsBySize(const std::vector<std::uint32_t>& sizes) {
  const std::vector<std::uint32_t> bits = CountCodeSizes(sizes);
  // Counting sort: next[l] is where the next symbol of size l goes.
  std::vector<std::uint32_t> next(bits.size(), 0);
  for (std::size_t l = 2; l < bits.size(); ++l) next[l] = next[l - 1] + bits[l - 1];
  std::vector<std::uint32_t> huffval(sizes.size(), 0);
  for (std::uint32_t s = 0; s < sizes.size(); ++s) {
    if (sizes[s] != 0) huffval[next[sizes[s]]++] = s;
  }
  return huffval;
}

ResultCode GenerateCodeWords(const std::vector<std::uint32_t>& bits,
                             std::vector<std::uint16_t>& codes,
                             std::vector<std::uint8_t>& lengths) {
  codes.clear();
  lengths.clear();
  if (!bits.empty() && bits[0] != 0) return kReadFailed;
  std::uint32_t code = 0;
  for (std::size_t l = 1; l < bits.size(); ++l) {
    if (bits[l] != 0 && l > kMaxHuffmanCodeLength) return kReadFailed;
    // Codes of length l are code .. code + bits[l] - 1; all must stay below 2^l.
    if (l <= kMaxHuffmanCodeLength && bits[l] > (std::uint32_t{1} << l) - code) {
      return kReadFailed;
    }
    for (std::uint32_t k = 0; k < bits[l]; ++k) {
      codes.push_back(static_cast<std::uint16_t>(code++));
      lengths.push_back(static_cast<std::uint8_t>(l));
    }
    if (l < kMaxHuffmanCodeLength + 1) code <<= 1;
  }
  return kSuccess;
}

ResultCode HuffmanCode::Build(const std::vector<std::uint64_t>& frequencies) {
  try {
    std::vector<std::uint32_t> sizes;
    if (const ResultCode code = ComputeCodeSizes(frequencies, sizes); code != kSuccess) {
      return code;
    }
    std::uint64_t used = 0;
    for (const std::uint64_t f : frequencies) used += f != 0 ? 1 : 0;
    if (used > kMaxCodes) return kInvalidValues;
    m_bits = CountCodeSizes(sizes);
    LimitCodeLengths(m_bits);
    m_huffval = SortSymbolsBySize(sizes);
    std::vector<std::uint16_t> codes;
    std::vector<std::uint8_t> lengths;
    if (const ResultCode code = GenerateCodeWords(m_bits, codes, lengths); code != kSuccess) {
      return code;
    }
    // C.3: the k-th code word belongs to the k-th symbol of HUFFVAL.
    m_table.assign(frequencies.size(), HuffmanCodeWord{});
    for (std::size_t k = 0; k < codes.size(); ++k) {
      m_table[m_huffval[k]] = {codes[k], lengths[k]};
    }
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  return kSuccess;
}

}  // namespace orvane
