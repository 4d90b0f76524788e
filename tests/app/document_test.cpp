// The document: pages, listing, choosing a record, and saving the current image.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "app/dialogs/progress_dialog.h"
#include "app/document/panel_base.h"
#include "app/views/list_view_ex.h"
#include "app_fixture.h"
#include "imaging/file_type.h"

namespace orvane::test {

class DocumentTest : public QObject {
  Q_OBJECT

 private slots:
  void PagesFollowTheFileCount_data();
  void PagesFollowTheFileCount();
  void ListsImageFilesOnlyWithLowerCaseNames();
  void ListsSubFolderFilesAtTheirEntry();
  void ThirdThumbnailOnSecondPageIsRecord52();
  void SaveWritesTheChosenFormat_data();
  void SaveWritesTheChosenFormat();
  void SaveWithNothingChosenAsksForASelection();
  void SaveThatWritesNothingSaysSo();
};

void DocumentTest::PagesFollowTheFileCount_data() {
  QTest::addColumn<int>("files");
  QTest::addColumn<int>("pages");
  QTest::addColumn<int>("onLastPage");
  QTest::newRow("0") << 0 << 1 << 0;
  QTest::newRow("50") << 50 << 1 << 50;
  QTest::newRow("51") << 51 << 2 << 1;
  QTest::newRow("100") << 100 << 2 << 50;
  QTest::newRow("101") << 101 << 3 << 1;
}

void DocumentTest::PagesFollowTheFileCount() {
  QFETCH(int, files);
  QFETCH(int, pages);
  QFETCH(int, onLastPage);
  QTemporaryDir dir;
  for (int i = 0; i < files; ++i) {
    QVERIFY(WritePicture(dir.filePath(QStringLiteral("p%1.png").arg(i)), 4, 4, Qt::red));
  }
  AppFixture app;
  QSignalSpy progressShown(app.frame->ListView()->ProgressDialog(), &QWidget::windowTitleChanged);
  app.OpenFolderAndWait(dir.path());

  CPanelBase* panel = app.Panel();
  QCOMPARE(app.doc->PageCount(), pages);
  QCOMPARE(panel->PageCountLabel()->text(), QStringLiteral("/ %1 pages").arg(pages));
  QCOMPARE(panel->CurrentPageEdit()->text(), QStringLiteral("1"));
  QCOMPARE(panel->PageTrackbar()->minimum(), 0);
  QCOMPARE(panel->PageTrackbar()->maximum(), pages - 1);
  QCOMPARE(app.frame->ListView()->count(), pages == 1 ? files : 50);
  if (files == 0) QCOMPARE(progressShown.count(), 0);

  // The last page through the trackbar, as a release of its thumb does.
  panel->PageTrackbar()->setSliderPosition(pages - 1);
  panel->OnPageScroll(CPanelBase::PageScroll::kThumbPosition);
  QVERIFY(AppFixture::WaitIdle());
  QCOMPARE(app.doc->CurrentPage(), pages - 1);
  QCOMPARE(panel->CurrentPageEdit()->text(), QString::number(pages));
  QCOMPARE(app.frame->ListView()->count(), onLastPage);
}

void DocumentTest::ListsImageFilesOnlyWithLowerCaseNames() {
  QTemporaryDir dir;
  QVERIFY(WritePicture(dir.filePath(QStringLiteral("Photo.JPG")), 8, 8, Qt::blue));
  QFile text(dir.filePath(QStringLiteral("notes.txt")));
  QVERIFY(text.open(QIODevice::WriteOnly));
  QFile readme(dir.filePath(QStringLiteral("README")));
  QVERIFY(readme.open(QIODevice::WriteOnly));
  AppFixture app;
  app.OpenFolderAndWait(dir.path());
  QCOMPARE(app.doc->Records().size(), std::size_t{1});
  QCOMPARE(app.doc->Records()[0].m_strName, std::string("photo.jpg"));
  // The label keeps the case the file system reports.
  QCOMPARE(app.frame->ListView()->item(0)->text(), QStringLiteral("Photo.JPG"));
}

void DocumentTest::ListsSubFolderFilesAtTheirEntry() {
  QTemporaryDir dir;
  QDir(dir.path()).mkdir(QStringLiteral("b"));
  for (const char* name : {"a.png", "b/inner.png", "c.png"}) {
    QVERIFY(WritePicture(dir.filePath(QString::fromLatin1(name)), 4, 4, Qt::green));
  }
  AppFixture app;
  app.doc->SetIncludeSubFolders(true);
  app.OpenFolderAndWait(dir.path());
  QStringList names;
  for (const FileRecord& record : app.doc->Records()) {
    names.append(QString::fromStdString(record.m_strName));
  }
  QCOMPARE(names, QStringList({"a.png", "inner.png", "c.png"}));
}

void DocumentTest::ThirdThumbnailOnSecondPageIsRecord52() {
  QTemporaryDir dir;
  for (int i = 0; i < 60; ++i) {
    QVERIFY(WritePicture(dir.filePath(QStringLiteral("r%1.png").arg(i, 3, 10, QLatin1Char('0'))), 4,
                         4, Qt::red));
  }
  AppFixture app;
  app.OpenFolderAndWait(dir.path());
  app.doc->SetCurrentPage(1);
  app.doc->LoadPageThumbnails();
  QVERIFY(AppFixture::WaitIdle());
  app.frame->ListView()->setCurrentRow(2);
  QCOMPARE(app.doc->CurrentPath(), app.doc->Records()[52].m_strPath);
  QVERIFY(AppFixture::WaitIdle());
  QCOMPARE(app.doc->CurrentPicture().size(), QSize(4, 4));
}

void DocumentTest::SaveWritesTheChosenFormat_data() {
  QTest::addColumn<QString>("target");
  QTest::addColumn<int>("fileType");
  QTest::newRow(".pqz") << QStringLiteral("out.pqz") << FILE_TYPE_PQZ;
  QTest::newRow(".PQZ is encoded too") << QStringLiteral("OUT.PQZ") << FILE_TYPE_PQZ;
  QTest::newRow(".png") << QStringLiteral("out.png") << 4;
}

void DocumentTest::SaveWritesTheChosenFormat() {
  QFETCH(QString, target);
  QFETCH(int, fileType);
  QTemporaryDir dir;
  const QString source = dir.filePath(QStringLiteral("source.png"));
  QVERIFY(WritePicture(source, 64, 48, QColor(200, 120, 40)));
  AppFixture app;
  app.doc->SetCurrentPath(source.toStdString());
  app.doc->ShowSelectedImage();
  QVERIFY(AppFixture::WaitIdle());

  const QString path = dir.filePath(target);
  app.prompts.m_answers = {path};
  QSignalSpy finished(app.doc.get(), &COrvaneDoc::SaveFinished);
  app.doc->OnFileSave();
  QVERIFY(finished.wait(60000));
  QCOMPARE(finished.front().front().toBool(), true);
  QVERIFY(app.prompts.m_messages.isEmpty());
  QVERIFY(app.prompts.m_questions.front().endsWith(QStringLiteral("|Quazform (*.pqz)|pqz")));

  // What was written is read back as the format asked for: PQZ through the decoder.
  if (fileType != FILE_TYPE_PQZ) QCOMPARE(QImageReader(path).format(), QByteArray("png"));
  app.doc->SetCurrentPath(path.toStdString());
  app.doc->ShowSelectedImage();
  QVERIFY(AppFixture::WaitIdle());
  QCOMPARE(app.doc->CurrentPicture().size(), QSize(64, 48));
  QCOMPARE(app.doc->CurrentImageType() != TYPE_ORDINARY_IMAGE, fileType == FILE_TYPE_PQZ);
}

void DocumentTest::SaveWithNothingChosenAsksForASelection() {
  AppFixture app;
  app.prompts.m_answers = {QStringLiteral("/tmp/never.png")};
  app.doc->OnFileSave();
  QCOMPARE(app.prompts.m_messages, QStringList({"please select item"}));
  QVERIFY(app.prompts.m_questions.isEmpty());
}

void DocumentTest::SaveThatWritesNothingSaysSo() {
  QTemporaryDir dir;
  const QString source = dir.filePath(QStringLiteral("source.png"));
  QVERIFY(WritePicture(source, 8, 8, Qt::red));
  AppFixture app;
  app.doc->SetCurrentPath(source.toStdString());
  app.prompts.m_answers = {dir.filePath(QStringLiteral("out.unknownformat"))};
  QSignalSpy finished(app.doc.get(), &COrvaneDoc::SaveFinished);
  app.doc->OnFileSave();
  QVERIFY(finished.wait(20000));
  QCOMPARE(app.prompts.m_messages, QStringList({"FILE_WRITE_FAILED"}));
}

}  // namespace orvane::test

QTEST_MAIN(orvane::test::DocumentTest)
#include "document_test.moc"
