#include "retrieval/section_reader.h"

#include <new>
#include <utility>

#include "foundation/matrix_exception.h"
#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/decode_budget.h"
#include "pqz/pqz_reader.h"

namespace orvane {
namespace {

// The shape of `section`'s matrix in the file that `reader` opened.
void SectionShape(const PqzReader& reader, PqzSection section, std::uint64_t& rows,
                  std::uint64_t& columns) {
  const PqzHeader& header = reader.Header();
  const PatchGrid grid = GridOf(header);
  rows = section == PqzSection::kAverage ? 3 : std::uint64_t(header.Dimension);
  columns = section == PqzSection::kAverage ? grid.Patches : 3 * std::uint64_t{grid.PixelsPerPatch};
}

// Opens the file and weighs `section` against the limits, as every reader here does first.
ResultCode OpenSection(const std::string& path, PqzSection section, const DecodeLimits& limits,
                       PqzReader& reader) {
  if (const ResultCode code = reader.OpenFile(path); code != kSuccess) return code;
  std::uint64_t rows, columns;
  SectionShape(reader, section, rows, columns);
  return CheckSectionLimit(rows, columns, limits);
}

// Opens the file through the one PQZ reader, weighs the section against the limits, then Read
// and Expand without dequantisation. The component is a local object, so a failure half-way
// leaves the caller's matrix as it was; on success its storage is moved out rather than copied.
ResultCode ReadSection(const std::string& path, PqzSection section, CPQZComponent& component,
                       const DecodeLimits& limits, Tarn::Matrix<double>& out,
                       PqzHeader& headerOut) {
  PqzReader reader;
  if (const ResultCode code = OpenSection(path, section, limits, reader); code != kSuccess) {
    return code;
  }
  const PqzHeader& header = reader.Header();
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

ResultCode ReadSmallBases(const std::string& path, Int16Rows& bases, PqzHeader& header,
                          const DecodeLimits& limits) {
  bases.Clear();
  PqzReader reader;
  if (const ResultCode code = OpenSection(path, PqzSection::kBase, limits, reader);
      code != kSuccess) {
    return code;
  }
  std::uint64_t rows, columns;
  SectionShape(reader, PqzSection::kBase, rows, columns);
  CBase component;
  try {
    if (const ResultCode code = reader.ReadSection(PqzSection::kBase, component);
        code != kSuccess) {
      return code;
    }
    reader.Close();
    if (component.Coding() != kCodingHuffman ||
        component.Block().Precision > CPQZComponent::kMaxSmallPrecision) {
      // Values that may not fit 16 bits as they are decoded: through the double matrix.
      if (const ResultCode code = component.Expand(false); code != kSuccess) return code;
      if (!bases.Assign(component.Data(), component.Rows(), component.Columns())) {
        return kInvalidValues;
      }
      header = reader.Header();
      return kSuccess;
    }
    // The double matrix is allocated by the read but never touched.
    const auto d = static_cast<std::uint32_t>(rows);
    const auto length = static_cast<std::uint32_t>(columns);
    std::int16_t* values = bases.Prepare(d, length);
    if (const ResultCode code = component.ExpandSmall(values, bases.Stride()); code != kSuccess) {
      bases.Clear();
      return code;
    }
    CBase::Unpredict(values, d, length, bases.Stride());
  } catch (const std::bad_alloc&) {
    bases.Clear();
    return kNoMemory;
  } catch (const Tarn::MatrixException&) {
    bases.Clear();
    return kNoMemory;
  }
  if (!bases.Finish()) return kInvalidValues;
  header = reader.Header();
  return kSuccess;
}

}  // namespace orvane
