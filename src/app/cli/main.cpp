// pqz: the command-line face of the PQZ codec and the search engine.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "app/cli/command.h"
#include "imaging/image_file.h"

namespace orvane::cli {

ResultCode ReportUsage(const char* usage) {
  std::fprintf(stderr, "usage: pqz %s\n", usage);
  return kInvalidArguments;
}

ResultCode ReportFailure(ResultCode code) {
  if (code != kSuccess) {
    const char* text = ResultMessage(code);
    std::fputs(text != nullptr ? text : "Unknown error occured.\n", stderr);
  }
  return code;
}

namespace {

constexpr Command kCommands[] = {
    {"info", "info FILE.pqz                 print the header and size reports", &RunInfo},
    {"decode", "decode IN.pqz OUT             decode to an image file (format by OUT's extension)",
     &RunDecode},
    {"preview", "preview IN.pqz OUT            write the one-pixel-per-patch preview", &RunPreview},
    {"encode",
     "encode IN OUT.pqz [--config FILE] [--method pca|ica]\n"
     "                                encode an image file (parameters from FILE, else\n"
     "                                config.ini beside the program, else the defaults)",
     &RunEncode},
    {"search",
     "search QUERY.pqz FOLDER [--recursive] [--feature block-mean|histogram|csd]\n"
     "                                [--color-weight 0..100] [--jobs N]\n"
     "                                rank the PQZ files of FOLDER by their similarity to\n"
     "                                QUERY (defaults: csd; weight 90, 75, 70 by feature;\n"
     "                                N scoring threads, default: the cores)",
     &RunSearch},
    {"thumbnail",
     "thumbnail [-s SIZE] IN OUT.png\n"
     "                                write the thumbnail of any image file as PNG, its\n"
     "                                longest side SIZE (default 128)",
     &RunThumbnail},
    {"convert",
     "convert SRC DST [--recursive] [--to pqz|bmp] [--method pca|ica]\n"
     "                                [--config FILE] [--jobs N] [--shard K/N]\n"
     "                                convert the image files of SRC to PQZ (or the PQZ\n"
     "                                files to BMP) into DST, sub-folders mirrored, on N\n"
     "                                threads (default: the cores); --shard takes every\n"
     "                                N-th file from the K-th (0-based) of the listing",
     &RunConvert},
};

void PrintHelp() {
  std::printf(
      "Usage: pqz COMMAND [ARGS...]\n"
      "       pqz --help | --version\n\n"
      "Reads, writes and searches PQZ (Quazform) image files.\n\n"
      "Commands:\n");
  for (const Command& c : kCommands) {
    std::printf("  %s\n", c.usage);
  }
  std::printf("\nThe exit status is the result code of the operation (0 on success).\n");
}

}  // namespace
}  // namespace orvane::cli

int main(int argc, char** argv) {
  using namespace orvane::cli;
  orvane::SetImageReaderAllocationLimit();
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp();
    return argc < 2 ? orvane::kInvalidArguments : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("pqz (Orvane) %s\n", ORVANE_VERSION);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) {
      return c.run(Arguments(argv + 2, argv + argc));
    }
  }
  std::fprintf(stderr, "pqz: unknown command '%s' (see pqz --help)\n", argv[1]);
  return orvane::kInvalidArguments;
}
