// Thumbnail jobs: pictures, aspect, hostile files, the shared cache on revisits, abandoned
// pages, a responsive window.
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/document/thumbnail_provider.h"
#include "app/shell/orvane_app.h"
#include "app/views/list_view_ex.h"
#include "app_fixture.h"
#include "imaging/image_ex.h"
#include "imaging/thumbnail/thumbnail_cache.h"
#include "pqz/pqz_codec.h"

namespace orvane::test {
namespace {

const QColor kGrey(0x7F, 0x7F, 0x7F);

QColor IconColourAt(const QListWidgetItem* item, int x, int y) {
  return item->icon().pixmap(kThumbnailSide, kThumbnailSide).toImage().pixelColor(x, y);
}

bool Near(const QColor& a, const QColor& b) {
  return qAbs(a.red() - b.red()) < 24 && qAbs(a.green() - b.green()) < 24 &&
         qAbs(a.blue() - b.blue()) < 24;
}

// Replaces the bytes of the file at `path` and gives it the modification time `time`.
void Rewrite(const QString& path, const QByteArray& bytes, const QDateTime& time) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(bytes), bytes.size());
  QVERIFY(file.flush());  // before the time is set: a later write would set it again
  QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A 128 x 64 PQZ file of orange with fine detail (shades up to 14 either side of the mean
// from pixel to pixel); ICA iterations give it iteration flag 1.
void WritePqz(const QString& path, int iterations) {
  CImageEx image;
  QVERIFY(image.Create(128, 64, 24));
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 128; ++x) {
      const std::uint32_t v = static_cast<std::uint32_t>((x * 37 + y * 91) % 29);
      image.SetPixel(x, y, (0x1A + v) << 16 | (0xA6 + v) << 8 | (0xCA + v));  // 0x00BBGGRR
    }
  }
  EncodingParameters p;
  p.Learning.DimensionReduction = 24;
  p.Learning.MaxIterations = static_cast<std::uint32_t>(iterations);
  PqzCodec codec;
  QCOMPARE(codec.SetParameters(p.Common, p.Learning, p.Compression), kSuccess);
  QCOMPARE(codec.Encode(path.toStdString(), image), kSuccess);
}

// A green 400 x 300 JPEG at `photo` and a file of text named like a JPEG at `broken`.
bool WritePhotoAndBrokenFile(const QString& photo, const QString& broken) {
  if (!WritePicture(photo, 400, 300, QColor(0, 160, 0))) return false;
  Rewrite(broken, "not a picture", QDateTime::currentDateTime());
  return true;
}

}  // namespace

class ThumbnailTest : public QObject {
  Q_OBJECT

 private slots:
  void FitsWidePhotosWithTheirAspect_data();
  void FitsWidePhotosWithTheirAspect();
  void HostilePqzFilesGiveGreyThumbnails();
  void RevisitedFilesComeFromTheCache();
  void ChangedFilesAreMadeAnew();
  void PqzTypeComesOutRightFromTheCache();
  void ChangingFolderDropsTheOldPagesThumbnails();
  void WindowStaysResponsiveWhileAPageLoads();
};

void ThumbnailTest::FitsWidePhotosWithTheirAspect_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QSize>("size");
  QTest::newRow("large jpeg, scaled decode") << QStringLiteral("wide.jpg") << QSize(1600, 800);
  QTest::newRow("small png, enlarged") << QStringLiteral("small.png") << QSize(40, 20);
}

void ThumbnailTest::FitsWidePhotosWithTheirAspect() {
  QFETCH(QString, name);
  QFETCH(QSize, size);
  QTemporaryDir dir;
  const QString path = dir.filePath(name);
  QVERIFY(WritePicture(path, size.width(), size.height(), QColor(0, 160, 0)));
  std::uint16_t type = 0;
  const ThumbnailCache cache(dir.filePath(QStringLiteral("cache")));
  const QImage thumbnail = MakeThumbnailImage(path.toStdString(), cache, type);
  QCOMPARE(thumbnail.size(), QSize(kThumbnailSide, kThumbnailSide));
  QCOMPARE(type, TYPE_ORDINARY_IMAGE);
  // 2 : 1 fills the width and the middle 48 rows; grey above and below.
  QVERIFY(Near(thumbnail.pixelColor(48, 10), kGrey));
  QVERIFY(Near(thumbnail.pixelColor(48, 48), QColor(0, 160, 0)));
  QVERIFY(Near(thumbnail.pixelColor(2, 48), QColor(0, 160, 0)));
  QVERIFY(Near(thumbnail.pixelColor(48, 86), kGrey));
}

void ThumbnailTest::HostilePqzFilesGiveGreyThumbnails() {
  QTemporaryDir dir;
  const QByteArray contents[] = {QByteArray(), QByteArray("PQZ"),
                                 QByteArray(44, '\xff') + QByteArray(400, '\x7f'),
                                 QByteArray(4096, '\0')};
  int i = 0;
  for (const QByteArray& bytes : contents) {
    QFile file(dir.filePath(QStringLiteral("hostile%1.pqz").arg(i++)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  QVERIFY(WritePicture(dir.filePath(QStringLiteral("zz_good.png")), 8, 8, Qt::blue));
  AppFixture app;
  app.OpenFolderAndWait(dir.path());
  CListViewEx* list = app.frame->ListView();
  QCOMPARE(list->count(), 5);
  for (int item = 0; item < 4; ++item) {
    QVERIFY(Near(IconColourAt(list->item(item), 48, 48), kGrey));
    QCOMPARE(app.doc->Records()[item].m_nType, TYPE_ORDINARY_IMAGE);
  }
  // The page goes on past them.
  QVERIFY(Near(IconColourAt(list->item(4), 48, 48), Qt::blue));
}

void ThumbnailTest::RevisitedFilesComeFromTheCache() {
  QTemporaryDir dir;
  const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
  const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
  QVERIFY(WritePhotoAndBrokenFile(photo, broken));
  AppFixture app;
  app.OpenFolderAndWait(dir.path());
  CListViewEx* list = app.frame->ListView();
  QCOMPARE(list->count(), 2);
  QVERIFY(Near(IconColourAt(list->item(0), 48, 48), kGrey));  // broken.jpg
  QVERIFY(Near(IconColourAt(list->item(1), 48, 48), QColor(0, 160, 0)));
  const ThumbnailCache cache;  // the fixture's
  QVERIFY(QFileInfo::exists(cache.NormalEntryPath(photo)));
  QVERIFY(QFileInfo::exists(cache.FailureEntryPath(broken)));
  QVERIFY(!QFileInfo::exists(cache.NormalEntryPath(broken)));

  // The contents change places and the times stay: a second visit reads neither file, so the
  // photo's thumbnail stays and the picture now in broken.jpg is not looked at.
  const QByteArray picture = Contents(photo);
  const QDateTime photoTime = QFileInfo(photo).lastModified();
  const QDateTime brokenTime = QFileInfo(broken).lastModified();
  Rewrite(photo, "not a picture", photoTime);
  Rewrite(broken, picture, brokenTime);
  app.OpenFolderAndWait(dir.path());
  QCOMPARE(list->count(), 2);
  QVERIFY(Near(IconColourAt(list->item(0), 48, 48), kGrey));
  QVERIFY(Near(IconColourAt(list->item(1), 48, 48), QColor(0, 160, 0)));
  // 4 : 3 fits the width and the middle 72 rows, as a thumbnail made from the file does.
  QVERIFY(Near(IconColourAt(list->item(1), 48, 8), kGrey));
  QVERIFY(Near(IconColourAt(list->item(1), 48, 14), QColor(0, 160, 0)));
  QVERIFY(Near(IconColourAt(list->item(1), 48, 87), kGrey));
  QCOMPARE(app.doc->Records()[1].m_nType, TYPE_ORDINARY_IMAGE);
}

void ThumbnailTest::ChangedFilesAreMadeAnew() {
  QTemporaryDir dir;
  const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
  const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
  QVERIFY(WritePhotoAndBrokenFile(photo, broken));
  AppFixture app;
  app.OpenFolderAndWait(dir.path());
  // Both files change, each with a new modification time: the cached thumbnail and the
  // failure no longer stand for them.
  const QByteArray picture = Contents(photo);
  const QDateTime later = QFileInfo(photo).lastModified().addSecs(60);
  Rewrite(photo, "not a picture", later);
  Rewrite(broken, picture, later);
  app.OpenFolderAndWait(dir.path());
  CListViewEx* list = app.frame->ListView();
  QCOMPARE(list->count(), 2);
  QVERIFY(Near(IconColourAt(list->item(0), 48, 48), QColor(0, 160, 0)));  // broken.jpg
  QVERIFY(Near(IconColourAt(list->item(1), 48, 48), kGrey));
  QCOMPARE(app.doc->Records()[1].m_nType, TYPE_ORDINARY_IMAGE);
  const ThumbnailCache cache;
  QVERIFY(QFileInfo::exists(cache.NormalEntryPath(broken)));
  QVERIFY(QFileInfo::exists(cache.FailureEntryPath(photo)));
  QImage entry;
  QCOMPARE(cache.Lookup(photo, entry), CacheLookup::kFailed);
  QCOMPARE(cache.Lookup(broken, entry), CacheLookup::kHit);
}

void ThumbnailTest::PqzTypeComesOutRightFromTheCache() {
  QTemporaryDir dir;
  const QString plain = dir.filePath(QStringLiteral("a_plain.pqz"));
  const QString ica = dir.filePath(QStringLiteral("b_ica.pqz"));
  WritePqz(plain, 0);
  WritePqz(ica, 2);
  const QColor darkRed(0x7F, 0, 0);
  const QColor darkBlue(0, 0, 0x7F);
  const QColor orange(0xD8, 0xB4, 0x28);  // the mean
  AppFixture app;
  app.OpenFolderAndWait(dir.path());
  CListViewEx* list = app.frame->ListView();
  QCOMPARE(list->count(), 2);
  // 2 : 1 on the background of the type, above and below.
  QVERIFY(Near(IconColourAt(list->item(0), 48, 10), darkRed));
  QVERIFY(Near(IconColourAt(list->item(0), 48, 48), orange));
  QVERIFY(Near(IconColourAt(list->item(1), 48, 10), darkBlue));
  QVERIFY(Near(IconColourAt(list->item(1), 48, 48), orange));
  QCOMPARE(app.doc->Records()[0].m_nType, 0);
  QCOMPARE(app.doc->Records()[1].m_nType, 1);
  const QImage made[] = {list->item(0)->icon().pixmap(kThumbnailSide).toImage(),
                         list->item(1)->icon().pixmap(kThumbnailSide).toImage()};

  // The revisit, from the entries, shows the very same thumbnails.
  app.OpenFolderAndWait(dir.path());
  QCOMPARE(list->item(0)->icon().pixmap(kThumbnailSide).toImage(), made[0]);
  QCOMPARE(list->item(1)->icon().pixmap(kThumbnailSide).toImage(), made[1]);
  QCOMPARE(app.doc->Records()[0].m_nType, 0);
  QCOMPARE(app.doc->Records()[1].m_nType, 1);

  // Entries of another picture for both: a revisit shows them, on the same backgrounds.
  const ThumbnailCache cache;
  QImage cyan(128, 64, QImage::Format_RGB32);
  cyan.fill(Qt::cyan);
  QVERIFY(cache.Store(plain, cyan));
  QVERIFY(cache.Store(ica, cyan));
  app.OpenFolderAndWait(dir.path());
  QVERIFY(Near(IconColourAt(list->item(0), 48, 10), darkRed));
  QVERIFY(Near(IconColourAt(list->item(0), 48, 48), Qt::cyan));
  QVERIFY(Near(IconColourAt(list->item(1), 48, 10), darkBlue));
  QVERIFY(Near(IconColourAt(list->item(1), 48, 48), Qt::cyan));
  QCOMPARE(app.doc->Records()[0].m_nType, 0);
  QCOMPARE(app.doc->Records()[1].m_nType, 1);
}

void ThumbnailTest::ChangingFolderDropsTheOldPagesThumbnails() {
  QTemporaryDir red;
  QTemporaryDir blue;
  for (int i = 0; i < 50; ++i) {
    QVERIFY(WritePicture(red.filePath(QStringLiteral("r%1.jpg").arg(i)), 1200, 900, Qt::red));
  }
  for (int i = 0; i < 3; ++i) {
    QVERIFY(WritePicture(blue.filePath(QStringLiteral("b%1.png").arg(i)), 8, 8, Qt::blue));
  }
  AppFixture app;
  OpenFolder(*app.doc, red.path());
  // Some red thumbnails may already be under way when the folder changes.
  QTest::qWait(30);
  QSignalSpy ready(app.doc.get(), &COrvaneDoc::ThumbnailReady);
  app.OpenFolderAndWait(blue.path());
  QTest::qWait(500);  // time for the late red results to come in, and be dropped
  CListViewEx* list = app.frame->ListView();
  QCOMPARE(list->count(), 3);
  QCOMPARE(ready.count(), 3);
  for (int item = 0; item < 3; ++item) {
    QVERIFY(Near(IconColourAt(list->item(item), 48, 48), Qt::blue));
  }
}

void ThumbnailTest::WindowStaysResponsiveWhileAPageLoads() {
  QTemporaryDir dir;
  for (int i = 0; i < 12; ++i) {
    QVERIFY(WritePicture(dir.filePath(QStringLiteral("big%1.png").arg(i)), 2400, 1800,
                         QColor(i * 20, 80, 160)));
  }
  AppFixture app;
  QElapsedTimer clock;
  qint64 last = 0;
  qint64 longestGap = 0;
  int ticks = 0;
  QTimer timer;
  timer.setInterval(10);
  connect(&timer, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longestGap = std::max(longestGap, now - last);
    last = now;
    ++ticks;
  });
  clock.start();
  timer.start();
  app.OpenFolderAndWait(dir.path());
  timer.stop();
  // The images are decoded on the workers: the interface thread keeps turning meanwhile
  // (the bound is loose, the machine may be busy with other work).
  QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
  QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
  QCOMPARE(app.frame->ListView()->count(), 12);
}

}  // namespace orvane::test

QTEST_MAIN(orvane::test::ThumbnailTest)
#include "thumbnail_test.moc"
