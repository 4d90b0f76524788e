#include "thumbnail_entry.h"

#include <QImage>
#include <QImageReader>
#include <cstdlib>
#include <string>

#include "fuzz_decode_limits.h"
#include "fuzz_input_file.h"
#include "imaging/thumbnail/file_thumbnail.h"

namespace orvane::fuzz {
namespace {

constexpr int kSide = 128;
// The same limit pqz thumbnail sets at its start.
constexpr int kReaderAllocationLimitMb = 512;

}  // namespace

ResultCode ThumbnailBytes(const std::uint8_t* data, std::size_t size) {
  static const bool limited = [] {
    QImageReader::setAllocationLimit(kReaderAllocationLimitMb);
    return true;
  }();
  (void)limited;
  const std::string path = WriteInputFile(data, size, "input.pqz");
  if (path.empty()) return kCannotOpenFile;
  QImage thumbnail;
  const ResultCode code = MakeFileThumbnail(path, kSide, thumbnail, {}, FuzzDecodeLimits());
  if (code == kSuccess &&
      (thumbnail.isNull() || thumbnail.width() > kSide || thumbnail.height() > kSide)) {
    std::abort();  // a success must give a thumbnail within the box
  }
  return code;
}

}  // namespace orvane::fuzz
