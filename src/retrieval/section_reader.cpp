#include "retrieval/section_reader.h"

#include <utility>

#include "foundation/matrix_exception.h"
#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/decode_budget.h"
#include "pqz/pqz_reader.h"

namespace orvane {
namespace {

// Opens the file through the one PQZ reader, weighs the section against the limits, then Read
// and Expand without dequantisation. The component is a local object, so a failure half-way
// leaves the caller's matrix as it was; on success its storage is moved out rather than copied.
ResultCode ReadSection(const std::string& path, PqzSection section, CPQZComponent& component,
                       const DecodeLimits& limits, Tarn::Matrix<double>& out,
                       PqzHeader& headerOut) {
  PqzReader reader;
  if (const ResultCode code = reader.OpenFile(path); code != kSuccess) return code;
  const PqzHeader& header = reader.Header();
  const PatchGrid grid = GridOf(header);
  const std::uint64_t rows = section == PqzSection::kAverage ? 3 : std::uint64_t(header.Dimension);
  const std::uint64_t columns =
      section == PqzSection::kAverage ? grid.Patches : 3 * std::uint64_t{grid.PixelsPerPatch};
  if (const ResultCode code = CheckSectionLimit(rows, columns, limits); code != kSuccess) {
    return code;
  }
  try {
    if (const ResultCode code = reader.ReadSection(section, component); code != kSuccess) {
      return code;
    }
    reader.Close();
    if (const ResultCode code = component.Expand(false); code != kSuccess) return code;
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  }
  out = std::move(static_cast<Tarn::Matrix<double>&>(component));
  headerOut = header;
  return kSuccess;
}

}  // namespace

ResultCode ReadAverages(const std::string& path, Tarn::Matrix<double>& averages, PqzHeader& header,
                        const DecodeLimits& limits) {
  CAverage component;
  return ReadSection(path, PqzSection::kAverage, component, limits, averages, header);
}

ResultCode ReadBases(const std::string& path, Tarn::Matrix<double>& bases, PqzHeader& header,
                     const DecodeLimits& limits) {
  CBase component;
  return ReadSection(path, PqzSection::kBase, component, limits, bases, header);
}

}  // namespace orvane
