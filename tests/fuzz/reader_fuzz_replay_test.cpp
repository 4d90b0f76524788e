// Every input of the committed corpora of the reader fuzzers (seeds, and inputs that once
// crashed or hung a reader) replayed through its fuzz entry: each must come back with exactly
// the result code recorded beside the corpus in TARGET.codes ("NAME CODE" lines), and every
// file of the corpus must have its line, so a newly kept input cannot go unchecked.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config_ini_entry.h"
#include "retrieval_feature_entry.h"
#ifdef ORVANE_FUZZ_THUMBNAIL
#include "thumbnail_entry.h"
#endif

namespace orvane {
namespace {

namespace fs = std::filesystem;

using Entry = std::function<ResultCode(const std::vector<std::uint8_t>&)>;

struct Corpus {
  const char* name;
  Entry entry;
};

std::vector<std::uint8_t> Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// NAME CODE lines; blank lines and lines starting with '#' are skipped.
std::map<std::string, ResultCode> ReadCodes(const fs::path& path) {
  std::map<std::string, ResultCode> codes;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    ResultCode code = -1;
    if (fields >> name >> code) codes[name] = code;
  }
  return codes;
}

ResultCode Features(const std::vector<std::uint8_t>& bytes) {
  const fuzz::FeatureOutcome outcome = fuzz::ReadFeatureBytes(bytes.data(), bytes.size());
  EXPECT_TRUE(outcome.SimilaritiesInRange);
  EXPECT_TRUE(outcome.SmallBasesAgree);
  EXPECT_TRUE(outcome.TogetherAgrees);
  return outcome.Code;
}

class ReaderFuzzCorpus : public testing::TestWithParam<Corpus> {};

TEST_P(ReaderFuzzCorpus, ReplaysEveryInputWithItsRecordedCode) {
  const fs::path dir = fs::path(ORVANE_FUZZ_CORPUS_DIR) / GetParam().name;
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  std::map<std::string, ResultCode> codes =
      ReadCodes(fs::path(ORVANE_FUZZ_CORPUS_DIR) / (std::string(GetParam().name) + ".codes"));
  int replayed = 0;
  for (const fs::directory_entry& file : fs::directory_iterator(dir)) {
    if (!file.is_regular_file()) continue;
    const std::string name = file.path().filename().string();
    const auto expected = codes.find(name);
    const ResultCode code = GetParam().entry(Contents(file.path()));
    if (expected == codes.end()) {
      ADD_FAILURE() << name << " has no recorded code; it gives " << code;
      continue;
    }
    EXPECT_EQ(code, expected->second) << name;
    codes.erase(expected);
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
  for (const auto& [name, code] : codes) ADD_FAILURE() << name << " is recorded but missing";
}

INSTANTIATE_TEST_SUITE_P(Readers, ReaderFuzzCorpus,
                         testing::Values(Corpus{"config_ini",
                                                [](const std::vector<std::uint8_t>& b) {
                                                  return fuzz::ReadConfigBytes(b.data(), b.size());
                                                }},
                                         Corpus{"retrieval_feature", &Features}
#ifdef ORVANE_FUZZ_THUMBNAIL
                                         ,
                                         Corpus{"thumbnail",
                                                [](const std::vector<std::uint8_t>& b) {
                                                  return fuzz::ThumbnailBytes(b.data(), b.size());
                                                }}
#endif
                                         ),
                         [](const testing::TestParamInfo<Corpus>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace orvane
