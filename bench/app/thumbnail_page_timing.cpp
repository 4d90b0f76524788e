// thumbnail_page_timing FOLDER: the time the program's own thumbnail jobs take to make the
// first page (50 records) of FOLDER, from choosing the folder (its listing included) to the
// first thumbnail and to the last. Prints two lines:
//   first thumbnail: S s
//   page of N thumbnails: S s
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/document/paging.h"
#include "app/document/thumbnail_provider.h"
#include "retrieval/folder_listing.h"

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: thumbnail_page_timing FOLDER\n");
    return 2;
  }
  orvane::CThumbnailProvider provider;
  QElapsedTimer clock;
  clock.start();
  std::vector<orvane::FileRecord> records;
  orvane::ListImageFiles(argv[1], false, records);
  const int n = std::min<int>(static_cast<int>(records.size()), orvane::kPatchesPerPage);
  if (n == 0) {
    std::fprintf(stderr, "no image files in %s\n", argv[1]);
    return 1;
  }
  std::vector<orvane::ThumbnailRequest> requests;
  for (int i = 0; i < n; ++i) requests.push_back({i, records[i].m_strPath});
  int made = 0;
  qint64 first = -1;
  QEventLoop loop;
  QObject::connect(&provider, &orvane::CThumbnailProvider::ThumbnailReady, &loop,
                   [&](int, const QImage&, int) {
                     if (first < 0) first = clock.nsecsElapsed();
                     if (++made == n) loop.quit();
                   });
  provider.Request(std::move(requests));
  loop.exec();
  const qint64 all = clock.nsecsElapsed();
  std::printf("first thumbnail: %.3f s\n", first / 1e9);
  std::printf("page of %d thumbnails: %.3f s\n", n, all / 1e9);
  return 0;
}
