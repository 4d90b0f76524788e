// pqz encode IN OUT.pqz [--config FILE] [--method pca|ica]
#include <cstdio>
#include <string>

#include "app/cli/command.h"
#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "pqz/parameter_loader.h"
#include "pqz/pqz_codec.h"

namespace orvane::cli {
namespace {

constexpr const char* kUsage = "encode IN OUT.pqz [--config FILE] [--method pca|ica]";

struct EncodeOptions {
  std::string input;
  std::string output;
  std::string config;  ///< empty: config.ini beside the program, else the defaults
  bool hasMethod = false;
  LearningMethod method = LearningMethod::kPca;
};

bool ParseOptions(const Arguments& args, EncodeOptions& options) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--config" && i + 1 < args.size()) {
      options.config = args[++i];
    } else if (args[i] == "--method" && i + 1 < args.size()) {
      const std::string& m = args[++i];
      if (m != "pca" && m != "ica") return false;
      options.hasMethod = true;
      options.method = m == "pca" ? LearningMethod::kPca : LearningMethod::kIca;
    } else if (args[i].rfind("--", 0) == 0) {
      return false;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) return false;
  options.input = positional[0];
  options.output = positional[1];
  return true;
}

}  // namespace

ResultCode RunEncode(const Arguments& args) {
  EncodeOptions options;
  if (!ParseOptions(args, options)) return ReportUsage(kUsage);

  CommonParameters common;
  LearningParameters learning;
  CompressionParameters compression;
  if (options.config.empty()) {
    LoadParameters(common, learning, compression);
  } else {
    // A configuration named on the command line must be a readable file; only the implicit
    // one may be absent and fall back to the defaults.
    if (const ResultCode rc = LoadNamedParameters(options.config, common, learning, compression);
        rc != kSuccess) {
      return ReportFailure(rc);
    }
  }
  if (options.hasMethod) ApplyLearningMethod(learning, options.method);

  CImageEx image;
  if (!LoadImageFile(image, options.input)) return ReportFailure(kCannotOpenFile);
  PqzCodec codec;
  if (const ResultCode rc = codec.SetParameters(common, learning, compression); rc != kSuccess) {
    return ReportFailure(rc);
  }
  return ReportFailure(codec.Encode(options.output, image));
}

}  // namespace orvane::cli
