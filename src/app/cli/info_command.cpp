// pqz info FILE.pqz: the header and size reports of a file, without decoding it.
#include <utility>

#include "app/cli/command.h"
#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"
#include "pqz/pqz_header.h"
#include "pqz/pqz_reader.h"

namespace orvane::cli {

ResultCode RunInfo(const Arguments& args) {
  if (args.size() != 1) return ReportUsage("info FILE.pqz");
  // Opening settles where the sections lie and that the file holds them whole, by the rule
  // every reader of the system applies.
  PqzReader reader;
  if (const ResultCode rc = reader.OpenFile(args[0]); rc != kSuccess) return ReportFailure(rc);
  // Reading every section (without expanding it or taking its matrix) checks its head and
  // block as a decode would.
  CAverage average;
  CBase base;
  CCoeff coeff;
  const std::pair<PqzSection, CPQZComponent*> sections[] = {
      {PqzSection::kAverage, &average}, {PqzSection::kBase, &base}, {PqzSection::kCoeff, &coeff}};
  for (const auto& [section, component] : sections) {
    if (const ResultCode rc = reader.ReadSection(section, *component, true); rc != kSuccess) {
      return ReportFailure(rc);
    }
  }
  const auto size = [&reader](PqzSection s) {
    return static_cast<std::uint32_t>(reader.Extent(s).Size);
  };
  PrintHeaderReport(reader.Header());
  PrintSizeReport(size(PqzSection::kAverage), size(PqzSection::kBase), size(PqzSection::kCoeff));
  return kSuccess;
}

}  // namespace orvane::cli
