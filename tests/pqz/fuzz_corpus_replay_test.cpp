// Replays every file of the fuzzer's committed corpus through the fuzz entry, so that inputs
// that once broke a reader stay fixed. Seeds named valid_* must decode; broken_* must be
// refused with a result code; inputs the fuzzer found only have to come back at all.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pqz_file_entry.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzCorpus, EveryInputIsReadSafelyAndSeedsGiveTheirOutcome) {
  const fs::path dir = ORVANE_PQZ_FUZZ_CORPUS;
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  int valid = 0, broken = 0, found = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    const std::vector<std::uint8_t> bytes = Contents(entry.path());
    const ResultCode code = fuzz::ReadPqzBytes(bytes.data(), bytes.size());
    if (name.rfind("valid_", 0) == 0) {
      ++valid;
      EXPECT_EQ(code, kSuccess) << name;
    } else if (name.rfind("broken_", 0) == 0) {
      ++broken;
      EXPECT_NE(code, kSuccess) << name;
    } else {
      ++found;
    }
    EXPECT_NE(ResultMessage(code), nullptr) << name << " gave a code outside the catalogue";
  }
  EXPECT_GT(valid, 0);
  EXPECT_GT(broken, 0);
}

}  // namespace
}  // namespace orvane
