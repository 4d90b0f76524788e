#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include "app/dialogs/progress_dialog.h"
#include "app/document/orvane_doc.h"
#include "app/prompts/scripted_prompts.h"
#include "batch_test_support.h"
#include "convert/conversion_gate.h"
#include "convert/convert2bmp_view.h"
#include "convert/convert2pqz_view.h"

namespace orvane {

namespace fs = std::filesystem;
using test_support::FilesBelow;

class ConvertViewsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<COrvaneDoc> m_doc;
  std::unique_ptr<CScriptedPrompts> m_prompts;
  std::unique_ptr<CProgressDialog> m_progress;
  std::unique_ptr<CConvert2PQZView> m_pqz;
  std::unique_ptr<CConvert2BMPView> m_bmp;
  std::unique_ptr<QTemporaryDir> m_dir;
  QTemporaryDir m_cacheHome;

  fs::path In() const { return fs::path(m_dir->path().toStdString()) / "in"; }
  fs::path Out() const { return fs::path(m_dir->path().toStdString()) / "out"; }

  template <typename T>
  static T* Control(QWidget* panel, const char* id) {
    T* control = panel->findChild<T*>(QString::fromLatin1(id));
    if (control == nullptr) qFatal("no control %s", id);
    return control;
  }

  // The document lists `In()` (with its sub-folders when asked) and the panel names the folders.
  void ListFolder(CConversionPanel& panel, bool subFolders) {
    m_doc->SetIncludeSubFolders(subFolders);
    m_doc->SetFolder(In().string());
    panel.TargetDirectoryEdit()->setText(QString::fromStdString(In().string()));
    panel.SaveDirectoryEdit()->setText(QString::fromStdString(Out().string()));
  }

  void Convert(CConversionPanel& panel) {
    panel.ConvertButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!panel.IsConverting(), 60000);
  }

 private slots:
  void initTestCase() {
    // The thumbnails of listed folders go to a cache of this run's, never the user's.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cacheHome.path()));
  }

  void init() {
    m_dir = std::make_unique<QTemporaryDir>();
    fs::create_directories(In());
    fs::create_directories(Out());
    m_doc = std::make_unique<COrvaneDoc>();
    m_prompts = std::make_unique<CScriptedPrompts>();
    m_progress = std::make_unique<CProgressDialog>();
    m_doc->SetPrompts(m_prompts.get());
    m_doc->SetProgressDialog(m_progress.get());
    m_pqz = std::make_unique<CConvert2PQZView>();
    m_bmp = std::make_unique<CConvert2BMPView>();
    const std::string config = m_dir->filePath("config.ini").toStdString();
    std::FILE* file = std::fopen(config.c_str(), "w");
    std::fputs(
        "[Learning]\nDimensionReduction=24\n[Common]\nPatchWidth=8\nPatchHeight=8\n"
        "ColorSpace=RGB\n[Compression]\nCoeffQuantizeStep=1\nMaxZeroRun=16\n"
        "PrecisionBit=16\nBasePrecisionBit=7\nDoChangeStep=0\n",
        file);
    std::fclose(file);
    m_pqz->SetConfigPath(config);
  }

  void cleanup() {
    m_pqz.reset();
    m_bmp.reset();
    m_doc.reset();
    m_progress.reset();
    m_prompts.reset();
    m_dir.reset();
  }

  void FormsCarryTheirControls() {
    QCOMPARE(Control<QComboBox>(m_pqz.get(), "1012")->currentText(), QStringLiteral("PCA"));
    QCOMPARE(Control<QComboBox>(m_pqz.get(), "1012")->itemText(1), QStringLiteral("ICA"));
    for (const char* id : {"1016", "1017"}) Control<QLineEdit>(m_bmp.get(), id);
    for (const char* id : {"1018", "1019", "1020"}) Control<QPushButton>(m_bmp.get(), id);
    Control<QProgressBar>(m_bmp.get(), "1021");
    QVERIFY(Control<QLabel>(m_bmp.get(), "1023")->text().isEmpty());
  }

  void BrowsersFillTheDirectories() {
    m_prompts->m_answers = {"/chosen/target", "/chosen/save", ""};
    m_pqz->OnBrowseTarget();
    QCOMPARE(m_pqz->TargetDirectoryEdit()->text(), QStringLiteral("/chosen/target"));
    QCOMPARE(m_pqz->SaveDirectoryEdit()->text(), QStringLiteral("/chosen/target"));
    m_pqz->OnBrowseSave();
    QCOMPARE(m_pqz->SaveDirectoryEdit()->text(), QStringLiteral("/chosen/save"));
    m_bmp->OnBrowseSave();  // cancelled: nothing changes
    QVERIFY(m_bmp->SaveDirectoryEdit()->text().isEmpty());
    QCOMPARE(m_prompts->m_questions.size(), 3);
    QVERIFY(m_prompts->m_questions[0].contains("Convert to PQZ"));
    QVERIFY(m_prompts->m_questions[2].contains("Convert to BMP"));
    QCOMPARE(m_doc->CurrentFolder(), std::string());  // browsing does not change the folder
  }

  void StartChecksStopBeforeAnythingIsConverted() {
    test_support::WritePicture(In() / "a.png", 1);
    ListFolder(*m_pqz, false);
    m_pqz->SaveDirectoryEdit()->setText(QString::fromStdString((Out() / "missing").string()));
    m_pqz->ConvertButton()->click();
    ListFolder(*m_bmp, false);
    m_bmp->SaveDirectoryEdit()->setText(QString::fromStdString((Out() / "missing/").string()));
    m_bmp->ConvertButton()->click();
    m_doc->SetFolder((In() / "empty").string());
    m_pqz->SaveDirectoryEdit()->setText(QString::fromStdString(Out().string()));
    m_pqz->ConvertButton()->click();
    QCOMPARE(
        m_prompts->m_messages,
        QStringList({"Specified destination dir isn't exist. Please specify a destination dir.",
                     "Specified destination dir isn't exist. Please specify a destination dir.",
                     "there's no file in target directory"}));
    QVERIFY(!m_pqz->IsConverting() && !m_bmp->IsConverting());
    QVERIFY(FilesBelow(Out()).empty());
  }

  void SubFoldersGiveTwoOutputsAndConvertWaitsForTheBatch() {
    test_support::WritePicture(In() / "a.bmp", 1);
    test_support::WritePicture(In() / "sub" / "a.png", 2);
    ListFolder(*m_pqz, true);
    QCOMPARE(m_doc->Records().size(), std::size_t(2));
    m_pqz->ConvertButton()->click();
    QVERIFY(m_pqz->IsConverting());
    QVERIFY(!m_pqz->ConvertButton()->isEnabled());
    QVERIFY(!m_bmp->ConvertButton()->isEnabled());
    QVERIFY(m_pqz->CancelButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!m_pqz->IsConverting(), 60000);
    QVERIFY(m_pqz->ConvertButton()->isEnabled());
    QVERIFY(m_bmp->ConvertButton()->isEnabled());
    QCOMPARE(m_prompts->m_messages, QStringList({"Start converting images, please wait...",
                                                 "finished conversion to PQZ images!"}));
    QCOMPARE(FilesBelow(Out()), (std::vector<std::string>{"a.pqz", "sub/a.pqz"}));
    QVERIFY(m_doc->m_arrConvertNames.isEmpty());
  }

  void ThreePqzFilesAndAJpegGiveThreeBitmaps() {
    test_support::WritePqz(In() / "a.pqz", 1);
    test_support::WritePqz(In() / "b.pqz", 2);
    test_support::WritePicture(In() / "c.jpg", 3);
    test_support::WritePqz(In() / "d.pqz", 4);
    ListFolder(*m_bmp, false);
    int lastBar = -1;
    connect(m_bmp->ProgressBar(), &QProgressBar::valueChanged, this,
            [&lastBar](int value) { lastBar = value != 0 ? value : lastBar; });
    Convert(*m_bmp);
    QCOMPARE(m_prompts->m_messages, QStringList{"Failed conversion of these files!\nc.jpg\n"});
    QCOMPARE(FilesBelow(Out()), (std::vector<std::string>{"a.bmp", "b.bmp", "d.bmp"}));
    QCOMPARE(lastBar, 3);
    QCOMPARE(m_bmp->ProgressBar()->value(), 0);
    QVERIFY(m_bmp->Counter()->text().isEmpty());
  }

  void CancelledBatchLeavesOnlyCompleteFiles() {
    for (int i = 0; i < 8; ++i) {
      test_support::WritePicture(In() / test_support::NumberedName("p", i, ".png"), i);
    }
    ListFolder(*m_pqz, false);
    m_pqz->ConvertButton()->click();
    m_pqz->CancelButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_pqz->IsConverting(), 60000);
    QVERIFY(m_pqz->ConvertButton()->isEnabled());
    const std::vector<std::string> written = FilesBelow(Out());
    QVERIFY(written.size() < 8);
    for (const std::string& name : written) {
      QVERIFY(name.size() > 4 && name.substr(name.size() - 4) == ".pqz");
      CImageEx image;
      PqzCodec codec;
      QCOMPARE(codec.Decode(image, (Out() / name).string()), kSuccess);
    }
    QCOMPARE(m_prompts->m_messages, QStringList{"Start converting images, please wait..."});
  }
};

}  // namespace orvane

QTEST_MAIN(orvane::ConvertViewsTest)
#include "convert_views_test.moc"
