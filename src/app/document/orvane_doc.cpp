#include "app/document/orvane_doc.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QThreadPool>
#include <algorithm>
#include <cctype>

#include <QtConcurrent/QtConcurrentRun>

#include "app/dialogs/original_image.h"
#include "app/dialogs/progress_dialog.h"
#include "app/document/image_loading.h"
#include "app/document/panel_base.h"
#include "app/document/panel_host.h"
#include "app/document/thumbnail_provider.h"
#include "app/prompts/prompts.h"
#include "foundation/result_code.h"
#include "imaging/file_type.h"
#include "imaging/image_file.h"
#include "imaging/qt_image.h"
#include "pqz/parameter_loader.h"
#include "pqz/pqz_codec.h"
#include "retrieval/folder_listing.h"

namespace orvane {
namespace {

COrvaneDoc* g_document = nullptr;

// Longest file name plus extension a label is made of, and each part's cut.
constexpr std::size_t kMaxLabelLength = 260;
constexpr std::size_t kMaxLabelPartLength = 256;

bool HasPqzExtension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == "pqz";
}

}  // namespace

COrvaneDoc* GetAppDocument() { return g_document; }

QString ImageFileFilter() {
  return QStringLiteral(
      "Windows Bitmap (*.bmp);;Jpeg Image (*.jpg *.jpeg);;Tiff Image (*.tiff);;"
      "Quazform (*.pqz);;Png Image (*.png);;All Files (*)");
}

QString InitialImageFileFilter() { return QStringLiteral("Quazform (*.pqz)"); }

QString SplitFileName(const std::string& path, int* status) {
  const std::size_t slash = path.find_last_of('/');
  const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = file.find_last_of('.');
  std::string name = dot == std::string::npos ? file : file.substr(0, dot);
  std::string extension = dot == std::string::npos ? std::string() : file.substr(dot);
  name.resize(std::min(name.size(), kMaxLabelPartLength));
  extension.resize(std::min(extension.size(), kMaxLabelPartLength));
  if (name.size() + extension.size() > kMaxLabelLength) {
    if (status != nullptr) *status = 3;
    return {};
  }
  if (status != nullptr) *status = 0;
  return QString::fromStdString(name) + QString::fromStdString(extension);
}

int SaveAsPqz(const std::string& sourcePath, const std::string& targetPath) {
  CommonParameters common;
  LearningParameters learning;
  CompressionParameters compression;
  LoadParameters(common, learning, compression);
  PqzCodec codec;
  if (const ResultCode rc = codec.SetParameters(common, learning, compression); rc != kSuccess) {
    return rc;
  }
  CImageEx image;
  if (!LoadImageForView(image, sourcePath, LoadMode::kFull)) return kInvalidValues;
  return codec.Encode(targetPath, image);
}

SaveResult SaveImageAs(const std::string& sourcePath, const std::string& targetPath) {
  if (HasPqzExtension(targetPath)) {
    return SaveAsPqz(sourcePath, targetPath) == kSuccess ? SaveResult::kWritten
                                                         : SaveResult::kFailed;
  }
  CImageEx image;
  if (!LoadImageForView(image, sourcePath, LoadMode::kFull)) return SaveResult::kFailed;
  return SaveImageFile(image, targetPath) ? SaveResult::kWritten : SaveResult::kFailed;
}

COrvaneDoc::COrvaneDoc(QObject* parent)
    : QObject(parent),
      m_image(std::make_shared<CImageEx>()),
      m_thumbnails(new CThumbnailProvider(this)),
      m_imagePool(std::make_unique<QThreadPool>()) {
  m_imagePool->setMaxThreadCount(2);
  connect(m_thumbnails, &CThumbnailProvider::ThumbnailReady, this, &COrvaneDoc::OnThumbnailReady);
  g_document = this;
}

COrvaneDoc::~COrvaneDoc() {
  if (g_document == this) g_document = nullptr;
  ++m_imageGeneration;
  m_imagePool->waitForDone();
}

CPanelBase* COrvaneDoc::SelectedPanel() const {
  return m_panelHost != nullptr ? m_panelHost->SelectedPanel() : nullptr;
}

void COrvaneDoc::SetFolder(const std::string& path) {
  m_strFolder = path;
  m_records.clear();
  ScanFolder(path);
}

void COrvaneDoc::ScanFolder(const std::string& path) {
  // A folder that cannot be listed leaves the list as it was (empty after SetFolder).
  std::vector<FileRecord> found;
  ListImageFiles(path, IncludeSubFolders(), found);
  m_records.insert(m_records.end(), std::make_move_iterator(found.begin()),
                   std::make_move_iterator(found.end()));
}

void COrvaneDoc::ResetPages() {
  m_nCurrentPage = 0;
  const int n = static_cast<int>(m_records.size());
  m_nPageCount = PageCountFor(n);
  m_nFileCount = n;
  UpdatePageControls();
  LoadPageThumbnails();
}

void COrvaneDoc::UpdatePageControls() {
  CPanelBase* panel = SelectedPanel();
  if (panel == nullptr) return;
  QSlider* trackbar = panel->PageTrackbar();
  const QSignalBlocker block(trackbar);
  trackbar->setRange(0, m_nPageCount - 1);
  trackbar->setPageStep(1);
  trackbar->setTickInterval(1);
  trackbar->setValue(m_nCurrentPage);
  panel->PageCountLabel()->setText(QStringLiteral("/ %1 pages").arg(m_nPageCount));
  panel->CurrentPageEdit()->setText(QString::number(m_nCurrentPage + 1));
}

void COrvaneDoc::LoadPageThumbnails() {
  m_thumbnails->Cancel();
  m_nPagePending = 0;
  m_nPageTotal = 0;
  if (m_records.empty()) {
    emit PageStarted({});
    if (m_progressDialog != nullptr) m_progressDialog->hide();
    emit PageCompleted();
    return;
  }
  const int n = std::max(0, std::min(CountOnPage(), static_cast<int>(m_records.size()) -
                                                        m_nCurrentPage * kPatchesPerPage));
  QStringList labels;
  std::vector<ThumbnailRequest> requests;
  requests.reserve(n);
  for (int k = 0; k < n; ++k) {
    const FileRecord& record = m_records[RecordIndexOfItem(k)];
    labels.append(SplitFileName(record.m_strPath));
    requests.push_back({k, record.m_strPath});
  }
  emit PageStarted(labels);
  m_nPageTotal = n;
  m_nPagePending = n;
  if (n == 0) {
    emit PageCompleted();
    return;
  }
  if (m_progressDialog != nullptr) {
    m_progressDialog->SetProgress(QStringLiteral("Loading thumbnails %1 / %2 ...").arg(0).arg(n),
                                  0);
    m_progressDialog->show();
  }
  m_thumbnails->Request(std::move(requests));
}

void COrvaneDoc::OnThumbnailReady(int item, const QImage& thumbnail, int type) {
  const int index = RecordIndexOfItem(item);
  if (index >= 0 && index < static_cast<int>(m_records.size())) {
    m_records[index].m_nType = static_cast<std::uint16_t>(type);
  }
  emit ThumbnailReady(item, thumbnail);
  if (m_nPagePending <= 0) return;
  --m_nPagePending;
  const int done = m_nPageTotal - m_nPagePending;
  if (m_progressDialog != nullptr) {
    m_progressDialog->SetProgress(
        QStringLiteral("Loading thumbnails %1 / %2 ...").arg(done).arg(m_nPageTotal),
        done * 100 / m_nPageTotal);
  }
  if (m_nPagePending == 0) {
    if (m_progressDialog != nullptr) m_progressDialog->hide();
    emit PageCompleted();
  }
}

void COrvaneDoc::ShowSelectedImage() {
  emit TitleChanged(QStringLiteral("Orvane - ") + QString::fromStdString(m_strCurrentPath));
  const std::uint64_t generation = ++m_imageGeneration;
  m_bImagePending = true;
  const std::string path = m_strCurrentPath;
  (void)QtConcurrent::run(m_imagePool.get(), [this, generation, path] {
    auto image = std::make_shared<CImageEx>();
    const CancelHook cancel = [this, generation] { return m_imageGeneration != generation; };
    LoadImageForView(*image, path, LoadMode::kFull, cancel);
    const QImage picture = ToQImage(*image);
    QMetaObject::invokeMethod(
        this, [this, generation, image, picture] { OnImageLoaded(generation, image, picture); },
        Qt::QueuedConnection);
  });
}

void COrvaneDoc::OnImageLoaded(std::uint64_t generation, std::shared_ptr<CImageEx> image,
                               const QImage& picture) {
  if (generation != m_imageGeneration) return;  // another image was chosen meanwhile
  m_image = std::move(image);
  m_picture = picture;
  m_bImagePending = false;
  emit CurrentImageChanged();
  if (m_bFullSizePending) {
    m_bFullSizePending = false;
    ShowFullSizeImage();
  }
}

void COrvaneDoc::ShowFullSizeImage() {
  if (m_bImagePending) {
    m_bFullSizePending = true;
    return;
  }
  if (m_fullSizeDialog != nullptr) {
    m_fullSizeDialog->ShowImage(m_picture, QString::fromStdString(m_strCurrentPath));
  }
}

void COrvaneDoc::OnFileOpen() {
  if (m_prompts == nullptr) return;
  const QString chosen = m_prompts->AskOpenFile(ImageFileFilter(), InitialImageFileFilter());
  if (chosen.isEmpty()) return;
  OpenFile(chosen.toStdString());
}

void COrvaneDoc::OpenFile(const std::string& path) {
  m_strCurrentPath = path;
  ShowSelectedImage();
  ShowFullSizeImage();
  emit FileOpened(QString::fromStdString(path));
}

void COrvaneDoc::OnFileSave() {
  if (m_prompts == nullptr) return;
  if (m_strCurrentPath.empty()) {
    m_prompts->ShowMessage(QStringLiteral("please select item"));
    return;
  }
  const QString chosen =
      m_prompts->AskSaveFile(ImageFileFilter(), InitialImageFileFilter(), QStringLiteral("pqz"));
  if (chosen.isEmpty()) return;
  m_bSaving = true;
  const std::string source = m_strCurrentPath;
  const std::string target = chosen.toStdString();
  (void)QtConcurrent::run(m_imagePool.get(), [this, source, target] {
    const SaveResult result = SaveImageAs(source, target);
    QMetaObject::invokeMethod(
        this,
        [this, result] {
          m_bSaving = false;
          if (result == SaveResult::kFailed && m_prompts != nullptr) {
            m_prompts->ShowMessage(QStringLiteral("FILE_WRITE_FAILED"));
          }
          emit SaveFinished(result == SaveResult::kWritten);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace orvane
