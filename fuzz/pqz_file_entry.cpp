#include "pqz_file_entry.h"

#include "fuzz_decode_limits.h"
#include "imaging/image_ex.h"
#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"
#include "pqz/pqz_codec.h"
#include "pqz/pqz_reader.h"

namespace orvane::fuzz {
namespace {

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
    codec.SetDecodeLimits(FuzzDecodeLimits());
    codec.SetReportSink(report);
    outcome.decode = codec.DecodeMemory(image, data, size);
  }
  {
    CImageEx image;
    PqzCodec codec;
    codec.SetDecodeLimits(FuzzDecodeLimits());
    outcome.preview = codec.PreviewMemory(image, data, size);
  }
  ReadSectionsAlone(data, size);
  return outcome;
}

ResultCode ReadPqzBytes(const std::uint8_t* data, std::size_t size) {
  return ReadPqzOutcome(data, size).decode;
}

}  // namespace orvane::fuzz
