#include "retrieval/view/retrieval_view.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include "app/dialogs/original_image.h"
#include "app/dialogs/progress_dialog.h"
#include "app/document/orvane_doc.h"
#include "app/document/panel_host.h"
#include "app/prompts/scripted_prompts.h"
#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "pqz/pqz_codec.h"
#include "retrieval/ranking.h"

namespace orvane {
namespace {

// The one panel on every tab, so that the document's page controls are the panel's.
class OnePanelHost : public CPanelHost {
 public:
  explicit OnePanelHost(CPanelBase* panel) : m_panel(panel) {}
  CPanelBase* Panel(int) const override { return m_panel; }
  int SelectedIndex() const override { return 0; }

 private:
  CPanelBase* m_panel;
};

// A 48 x 40 crop of a real photo from (x, y), encoded with the given ICA iterations.
void WriteCrop(const QImage& photo, int x, int y, const std::string& path, int iterations) {
  CImageEx crop;
  QVERIFY(crop.Create(48, 40, 24));
  for (int row = 0; row < 40; ++row) {
    for (int column = 0; column < 48; ++column) {
      const QRgb c = photo.pixel((x + column) % photo.width(), (y + row) % photo.height());
      crop.SetPixel(
          column, row,
          std::uint32_t(qRed(c)) | std::uint32_t(qGreen(c)) << 8 | std::uint32_t(qBlue(c)) << 16);
    }
  }
  EncodingParameters p;
  p.Learning.DimensionReduction = 24;
  p.Learning.MaxIterations = static_cast<std::uint32_t>(iterations);
  PqzCodec codec;
  QCOMPARE(codec.SetParameters(p.Common, p.Learning, p.Compression), kSuccess);
  QCOMPARE(codec.Encode(path, crop), kSuccess);
}

}  // namespace

class RetrievalViewTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<COrvaneDoc> m_doc;
  std::unique_ptr<CScriptedPrompts> m_prompts;
  std::unique_ptr<CProgressDialog> m_progress;
  std::unique_ptr<COriginalImage> m_fullSize;
  std::unique_ptr<CRetrievalView> m_view;
  std::unique_ptr<OnePanelHost> m_host;
  QTemporaryDir m_pqzFolder;
  QTemporaryDir m_jpegFolder;
  QTemporaryDir m_cacheHome;

  template <typename T>
  T* Control(const char* id) {
    T* control = m_view->findChild<T*>(QString::fromLatin1(id));
    if (control == nullptr) qFatal("no control %s", id);
    return control;
  }

  // Makes `path` the current image and waits until it is loaded.
  void Choose(const std::string& path) {
    m_doc->SetCurrentPath(path);
    m_doc->ShowSelectedImage();
    QTRY_VERIFY_WITH_TIMEOUT(!m_doc->IsLoadingImage(), 10000);
  }

  std::string PqzFile(int i) const {
    return QDir(m_pqzFolder.path())
        .filePath(QStringLiteral("c%1.pqz").arg(i, 2, 10, QChar('0')))
        .toStdString();
  }

  // Runs a search and waits for it to end.
  void Search() {
    Control<QPushButton>("1008")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_view->IsSearching(), 20000);
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const FileRecord& r : m_doc->Records()) names.push_back(r.m_strName);
    return names;
  }

 private slots:
  void initTestCase() {
    // The thumbnails of the pages go to a cache of this run's, never the user's.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cacheHome.path()));
    // 51 PQZ files of one kind (crops of a real photo), one made with ICA iterations, and a
    // folder of JPEG files only.
    QImage photo(QStringLiteral(ORVANE_TEST_DATA_DIR "/photos/chelsea.png"));
    QVERIFY(!photo.isNull());
    for (int i = 0; i < 51; ++i) WriteCrop(photo, 7 * i, 5 * i, PqzFile(i), 0);
    WriteCrop(photo, 0, 0, QDir(m_pqzFolder.path()).filePath("ica.pqz").toStdString(), 100);
    for (int i = 0; i < 3; ++i) {
      QVERIFY(photo.copy(10 * i, 0, 48, 40)
                  .save(QDir(m_jpegFolder.path()).filePath(QStringLiteral("j%1.jpg").arg(i))));
    }
  }

  void init() {
    m_doc = std::make_unique<COrvaneDoc>();
    m_prompts = std::make_unique<CScriptedPrompts>();
    m_progress = std::make_unique<CProgressDialog>();
    m_fullSize = std::make_unique<COriginalImage>();
    m_doc->SetPrompts(m_prompts.get());
    m_doc->SetProgressDialog(m_progress.get());
    m_doc->SetFullSizeDialog(m_fullSize.get());
    m_view = std::make_unique<CRetrievalView>();
    m_host = std::make_unique<OnePanelHost>(m_view.get());
    m_doc->SetPanelHost(m_host.get());
  }

  void cleanup() {
    m_doc->SetPanelHost(nullptr);
    m_view.reset();
    m_host.reset();
    m_doc.reset();
    m_fullSize.reset();
    m_progress.reset();
    m_prompts.reset();
  }

  void StartsWithTheColourStructureDescriptorAtSeventy() {
    QCOMPARE(Control<QComboBox>("1012")->currentIndex(), 2);
    QCOMPARE(Control<QComboBox>("1012")->itemText(0), QStringLiteral("Block mean"));
    QCOMPARE(Control<QLineEdit>("1002")->text(), QStringLiteral("70"));
    QCOMPARE(Control<QLineEdit>("1003")->text(), QStringLiteral("30"));
    QCOMPARE(Control<QSlider>("1001")->value(), 70);
    QCOMPARE(m_view->Feature(), 5);
  }

  void DescriptorsSetTheirWeightsAndTheTrackbarMovesTheBoxes() {
    struct Step {
      int feature;
      const char* color;
      const char* edge;
    };
    for (const Step s :
         {Step{1, "75", "25"}, Step{0, "90", "10"}, Step{2, "70", "30"}, Step{1, "75", "25"}}) {
      Control<QComboBox>("1012")->setCurrentIndex(s.feature);
      QCOMPARE(Control<QLineEdit>("1002")->text(), QString::fromLatin1(s.color));
      QCOMPARE(Control<QLineEdit>("1003")->text(), QString::fromLatin1(s.edge));
      QCOMPARE(Control<QSlider>("1001")->value(), Control<QLineEdit>("1002")->text().toInt());
      QCOMPARE(Control<QScrollBar>("1006")->value(), Control<QLineEdit>("1002")->text().toInt());
    }
    Control<QSlider>("1001")->setValue(40);
    QCOMPARE(Control<QLineEdit>("1002")->text(), QStringLiteral("40"));
    QCOMPARE(Control<QLineEdit>("1003")->text(), QStringLiteral("60"));
    QCOMPARE(Control<QScrollBar>("1006")->value(), 40);
    QCOMPARE(m_view->ColorWeight(), 75);  // the trackbar does not change the stored weight
    Control<QScrollBar>("1006")->setValue(41);
    QCOMPARE(Control<QLineEdit>("1002")->text(), QStringLiteral("41"));
    QCOMPARE(Control<QLineEdit>("1003")->text(), QStringLiteral("59"));
    QCOMPARE(Control<QSlider>("1001")->value(), 41);
    Control<QPushButton>("1004")->click();  // "Default": Histogram's weight again
    QCOMPARE(Control<QLineEdit>("1002")->text(), QStringLiteral("75"));
    QCOMPARE(Control<QSlider>("1001")->value(), 75);
  }

  void SearchRanksTheQueryFirstDropsTheOtherFlagAndPagesTheResult() {
    m_doc->SetFolder(m_pqzFolder.path().toStdString());
    m_doc->ResetPages();
    QCOMPARE(m_doc->Records().size(), std::size_t(52));
    Choose(PqzFile(17));
    Control<QComboBox>("1012")->setCurrentIndex(1);
    Control<QSlider>("1001")->setValue(40);
    Search();
    QVERIFY(m_prompts->m_messages.isEmpty());
    const std::vector<FileRecord>& records = m_doc->Records();
    QCOMPARE(records.size(), std::size_t(51));
    QCOMPARE(records[0].m_strName, std::string("c17.pqz"));
    for (const FileRecord& r : records) {
      QVERIFY(r.m_strName != "ica.pqz");
      // The colour box's 40 is the weight: 0.6 Edge and 0.4 colour.
      QVERIFY(std::abs(r.m_dSimilarity -
                       CombineSimilarity(r.m_dEdgeSimilarity, r.m_dColorSimilarity, 0.4)) < 1e-12);
    }
    QCOMPARE(m_doc->PageCount(), 2);
    QCOMPARE(Control<QSlider>("1035")->maximum(), 1);
    // The least similar file is alone on the second page.
    for (const FileRecord& r : records) QVERIFY(r.m_dSimilarity >= records[50].m_dSimilarity);
    QVERIFY(m_progress->isHidden() || m_doc->IsLoadingPage());
  }

  void FolderOfJpegFilesKeepsTheListAndHidesTheProgress() {
    m_doc->SetFolder(m_jpegFolder.path().toStdString());
    m_doc->ResetPages();
    QTRY_VERIFY_WITH_TIMEOUT(!m_doc->IsLoadingPage(), 10000);
    Choose(PqzFile(0));  // the query lies elsewhere
    const std::vector<std::string> before = Names();
    Search();
    QCOMPARE(m_prompts->m_messages, QStringList{"Orvane supports PQZ files only!"});
    QCOMPARE(Names(), before);
    QVERIFY(m_progress->isHidden());
  }

  void RefusesAQueryThatIsNotAPqzImage() {
    m_doc->SetFolder(m_pqzFolder.path().toStdString());
    Search();  // nothing chosen yet
    Choose(QDir(m_jpegFolder.path()).filePath("j0.jpg").toStdString());
    Search();
    QCOMPARE(m_prompts->m_messages,
             QStringList({"Please select a pqz file.", "Please select a pqz file."}));
    QCOMPARE(m_doc->Records().size(), std::size_t(52));
  }

  void WithoutADescriptorTheSearchApologises() {
    Control<QComboBox>("1012")->setCurrentIndex(-1);
    Search();
    QCOMPARE(m_prompts->m_messages, QStringList{"Sorry. Now Color Mode is Scolor and Histogram."});
  }

  void ResultForAFolderLeftDuringTheSearchIsDropped() {
    m_doc->SetFolder(m_pqzFolder.path().toStdString());
    Choose(PqzFile(3));
    Control<QPushButton>("1008")->click();
    m_doc->SetFolder(m_jpegFolder.path().toStdString());
    QTRY_VERIFY_WITH_TIMEOUT(!m_view->IsSearching(), 20000);
    QCOMPARE(Names(), (std::vector<std::string>{"j0.jpg", "j1.jpg", "j2.jpg"}));
  }

  void CancelledSearchKeepsTheList() {
    m_doc->SetFolder(m_pqzFolder.path().toStdString());
    Choose(PqzFile(3));
    const std::vector<std::string> before = Names();
    // Pressing the progress window's Cancel at its first caption stops the search.
    auto* cancel = m_progress->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    QVERIFY(cancel != nullptr);
    connect(m_progress.get(), &QWidget::windowTitleChanged, m_progress.get(),
            [cancel](const QString& title) {
              if (!title.isEmpty() && cancel->isVisible()) cancel->click();
            });
    Search();
    QVERIFY(m_prompts->m_messages.isEmpty());
    QCOMPARE(Names(), before);
    QVERIFY(m_progress->isHidden());
  }
};

}  // namespace orvane

QTEST_MAIN(orvane::RetrievalViewTest)
#include "retrieval_view_test.moc"
