// Several threads decoding, previewing and encoding different files at once must get exactly
// what one thread gets: the codec keeps no state between its objects. This test also runs in
// the ThreadSanitizer build, which reports any access that two jobs share unguarded.
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "codec_test_files.h"
#include "imaging/image_ex.h"
#include "pqz/pqz_codec.h"
#include "scoped_temp_dir.h"

namespace orvane {
namespace {

using codec_test::MakeImage;
using codec_test::ReadAll;
using test_support::ScopedTempDir;

constexpr int kJobs = 4;

// A different picture per job: waves whose frequencies and colours depend on `seed`.
CImageEx JobImage(int seed) {
  const int width = 40 + 8 * seed;
  const int height = 32 + 4 * seed;
  return MakeImage(width, height, [&](int x, int y) {
    const auto byte = [](double v) {
      return static_cast<std::uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    };
    const double wave = 60.0 * std::sin(x * (0.2 + 0.05 * seed)) * std::cos(y * 0.3);
    return byte(100 + wave + 2 * x) | (byte(80 + 3 * y - wave) << 8) |
           (byte(150 - x - y + 10 * seed) << 16);
  });
}

// What a job gives: the encoded file's bytes and the pixels of the decode and the preview.
struct Outcome {
  ResultCode encodeRc = kUnknownError;
  ResultCode decodeRc = kUnknownError;
  ResultCode previewRc = kUnknownError;
  std::vector<std::uint8_t> file;
  std::vector<std::uint32_t> decoded;
  std::vector<std::uint32_t> preview;
};

std::vector<std::uint32_t> Pixels(const CImageEx& image) {
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) pixels.push_back(image.GetPixel(x, y));
  }
  return pixels;
}

// Job `k`: encodes its own picture (ICA for odd jobs, so the learning runs too), then decodes
// and previews the file that `source` names, each codec with its own report sink.
Outcome RunJob(int k, const std::string& output, const std::string& source) {
  Outcome o;
  std::ostringstream report;
  {
    EncodingParameters p;
    p.Learning.MaxIterations = k % 2 == 1 ? 5 : 0;
    p.Learning.DimensionReduction = 24;
    PqzCodec encoder;
    encoder.SetReportSink(report);
    o.encodeRc = encoder.SetParameters(p.Common, p.Learning, p.Compression);
    if (o.encodeRc == kSuccess) o.encodeRc = encoder.Encode(output, JobImage(k));
    o.file = ReadAll(output);
  }
  CImageEx image;
  PqzCodec decoder;
  decoder.SetReportSink(report);
  o.decodeRc = decoder.Decode(image, source);
  o.decoded = Pixels(image);
  PqzCodec previewer;
  previewer.SetReportSink(report);
  o.previewRc = previewer.Preview(image, source);
  o.preview = Pixels(image);
  return o;
}

TEST(CodecThreads, ConcurrentJobsGiveWhatOneThreadGives) {
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  const auto path = [&](const std::string& stem, int k) {
    return (dir.Path() / (stem + std::to_string(k) + ".pqz")).string();
  };

  // One thread: each job encodes its reference file and decodes its own file.
  std::vector<Outcome> alone(kJobs);
  for (int k = 0; k < kJobs; ++k) {
    alone[k] = RunJob(k, path("alone", k), path("alone", k));
    ASSERT_EQ(alone[k].encodeRc, kSuccess) << k;
    ASSERT_EQ(alone[k].decodeRc, kSuccess) << k;
    ASSERT_EQ(alone[k].previewRc, kSuccess) << k;
  }

  // All at once: job k encodes afresh while it decodes and previews the reference file of
  // another job, so encoders, learners and decoders of different files overlap.
  std::vector<Outcome> together(kJobs);
  std::vector<std::thread> threads;
  for (int k = 0; k < kJobs; ++k) {
    threads.emplace_back(
        [&, k] { together[k] = RunJob(k, path("together", k), path("alone", (k + 1) % kJobs)); });
  }
  for (std::thread& t : threads) t.join();

  for (int k = 0; k < kJobs; ++k) {
    const int other = (k + 1) % kJobs;
    EXPECT_EQ(together[k].encodeRc, kSuccess) << k;
    EXPECT_EQ(together[k].decodeRc, kSuccess) << k;
    EXPECT_EQ(together[k].previewRc, kSuccess) << k;
    EXPECT_TRUE(together[k].file == alone[k].file) << "file of job " << k;
    EXPECT_TRUE(together[k].decoded == alone[other].decoded) << "decode in job " << k;
    EXPECT_TRUE(together[k].preview == alone[other].preview) << "preview in job " << k;
  }
}

}  // namespace
}  // namespace orvane
