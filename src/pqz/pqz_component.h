#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "foundation/matrix.h"
#include "foundation/result_code.h"
#include "pqz/bit_stream.h"
#include "pqz/huffman_decoder.h"
#include "pqz/inflate_rows.h"
#include "pqz/pqz_header.h"

namespace orvane {

/// `Coding` of a section: run/size symbols under a canonical Huffman code.
inline constexpr std::int32_t kCodingHuffman = 0;
/// `Coding` of a section: the values as int32 in a zlib stream.
inline constexpr std::int32_t kCodingDeflate = 1;

/// The eight int32 fields stored after a section's Coding and payload length, in file order.
/// The three tables (StepTable, BITS, HUFFVAL) are each stored as `count` entries of `bits`
/// bits, `bits` being the bit length of the largest entry.
struct SectionBlock {
  std::int32_t StepCount = 0;
  std::int32_t StepBits = 0;
  std::int32_t BitsCount = 0;
  std::int32_t BitsBits = 0;
  std::int32_t HuffvalCount = 0;
  std::int32_t HuffvalBits = 0;
  std::int32_t Precision = 0;   ///< P, the magnitude classes of the run/size symbols
  std::int32_t MaxZeroRun = 0;  ///< R, the longest zero run of one symbol
};

/// One of the three matrices of a PQZ file together with its section coding: the component
/// is itself the matrix. Encoding: fill the matrix, set up the subclass, Compress, then Write
/// after the header. Decoding: SizeFromHeader, Read, then Expand.
///
/// The six virtual operations are the steps a subclass changes; here each does nothing and
/// returns 0. Every operation returns the first failure of its steps and runs no further.
class CPQZComponent : public Tarn::Matrix<double> {
 public:
  CPQZComponent() = default;
  ~CPQZComponent() override = default;

  /// Multiplies back by the quantisation steps (decoding).
  virtual ResultCode Dequantize() { return kSuccess; }
  /// Reads the StepTable from the bit stream.
  virtual ResultCode LoadSteps() { return kSuccess; }
  /// Quantises the values before coding.
  virtual ResultCode Quantize() { return kSuccess; }
  /// Undoes Predict.
  virtual ResultCode Unpredict() { return kSuccess; }
  /// Writes the StepTable to the bit stream.
  virtual ResultCode StoreSteps() { return kSuccess; }
  /// Replaces values by their differences from a prediction, in place.
  virtual ResultCode Predict() { return kSuccess; }

  /// Keeps a copy of the header and the matrix shape it implies (CAverage 3 x G, CBase
  /// D x 3N, CCoeff G x D). 21 for a header whose sizes cannot describe an image. The
  /// storage itself is allocated by Read, once the section has shown that it can fill it.
  ResultCode SizeFromHeader(const PqzHeader& header);

  /// Quantize, StoreSteps, Predict, then codes the matrix into the section payload under
  /// Coding 0 or 1 (16 for any other). 22 for values the coding cannot hold: not finite,
  /// a magnitude of more than P bits under Coding 0 (it would decode as another symbol),
  /// outside int32 under Coding 1; also for P outside 1..32, R below 1, or a StepTable that
  /// does not have one entry per row. 9 when deflate fails, 7 when memory runs out.
  ResultCode Compress();

  /// Writes the section: Coding, payload length, the block, the payload. 16 for a Coding
  /// other than 0 and 1, 15 on a short write.
  ResultCode Write(std::FILE* file) const;

  /// Reads a section written by Write (after SizeFromHeader; 23 before). 14 for a short
  /// read or a section that cannot be right: negative lengths, table widths above 32 bits,
  /// a StepTable without exactly one entry per row, P or R out of range, or a matrix larger
  /// than the section can fill: under Coding 1 more int32 bytes than 1032 per zlib byte;
  /// under Coding 0 more rows than payload bits (each row costs a code word) or more values
  /// than 256 per bit of the whole file (an all-zero row is one bit however long, so its
  /// length must be paid for by the rest of the file). 16 for an unknown Coding. The matrix
  /// is allocated only after these checks; 7 when that fails.
  ResultCode Read(std::FILE* file);
  /// Read for a stream that holds only the section, the whole file being `fileLength` bytes
  /// long (the length the checks above weigh the section against).
  ResultCode Read(std::FILE* file, std::uint64_t fileLength);

  /// Reads the section as Read does, checks included, but leaves the matrix unallocated:
  /// its rows are then decoded a few at a time by ExpandRows, or all at once into 16-bit
  /// rows by ExpandSmall. ExpandRows is only for a component whose rows decode
  /// independently and that neither unpredicts nor dequantises (the coefficients), so a
  /// decode never holds the whole matrix.
  ResultCode ReadStreamed(std::FILE* file);
  ResultCode ReadStreamed(std::FILE* file, std::uint64_t fileLength);

  /// After ReadStreamed: decodes the next `count` rows of the matrix into `rows` (resized to
  /// count x columns), as Expand would have decoded them. The first call reads the tables.
  /// Same codes as Expand; 22 for more rows than remain; 23 before ReadStreamed.
  ResultCode ExpandRows(std::uint32_t count, Tarn::Matrix<double>& rows);

  /// After ReadStreamed, the other way round: decodes the next `count` columns of every row
  /// into `columns` (resized to rows x count), the stored values before Unpredict and
  /// Dequantize. For a component of few long rows (the patch means) whose bands follow the
  /// columns. Each row keeps its own place in the payload; the first call walks the payload
  /// once to find where each row starts. Same codes as Expand; 22 for more columns than
  /// remain; 23 before ReadStreamed or after ExpandRows.
  ResultCode ExpandColumns(std::uint32_t count, Tarn::Matrix<double>& columns);

  /// Decodes the payload into the matrix: LoadSteps, the values (inflate, or the BITS and
  /// HUFFVAL lists and the symbols), Unpredict, and Dequantize when `dequantize` is set.
  /// 14 for corrupt tables or symbols (lists that cannot form a prefix code or do not
  /// match each other, a code longer than any in the table, a run past the end of a row),
  /// 12 for a bad zlib stream, 4 when the symbols run past the buffer, 23 before Read.
  ResultCode Expand(bool dequantize);

  /// One component of ExpandTogether: whether to dequantise and, afterwards, the result.
  struct Expansion {
    CPQZComponent* component = nullptr;
    bool dequantize = false;
    ResultCode result = kSuccess;
  };

  /// Expand of `count` components, the symbols of those under Coding 0 decoded side by side
  /// (see HuffmanDecoder::DecodeRowsTogether): each gets in its matrix and result what
  /// Expand gives it.
  static void ExpandTogether(Expansion* items, std::size_t count);

  /// The largest P whose values ExpandSmall decodes: magnitudes below 2^14, so that the sum
  /// of two (a prediction undone) still fits 16 bits.
  static constexpr std::int32_t kMaxSmallPrecision = 14;

  /// Decodes a Coding 0 payload of P <= kMaxSmallPrecision into `data`, the matrix's rows
  /// of 16-bit integers `stride` (at least the columns) values apart, which must hold zeros:
  /// the stored values, as Expand decodes them before Unpredict and Dequantize. After Read or
  /// ReadStreamed, before ExpandRows or ExpandColumns; the matrix itself is left as it is. 22 for
  /// any other payload (Coding 1 or a larger P: Expand reads those) or a short stride, 23 when not
  /// ready; otherwise the codes of Expand.
  ResultCode ExpandSmall(std::int16_t* data, std::size_t stride);

  /// One component of ExpandSmallTogether: its rows and, afterwards, its result.
  struct SmallExpansion {
    CPQZComponent* component = nullptr;
    std::int16_t* data = nullptr;
    std::size_t stride = 0;
    ResultCode result = kSuccess;
  };

  /// ExpandSmall of `count` components, their symbols decoded side by side (see
  /// HuffmanDecoder::DecodeRowsTogether): each gets in its rows and result what ExpandSmall
  /// gives it.
  static void ExpandSmallTogether(SmallExpansion* items, std::size_t count);

  /// 40 + payload length: the bytes Write writes.
  std::uint32_t StoredSize() const { return kSectionHeadSize + PayloadLength(); }
  std::uint32_t PayloadLength() const;

  std::int32_t Coding() const { return m_coding; }
  /// Chooses the coding for Compress (tests and benchmarks; the encoder writes 0).
  void SetCoding(std::int32_t coding) { m_coding = coding; }
  const PqzHeader& Header() const { return m_header; }
  const SectionBlock& Block() const { return m_block; }

 protected:
  /// The matrix shape for a header that CheckPqzHeaderSizes accepts.
  virtual void ShapeFromHeader(const PqzHeader& header, std::uint32_t& rows,
                               std::uint32_t& columns) const = 0;
  /// The StepTable of the subclasses that keep one (one entry per row), else nullptr.
  virtual const std::vector<std::uint32_t>* Steps() const { return nullptr; }

  /// Sets P and R of the block for the next Compress.
  void SetCodingParameters(std::int32_t precision, std::int32_t maxZeroRun);

  /// Writes `steps` as the stored StepTable (count and width into the block).
  ResultCode StoreStepTable(const std::vector<std::uint32_t>& steps);
  /// Reads the stored StepTable into `steps`.
  ResultCode LoadStepTable(std::vector<std::uint32_t>& steps);

 private:
  ResultCode StoreTable(const std::vector<std::uint32_t>& values, std::int32_t& count,
                        std::int32_t& bits);
  ResultCode LoadTable(std::int32_t count, std::int32_t bits, std::vector<std::uint32_t>& out);
  ResultCode EncodeSymbols();
  ResultCode LoadPayload(std::FILE* file, bool allocate, std::optional<std::uint64_t> fileLength);
  ResultCode PrepareSymbols();
  /// The checks and tables of ExpandSmall, up to its walk: kSuccess with `walk` set when the
  /// rows are to be walked, any other result ExpandSmall's.
  ResultCode PrepareSmall(std::size_t stride, bool& walk);
  /// The walk of ExpandSmall, once PrepareSmall has set `walk`.
  ResultCode WalkSmall(std::int16_t* data, std::size_t stride);
  ResultCode PrepareColumns();
  struct RowCursor;
  ResultCode DecodeRowPart(RowCursor& cursor, double* out, std::uint32_t count);
  /// Expand up to the symbol walk: kSuccess with `walk` set when the rows are to be walked
  /// (Coding 0), any other result (a Coding 1 payload inflated, or a failure) Expand's so far.
  ResultCode StartExpand(bool& walk);
  /// The rest of Expand after the values were decoded with the result `decoded`.
  ResultCode FinishExpand(ResultCode decoded, bool dequantize);
  ResultCode DecodeSymbolRows(Tarn::Matrix<double>& out, std::uint32_t first, std::uint32_t count);
  ResultCode CheckBlock(std::int32_t coding, std::int32_t payloadLength,
                        const SectionBlock& block) const;
  ResultCode CheckShape(std::int32_t coding, std::uint64_t payloadLength, std::uint64_t tableBytes,
                        std::uint64_t fileLength) const;

  std::int32_t m_coding = kCodingHuffman;
  SectionBlock m_block;
  PqzHeader m_header;
  BitStream m_bits;  ///< the whole Coding 0 payload, or the Coding 1 StepTable bytes
  std::vector<std::uint8_t> m_deflate;  ///< the zlib stream of Coding 1
  std::uint32_t m_shapeRows = 0;        ///< from SizeFromHeader
  std::uint32_t m_shapeColumns = 0;
  bool m_loaded = false;        ///< a payload is ready for Expand
  bool m_streamed = false;      ///< loaded by ReadStreamed: rows come from ExpandRows
  bool m_rowsReady = false;     ///< ExpandRows has read the tables
  std::uint32_t m_nextRow = 0;  ///< the next row ExpandRows decodes
  HuffmanDecoder m_decoder;     ///< the code of a Coding 0 payload, once PrepareSymbols ran
  InflateRows m_inflate;        ///< the zlib stream of a streamed Coding 1 payload

  /// Where one row stands while its columns are decoded band by band.
  struct RowCursor {
    std::uint64_t bit = 0;           ///< Coding 0: bit position of the row's next symbol
    std::uint32_t accounted = 0;     ///< values of the row decoded or pending
    std::uint32_t pendingZeros = 0;  ///< zeros of a run not handed out yet
    bool pendingValue = false;       ///< `value` follows the pending zeros
    bool ended = false;              ///< an EOB: the rest of the row is zeros
    double value = 0;
  };
  std::vector<RowCursor> m_cursors;         ///< one per row, for ExpandColumns
  std::vector<InflateRows> m_rowInflaters;  ///< Coding 1: one zlib stream per row
  std::uint32_t m_nextColumn = 0;           ///< the next column ExpandColumns decodes
};

}  // namespace orvane
