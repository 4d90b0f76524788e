// Replays every file of the fuzzer's committed corpus through the fuzz entry, so that inputs
// that once broke a reader stay fixed. Seeds named valid_* must decode and preview; each
// broken_* seed must give exactly the codes it is broken for; inputs the fuzzer found only
// have to come back at all, with a code of the catalogue.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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

struct Expected {
  ResultCode decode;
  ResultCode preview;
};

// What each broken seed (written by fuzz/pqz_seed_writer.cpp, or kept from the fuzzer's
// findings) must give under the fuzz entry's limits.
const std::map<std::string, Expected> kBrokenSeeds = {
    {"broken_magic.pqz", {kInvalidFileType, kInvalidFileType}},
    {"broken_huge_image.pqz", {kInvalidFileType, kInvalidFileType}},
    {"broken_truncated_coefficients.pqz", {kReadFailed, kReadFailed}},
    {"broken_coding_2.pqz", {kUnsupportedVersion, kUnsupportedVersion}},
    {"broken_short_step_table.pqz", {kReadFailed, kReadFailed}},
    {"broken_bits_not_prefix.pqz", {kReadFailed, kReadFailed}},
    {"broken_huffval_symbol.pqz", {kReadFailed, kReadFailed}},
    // 4096 x 4096 pixels cannot come from a few hundred bytes: the decode refuses them
    // before reading (they pass the pixels the fuzz entry's limits give such a file); the
    // preview's 262144 pixels are within the free ones, and it runs out of bits in the means.
    {"broken_image_larger_than_file.pqz", {kNoMemory, kOutOfRange}},
    // 512 x 512 pixels pass the limits: the decode refuses a coefficient section too short
    // for the claimed shape; the preview, which reads the means alone, makes its 4096 pixels.
    {"broken_coefficients_short_of_picture.pqz", {kReadFailed, kSuccess}},
    {"broken_base_offset_gap.pqz", {kReadFailed, kReadFailed}},
    {"broken_coeff_offset_overlap.pqz", {kReadFailed, kReadFailed}},
    {"broken_coeff_offset_past_end.pqz", {kReadFailed, kReadFailed}},
    {"broken_picture_beyond_limits.pqz", {kNoMemory, kNoMemory}},
    // Found by the fuzzer: a 32 x 6936 picture of 1024 x 4 patches, whose whole patches hold
    // 7 million pixels for the decode to make. Before the patch pixels were weighed, it took
    // seconds; the preview has only one pixel per patch.
    {"broken_patches_beyond_picture.pqz", {kNoMemory, kSuccess}},
};

TEST(FuzzCorpus, EveryInputIsReadSafelyAndSeedsGiveTheirOutcome) {
  const fs::path dir = ORVANE_PQZ_FUZZ_CORPUS;
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  int valid = 0;
  std::map<std::string, Expected> unseen = kBrokenSeeds;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    const std::vector<std::uint8_t> bytes = Contents(entry.path());
    const fuzz::PqzOutcome outcome = fuzz::ReadPqzOutcome(bytes.data(), bytes.size());
    if (name.rfind("valid_", 0) == 0) {
      ++valid;
      EXPECT_EQ(outcome.decode, kSuccess) << name;
      EXPECT_EQ(outcome.preview, kSuccess) << name;
    } else if (name.rfind("broken_", 0) == 0) {
      const auto it = unseen.find(name);
      ASSERT_NE(it, unseen.end()) << name << " is a broken seed without its expected codes";
      EXPECT_EQ(outcome.decode, it->second.decode) << name;
      EXPECT_EQ(outcome.preview, it->second.preview) << name;
      unseen.erase(it);
    }
    EXPECT_NE(ResultMessage(outcome.decode), nullptr) << name << ": code outside the catalogue";
    EXPECT_NE(ResultMessage(outcome.preview), nullptr) << name << ": code outside the catalogue";
  }
  EXPECT_GT(valid, 0);
  for (const auto& [name, expected] : unseen) ADD_FAILURE() << name << " is missing";
}

}  // namespace
}  // namespace orvane
