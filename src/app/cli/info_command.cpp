// pqz info FILE.pqz: the header and size reports of a file, without decoding it.
#include <cstdio>
#include <memory>

#include "app/cli/command.h"
#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"
#include "pqz/pqz_header.h"

namespace orvane::cli {

ResultCode RunInfo(const Arguments& args) {
  if (args.size() != 1) return ReportUsage("info FILE.pqz");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(args[0].c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return ReportFailure(kCannotOpenFile);
  PqzHeader header;
  if (const ResultCode rc = ReadPqzHeader(file.get(), header); rc != kSuccess) {
    return ReportFailure(rc);
  }
  // Reading every section checks that the file is whole and gives the stored sizes.
  CAverage average;
  CBase base;
  CCoeff coeff;
  for (CPQZComponent* c :
       {static_cast<CPQZComponent*>(&average), static_cast<CPQZComponent*>(&base),
        static_cast<CPQZComponent*>(&coeff)}) {
    ResultCode rc = c->SizeFromHeader(header);
    if (rc == kSuccess) rc = c->Read(file.get());
    if (rc != kSuccess) return ReportFailure(rc);
  }
  PrintHeaderReport(header);
  PrintSizeReport(average.StoredSize(), base.StoredSize(), coeff.StoredSize());
  return kSuccess;
}

}  // namespace orvane::cli
