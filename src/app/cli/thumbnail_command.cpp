// pqz thumbnail [-s SIZE] IN OUT.png: the file managers' thumbnailer. It runs on untrusted
// downloads, so it decodes within the core's limits and writes nothing but OUT, complete or
// not at all.
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <charconv>
#include <string>

#include "app/cli/command.h"
#include "imaging/thumbnail/file_thumbnail.h"
#include "imaging/thumbnail/png_file.h"

namespace orvane::cli {
namespace {

constexpr const char* kUsage = "thumbnail [-s SIZE] IN OUT.png";
constexpr int kDefaultSide = 128;
// What the image reader may allocate for one picture. A thumbnail never needs the 1 GiB that
// opening a 100-megapixel photo in full does; 512 MiB still admits any real photo while a
// forged PNG or TIFF header is refused before its buffer is made.
constexpr int kReaderAllocationLimitMb = 512;

bool ParseSide(const std::string& text, int& side) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, side);
  return ec == std::errc() && ptr == end && side >= 1 && side <= kMaxThumbnailSide;
}

}  // namespace

ResultCode RunThumbnail(const Arguments& args) {
  int side = kDefaultSide;
  std::size_t first = 0;
  if (args.size() == 4 && args[0] == "-s") {
    if (!ParseSide(args[1], side)) return ReportUsage(kUsage);
    first = 2;
  } else if (args.size() != 2) {
    return ReportUsage(kUsage);
  }
  QImageReader::setAllocationLimit(kReaderAllocationLimitMb);
  QImage thumbnail;
  if (const ResultCode rc = MakeFileThumbnail(args[first], side, thumbnail); rc != kSuccess) {
    return ReportFailure(rc);
  }
  const QString out = QFile::decodeName(QByteArray::fromStdString(args[first + 1]));
  if (!WritePngFileAtomically(thumbnail, out)) return ReportFailure(kWriteFailed);
  return kSuccess;
}

}  // namespace orvane::cli
