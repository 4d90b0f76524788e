// Writes the seed corpus of the PQZ file fuzzer: small valid files made by the component
// writer, and broken copies of them, each broken in one known way.
//   pqz_seed_writer DIRECTORY
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"
#include "pqz/encoding_parameters.h"
#include "pqz/pqz_header.h"

namespace {

using namespace orvane;

struct Sample {
  const char* name;
  std::int32_t width, height, patchWidth, patchHeight, dimension;
  std::int32_t precision, maxZeroRun, coding;
  std::uint32_t averageStep;
};

// A small deterministic generator, so that the seeds are the same on every machine.
struct Lcg {
  std::uint64_t state;
  double Next() {  // in [0, 1)
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  }
  double Signed(double magnitude) { return std::trunc((2 * Next() - 1) * magnitude); }
};

std::vector<std::uint8_t> MakeFile(const Sample& s) {
  EncodingParameters p;
  p.Common.PatchWidth = s.patchWidth;
  p.Common.PatchHeight = s.patchHeight;
  p.Learning.DimensionReduction = s.dimension;
  p.Compression.PrecisionBit = s.precision;
  p.Compression.BasePrecisionBit = 0;
  p.Compression.MaxZeroRun = s.maxZeroRun;
  p.Compression.AverageQuantizeStep = s.averageStep;

  PqzHeader h;
  h.ImageWidth = s.width;
  h.ImageHeight = s.height;
  h.PatchWidth = s.patchWidth;
  h.PatchHeight = s.patchHeight;
  h.Dimension = s.dimension;
  const PatchGrid grid = GridOf(h);
  Lcg rng{static_cast<std::uint64_t>(s.width * 131 + s.dimension)};
  const double top = std::ldexp(1.0, s.precision - 2);

  CAverage average;
  CBase base;
  CCoeff coeff;
  average.Setup(p.Compression);
  base.Setup(p.Compression);
  coeff.Setup(p.Compression);
  average.Resize(3, grid.Patches);
  for (std::uint32_t i = 0; i < average.Count(); ++i) average.Data()[i] = 100 + rng.Signed(20);
  base.Resize(s.dimension, 3 * grid.PixelsPerPatch);
  for (std::uint32_t i = 0; i < base.Count(); ++i) base.Data()[i] = rng.Signed(top / 2);
  base.StepTable().assign(s.dimension, 3);
  coeff.Resize(grid.Patches, s.dimension);
  for (std::uint32_t r = 0; r < coeff.Rows(); ++r) {
    for (std::uint32_t d = 0; d < coeff.Columns(); ++d) {
      // Decaying magnitudes, many zeros in the later columns: runs and EOBs.
      coeff(r, d) = rng.Next() < 0.5 ? 0 : rng.Signed(top / (1 + 4 * d));
    }
  }
  for (CPQZComponent* c :
       {static_cast<CPQZComponent*>(&average), static_cast<CPQZComponent*>(&base),
        static_cast<CPQZComponent*>(&coeff)}) {
    c->SetCoding(s.coding);
    if (c->Compress() != kSuccess) return {};
  }
  FillPqzHeader(p, s.width, s.height, average.StoredSize(), base.StoredSize(), h);

  std::FILE* file = std::tmpfile();
  WritePqzHeader(file, h);
  average.Write(file);
  base.Write(file);
  coeff.Write(file);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::ftell(file)));
  std::rewind(file);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  bytes.resize(got);
  return bytes;
}

void Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
}

void PutLe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t GetLe32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Sets `width` bits at bit `offset` of the payload of the section that starts at `section`.
void PutBits(std::vector<std::uint8_t>& b, std::size_t section, std::uint64_t offset, int width,
             std::uint32_t value) {
  for (int i = 0; i < width; ++i) {
    const std::uint64_t bit = offset + i;
    std::uint8_t& byte = b[section + 40 + bit / 8];
    const std::uint8_t mask = static_cast<std::uint8_t>(0x80 >> (bit % 8));
    if ((value >> (width - 1 - i)) & 1) {
      byte |= mask;
    } else {
      byte &= static_cast<std::uint8_t>(~mask);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pqz_seed_writer DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  const Sample samples[] = {
      {"valid_huffman_16x16", 16, 16, 8, 8, 4, 8, 4, 0, 1},
      {"valid_deflate_16x16", 16, 16, 8, 8, 4, 8, 4, 1, 1},
      {"valid_short_runs_24x8", 24, 8, 4, 4, 6, 7, 1, 0, 2},
      {"valid_edge_patches_10x10", 10, 10, 8, 8, 3, 8, 2, 0, 1},
      {"valid_one_pixel", 1, 1, 2, 2, 1, 8, 16, 0, 1},
  };
  std::vector<std::uint8_t> first;
  for (const Sample& s : samples) {
    const std::vector<std::uint8_t> bytes = MakeFile(s);
    if (bytes.empty()) {
      std::fprintf(stderr, "cannot make %s\n", s.name);
      return 1;
    }
    Save(dir + "/" + s.name + ".pqz", bytes);
    if (first.empty()) first = bytes;
  }

  // Broken copies of the first file; the average section starts at 44.
  std::vector<std::uint8_t> b = first;
  b[0] = 'X';
  Save(dir + "/broken_magic.pqz", b);

  b = first;
  b.resize(b.size() - 7);
  Save(dir + "/broken_truncated_coefficients.pqz", b);

  b = first;
  PutLe32(b, 44, 2);
  Save(dir + "/broken_coding_2.pqz", b);

  b = first;
  PutLe32(b, 44 + 8, 2);  // two steps for three channels
  Save(dir + "/broken_short_step_table.pqz", b);

  b = first;
  PutLe32(b, 8, 0x7fffffff);   // image height
  PutLe32(b, 12, 0x7fffffff);  // image width: the matrices cannot be held
  Save(dir + "/broken_huge_image.pqz", b);

  b = first;
  PutLe32(b, 8, 4096);
  PutLe32(b, 12, 4096);  // G = 262144 patches claimed by a file of a few hundred bytes
  Save(dir + "/broken_image_larger_than_file.pqz", b);

  b = first;
  PutLe32(b, 8, 512);
  PutLe32(b, 12, 512);  // G = 4096 patches: within the fuzz entry's free pixels
  Save(dir + "/broken_coefficients_short_of_picture.pqz", b);

  b = first;
  PutLe32(b, 36, GetLe32(b, 36) + 1);  // the base section would start inside a gap
  Save(dir + "/broken_base_offset_gap.pqz", b);

  b = first;
  PutLe32(b, 40, GetLe32(b, 40) - 4);  // the coefficient section would overlap the bases
  Save(dir + "/broken_coeff_offset_overlap.pqz", b);

  b = first;
  PutLe32(b, 40, static_cast<std::uint32_t>(b.size()));  // nothing left for the coefficients
  Save(dir + "/broken_coeff_offset_past_end.pqz", b);

  b = first;
  PutLe32(b, 8, 16384);
  PutLe32(b, 12, 16384);
  PutLe32(b, 16, 1);
  PutLe32(b, 20, 2);  // 2^28 pixels from a few hundred bytes: more than such a file earns
  Save(dir + "/broken_picture_beyond_limits.pqz", b);

  {
    // BITS[1] = all ones of its width: more one-bit codes than one bit can tell apart.
    b = first;
    const std::uint64_t stepBits = GetLe32(b, 44 + 8) * GetLe32(b, 44 + 12);
    const int bitsWidth = static_cast<int>(GetLe32(b, 44 + 20));
    PutBits(b, 44, stepBits + bitsWidth, bitsWidth, (1u << bitsWidth) - 1);
    Save(dir + "/broken_bits_not_prefix.pqz", b);
  }
  {
    // The first HUFFVAL entry made a symbol outside the alphabet.
    b = first;
    const std::uint64_t tables =
        GetLe32(b, 44 + 8) * GetLe32(b, 44 + 12) + GetLe32(b, 44 + 16) * GetLe32(b, 44 + 20);
    const int width = static_cast<int>(GetLe32(b, 44 + 28));
    PutBits(b, 44, tables, width, (1u << width) - 1);
    Save(dir + "/broken_huffval_symbol.pqz", b);
  }
  return 0;
}
