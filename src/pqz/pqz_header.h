#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/report_sink.h"
#include "foundation/result_code.h"

namespace orvane {

struct EncodingParameters;

/// Magic of a PQZ file: the bytes "P", "Q" read as a little-endian uint16 (0x5150).
inline constexpr std::uint16_t kPqzFileType = 20816;
/// Bytes of the file header; the average section always starts here.
inline constexpr std::uint32_t kPqzHeaderSize = 44;
/// Bytes in front of a section's payload: Coding, payload length and the eight-field block.
inline constexpr std::uint32_t kSectionHeadSize = 40;

/// The 44-byte header of a PQZ file, fields in file order. Multi-byte fields are stored
/// little-endian. The three offsets locate the average, base and coefficient sections.
struct PqzHeader {
  std::uint16_t FileType = kPqzFileType;
  std::uint16_t ColorSpace = 0;
  std::uint16_t IterationFlag = 0;  ///< 1 when the bases came from ICA iterations
  std::uint16_t Reserved = 0;
  std::int32_t ImageHeight = 0;
  std::int32_t ImageWidth = 0;
  std::int32_t PatchHeight = 0;
  std::int32_t PatchWidth = 0;
  std::int32_t Dimension = 0;  ///< number of bases D
  std::int32_t Reserved2 = 0;
  std::int32_t AverageOffset = 0;
  std::int32_t BaseOffset = 0;
  std::int32_t CoeffOffset = 0;
};

/// How an image is cut into patches: patch columns and rows (partial patches at the right
/// and bottom edges count as whole ones), the number of patches G and the pixels N of one
/// patch. A patch vector has 3N values.
struct PatchGrid {
  std::uint32_t Columns = 0;
  std::uint32_t Rows = 0;
  std::uint32_t Patches = 0;
  std::uint32_t PixelsPerPatch = 0;
};

/// The patch grid of a header. Meaningful for headers CheckPqzHeaderSizes accepts; for any
/// other header the fields are 0 rather than wrapped values.
PatchGrid GridOf(const PqzHeader& header);

/// 0 when the header's sizes describe an image this system can hold: width, height and the
/// patch sizes positive, 1 <= Dimension <= 3N, and every matrix the file implies (3 x G,
/// D x 3N, G x D and the decoder's G x 3N patch matrix) addressable with 32-bit counts.
/// 21 ("Invalid file type.\n") otherwise. Does not look at FileType.
ResultCode CheckPqzHeaderSizes(const PqzHeader& header);

/// Reads the 44 header bytes. 14 when fewer are available; 21 when FileType is not 20816
/// (checked first, before any other field); 21 when the sizes cannot describe an image
/// (CheckPqzHeaderSizes). `header` is written only on success.
ResultCode ReadPqzHeader(std::FILE* file, PqzHeader& header);

/// ReadPqzHeader of the first `available` bytes of a file: 14 when fewer than 44.
ResultCode ParsePqzHeader(const std::uint8_t* bytes, std::size_t available, PqzHeader& header);

/// Writes the 44 header bytes; 15 on a short write.
ResultCode WritePqzHeader(std::FILE* file, const PqzHeader& header);

/// Fills a header for writing: FileType, colour space, iteration flag and patch sizes from
/// the parameters, the image size, and the offsets 44, 44 + averageSize and
/// 44 + averageSize + baseSize (the stored sizes of the first two sections). 22 when an
/// offset would not fit the header's int32 fields; `header` is written only on success.
ResultCode FillPqzHeader(const EncodingParameters& parameters, std::int32_t imageWidth,
                         std::int32_t imageHeight, std::uint32_t averageSize,
                         std::uint32_t baseSize, PqzHeader& header);

/// Looks at a file without decoding it: 8 when it cannot be opened, then ReadPqzHeader's
/// codes. On success `*iterationFlag` (when not null) receives the header's IterationFlag,
/// and `*header` (when not null) the whole header. The file is closed before returning.
ResultCode ProbePqzFile(const std::string& path, std::uint16_t* iterationFlag,
                        PqzHeader* header = nullptr);

/// Prints the "[Header]" report to `sink` (standard output by default).
void PrintHeaderReport(const PqzHeader& header, ReportSink& sink = DefaultReportSink());

/// Prints the "[File Size]" report of the three stored section sizes and their sum.
void PrintSizeReport(std::uint32_t average, std::uint32_t base, std::uint32_t coeff,
                     ReportSink& sink = DefaultReportSink());

}  // namespace orvane
