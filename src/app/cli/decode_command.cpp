// pqz decode IN.pqz OUT and pqz preview IN.pqz OUT: decoding to an ordinary image file.
#include <utility>

#include "app/cli/command.h"
#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "pqz/pqz_codec.h"

namespace orvane::cli {
namespace {

enum class DecodeKind { kFull, kPreview };

ResultCode DecodeTo(const Arguments& args, DecodeKind kind) {
  if (args.size() != 2) {
    return ReportUsage(kind == DecodeKind::kFull ? "decode IN.pqz OUT" : "preview IN.pqz OUT");
  }
  CImageEx image;
  PqzCodec codec;
  const ResultCode rc =
      kind == DecodeKind::kFull ? codec.Decode(image, args[0]) : codec.Preview(image, args[0]);
  if (rc != kSuccess) return ReportFailure(rc);
  // The writer is chosen by OUT's extension; an unknown one writes nothing. The picture is
  // handed over, so that the largest ones are written without a copy.
  if (!SaveImageFile(std::move(image), args[1])) return ReportFailure(kWriteFailed);
  return kSuccess;
}

}  // namespace

ResultCode RunDecode(const Arguments& args) { return DecodeTo(args, DecodeKind::kFull); }
ResultCode RunPreview(const Arguments& args) { return DecodeTo(args, DecodeKind::kPreview); }

}  // namespace orvane::cli
