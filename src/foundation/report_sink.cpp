#include "foundation/report_sink.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

namespace orvane {

ReportSink& DefaultReportSink() { return std::cout; }

void WriteJobReport(const std::string& text) {
  if (text.empty()) return;
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  ReportSink& sink = DefaultReportSink();
  sink.write(text.data(), static_cast<std::streamsize>(text.size()));
  sink.flush();
}

void ReportPrintf(ReportSink& sink, const char* format, ...) {
  char small[256];
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    sink.write(small, length);
  } else {
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    sink.write(text.data(), length);
  }
  va_end(again);
}

}  // namespace orvane
