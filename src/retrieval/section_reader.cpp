#include "retrieval/section_reader.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "foundation/matrix_exception.h"
#include "pqz/average.h"
#include "pqz/base.h"

namespace orvane {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Header, seek, Read and Expand without dequantisation, for either component. The component is
// a local object, so a failure half-way leaves the caller's matrix as it was; on success its
// storage is moved out rather than copied.
ResultCode ReadSection(const std::string& path, CPQZComponent& component,
                       std::int32_t PqzHeader::*offsetField, Tarn::Matrix<double>& out,
                       PqzHeader& headerOut) {
  FileHandle file(std::fopen(path.c_str(), "rb"));
  if (!file) return kCannotOpenFile;
  PqzHeader header;
  if (const ResultCode code = ReadPqzHeader(file.get(), header); code != kSuccess) return code;
  try {
    if (const ResultCode code = component.SizeFromHeader(header); code != kSuccess) return code;
    // A negative offset cannot locate a section; fseek would refuse it as well, but the check
    // keeps the meaning plain.
    const std::int32_t offset = header.*offsetField;
    if (offset < 0 || std::fseek(file.get(), offset, SEEK_SET) != 0) return kReadFailed;
    if (const ResultCode code = component.Read(file.get()); code != kSuccess) return code;
    if (const ResultCode code = component.Expand(false); code != kSuccess) return code;
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  }
  out = std::move(static_cast<Tarn::Matrix<double>&>(component));
  headerOut = header;
  return kSuccess;
}

}  // namespace

ResultCode ReadAverages(const std::string& path, Tarn::Matrix<double>& averages,
                        PqzHeader& header) {
  CAverage component;
  return ReadSection(path, component, &PqzHeader::AverageOffset, averages, header);
}

ResultCode ReadBases(const std::string& path, Tarn::Matrix<double>& bases, PqzHeader& header) {
  CBase component;
  return ReadSection(path, component, &PqzHeader::BaseOffset, bases, header);
}

}  // namespace orvane
