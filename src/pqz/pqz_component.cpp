#include "pqz/pqz_component.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "foundation/parallel_shares.h"
#include "pqz/deflate_coding.h"
#include "pqz/huffman_code.h"
#include "pqz/huffman_decoder.h"
#include "pqz/little_endian.h"
#include "pqz/run_size_symbols.h"
#include "pqz/stream_io.h"

namespace orvane {
namespace {

// A Coding 0 row of zeros is one EOB, a single bit, however long the row: the payload bounds
// the number of rows but not their length. The length is paid for by the rest of the file
// (the patches of the averages by the coefficient rows, and so on), so the whole file is the
// budget: at most this many values per bit of it. An honest file stays far below: a plain
// one-colour image with 8 x 8 patches and 192 bases decodes at most 192 values per bit.
constexpr std::uint64_t kMaxValuesPerFileBit = 256;

// Values of one row decoded at a time when a walk only looks for where rows end.
constexpr std::uint32_t kColumnChunk = 65536;

// Largest payload a section's int32 length field can state.
constexpr std::uint64_t kMaxPayload = std::numeric_limits<std::int32_t>::max();

// Rows below which counting the symbols on another thread costs more than it saves.
constexpr std::uint32_t kRowsPerCountingShare = 8192;

}  // namespace

std::uint32_t CPQZComponent::PayloadLength() const {
  const std::size_t length =
      m_bits.Length() + (m_coding == kCodingDeflate ? m_deflate.size() : std::size_t{0});
  return static_cast<std::uint32_t>(length);
}

void CPQZComponent::SetCodingParameters(std::int32_t precision, std::int32_t maxZeroRun) {
  m_block.Precision = precision;
  m_block.MaxZeroRun = maxZeroRun;
}

ResultCode CPQZComponent::SizeFromHeader(const PqzHeader& header) {
  if (const ResultCode code = CheckPqzHeaderSizes(header); code != kSuccess) return code;
  m_header = header;
  ShapeFromHeader(header, m_shapeRows, m_shapeColumns);
  Resize(0, 0);
  m_loaded = false;
  return kSuccess;
}

// ---------------------------------------------------------------------------------------
// Tables

ResultCode CPQZComponent::StoreTable(const std::vector<std::uint32_t>& values, std::int32_t& count,
                                     std::int32_t& bits) {
  if (values.size() > kMaxPayload) return kInvalidValues;
  const std::uint32_t largest =
      values.empty() ? 0 : *std::max_element(values.begin(), values.end());
  count = static_cast<std::int32_t>(values.size());
  bits = BitLength(largest);
  for (const std::uint32_t v : values) {
    if (const ResultCode code = m_bits.Write(v, bits); code != kSuccess) return code;
  }
  return kSuccess;
}

ResultCode CPQZComponent::LoadTable(std::int32_t count, std::int32_t bits,
                                    std::vector<std::uint32_t>& out) {
  // Read checked count >= 0, 0 <= bits <= 32 and that count x bits fits the payload.
  try {
    out.resize(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  for (std::uint32_t& v : out) {
    if (const ResultCode code = m_bits.Read(bits, v); code != kSuccess) return code;
  }
  return kSuccess;
}

ResultCode CPQZComponent::StoreStepTable(const std::vector<std::uint32_t>& steps) {
  return StoreTable(steps, m_block.StepCount, m_block.StepBits);
}

ResultCode CPQZComponent::LoadStepTable(std::vector<std::uint32_t>& steps) {
  return LoadTable(m_block.StepCount, m_block.StepBits, steps);
}

// ---------------------------------------------------------------------------------------
// Encoding

ResultCode CPQZComponent::Compress() {
  if (m_coding != kCodingHuffman && m_coding != kCodingDeflate) return kUnsupportedVersion;
  if (!RunSizeAlphabet::IsValid(m_block.Precision, m_block.MaxZeroRun)) return kInvalidValues;
  if (const auto* steps = Steps(); steps != nullptr && steps->size() != Rows()) {
    return kInvalidValues;
  }
  m_loaded = false;
  m_bits.Clear();
  m_deflate.clear();
  m_block.StepCount = m_block.StepBits = 0;
  m_block.BitsCount = m_block.BitsBits = 0;
  m_block.HuffvalCount = m_block.HuffvalBits = 0;
  try {
    if (const ResultCode code = Quantize(); code != kSuccess) return code;
    if (const ResultCode code = StoreSteps(); code != kSuccess) return code;
    if (const ResultCode code = Predict(); code != kSuccess) return code;
    if (m_coding == kCodingHuffman) return EncodeSymbols();
    // Coding 1: the StepTable alone, padded to whole bytes, then the zlib stream.
    if (const ResultCode code = DeflateValues(*this, m_deflate); code != kSuccess) return code;
    if (m_bits.Length() + m_deflate.size() > kMaxPayload) return kInvalidValues;
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  return kSuccess;
}

ResultCode CPQZComponent::EncodeSymbols() {
  const RunSizeAlphabet alphabet(m_block.Precision, m_block.MaxZeroRun);
  // First walk: symbol frequencies; it also refuses values the alphabet cannot hold before
  // anything is written.
  // The rows are counted on every core, each share into counts of its own; the sums do not
  // depend on the split, and the refusal is that of the first refused row, as in one walk.
  struct Share {
    std::vector<std::uint64_t> frequencies;
    std::uint64_t extraBits = 0;
    std::uint32_t refusedRow = UINT32_MAX;
    ResultCode code = kSuccess;
  };
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<Share> shares(threads);
  RunInShares(Rows(), threads, kRowsPerCountingShare,
              [&](unsigned index, std::uint32_t first, std::uint32_t last) {
                Share& share = shares[index];
                share.frequencies.assign(alphabet.Size(), 0);
                const auto count = [&share](std::uint32_t symbol, std::uint32_t, int size) {
                  ++share.frequencies[symbol];
                  share.extraBits += static_cast<std::uint64_t>(size);
                  return kSuccess;
                };
                for (std::uint32_t r = first; r < last; ++r) {
                  if (const ResultCode code = CodeRow(Row(r), Columns(), alphabet, count);
                      code != kSuccess) {
                    share.refusedRow = r;
                    share.code = code;
                    return;
                  }
                }
              });
  std::vector<std::uint64_t> frequencies(alphabet.Size(), 0);
  std::uint64_t payloadBits = 0;
  const Share* refused = nullptr;
  for (const Share& share : shares) {
    if (share.code != kSuccess && (refused == nullptr || share.refusedRow < refused->refusedRow)) {
      refused = &share;
    }
    for (std::size_t i = 0; i < share.frequencies.size(); ++i)
      frequencies[i] += share.frequencies[i];
    payloadBits += share.extraBits;
  }
  if (refused != nullptr) return refused->code;
  frequencies[alphabet.Reserved()] = 1;

  HuffmanCode huffman;
  if (const ResultCode code = huffman.Build(frequencies); code != kSuccess) return code;
  if (const ResultCode code = StoreTable(huffman.Bits(), m_block.BitsCount, m_block.BitsBits);
      code != kSuccess) {
    return code;
  }
  if (const ResultCode code =
          StoreTable(huffman.Huffval(), m_block.HuffvalCount, m_block.HuffvalBits);
      code != kSuccess) {
    return code;
  }

  // The payload's exact size is known now, so the writes never grow the buffer.
  for (std::size_t symbol = 0; symbol < frequencies.size(); ++symbol) {
    if (symbol != alphabet.Reserved()) {
      payloadBits +=
          frequencies[symbol] * huffman.CodeWord(static_cast<std::uint32_t>(symbol)).length;
    }
  }
  if (payloadBits / 8 > kMaxPayload) return kInvalidValues;
  if (const ResultCode code = m_bits.Reserve(static_cast<std::size_t>(payloadBits / 8 + 1));
      code != kSuccess) {
    return code;
  }

  // Second walk: each symbol's code word followed by its extra bits. The shares of rows are
  // coded on every core into streams of their own, which are then joined in row order: the
  // same bits as one walk.
  struct Piece {
    BitStream bits;
    ResultCode code = kSuccess;
  };
  std::vector<Piece> pieces(threads);
  RunInShares(Rows(), threads, kRowsPerCountingShare,
              [&](unsigned index, std::uint32_t first, std::uint32_t last) {
                Piece& piece = pieces[index];
                const auto emitSymbol = [&piece, &huffman](std::uint32_t symbol,
                                                           std::uint32_t extra, int size) {
                  const HuffmanCodeWord& word = huffman.CodeWord(symbol);
                  if (word.length == 0) return kValueNotFound;  // every used symbol has a code
                  if (const ResultCode code = piece.bits.Write(word.code, word.length);
                      code != kSuccess) {
                    return code;
                  }
                  return piece.bits.Write(extra, size);
                };
                for (std::uint32_t r = first; r < last; ++r) {
                  if (const ResultCode code = CodeRow(Row(r), Columns(), alphabet, emitSymbol);
                      code != kSuccess) {
                    piece.code = code;
                    return;
                  }
                }
              });
  // Shares that were not needed are empty and join nothing.
  for (const Piece& piece : pieces) {
    if (piece.code != kSuccess) return piece.code;
    if (const ResultCode code = m_bits.Append(piece.bits); code != kSuccess) return code;
  }
  if (m_bits.Length() > kMaxPayload) return kInvalidValues;
  return kSuccess;
}

ResultCode CPQZComponent::Write(std::FILE* file) const {
  if (m_coding != kCodingHuffman && m_coding != kCodingDeflate) return kUnsupportedVersion;
  std::uint8_t head[kSectionHeadSize];
  const std::int32_t fields[10] = {m_coding,
                                   static_cast<std::int32_t>(PayloadLength()),
                                   m_block.StepCount,
                                   m_block.StepBits,
                                   m_block.BitsCount,
                                   m_block.BitsBits,
                                   m_block.HuffvalCount,
                                   m_block.HuffvalBits,
                                   m_block.Precision,
                                   m_block.MaxZeroRun};
  for (int i = 0; i < 10; ++i) StoreLeInt32(head + 4 * i, fields[i]);
  if (const ResultCode code = WriteBytes(file, head, sizeof head); code != kSuccess) return code;
  if (const ResultCode code = WriteBytes(file, m_bits.Data(), m_bits.Length()); code != kSuccess) {
    return code;
  }
  if (m_coding == kCodingDeflate) return WriteBytes(file, m_deflate.data(), m_deflate.size());
  return kSuccess;
}

// ---------------------------------------------------------------------------------------
// Decoding

ResultCode CPQZComponent::CheckBlock(std::int32_t coding, std::int32_t payloadLength,
                                     const SectionBlock& b) const {
  if (payloadLength < 0) return kReadFailed;
  const std::int32_t counts[] = {b.StepCount, b.BitsCount, b.HuffvalCount};
  const std::int32_t widths[] = {b.StepBits, b.BitsBits, b.HuffvalBits};
  for (int i = 0; i < 3; ++i) {
    if (counts[i] < 0 || widths[i] < 0 || widths[i] > BitStream::kMaxBits) return kReadFailed;
  }
  // One step per row for the components that keep steps, none for the others: a table
  // with fewer entries would leave rows without a step at Dequantize.
  const std::uint64_t expectedSteps = Steps() != nullptr ? m_shapeRows : 0;
  if (static_cast<std::uint64_t>(b.StepCount) != expectedSteps) return kReadFailed;
  const std::uint64_t payloadBits = std::uint64_t(payloadLength) * 8;
  if (std::uint64_t(b.StepCount) * std::uint64_t(b.StepBits) > payloadBits) return kReadFailed;
  if (coding == kCodingHuffman) {
    if (!RunSizeAlphabet::IsValid(b.Precision, b.MaxZeroRun)) return kReadFailed;
    // A BITS list of zero-width entries has no code at all.
    if (b.BitsCount < 2 || b.BitsBits == 0) return kReadFailed;
    const std::uint64_t tableBits = std::uint64_t(b.StepCount) * std::uint64_t(b.StepBits) +
                                    std::uint64_t(b.BitsCount) * std::uint64_t(b.BitsBits) +
                                    std::uint64_t(b.HuffvalCount) * std::uint64_t(b.HuffvalBits);
    if (tableBits > payloadBits) return kReadFailed;
  }
  return kSuccess;
}

ResultCode CPQZComponent::CheckShape(std::int32_t coding, std::uint64_t payloadLength,
                                     std::uint64_t tableBytes, std::uint64_t fileLength) const {
  const std::uint64_t values = std::uint64_t{m_shapeRows} * m_shapeColumns;
  if (coding == kCodingDeflate) {
    // Inflate cannot produce more than kMaxInflateRatio bytes per stream byte.
    const std::uint64_t streamBytes = payloadLength - tableBytes;
    return values * 4 <= streamBytes * kMaxInflateRatio ? kSuccess : kReadFailed;
  }
  // Every row ends in a code word of at least one bit.
  if (m_shapeRows > payloadLength * 8) return kReadFailed;
  constexpr std::uint64_t kPerByte = 8 * kMaxValuesPerFileBit;
  return (values + kPerByte - 1) / kPerByte <= fileLength ? kSuccess : kReadFailed;
}

ResultCode CPQZComponent::Read(std::FILE* file) { return LoadPayload(file, true, std::nullopt); }

ResultCode CPQZComponent::Read(std::FILE* file, std::uint64_t fileLength) {
  return LoadPayload(file, true, fileLength);
}

ResultCode CPQZComponent::ReadStreamed(std::FILE* file) {
  return LoadPayload(file, false, std::nullopt);
}

ResultCode CPQZComponent::ReadStreamed(std::FILE* file, std::uint64_t fileLength) {
  return LoadPayload(file, false, fileLength);
}

ResultCode CPQZComponent::LoadPayload(std::FILE* file, bool allocate,
                                      std::optional<std::uint64_t> knownLength) {
  if (m_shapeRows == 0 || m_shapeColumns == 0) return kNotReady;
  m_loaded = false;
  m_streamed = false;
  m_rowsReady = false;
  m_nextRow = 0;
  m_nextColumn = 0;
  m_cursors.clear();
  m_rowInflaters.clear();
  m_inflate.Reset();
  m_bits.Clear();
  m_deflate.clear();
  Resize(0, 0);

  std::uint8_t head[kSectionHeadSize];
  if (std::fread(head, 1, sizeof head, file) != sizeof head) return kReadFailed;
  const std::int32_t coding = LoadLeInt32(head);
  const std::int32_t payloadLength = LoadLeInt32(head + 4);
  SectionBlock block;
  std::int32_t* fields[8] = {&block.StepCount, &block.StepBits,     &block.BitsCount,
                             &block.BitsBits,  &block.HuffvalCount, &block.HuffvalBits,
                             &block.Precision, &block.MaxZeroRun};
  for (int i = 0; i < 8; ++i) *fields[i] = LoadLeInt32(head + 8 + 4 * i);
  if (coding != kCodingHuffman && coding != kCodingDeflate) return kUnsupportedVersion;
  if (const ResultCode code = CheckBlock(coding, payloadLength, block); code != kSuccess) {
    return code;
  }

  const std::uint64_t length = static_cast<std::uint64_t>(payloadLength);
  const std::uint64_t tableBits = std::uint64_t(block.StepCount) * std::uint64_t(block.StepBits);
  const std::uint64_t tableBytes = coding == kCodingDeflate ? (tableBits + 7) / 8 : 0;
  // The file's whole length is the budget of Coding 0 (see kMaxValuesPerFileBit); a stream
  // that cannot tell its length offers only this section.
  // A file whose length is known bounds what a section may hold, so its buffers can be
  // allocated at once; a pipe's length is only what the section itself says.
  const std::optional<std::uint64_t> realLength = knownLength ? knownLength : StreamLength(file);
  const std::uint64_t fileLength = realLength.value_or(std::uint64_t{kSectionHeadSize} + length);
  const std::uint64_t available = realLength.value_or(0);
  if (const ResultCode code = CheckShape(coding, length, tableBytes, fileLength);
      code != kSuccess) {
    return code;
  }

  if (coding == kCodingHuffman) {
    if (const ResultCode code = m_bits.Load(file, payloadLength, available); code != kSuccess) {
      return code;
    }
  } else {
    const auto table = static_cast<std::uint32_t>(tableBytes);
    if (const ResultCode code = m_bits.Load(file, table, available); code != kSuccess) return code;
    if (length - table <= available) {
      try {
        m_deflate.reserve(static_cast<std::size_t>(length - table));
      } catch (const std::bad_alloc&) {
        return kNoMemory;
      }
    }
    if (const ResultCode code = ReadBytes(file, length - table, m_deflate); code != kSuccess) {
      return code;
    }
  }
  if (allocate) {
    try {
      Resize(m_shapeRows, m_shapeColumns);
    } catch (const Tarn::MatrixException&) {
      return kNoMemory;
    }
  }
  m_coding = coding;
  m_streamed = !allocate;
  m_block = block;
  m_loaded = true;
  return kSuccess;
}

ResultCode CPQZComponent::Expand(bool dequantize) {
  bool walk;
  ResultCode decoded = StartExpand(walk);
  if (decoded == kSuccess && walk) {
    try {
      decoded = DecodeSymbolRows(*this, 0, Rows());
    } catch (const std::bad_alloc&) {
      return kNoMemory;
    }
  }
  return FinishExpand(decoded, dequantize);
}

ResultCode CPQZComponent::StartExpand(bool& walk) {
  walk = false;
  if (!m_loaded || m_streamed) return kNotReady;
  m_bits.Rewind();
  try {
    if (const ResultCode code = LoadSteps(); code != kSuccess) return code;
    if (m_coding == kCodingDeflate) return InflateValues(m_deflate.data(), m_deflate.size(), *this);
    if (const ResultCode code = PrepareSymbols(); code != kSuccess) return code;
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  walk = true;
  return kSuccess;
}

ResultCode CPQZComponent::FinishExpand(ResultCode decoded, bool dequantize) {
  if (decoded != kSuccess) return decoded;
  try {
    if (const ResultCode code = Unpredict(); code != kSuccess) return code;
    if (dequantize) return Dequantize();
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  return kSuccess;
}

namespace {

// Walks the rows of `count` items side by side, HuffmanDecoder::kMaxWalksTogether at a time.
// `start(item, alphabet, job)` readies an item and returns whether its rows are to be walked,
// having then filled the job and emplaced its alphabet; each walked item gets the walk's
// result, and `finish(item)` then runs on it.
template <typename Out, typename Item, typename Start, typename Finish>
void WalkInGroups(Item* items, std::size_t count, const Start& start, const Finish& finish) {
  constexpr std::size_t kGroup = HuffmanDecoder::kMaxWalksTogether;
  while (count > 0) {
    const std::size_t n = std::min(count, kGroup);
    std::optional<RunSizeAlphabet> alphabets[kGroup];
    HuffmanDecoder::RowsJob<Out> rows[kGroup];
    Item* walked[kGroup];
    std::size_t walks = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if (start(items[k], alphabets[walks], rows[walks])) walked[walks++] = &items[k];
    }
    try {
      HuffmanDecoder::DecodeRowsTogether(rows, walks);
      for (std::size_t k = 0; k < walks; ++k) walked[k]->result = rows[k].result;
    } catch (const std::bad_alloc&) {
      for (std::size_t k = 0; k < walks; ++k) walked[k]->result = kNoMemory;
    }
    for (std::size_t k = 0; k < walks; ++k) finish(*walked[k]);
    items += n;
    count -= n;
  }
}

}  // namespace

void CPQZComponent::ExpandTogether(Expansion* items, std::size_t count) {
  const auto start = [](Expansion& item, std::optional<RunSizeAlphabet>& alphabet,
                        HuffmanDecoder::WideRows& job) {
    CPQZComponent& c = *item.component;
    bool walk;
    item.result = c.StartExpand(walk);
    if (item.result != kSuccess || !walk) {
      item.result = c.FinishExpand(item.result, item.dequantize);
      return false;
    }
    alphabet.emplace(c.m_block.Precision, c.m_block.MaxZeroRun);
    job = {&c.m_decoder, &c.m_bits, &*alphabet, c.Data(), c.Rows(), c.Columns(), c.Columns()};
    return true;
  };
  const auto finish = [](Expansion& item) {
    item.result = item.component->FinishExpand(item.result, item.dequantize);
  };
  WalkInGroups<double>(items, count, start, finish);
}

ResultCode CPQZComponent::PrepareSmall(std::size_t stride, bool& walk) {
  walk = false;
  if (!m_loaded || m_rowsReady || !m_cursors.empty()) return kNotReady;
  if (m_coding != kCodingHuffman || m_block.Precision > kMaxSmallPrecision ||
      stride < m_shapeColumns) {
    return kInvalidValues;
  }
  m_bits.Rewind();
  try {
    if (const ResultCode code = LoadSteps(); code != kSuccess) return code;
    if (const ResultCode code = PrepareSymbols(); code != kSuccess) return code;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  walk = m_shapeRows != 0;
  return kSuccess;
}

ResultCode CPQZComponent::ExpandSmall(std::int16_t* data, std::size_t stride) {
  bool walk;
  if (const ResultCode code = PrepareSmall(stride, walk); code != kSuccess || !walk) return code;
  return WalkSmall(data, stride);
}

ResultCode CPQZComponent::WalkSmall(std::int16_t* data, std::size_t stride) {
  const RunSizeAlphabet alphabet(m_block.Precision, m_block.MaxZeroRun);
  try {
    return m_decoder.DecodeRows(m_bits, alphabet, data, m_shapeRows, m_shapeColumns, stride);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
}

void CPQZComponent::ExpandSmallTogether(SmallExpansion* items, std::size_t count) {
  const auto start = [](SmallExpansion& item, std::optional<RunSizeAlphabet>& alphabet,
                        HuffmanDecoder::SmallRows& job) {
    CPQZComponent& c = *item.component;
    bool walk;
    item.result = c.PrepareSmall(item.stride, walk);
    if (item.result != kSuccess || !walk) return false;
    alphabet.emplace(c.m_block.Precision, c.m_block.MaxZeroRun);
    job = {&c.m_decoder,  &c.m_bits,        &*alphabet, item.data,
           c.m_shapeRows, c.m_shapeColumns, item.stride};
    return true;
  };
  WalkInGroups<std::int16_t>(items, count, start, [](SmallExpansion&) {});
}

ResultCode CPQZComponent::ExpandRows(std::uint32_t count, Tarn::Matrix<double>& rows) {
  if (!m_loaded || !m_streamed || !m_cursors.empty()) return kNotReady;
  if (count > m_shapeRows - m_nextRow) return kInvalidValues;
  try {
    if (!m_rowsReady) {
      m_bits.Rewind();
      if (const ResultCode code = LoadSteps(); code != kSuccess) return code;
      const ResultCode ready = m_coding == kCodingDeflate
                                   ? m_inflate.Begin(m_deflate.data(), m_deflate.size(),
                                                     std::uint64_t{m_shapeRows} * m_shapeColumns)
                                   : PrepareSymbols();
      if (ready != kSuccess) return ready;
      m_rowsReady = true;
    }
    // Bands of one size reuse the storage of the band before.
    if (rows.Rows() != count || rows.Columns() != m_shapeColumns)
      rows.Resize(count, m_shapeColumns);
    const ResultCode decoded =
        m_coding == kCodingDeflate ? m_inflate.Next(rows) : DecodeSymbolRows(rows, 0, count);
    if (decoded != kSuccess) return decoded;
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  m_nextRow += count;
  return kSuccess;
}

ResultCode CPQZComponent::DecodeRowPart(RowCursor& c, double* out, std::uint32_t count) {
  const RunSizeAlphabet alphabet(m_block.Precision, m_block.MaxZeroRun);
  using Kind = RunSizeSymbol::Kind;
  std::uint32_t n = 0;
  while (n < count) {
    if (c.pendingZeros > 0) {
      const std::uint32_t take = std::min(c.pendingZeros, count - n);
      std::fill(out + n, out + n + take, 0.0);
      c.pendingZeros -= take;
      n += take;
      continue;
    }
    if (c.pendingValue) {
      out[n++] = c.value;
      c.pendingValue = false;
      continue;
    }
    if (c.ended) {
      std::fill(out + n, out + count, 0.0);
      return kSuccess;
    }
    // The same walk as DecodeSymbolRows, one symbol at a time.
    std::uint32_t symbol;
    if (const ResultCode code = m_decoder.Decode(m_bits, symbol); code != kSuccess) return code;
    const RunSizeSymbol s = alphabet.Interpret(symbol);
    if (s.kind == Kind::kEndOfRow) {
      c.ended = true;
      continue;
    }
    if (s.kind == Kind::kReserved) return kReadFailed;
    const std::uint32_t room = m_shapeColumns - c.accounted;
    if (s.kind == Kind::kZeroRun ? s.run > room : s.run >= room) return kReadFailed;
    c.pendingZeros = s.run;
    c.accounted += s.run;
    if (s.kind == Kind::kValue) {
      std::uint32_t extra;
      if (const ResultCode code = m_bits.Read(s.size, extra); code != kSuccess) return code;
      c.value = static_cast<double>(ExtendValue(extra, s.size));
      c.pendingValue = true;
      ++c.accounted;
    }
  }
  return kSuccess;
}

ResultCode CPQZComponent::PrepareColumns() {
  m_bits.Rewind();
  if (const ResultCode code = LoadSteps(); code != kSuccess) return code;
  m_cursors.assign(m_shapeRows, RowCursor{});
  if (m_coding == kCodingDeflate) {
    // One stream per row, each inflated past the rows before its own.
    m_rowInflaters = std::vector<InflateRows>(m_shapeRows);
    const std::uint64_t values = std::uint64_t{m_shapeRows} * m_shapeColumns;
    Tarn::Matrix<double> skipped;
    for (std::uint32_t r = 0; r < m_shapeRows; ++r) {
      if (const ResultCode code =
              m_rowInflaters[r].Begin(m_deflate.data(), m_deflate.size(), values);
          code != kSuccess) {
        return code;
      }
      for (std::uint32_t done = 0; done < r; ++done) {
        for (std::uint32_t at = 0; at < m_shapeColumns; at += kColumnChunk) {
          const std::uint32_t n = std::min(kColumnChunk, m_shapeColumns - at);
          if (skipped.Columns() != n) skipped.Resize(1, n);
          if (const ResultCode code = m_rowInflaters[r].Next(skipped); code != kSuccess) {
            return code;
          }
        }
      }
    }
    return kSuccess;
  }
  if (const ResultCode code = PrepareSymbols(); code != kSuccess) return code;
  // Each row starts where the one before it ends: one walk over the rows finds the places.
  const RunSizeAlphabet alphabet(m_block.Precision, m_block.MaxZeroRun);
  for (std::uint32_t r = 0; r < m_shapeRows; ++r) {
    m_cursors[r].bit = m_bits.BitPosition();
    if (r + 1 == m_shapeRows) break;
    if (const ResultCode code = m_decoder.SkipRows(m_bits, alphabet, 1, m_shapeColumns);
        code != kSuccess) {
      return code;
    }
  }
  return kSuccess;
}

ResultCode CPQZComponent::ExpandColumns(std::uint32_t count, Tarn::Matrix<double>& columns) {
  if (!m_loaded || !m_streamed || m_rowsReady) return kNotReady;
  if (count > m_shapeColumns - m_nextColumn) return kInvalidValues;
  try {
    if (m_cursors.empty()) {
      if (const ResultCode code = PrepareColumns(); code != kSuccess) return code;
    }
    if (columns.Rows() != m_shapeRows || columns.Columns() != count) {
      columns.Resize(m_shapeRows, count);
    }
    if (count == 0) return kSuccess;
    for (std::uint32_t r = 0; r < m_shapeRows; ++r) {
      if (m_coding == kCodingDeflate) {
        Tarn::Matrix<double> row;
        row.Resize(1, count);
        if (const ResultCode code = m_rowInflaters[r].Next(row); code != kSuccess) return code;
        std::copy(row.Data(), row.Data() + count, columns.Row(r));
        continue;
      }
      RowCursor& cursor = m_cursors[r];
      m_bits.Rewind();
      if (const ResultCode code = m_bits.Skip(cursor.bit); code != kSuccess) return code;
      if (const ResultCode code = DecodeRowPart(cursor, columns.Row(r), count); code != kSuccess) {
        return code;
      }
      cursor.bit = m_bits.BitPosition();
    }
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  m_nextColumn += count;
  return kSuccess;
}

ResultCode CPQZComponent::PrepareSymbols() {
  const RunSizeAlphabet alphabet(m_block.Precision, m_block.MaxZeroRun);
  std::vector<std::uint32_t> bits;
  if (const ResultCode code = LoadTable(m_block.BitsCount, m_block.BitsBits, bits);
      code != kSuccess) {
    return code;
  }
  // HUFFVAL has one entry per symbol of the alphabet; the first sum(BITS) are the symbols
  // that have codes and must be distinct symbols of this alphabet.
  if (static_cast<std::uint64_t>(m_block.HuffvalCount) != alphabet.Size()) return kReadFailed;
  std::uint64_t codes = 0;
  for (const std::uint32_t n : bits) codes += n;
  if (codes > static_cast<std::uint64_t>(m_block.HuffvalCount) ||
      codes > (std::uint64_t{1} << kMaxHuffmanCodeLength)) {
    return kReadFailed;
  }
  std::vector<std::uint32_t> huffval;
  if (const ResultCode code =
          LoadTable(static_cast<std::int32_t>(codes), m_block.HuffvalBits, huffval);
      code != kSuccess) {
    return code;
  }
  std::vector<bool> seen(alphabet.Size(), false);
  for (const std::uint32_t symbol : huffval) {
    if (symbol >= alphabet.Size() || seen[symbol]) return kReadFailed;
    seen[symbol] = true;
  }
  const std::uint64_t unused = std::uint64_t(m_block.HuffvalCount) - codes;
  if (const ResultCode code = m_bits.Skip(unused * std::uint64_t(m_block.HuffvalBits));
      code != kSuccess) {
    return code;
  }
  return m_decoder.Build(bits, huffval);
}

ResultCode CPQZComponent::DecodeSymbolRows(Tarn::Matrix<double>& out, std::uint32_t first,
                                           std::uint32_t count) {
  const RunSizeAlphabet alphabet(m_block.Precision, m_block.MaxZeroRun);
  // The table-driven row walk; its results and refusals are those of Decode followed by
  // Interpret symbol by symbol.
  if (count == 0) return kSuccess;
  return m_decoder.DecodeRows(m_bits, alphabet, out.Row(first), count, out.Columns());
}

}  // namespace orvane
