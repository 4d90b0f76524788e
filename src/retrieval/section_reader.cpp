#include "retrieval/section_reader.h"

#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

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
  if (const ResultCode code = reader.OpenFile(path, section); code != kSuccess) return code;
  std::uint64_t rows, columns;
  SectionShape(reader, section, rows, columns);
  return CheckSectionLimit(rows, columns, limits);
}

// Opens the file through the one PQZ reader, weighs the section against the limits and reads
// it into `component`, ready for Expand; the file is closed again.
ResultCode LoadSection(const std::string& path, PqzSection section, CPQZComponent& component,
                       const DecodeLimits& limits, PqzHeader& header) {
  PqzReader reader;
  if (const ResultCode code = OpenSection(path, section, limits, reader); code != kSuccess) {
    return code;
  }
  try {
    if (const ResultCode code = reader.ReadSection(section, component); code != kSuccess) {
      return code;
    }
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  }
  header = reader.Header();
  return kSuccess;
}

// LoadSection, then Expand without dequantisation. A failure half-way leaves the caller's
// matrix as it was; on success the component's storage is moved out rather than copied.
ResultCode ReadSection(const std::string& path, PqzSection section, CPQZComponent& component,
                       const DecodeLimits& limits, Tarn::Matrix<double>& out,
                       PqzHeader& headerOut) {
  PqzHeader header;
  if (const ResultCode code = LoadSection(path, section, component, limits, header);
      code != kSuccess) {
    return code;
  }
  if (const ResultCode code = component.Expand(false); code != kSuccess) return code;
  out = std::move(static_cast<Tarn::Matrix<double>&>(component));
  headerOut = header;
  return kSuccess;
}

// Components kept per thread from one file to the next, so that their buffers are too (a
// search reads thousands of small sections one after another); `k` picks one of several read
// at once.
template <typename Component>
Component& ThreadComponent(std::size_t k = 0) {
  thread_local std::vector<std::unique_ptr<Component>> components;
  while (components.size() <= k) components.push_back(std::make_unique<Component>());
  return *components[k];
}

}  // namespace

ResultCode ReadAverages(const std::string& path, Tarn::Matrix<double>& averages, PqzHeader& header,
                        const DecodeLimits& limits) {
  return ReadSection(path, PqzSection::kAverage, ThreadComponent<CAverage>(), limits, averages,
                     header);
}

void ReadAveragesTogether(AveragesJob* jobs, std::size_t count, const DecodeLimits& limits) {
  std::vector<PqzHeader> headers(count);
  std::vector<CPQZComponent::Expansion> expansions;
  std::vector<std::size_t> expanded;  // the job of each expansion
  expansions.reserve(count);
  expanded.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    CAverage& component = ThreadComponent<CAverage>(k);
    jobs[k].result =
        LoadSection(*jobs[k].path, PqzSection::kAverage, component, limits, headers[k]);
    if (jobs[k].result != kSuccess) continue;
    expansions.push_back({&component, false});
    expanded.push_back(k);
  }
  CPQZComponent::ExpandTogether(expansions.data(), expansions.size());
  for (std::size_t i = 0; i < expanded.size(); ++i) {
    AveragesJob& job = jobs[expanded[i]];
    job.result = expansions[i].result;
    if (job.result != kSuccess) continue;
    *job.averages = std::move(static_cast<Tarn::Matrix<double>&>(*expansions[i].component));
    job.header = headers[expanded[i]];
  }
}

ResultCode ReadBases(const std::string& path, Tarn::Matrix<double>& bases, PqzHeader& header,
                     const DecodeLimits& limits) {
  return ReadSection(path, PqzSection::kBase, ThreadComponent<CBase>(), limits, bases, header);
}

namespace {

// One file's ReadSmallBases in steps, so that the rows of two files can be walked side by
// side: Start, then (when it asks for a walk) the walk and Finish.
class SmallBasesRead {
 public:
  SmallBasesRead(const std::string& path, Int16Rows& bases, PqzHeader& header, CBase& component)
      : m_path(path), m_bases(bases), m_header(header), m_component(component) {}

  // Opens the file and reads its base section. true when its rows are to be walked into
  // Values(), Stride() apart; false when the read is over with Result().
  bool Start(const DecodeLimits& limits) {
    m_bases.Clear();
    m_result = Open(limits);
    if (m_values == nullptr || m_result != kSuccess) m_component.Resize(0, 0);
    if (m_result != kSuccess) {
      m_bases.Clear();
      return false;
    }
    return m_values != nullptr;
  }

  CBase& Component() { return m_component; }
  std::int16_t* Values() { return m_values; }
  std::size_t Stride() const { return m_bases.Stride(); }

  // After the walk that gave `walked`: undoes the prediction and checks the bound.
  void Finish(ResultCode walked) {
    m_component.Resize(0, 0);  // the double matrix the read made, never touched
    m_result = walked;
    if (m_result == kSuccess) {
      const auto [lowest, highest] =
          CBase::Unpredict(m_values, m_bases.Rows(), m_bases.Length(), m_bases.Stride());
      if (!m_bases.Finish(lowest, highest)) m_result = kInvalidValues;
    }
    if (m_result != kSuccess) {
      m_bases.Clear();
      return;
    }
    m_header = m_reader.Header();
  }

  ResultCode Result() const { return m_result; }

 private:
  ResultCode Open(const DecodeLimits& limits) {
    if (const ResultCode code = OpenSection(m_path, PqzSection::kBase, limits, m_reader);
        code != kSuccess) {
      return code;
    }
    std::uint64_t rows, columns;
    SectionShape(m_reader, PqzSection::kBase, rows, columns);
    try {
      if (const ResultCode code = m_reader.ReadSection(PqzSection::kBase, m_component);
          code != kSuccess) {
        return code;
      }
      m_reader.Close();
      if (m_component.Coding() != kCodingHuffman ||
          m_component.Block().Precision > CPQZComponent::kMaxSmallPrecision) {
        // Values that may not fit 16 bits as they are decoded: through the double matrix.
        if (const ResultCode code = m_component.Expand(false); code != kSuccess) return code;
        if (!m_bases.Assign(m_component.Data(), m_component.Rows(), m_component.Columns())) {
          return kInvalidValues;
        }
        m_header = m_reader.Header();
        return kSuccess;
      }
      // The double matrix is allocated by the read but never touched.
      m_values =
          m_bases.Prepare(static_cast<std::uint32_t>(rows), static_cast<std::uint32_t>(columns));
    } catch (const std::bad_alloc&) {
      return kNoMemory;
    } catch (const Tarn::MatrixException&) {
      return kNoMemory;
    }
    return kSuccess;
  }

  const std::string& m_path;
  Int16Rows& m_bases;
  PqzHeader& m_header;
  PqzReader m_reader;
  CBase& m_component;
  std::int16_t* m_values = nullptr;
  ResultCode m_result = kSuccess;
};

}  // namespace

ResultCode ReadSmallBases(const std::string& path, Int16Rows& bases, PqzHeader& header,
                          const DecodeLimits& limits) {
  SmallBasesRead read(path, bases, header, ThreadComponent<CBase>());
  if (read.Start(limits)) read.Finish(read.Component().ExpandSmall(read.Values(), read.Stride()));
  return read.Result();
}

void ReadSmallBasesTogether(SmallBasesJob* jobs, std::size_t count, const DecodeLimits& limits) {
  std::vector<std::optional<SmallBasesRead>> reads(count);
  std::vector<CPQZComponent::SmallExpansion> walks;
  std::vector<SmallBasesRead*> walking;
  walks.reserve(count);
  walking.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    SmallBasesRead& read =
        reads[k].emplace(*jobs[k].path, *jobs[k].bases, jobs[k].header, ThreadComponent<CBase>(k));
    if (!read.Start(limits)) continue;
    walks.push_back({&read.Component(), read.Values(), read.Stride()});
    walking.push_back(&read);
  }
  CPQZComponent::ExpandSmallTogether(walks.data(), walks.size());
  for (std::size_t k = 0; k < walks.size(); ++k) walking[k]->Finish(walks[k].result);
  for (std::size_t k = 0; k < count; ++k) jobs[k].result = reads[k]->Result();
}

}  // namespace orvane
