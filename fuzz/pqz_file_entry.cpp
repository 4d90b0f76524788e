#include "pqz_file_entry.h"

#include <cstdio>

#include <stdio.h>  // fmemopen

#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"
#include "pqz/pqz_header.h"

namespace orvane::fuzz {
namespace {

// The decoder's order: all three sections are read before any is expanded.
ResultCode Decode(std::FILE* file, const PqzHeader& header) {
  CAverage average;
  CBase base;
  CCoeff coeff;
  CPQZComponent* components[] = {&average, &base, &coeff};
  for (CPQZComponent* c : components) {
    if (const ResultCode code = c->SizeFromHeader(header); code != kSuccess) return code;
    if (const ResultCode code = c->Read(file); code != kSuccess) return code;
  }
  for (CPQZComponent* c : components) {
    if (const ResultCode code = c->Expand(true); code != kSuccess) return code;
  }
  return kSuccess;
}

// The retrieval's edge features read the bases alone, from the offset the header gives.
void ReadBasesAlone(std::FILE* file, const PqzHeader& header) {
  if (header.BaseOffset < 0 || std::fseek(file, header.BaseOffset, SEEK_SET) != 0) return;
  CBase base;
  if (base.SizeFromHeader(header) != kSuccess || base.Read(file) != kSuccess) return;
  base.Expand(false);
}

}  // namespace

ResultCode ReadPqzBytes(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return kReadFailed;  // fmemopen refuses an empty buffer
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return kCannotOpenFile;
  PqzHeader header;
  ResultCode code = ReadPqzHeader(file, header);
  if (code == kSuccess) {
    code = Decode(file, header);
    ReadBasesAlone(file, header);
  }
  std::fclose(file);
  return code;
}

}  // namespace orvane::fuzz
