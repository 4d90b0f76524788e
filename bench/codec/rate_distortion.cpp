// codec_rate_distortion PHOTO...: encodes each photo as PQZ with the default parameters and a
// few other settings, decodes it, and prints bits per pixel and PSNR (over red, green and blue
// against the loaded photo) next to Qt's JPEG writer at qualities 50, 75 and 90. Run through
// scripts/rate-distortion, which fetches the photos and builds this program.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <stdlib.h>

#include "bench_support.h"
#include "imaging/image_file.h"
#include "imaging/qt_image.h"
#include "pqz/parameter_loader.h"

namespace {

using orvane::CImageEx;
using orvane::EncodingParameters;

struct Setting {
  std::string name;
  std::function<void(EncodingParameters&)> apply;  // null for the JPEG rows
  int jpegQuality = 0;
};

std::vector<Setting> Settings() {
  const auto step = [](std::uint32_t q) {
    return [q](EncodingParameters& p) {
      p.Compression.CoeffQuantizeStep = q;
      p.Compression.AverageQuantizeStep = orvane::DeriveAverageQuantizeStep(q, p.Common.PatchWidth);
    };
  };
  return {
      {"PQZ defaults (RGB, PCA, D 96, q 1)", [](EncodingParameters&) {}},
      {"PQZ CoeffQuantizeStep 4", step(4)},
      {"PQZ CoeffQuantizeStep 16", step(16)},
      {"PQZ DimensionReduction 48",
       [](EncodingParameters& p) { p.Learning.DimensionReduction = 48; }},
      {"PQZ YCC", [](EncodingParameters& p) { p.Common.ColorSpace = orvane::kColorSpaceYcc; }},
      {"JPEG quality 50", nullptr, 50},
      {"JPEG quality 75", nullptr, 75},
      {"JPEG quality 90", nullptr, 90},
  };
}

struct Point {
  double bpp = 0.0;
  double psnr = 0.0;
  bool ok = false;
};

Point MeasurePqz(const CImageEx& photo, const Setting& setting, const std::string& path) {
  EncodingParameters parameters;
  setting.apply(parameters);
  Point point;
  if (orvane::bench::EncodeQuietly(photo, parameters, path) != 0) return point;
  CImageEx decoded;
  if (orvane::bench::DecodeQuietly(path, decoded) != 0) return point;
  const double pixels = double(photo.GetWidth()) * photo.GetHeight();
  point.bpp = 8.0 * double(std::filesystem::file_size(path)) / pixels;
  point.psnr = orvane::bench::Psnr(photo, decoded);
  point.ok = true;
  return point;
}

Point MeasureJpeg(const CImageEx& photo, int quality) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setQuality(quality);
  Point point;
  if (!writer.write(orvane::ToQImage(photo))) return point;
  CImageEx decoded;
  if (!orvane::FromQImage(QImage::fromData(bytes, "JPEG"), decoded)) return point;
  point.bpp = 8.0 * double(bytes.size()) / (double(photo.GetWidth()) * photo.GetHeight());
  point.psnr = orvane::bench::Psnr(photo, decoded);
  point.ok = true;
  return point;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: codec_rate_distortion PHOTO...\n");
    return 2;
  }
  char pattern[] = "/tmp/orvane-rd-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string pqzPath = std::string(pattern) + "/photo.pqz";
  const std::vector<Setting> settings = Settings();
  std::vector<double> sumBpp(settings.size()), sumPsnr(settings.size());
  int photos = 0;

  std::printf("| Photo | Size | Setting | bpp | PSNR dB |\n|---|---|---|---:|---:|\n");
  for (int i = 1; i < argc; ++i) {
    CImageEx photo;
    if (!orvane::LoadImageFile(photo, argv[i])) {
      std::fprintf(stderr, "cannot load %s\n", argv[i]);
      continue;
    }
    const std::string name = std::filesystem::path(argv[i]).filename().string();
    bool all = true;
    std::vector<Point> points;
    for (const Setting& s : settings) {
      points.push_back(s.apply ? MeasurePqz(photo, s, pqzPath) : MeasureJpeg(photo, s.jpegQuality));
      all = all && points.back().ok;
    }
    for (std::size_t k = 0; k < settings.size(); ++k) {
      if (points[k].ok) {
        std::printf("| %s | %d x %d | %s | %.3f | %.2f |\n", name.c_str(), photo.GetWidth(),
                    photo.GetHeight(), settings[k].name.c_str(), points[k].bpp, points[k].psnr);
      } else {
        std::printf("| %s | %d x %d | %s | failed | |\n", name.c_str(), photo.GetWidth(),
                    photo.GetHeight(), settings[k].name.c_str());
      }
      std::fflush(stdout);
    }
    if (!all) continue;
    ++photos;
    for (std::size_t k = 0; k < settings.size(); ++k) {
      sumBpp[k] += points[k].bpp;
      sumPsnr[k] += points[k].psnr;
    }
  }
  if (photos > 0) {
    std::printf("\nMeans over %d photos:\n\n| Setting | bpp | PSNR dB |\n|---|---:|---:|\n",
                photos);
    for (std::size_t k = 0; k < settings.size(); ++k) {
      std::printf("| %s | %.3f | %.2f |\n", settings[k].name.c_str(), sumBpp[k] / photos,
                  sumPsnr[k] / photos);
    }
  }
  std::filesystem::remove_all(pattern);
  return photos > 0 ? 0 : 1;
}
