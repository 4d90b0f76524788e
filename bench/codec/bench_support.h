#pragma once

// What the codec benchmarks and the rate-distortion program share: finding the fetched
// photos, scaling them with Qt, running the codec with its console output caught, and PSNR.

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "foundation/result_code.h"
#include "imaging/image_ex.h"
#include "imaging/image_psnr.h"
#include "pqz/encoding_parameters.h"

namespace orvane::bench {

/// The folder of the real photos: $ORVANE_PHOTOS when set, else the folder that
/// scripts/fetch-photos prints (it fetches them on first use). Empty when neither works.
std::string PhotoFolder();

/// Loads `name` from the photo folder through the system's loader and, when `width` is not 0,
/// scales it to width x height with Qt's smooth scaling. False when the photo cannot be had.
bool LoadPhoto(const std::string& name, int width, int height, CImageEx& image);

/// The labelled seconds the codec prints per stage ("  extracting...0.12" gives
/// "extracting", "  loading time = 0.3" gives "loading time"), in the order printed.
using StageSeconds = std::vector<std::pair<std::string, double>>;
StageSeconds ParseStages(const std::string& output);

/// Everything written to standard output (by printf or std::cout) between construction and
/// Finish; nothing reaches the terminal meanwhile.
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  std::string Finish();

 private:
  int m_saved = -1;
  std::FILE* m_file = nullptr;
};

/// Encodes `image` into `path` with `parameters`, the parameter report, stage lines and
/// reports caught; `stages` gets the stage seconds.
ResultCode EncodeQuietly(const CImageEx& image, const EncodingParameters& parameters,
                         const std::string& path, StageSeconds* stages = nullptr);

/// Decodes `path` (in full, or the preview), the timing lines caught into `stages`, with
/// `threads` decode threads (0: one per core).
ResultCode DecodeQuietly(const std::string& path, CImageEx& image, bool preview = false,
                         StageSeconds* stages = nullptr, unsigned threads = 0);

using ::orvane::Psnr;

}  // namespace orvane::bench
