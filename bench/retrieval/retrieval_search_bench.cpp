// Files per second of one search per colour descriptor over a folder of at least 2,000 PQZ
// files made from real photos, and of only reading the bytes such a search reads (the 44-byte
// header of every listed file for the candidate probe, then the header and the average
// section, then the header and the base section): the input/output floor. Each search reports
// its time as a multiple of that floor ("x_floor").
//
// The folder is made once (random crops and scalings of the photos that scripts/fetch-photos
// fetches, or of the test fixtures when those are missing) and kept in the build folder; set
// ORVANE_PHOTOS to use another folder of photos. Both measurements run with the files in the
// page cache, so the floor is the cost of the system calls and copies, not of the disk.
#include <QImage>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "imaging/file_type.h"
#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "imaging/qt_image.h"
#include "pqz/little_endian.h"
#include "pqz/pqz_codec.h"
#include "retrieval/folder_listing.h"
#include "retrieval/retrieval_search.h"

namespace {

namespace fs = std::filesystem;
using orvane::FileRecord;

constexpr int kCorpusFiles = 2048;

std::vector<std::string> PhotoPaths() {
  std::vector<std::string> dirs;
  if (const char* env = std::getenv("ORVANE_PHOTOS")) dirs.push_back(env);
  dirs.push_back(ORVANE_PHOTOS_DIR);
  for (const std::string& dir : dirs) {
    std::vector<std::string> photos;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
      const int type = orvane::GetFileTypeCode(entry.path().filename().string());
      if (type != 0 && type != orvane::FILE_TYPE_PQZ) photos.push_back(entry.path().string());
    }
    if (!photos.empty()) {
      std::sort(photos.begin(), photos.end());
      return photos;
    }
  }
  // The fixtures: small, but real photos.
  std::vector<std::string> photos;
  std::string fixtures = ORVANE_FIXTURE_PHOTOS_DIRS;
  for (std::size_t start = 0; start <= fixtures.size();) {
    const std::size_t end = std::min(fixtures.find('|', start), fixtures.size());
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fixtures.substr(start, end - start), error)) {
      if (entry.path().extension() == ".png") photos.push_back(entry.path().string());
    }
    start = end + 1;
  }
  std::sort(photos.begin(), photos.end());
  return photos;
}

// File i of the corpus: a random crop of 30 to 100 % of each side of photo i mod P, scaled so
// that its longer side is 96 to 320 pixels.
QImage MakeVariant(const QImage& photo, int i) {
  std::mt19937 rng(static_cast<unsigned>(i) * 2654435761u);
  std::uniform_real_distribution<double> fraction(0.3, 1.0);
  const int w = std::max(16, static_cast<int>(photo.width() * fraction(rng)));
  const int h = std::max(16, static_cast<int>(photo.height() * fraction(rng)));
  const int x = std::uniform_int_distribution<int>(0, photo.width() - w)(rng);
  const int y = std::uniform_int_distribution<int>(0, photo.height() - h)(rng);
  const int side = std::uniform_int_distribution<int>(96, 320)(rng);
  return photo.copy(x, y, w, h).scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Makes the corpus unless a complete one is cached. Two threads encode (the machine has two
// cores); the codec's console reports go to /dev/null meanwhile.
std::string Corpus() {
  static const std::string dir = [] {
    const fs::path root = ORVANE_BENCH_CORPUS_DIR;
    if (fs::exists(root / ".complete")) return root.string();
    fs::create_directories(root);
    std::vector<QImage> photos;
    for (const std::string& path : PhotoPaths()) {
      orvane::CImageEx image;
      if (orvane::LoadImageFile(image, path)) photos.push_back(orvane::ToQImage(image));
    }
    if (photos.empty()) {
      std::fprintf(stderr, "no photos found; run scripts/fetch-photos\n");
      std::exit(1);
    }
    std::fprintf(stderr, "making %d PQZ files from %zu photos in %s ...\n", kCorpusFiles,
                 photos.size(), root.c_str());
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::exit(1);
    std::atomic<int> next{0};
    std::atomic<int> failures{0};
    auto work = [&] {
      for (int i = next++; i < kCorpusFiles; i = next++) {
        orvane::CImageEx image;
        char name[32];
        std::snprintf(name, sizeof name, "img%d.pqz", i);
        orvane::PqzCodec codec;
        if (!orvane::FromQImage(MakeVariant(photos[i % photos.size()], i), image) ||
            codec.SetParameters({}, {}, {}) != orvane::kSuccess ||
            codec.Encode((root / name).string(), image) != orvane::kSuccess) {
          ++failures;
        }
      }
    };
    std::thread helper(work);
    work();
    helper.join();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    if (failures != 0) {
      std::fprintf(stderr, "%d files could not be made\n", failures.load());
      std::exit(1);
    }
    std::ofstream(root / ".complete") << kCorpusFiles << "\n";
    return root.string();
  }();
  return dir;
}

const std::vector<FileRecord>& Listing() {
  static const std::vector<FileRecord> records = [] {
    std::vector<FileRecord> list;
    orvane::ListImageFiles(Corpus(), false, list);
    return list;
  }();
  return records;
}

// Reads `bytes` bytes at `offset` (and the 44 header bytes first) as the section readers do,
// without decoding anything. Returns the bytes read.
std::size_t ReadSectionBytes(std::FILE* file, std::vector<std::uint8_t>& buffer, int offsetField) {
  std::uint8_t header[44];
  std::rewind(file);
  if (std::fread(header, 1, sizeof header, file) != sizeof header) return 0;
  const std::int32_t average = orvane::LoadLeInt32(header + 32);
  const std::int32_t base = orvane::LoadLeInt32(header + 36);
  const std::int32_t coeff = orvane::LoadLeInt32(header + 40);
  const std::int32_t start = offsetField == 32 ? average : base;
  const std::int32_t end = offsetField == 32 ? base : coeff;
  if (start < 0 || end < start || std::fseek(file, start, SEEK_SET) != 0) return 0;
  buffer.resize(static_cast<std::size_t>(end - start));
  return sizeof header + std::fread(buffer.data(), 1, buffer.size(), file);
}

// One pass of the floor over every listed file: probe, averages, bases, each with its own
// open and close as the search does. Returns the bytes read.
std::size_t ReadFloorOnce(const std::vector<FileRecord>& records) {
  std::vector<std::uint8_t> buffer;
  std::size_t total = 0;
  for (const FileRecord& record : records) {
    std::uint8_t header[44];
    if (std::FILE* f = std::fopen(record.m_strPath.c_str(), "rb")) {
      total += std::fread(header, 1, sizeof header, f);
      std::fclose(f);
    }
    for (const int field : {32, 36}) {
      if (std::FILE* f = std::fopen(record.m_strPath.c_str(), "rb")) {
        total += ReadSectionBytes(f, buffer, field);
        std::fclose(f);
      }
    }
  }
  return total;
}

// Seconds of one floor pass.
double FloorPassSeconds() {
  const auto start = std::chrono::steady_clock::now();
  benchmark::DoNotOptimize(ReadFloorOnce(Listing()));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ReadFloor(benchmark::State& state) {
  const std::vector<FileRecord>& records = Listing();
  std::size_t bytes = 0;
  for (auto _ : state) bytes = ReadFloorOnce(records);
  state.counters["files/s"] = benchmark::Counter(
      static_cast<double>(records.size()) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["files"] = static_cast<double>(records.size());
  state.counters["bytes/file"] = static_cast<double>(bytes) / records.size();
}
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

// range(0): the colour descriptor; range(1): threads scoring the candidates.
void BM_Search(benchmark::State& state) {
  const std::int32_t kind = static_cast<std::int32_t>(state.range(0));
  const std::vector<FileRecord>& listing = Listing();
  const std::string query = listing.front().m_strPath;
  orvane::RetrievalSearch search(kind, orvane::kDefaultColorWeights[kind]);
  search.SetThreads(static_cast<unsigned>(state.range(1)));
  // The ratio sets the best search against the best floor pass, the two taken in turn, so
  // that both are measured while the machine runs at the same speed.
  double bestSearch = 1e30, bestFloor = 1e30;
  for (auto _ : state) {
    state.PauseTiming();
    bestFloor = std::min(bestFloor, FloorPassSeconds());
    std::vector<FileRecord> records = listing;
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    if (search.Run(query, 0, records) != orvane::kSuccess) {
      state.SkipWithError("search failed");
      return;
    }
    bestSearch =
        std::min(bestSearch,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetLabel(orvane::kFeatureKindTexts[kind]);
  state.counters["files/s"] = benchmark::Counter(
      static_cast<double>(listing.size()) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["x_floor"] = bestSearch / bestFloor;
}
BENCHMARK(BM_Search)
    ->ArgNames({"feature", "threads"})
    ->ArgsProduct({{orvane::FEATURE_BLOCK_MEAN, orvane::FEATURE_HISTOGRAM, orvane::FEATURE_CSD},
                   {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)  // some ten searches and floor passes: a best of each that holds
    ->UseRealTime();

}  // namespace
