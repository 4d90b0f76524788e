// thumbnail_page_timing FOLDER: the time the program's own thumbnail jobs take to make the
// first page (50 records) of FOLDER, from choosing the folder (its listing included) to the
// first thumbnail and to the last, through a shared thumbnail cache of the run's own (an
// empty temporary folder, so the user's cache is neither used nor filled). The page is made
// twice: the first visit finds the cache empty and fills it, the revisit is served from it.
// Prints:
//   first visit, first thumbnail: S s
//   first visit, page of N thumbnails: S s
//   revisit, first thumbnail: S s
//   revisit, page of N thumbnails: S s
//   revisit speed-up: R x
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/document/paging.h"
#include "app/document/thumbnail_provider.h"
#include "imaging/thumbnail/thumbnail_cache.h"
#include "retrieval/folder_listing.h"

namespace {

struct PageTime {
  qint64 First = -1;  // ns to the first thumbnail
  qint64 All = 0;     // ns to the last
  int Count = 0;
};

// One visit of the folder's first page, as the document makes it.
PageTime VisitPage(orvane::CThumbnailProvider& provider, const char* folder) {
  PageTime time;
  QElapsedTimer clock;
  clock.start();
  std::vector<orvane::FileRecord> records;
  orvane::ListImageFiles(folder, false, records);
  const int n = std::min<int>(static_cast<int>(records.size()), orvane::kPatchesPerPage);
  if (n == 0) return time;
  std::vector<orvane::ThumbnailRequest> requests;
  for (int i = 0; i < n; ++i) requests.push_back({i, records[i].m_strPath});
  int made = 0;
  QEventLoop loop;
  const QMetaObject::Connection connection = QObject::connect(
      &provider, &orvane::CThumbnailProvider::ThumbnailReady, &loop, [&](int, const QImage&, int) {
        if (time.First < 0) time.First = clock.nsecsElapsed();
        if (++made == n) loop.quit();
      });
  provider.Request(std::move(requests));
  loop.exec();
  QObject::disconnect(connection);
  time.All = clock.nsecsElapsed();
  time.Count = n;
  provider.WaitForDone();
  return time;
}

void Print(const char* visit, const PageTime& time) {
  std::printf("%s, first thumbnail: %.3f s\n", visit, time.First / 1e9);
  std::printf("%s, page of %d thumbnails: %.3f s\n", visit, time.Count, time.All / 1e9);
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: thumbnail_page_timing FOLDER\n");
    return 2;
  }
  QTemporaryDir cacheHome;
  if (!cacheHome.isValid()) {
    std::fprintf(stderr, "no temporary folder for the cache\n");
    return 1;
  }
  orvane::CThumbnailProvider provider(
      orvane::ThumbnailCache(cacheHome.filePath(QStringLiteral("thumbnails"))));
  const PageTime first = VisitPage(provider, argv[1]);
  if (first.Count == 0) {
    std::fprintf(stderr, "no image files in %s\n", argv[1]);
    return 1;
  }
  const PageTime again = VisitPage(provider, argv[1]);
  Print("first visit", first);
  Print("revisit", again);
  std::printf("revisit speed-up: %.1f x\n", static_cast<double>(first.All) / again.All);
  return 0;
}
