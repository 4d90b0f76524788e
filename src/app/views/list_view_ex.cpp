#include "app/views/list_view_ex.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPixmap>
#include <QUrl>

#include "app/dialogs/original_image.h"
#include "app/dialogs/progress_dialog.h"
#include "app/document/orvane_doc.h"
#include "app/prompts/prompts.h"
#include "imaging/file_type.h"
#include "retrieval/job/similarity_tooltip.h"

namespace orvane {

CListViewEx::CListViewEx(QWidget* parent)
    : QListWidget(parent),
      m_fullSizeDialog(new COriginalImage()),
      m_progressDialog(new CProgressDialog()) {
  setObjectName(QStringLiteral("listViewEx"));
  setViewMode(QListView::IconMode);
  setIconSize(QSize(kThumbnailSide, kThumbnailSide));
  setGridSize(QSize(kThumbnailSide + 24, kThumbnailSide + 36));
  setMovement(QListView::Static);
  setResizeMode(QListView::Adjust);
  setFlow(QListView::LeftToRight);
  setWrapping(true);
  setWordWrap(true);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragEnabled(false);

  connect(this, &QListWidget::itemSelectionChanged, this, &CListViewEx::OnSelectionChanged);
  connect(this, &QListWidget::itemActivated, this, [](QListWidgetItem*) {
    if (COrvaneDoc* doc = GetAppDocument()) doc->ShowFullSizeImage();
  });
  connect(m_fullSizeDialog, &COriginalImage::PreviousRequested, this,
          [this] { StepSelection(-1); });
  connect(m_fullSizeDialog, &COriginalImage::NextRequested, this, [this] { StepSelection(1); });

  if (COrvaneDoc* doc = GetAppDocument()) {
    doc->SetFullSizeDialog(m_fullSizeDialog);
    doc->SetProgressDialog(m_progressDialog);
    connect(doc, &COrvaneDoc::PageStarted, this, &CListViewEx::StartPage);
    connect(doc, &COrvaneDoc::ThumbnailReady, this, &CListViewEx::SetThumbnail);
  }
}

CListViewEx::~CListViewEx() {
  if (COrvaneDoc* doc = GetAppDocument()) {
    if (doc->FullSizeDialog() == m_fullSizeDialog) doc->SetFullSizeDialog(nullptr);
    if (doc->ProgressDialog() == m_progressDialog) doc->SetProgressDialog(nullptr);
  }
  delete m_fullSizeDialog;
  delete m_progressDialog;
}

void CListViewEx::StartPage(const QStringList& labels) {
  const QSignalBlocker block(this);
  clear();
  // Every item exists from the start with its label, so item j is record page x 50 + j
  // whatever order the thumbnails arrive in.
  QPixmap empty(kThumbnailSide, kThumbnailSide);
  empty.fill(Qt::transparent);
  const QIcon placeholder(empty);
  for (const QString& label : labels) addItem(new QListWidgetItem(placeholder, label));
  // A ranked result tells its similarities; an unranked listing has no tooltip.
  if (const COrvaneDoc* doc = GetAppDocument()) {
    const std::vector<FileRecord>& records = doc->Records();
    for (int k = 0; k < count(); ++k) {
      const std::size_t index = static_cast<std::size_t>(doc->RecordIndexOfItem(k));
      if (index < records.size()) item(k)->setToolTip(SimilarityToolTip(records[index]));
    }
  }
}

void CListViewEx::SetThumbnail(int item, const QImage& thumbnail) {
  if (QListWidgetItem* entry = this->item(item)) {
    entry->setIcon(QIcon(QPixmap::fromImage(thumbnail)));
  }
}

void CListViewEx::OnSelectionChanged() {
  const QList<QListWidgetItem*> selected = selectedItems();
  COrvaneDoc* doc = GetAppDocument();
  if (selected.isEmpty() || doc == nullptr) return;
  const int index = doc->RecordIndexOfItem(row(selected.front()));
  if (index < 0 || index >= static_cast<int>(doc->Records().size())) return;
  doc->SetCurrentPath(doc->Records()[index].m_strPath);
  doc->ShowSelectedImage();
}

void CListViewEx::StepSelection(int step) {
  const int next = currentRow() + step;
  if (next < 0 || next >= count()) return;
  setCurrentRow(next);
  if (COrvaneDoc* doc = GetAppDocument()) doc->ShowFullSizeImage();
}

void CListViewEx::DropFiles(const QStringList& paths) {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr || paths.isEmpty()) return;
  CPrompts* prompts = doc->Prompts();
  if (paths.size() >= 2) {
    if (prompts != nullptr)
      prompts->ShowMessage(QStringLiteral("You can drop one image file only."));
    return;
  }
  const std::string path = paths.front().toStdString();
  if (GetFileTypeCode(path) == 0) {
    if (prompts != nullptr) prompts->ShowMessage(QStringLiteral("This is not a image file!"));
    return;
  }
  doc->SetCurrentPath(path);
  doc->ShowSelectedImage();
  doc->ShowFullSizeImage();
}

void CListViewEx::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    QListWidget::dragEnterEvent(event);
  }
}

void CListViewEx::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    QListWidget::dragMoveEvent(event);
  }
}

void CListViewEx::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasUrls()) {
    QListWidget::dropEvent(event);
    return;
  }
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  }
  event->acceptProposedAction();
  DropFiles(paths);
}

}  // namespace orvane
