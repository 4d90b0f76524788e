// Thumbnail jobs: pictures, aspect, hostile files, abandoned pages, a responsive window.
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/document/thumbnail_provider.h"
#include "app/shell/orvane_app.h"
#include "app/views/list_view_ex.h"
#include "app_fixture.h"
#include "imaging/image_ex.h"

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

}  // namespace

class ThumbnailTest : public QObject {
  Q_OBJECT

 private slots:
  void FitsWidePhotosWithTheirAspect_data();
  void FitsWidePhotosWithTheirAspect();
  void HostilePqzFilesGiveGreyThumbnails();
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
  const QImage thumbnail = MakeThumbnailImage(path.toStdString(), type);
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
