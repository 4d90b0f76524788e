// The main frame, the tab view, the thumbnail list's selection and drops, the dialogs.
#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QUrl>

#include "app/dialogs/about_dlg.h"
#include "app/dialogs/fit_geometry.h"
#include "app/dialogs/original_image.h"
#include "app/document/panel_base.h"
#include "app/shell/tab_view.h"
#include "app/views/list_view_ex.h"
#include "app_fixture.h"

namespace orvane::test {

class ShellTest : public QObject {
  Q_OBJECT

 private slots:
  void StartsOnTheRetrievalTabWithTheFixedTitle();
  void SplitsAThousandBySixHundredClientArea();
  void SelectionTitlesTheWindowUntilTheNextRefresh();
  void DropsTakeOneImageFile_data();
  void DropsTakeOneImageFile();
  void TabSwitchHandsTheFolderToThePanel();
  void TargetDirectoryEditOpensTheTypedFolder();
  void PlacesTheFullSizeWindowOnTheWorkArea_data();
  void PlacesTheFullSizeWindowOnTheWorkArea();
  void FullSizeWindowHidesOnEscapeAndSteps();
  void VersionBoxShowsIconTextAndOk();
};

void ShellTest::StartsOnTheRetrievalTabWithTheFixedTitle() {
  AppFixture app;
  CTabView* tabs = app.frame->TabView();
  QCOMPARE(tabs->count(), 3);
  QCOMPARE(tabs->tabText(0), QStringLiteral("Retrieval"));
  QCOMPARE(tabs->tabText(1), QStringLiteral("Convert to PQZ"));
  QCOMPARE(tabs->tabText(2), QStringLiteral("Convert to BMP"));
  QCOMPARE(tabs->currentIndex(), 0);
  QCOMPARE(app.frame->windowTitle(), QStringLiteral("Orvane - Quorlane"));
  QStringList menus;
  for (QAction* menu : app.frame->menuBar()->actions()) menus.append(menu->text());
  QCOMPARE(menus, QStringList({"File(&F)", "View(&V)", "Help(&H)"}));
  QCOMPARE(app.frame->statusBar()->findChild<QLabel*>("idleText_57345")->text(),
           QStringLiteral("レディ"));
  // Every panel carries the shared controls under their identifiers.
  for (int i = 0; i < 3; ++i) {
    for (const char* id : {"1016", "1005", "1034", "1035", "1039"}) {
      QVERIFY2(tabs->Panel(i)->findChild<QWidget*>(id) != nullptr, id);
    }
  }
}

void ShellTest::SplitsAThousandBySixHundredClientArea() {
  const PaneSizes sizes = InitialPaneSizes(1000, 600);
  QCOMPARE(sizes.treeWidth, 250);
  QCOMPARE(sizes.tabHeight, 255);
  QCOMPARE(sizes.listHeight, 345);

  AppFixture app;
  app.frame->show();
  app.frame->OuterSplitter()->resize(1000, 600);
  app.frame->ApplyInitialProportions();
  // The splitters' handles take their few pixels from the larger panes.
  QVERIFY(qAbs(app.frame->OuterSplitter()->sizes().at(0) - 250) <= 8);
  QVERIFY(qAbs(app.frame->InnerSplitter()->sizes().at(0) - 255) <= 8);
}

void ShellTest::SelectionTitlesTheWindowUntilTheNextRefresh() {
  QTemporaryDir dir;
  QVERIFY(WritePicture(dir.filePath(QStringLiteral("a.png")), 8, 8, Qt::red));
  AppFixture app;
  app.OpenFolderAndWait(dir.path());
  app.frame->ListView()->setCurrentRow(0);
  QCOMPARE(app.frame->windowTitle(), QStringLiteral("Orvane - ") + dir.filePath("a.png"));
  app.frame->OnUpdateFrameTitle();
  QCOMPARE(app.frame->windowTitle(), QStringLiteral("Orvane - Quorlane"));
}

void ShellTest::DropsTakeOneImageFile_data() {
  QTest::addColumn<QStringList>("names");
  QTest::addColumn<QString>("message");
  QTest::newRow("two files") << QStringList({"x.png", "y.png"})
                             << QStringLiteral("You can drop one image file only.");
  QTest::newRow("text file") << QStringList({"notes.txt"})
                             << QStringLiteral("This is not a image file!");
  QTest::newRow("one image") << QStringList({"x.png"}) << QString();
}

void ShellTest::DropsTakeOneImageFile() {
  QFETCH(QStringList, names);
  QFETCH(QString, message);
  QTemporaryDir listed;
  QTemporaryDir elsewhere;
  QVERIFY(WritePicture(listed.filePath(QStringLiteral("listed.png")), 8, 8, Qt::red));
  QVERIFY(WritePicture(elsewhere.filePath(QStringLiteral("x.png")), 30, 20, Qt::blue));
  AppFixture app;
  app.OpenFolderAndWait(listed.path());

  QList<QUrl> urls;
  for (const QString& name : names) urls.append(QUrl::fromLocalFile(elsewhere.filePath(name)));
  QMimeData data;
  data.setUrls(urls);
  app.frame->show();
  CListViewEx* list = app.frame->ListView();
  // A drop goes to the widget that accepted the drag's entry.
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list->viewport(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list->viewport(), &drop);
  QVERIFY(AppFixture::WaitIdle());

  QCOMPARE(list->count(), 1);
  QCOMPARE(app.doc->Records().size(), std::size_t{1});
  if (message.isEmpty()) {
    QVERIFY(app.prompts.m_messages.isEmpty());
    QCOMPARE(app.doc->CurrentPath(), elsewhere.filePath("x.png").toStdString());
    QCOMPARE(app.doc->CurrentPicture().size(), QSize(30, 20));
    QVERIFY(list->FullSizeDialog()->isVisible());
    list->FullSizeDialog()->hide();
  } else {
    QCOMPARE(app.prompts.m_messages, QStringList({message}));
    QVERIFY(app.doc->CurrentPath().empty());
  }
}

void ShellTest::TabSwitchHandsTheFolderToThePanel() {
  QTemporaryDir dir;
  QVERIFY(WritePicture(dir.filePath(QStringLiteral("a.png")), 8, 8, Qt::red));
  AppFixture app;
  app.doc->SetIncludeSubFolders(true);
  app.OpenFolderAndWait(dir.path());
  app.frame->TabView()->setCurrentIndex(2);
  CPanelBase* bmp = app.frame->TabView()->Panel(2);
  QCOMPARE(app.Panel(), bmp);
  QCOMPARE(bmp->TargetDirectoryEdit()->text(), dir.path());
  QVERIFY(bmp->IncludeSubDirectoryCheck()->isChecked());
  QCOMPARE(bmp->PageCountLabel()->text(), QStringLiteral("/ 1 pages"));
}

void ShellTest::TargetDirectoryEditOpensTheTypedFolder() {
  QTemporaryDir dir;
  QVERIFY(WritePicture(dir.filePath(QStringLiteral("a.png")), 8, 8, Qt::red));
  QVERIFY(WritePicture(dir.filePath(QStringLiteral("b.png")), 8, 8, Qt::red));
  AppFixture app;
  app.Panel()->TargetDirectoryEdit()->setText(dir.path());
  app.Panel()->OnTargetDirectoryFocusLost();
  QVERIFY(AppFixture::WaitIdle());
  QCOMPARE(app.doc->CurrentFolder(), dir.path().toStdString());
  QCOMPARE(app.frame->ListView()->count(), 2);
}

void ShellTest::PlacesTheFullSizeWindowOnTheWorkArea_data() {
  QTest::addColumn<QSize>("image");
  QTest::addColumn<QRect>("client");
  const QMargins frame(4, 30, 4, 4);
  // 300 x 200 fits: centred, (1280 - 308) / 2 and (1000 - 234) / 2 from the corner.
  QTest::newRow("small") << QSize(300, 200) << QRect(486 + 4, 383 + 30, 300, 200);
  // 4000 x 3000 does not: fitted into 1272 x 966 at the corner, proportions kept.
  QTest::newRow("huge") << QSize(4000, 3000) << QRect(4, 30, 1272, 954);
}

void ShellTest::PlacesTheFullSizeWindowOnTheWorkArea() {
  QFETCH(QSize, image);
  QFETCH(QRect, client);
  QCOMPARE(PlaceFullSizeWindow(image, QRect(0, 0, 1280, 1000), QMargins(4, 30, 4, 4)), client);
}

void ShellTest::FullSizeWindowHidesOnEscapeAndSteps() {
  QTemporaryDir dir;
  for (const char* name : {"a.png", "b.png", "c.png"}) {
    QVERIFY(WritePicture(dir.filePath(QString::fromLatin1(name)), 20, 10, Qt::red));
  }
  AppFixture app;
  app.OpenFolderAndWait(dir.path());
  CListViewEx* list = app.frame->ListView();
  list->setCurrentRow(0);
  app.doc->ShowFullSizeImage();
  QVERIFY(AppFixture::WaitIdle());
  COriginalImage* window = list->FullSizeDialog();
  QVERIFY(window->isVisible());
  QCOMPARE(window->size(), QSize(20, 10));
  QTest::keyClick(window, Qt::Key_Right);
  QVERIFY(AppFixture::WaitIdle());
  QCOMPARE(list->currentRow(), 1);
  QCOMPARE(window->windowTitle(), dir.filePath("b.png"));
  QTest::keyClick(window, Qt::Key_Left);
  QTest::keyClick(window, Qt::Key_Left);  // already the first: stays
  QVERIFY(AppFixture::WaitIdle());
  QCOMPARE(list->currentRow(), 0);
  QTest::keyClick(window, Qt::Key_Escape);
  QVERIFY(!window->isVisible());
  // Choosing another thumbnail does not show it again.
  list->setCurrentRow(2);
  QVERIFY(AppFixture::WaitIdle());
  QVERIFY(!window->isVisible());
}

void ShellTest::VersionBoxShowsIconTextAndOk() {
  CAboutDlg about;
  QCOMPARE(about.windowTitle(), QStringLiteral("Orvane version information"));
  QVERIFY(!about.findChild<QLabel*>("aboutIcon_128")->pixmap().isNull());
  QCOMPARE(about.findChild<QLabel*>("aboutText")->text(), QStringLiteral("Quorlane Version beta"));
  auto* ok = about.findChild<QPushButton*>("1");
  QCOMPARE(ok->text(), QStringLiteral("OK"));
  about.show();
  ok->click();
  QVERIFY(!about.isVisible());
}

}  // namespace orvane::test

QTEST_MAIN(orvane::test::ShellTest)
#include "shell_test.moc"
