#include "bench_support.h"

#include <QImage>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <regex>

#include <unistd.h>

#include "imaging/image_file.h"
#include "imaging/qt_image.h"
#include "pqz/pqz_codec.h"

namespace orvane::bench {

std::string PhotoFolder() {
  if (const char* env = std::getenv("ORVANE_PHOTOS"); env != nullptr && *env != '\0') return env;
  std::FILE* pipe = ::popen(ORVANE_FETCH_PHOTOS, "r");
  if (pipe == nullptr) return {};
  char line[4096] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  const int status = ::pclose(pipe);
  if (!read || status != 0) return {};
  std::string folder(line);
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) folder.pop_back();
  return folder;
}

bool LoadPhoto(const std::string& name, int width, int height, CImageEx& image) {
  static const std::string folder = PhotoFolder();
  if (folder.empty() || !LoadImageFile(image, folder + "/" + name)) return false;
  if (width == 0) return true;
  const QImage scaled =
      ToQImage(image).scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return FromQImage(scaled, image) && image.GetBPP() == 24;
}

StageSeconds ParseStages(const std::string& output) {
  // "  extracting...0.12" (encoder) and "  loading time = 0.3" (decoder); the reports'
  // capitalised "  Dimension = 96" lines are not stages.
  static const std::regex line(R"(^  ([a-z][a-z -]*[a-z])(\.\.\.| time = )([0-9][0-9.e+-]*)$)");
  StageSeconds stages;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string text = output.substr(start, end - start);
    std::smatch m;
    if (std::regex_match(text, m, line)) {
      stages.emplace_back(m[2] == "..." ? m[1].str() : m[1].str() + " time", std::stod(m[3]));
    }
    start = end + 1;
  }
  return stages;
}

StdoutCapture::StdoutCapture() {
  std::cout.flush();
  std::fflush(stdout);
  m_file = std::tmpfile();
  if (m_file == nullptr) return;
  m_saved = ::dup(STDOUT_FILENO);
  ::dup2(::fileno(m_file), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() { Finish(); }

std::string StdoutCapture::Finish() {
  if (m_file == nullptr) return {};
  std::cout.flush();
  std::fflush(stdout);
  ::dup2(m_saved, STDOUT_FILENO);
  ::close(m_saved);
  std::string text;
  std::rewind(m_file);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0;)
    text.append(buffer, n);
  std::fclose(m_file);
  m_file = nullptr;
  return text;
}

ResultCode EncodeQuietly(const CImageEx& image, const EncodingParameters& parameters,
                         const std::string& path, StageSeconds* stages) {
  StdoutCapture capture;
  PqzCodec codec;
  ResultCode rc =
      codec.SetParameters(parameters.Common, parameters.Learning, parameters.Compression);
  if (rc == kSuccess) rc = codec.Encode(path, image);
  const std::string out = capture.Finish();
  if (stages != nullptr) *stages = ParseStages(out);
  return rc;
}

ResultCode DecodeQuietly(const std::string& path, CImageEx& image, bool preview,
                         StageSeconds* stages, unsigned threads) {
  StdoutCapture capture;
  PqzCodec codec;
  codec.SetDecodeThreads(threads);
  const ResultCode rc = preview ? codec.Preview(image, path) : codec.Decode(image, path);
  const std::string out = capture.Finish();
  if (stages != nullptr) *stages = ParseStages(out);
  return rc;
}

}  // namespace orvane::bench
