#include "pqz_file_entry.h"

#include "imaging/image_ex.h"
#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"
#include "pqz/decode_limits.h"
#include "pqz/pqz_codec.h"
#include "pqz/pqz_reader.h"

namespace orvane::fuzz {
namespace {

// Limits scaled to the fuzzer's inputs of a few KiB: a flat picture codes in almost nothing,
// so with the program's limits a mutated header could ask for 2^26 pixels, a legitimate decode
// that takes seconds under the sanitizers. Every path through the limits (refused, admitted
// for free, earned by the file's bytes) stays reachable at a few hundred thousand pixels.
DecodeLimits FuzzLimits() {
  DecodeLimits limits;
  limits.MaxPixels = std::uint64_t{1} << 20;
  limits.MaxWorkingBytes = std::uint64_t{4} << 20;
  limits.FreePixels = std::uint64_t{1} << 18;
  limits.PixelsPerFileByte = 128;
  return limits;
}

// The retrieval's readers and the file report: each section through the reader alone.
void ReadSectionsAlone(const std::uint8_t* data, std::size_t size) {
  PqzReader reader;
  if (reader.OpenMemory(data, size) != kSuccess) return;
  CAverage average;
  if (reader.ReadSection(PqzSection::kAverage, average) == kSuccess) average.Expand(false);
  CBase base;
  if (reader.ReadSection(PqzSection::kBase, base) == kSuccess) base.Expand(false);
  CCoeff coeff;
  reader.ReadSection(PqzSection::kCoeff, coeff, true);
}

}  // namespace

PqzOutcome ReadPqzOutcome(const std::uint8_t* data, std::size_t size) {
  PqzOutcome outcome;
  {
    std::ostringstream report;
    CImageEx image;
    PqzCodec codec;
    codec.SetDecodeLimits(FuzzLimits());
    codec.SetReportSink(report);
    outcome.decode = codec.DecodeMemory(image, data, size);
  }
  {
    CImageEx image;
    PqzCodec codec;
    codec.SetDecodeLimits(FuzzLimits());
    outcome.preview = codec.PreviewMemory(image, data, size);
  }
  ReadSectionsAlone(data, size);
  return outcome;
}

ResultCode ReadPqzBytes(const std::uint8_t* data, std::size_t size) {
  return ReadPqzOutcome(data, size).decode;
}

}  // namespace orvane::fuzz
