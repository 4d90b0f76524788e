#include "pqz/pqz_header.h"

#include <cstdio>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

#include "foundation/small_helpers.h"
#include "pqz/encoding_parameters.h"
#include "pqz/little_endian.h"
#include "pqz/stream_io.h"

namespace orvane {
namespace {

constexpr std::uint64_t kMaxCount = std::numeric_limits<std::uint32_t>::max();

// Byte offsets of the header fields.
enum Offset : std::size_t {
  kFileType = 0,
  kColorSpace = 2,
  kIterationFlag = 4,
  kReserved = 6,
  kImageHeight = 8,
  kImageWidth = 12,
  kPatchHeight = 16,
  kPatchWidth = 20,
  kDimension = 24,
  kReserved2 = 28,
  kAverageOffset = 32,
  kBaseOffset = 36,
  kCoeffOffset = 40,
};

}  // namespace

PatchGrid GridOf(const PqzHeader& h) {
  if (h.ImageWidth <= 0 || h.ImageHeight <= 0 || h.PatchWidth <= 0 || h.PatchHeight <= 0) {
    return {};
  }
  const std::uint64_t columns = CeilDiv<std::uint64_t>(h.ImageWidth, h.PatchWidth);
  const std::uint64_t rows = CeilDiv<std::uint64_t>(h.ImageHeight, h.PatchHeight);
  const std::uint64_t patches = columns * rows;
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(h.PatchWidth) * static_cast<std::uint64_t>(h.PatchHeight);
  if (patches > kMaxCount || pixels > kMaxCount) return {};
  return {static_cast<std::uint32_t>(columns), static_cast<std::uint32_t>(rows),
          static_cast<std::uint32_t>(patches), static_cast<std::uint32_t>(pixels)};
}

ResultCode CheckPqzHeaderSizes(const PqzHeader& h) {
  if (h.ImageWidth <= 0 || h.ImageHeight <= 0 || h.PatchWidth <= 0 || h.PatchHeight <= 0 ||
      h.Dimension <= 0) {
    return kInvalidFileType;
  }
  const std::uint64_t patches = CeilDiv<std::uint64_t>(h.ImageWidth, h.PatchWidth) *
                                CeilDiv<std::uint64_t>(h.ImageHeight, h.PatchHeight);
  // Every factor is below 2^31, so G < 2^62 and 3N < 3 * 2^62 both fit 64 bits.
  const std::uint64_t patchLength =
      3 * static_cast<std::uint64_t>(h.PatchWidth) * static_cast<std::uint64_t>(h.PatchHeight);
  const std::uint64_t dimension = static_cast<std::uint64_t>(h.Dimension);
  if (dimension > patchLength) return kInvalidFileType;
  // With G and 3N at most 2^32 - 1 no product below can overflow 64 bits.
  if (patches > kMaxCount || patchLength > kMaxCount) return kInvalidFileType;
  const auto fits = [](std::uint64_t a, std::uint64_t b) { return a * b <= kMaxCount; };
  if (!fits(3, patches) || !fits(dimension, patchLength) || !fits(patches, dimension) ||
      !fits(patches, patchLength)) {
    return kInvalidFileType;
  }
  return kSuccess;
}

ResultCode ReadPqzHeader(std::FILE* file, PqzHeader& header) {
  std::uint8_t bytes[kPqzHeaderSize];
  return ParsePqzHeader(bytes, std::fread(bytes, 1, sizeof bytes, file), header);
}

ResultCode ParsePqzHeader(const std::uint8_t* bytes, std::size_t available, PqzHeader& header) {
  if (available < kPqzHeaderSize) return kReadFailed;
  if (LoadLe16(bytes + kFileType) != kPqzFileType) return kInvalidFileType;
  PqzHeader h;
  h.FileType = kPqzFileType;
  h.ColorSpace = LoadLe16(bytes + kColorSpace);
  h.IterationFlag = LoadLe16(bytes + kIterationFlag);
  h.Reserved = LoadLe16(bytes + kReserved);
  h.ImageHeight = LoadLeInt32(bytes + kImageHeight);
  h.ImageWidth = LoadLeInt32(bytes + kImageWidth);
  h.PatchHeight = LoadLeInt32(bytes + kPatchHeight);
  h.PatchWidth = LoadLeInt32(bytes + kPatchWidth);
  h.Dimension = LoadLeInt32(bytes + kDimension);
  h.Reserved2 = LoadLeInt32(bytes + kReserved2);
  h.AverageOffset = LoadLeInt32(bytes + kAverageOffset);
  h.BaseOffset = LoadLeInt32(bytes + kBaseOffset);
  h.CoeffOffset = LoadLeInt32(bytes + kCoeffOffset);
  if (const ResultCode code = CheckPqzHeaderSizes(h); code != kSuccess) return code;
  header = h;
  return kSuccess;
}

ResultCode WritePqzHeader(std::FILE* file, const PqzHeader& h) {
  std::uint8_t bytes[kPqzHeaderSize];
  StoreLe16(bytes + kFileType, h.FileType);
  StoreLe16(bytes + kColorSpace, h.ColorSpace);
  StoreLe16(bytes + kIterationFlag, h.IterationFlag);
  StoreLe16(bytes + kReserved, h.Reserved);
  StoreLeInt32(bytes + kImageHeight, h.ImageHeight);
  StoreLeInt32(bytes + kImageWidth, h.ImageWidth);
  StoreLeInt32(bytes + kPatchHeight, h.PatchHeight);
  StoreLeInt32(bytes + kPatchWidth, h.PatchWidth);
  StoreLeInt32(bytes + kDimension, h.Dimension);
  StoreLeInt32(bytes + kReserved2, h.Reserved2);
  StoreLeInt32(bytes + kAverageOffset, h.AverageOffset);
  StoreLeInt32(bytes + kBaseOffset, h.BaseOffset);
  StoreLeInt32(bytes + kCoeffOffset, h.CoeffOffset);
  if (std::fwrite(bytes, 1, sizeof bytes, file) != sizeof bytes) return kWriteFailed;
  return kSuccess;
}

ResultCode FillPqzHeader(const EncodingParameters& parameters, std::int32_t imageWidth,
                         std::int32_t imageHeight, std::uint32_t averageSize,
                         std::uint32_t baseSize, PqzHeader& header) {
  constexpr std::uint64_t kMaxOffset = std::numeric_limits<std::int32_t>::max();
  const std::uint64_t baseOffset = std::uint64_t{kPqzHeaderSize} + averageSize;
  const std::uint64_t coeffOffset = baseOffset + baseSize;
  const CommonParameters& common = parameters.Common;
  if (coeffOffset > kMaxOffset || common.PatchWidth > kMaxOffset ||
      common.PatchHeight > kMaxOffset || parameters.Learning.DimensionReduction > kMaxOffset) {
    return kInvalidValues;
  }
  PqzHeader h;
  h.FileType = kPqzFileType;
  h.ColorSpace = common.ColorSpace;
  h.IterationFlag = parameters.Learning.MaxIterations != 0 ? 1 : 0;
  h.ImageWidth = imageWidth;
  h.ImageHeight = imageHeight;
  h.PatchWidth = static_cast<std::int32_t>(common.PatchWidth);
  h.PatchHeight = static_cast<std::int32_t>(common.PatchHeight);
  h.Dimension = static_cast<std::int32_t>(parameters.Learning.DimensionReduction);
  h.AverageOffset = static_cast<std::int32_t>(kPqzHeaderSize);
  h.BaseOffset = static_cast<std::int32_t>(baseOffset);
  h.CoeffOffset = static_cast<std::int32_t>(coeffOffset);
  header = h;
  return kSuccess;
}

ResultCode ProbePqzFile(const std::string& path, std::uint16_t* iterationFlag,
                        PqzHeader* headerOut) {
  // Only 44 bytes are wanted: read straight from the descriptor, without a stream's buffer.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return kCannotOpenFile;
  std::uint8_t bytes[kPqzHeaderSize];
  const std::size_t got = ReadFullyAt(descriptor, 0, bytes, sizeof bytes);
  ::close(descriptor);
  PqzHeader header;
  const ResultCode code = ParsePqzHeader(bytes, got, header);
  if (code != kSuccess) return code;
  if (iterationFlag != nullptr) *iterationFlag = header.IterationFlag;
  if (headerOut != nullptr) *headerOut = header;
  return kSuccess;
}

void PrintHeaderReport(const PqzHeader& h, ReportSink& sink) {
  ReportPrintf(sink, "[Header]\n");
  ReportPrintf(sink, "  File Type = %d\n", h.FileType);
  ReportPrintf(sink, "  ColorSpace = %d\n", h.ColorSpace);
  ReportPrintf(sink, "  Image = (%d, %d)\n", h.ImageWidth, h.ImageHeight);
  ReportPrintf(sink, "  Patch = (%d, %d)\n", h.PatchWidth, h.PatchHeight);
  ReportPrintf(sink, "  Dimension = %d\n", h.Dimension);
  ReportPrintf(sink, "  OffSet - Average = %d,", h.AverageOffset);
  ReportPrintf(sink, " Base = %d,", h.BaseOffset);
  ReportPrintf(sink, " Coeff = %d\n", h.CoeffOffset);
  ReportPrintf(sink, "\n");
}

void PrintSizeReport(std::uint32_t average, std::uint32_t base, std::uint32_t coeff,
                     ReportSink& sink) {
  // The report prints the sizes as the int32 fields they are stored in.
  const auto asInt = [](std::uint64_t v) {
    return static_cast<int>(static_cast<std::uint32_t>(v));
  };
  ReportPrintf(sink, "[File Size]\n");
  ReportPrintf(sink, "  Ave = %d,", asInt(average));
  ReportPrintf(sink, " Base = %d,", asInt(base));
  ReportPrintf(sink, " Coeff = %d,", asInt(coeff));
  ReportPrintf(sink, " Total = %d\n\n", asInt(std::uint64_t{average} + base + coeff));
}

}  // namespace orvane
