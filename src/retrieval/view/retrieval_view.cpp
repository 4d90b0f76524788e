#include "retrieval/view/retrieval_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>

#include "app/dialogs/original_image.h"
#include "app/dialogs/progress_dialog.h"
#include "app/document/orvane_doc.h"
#include "app/document/query_image_box.h"
#include "app/prompts/prompts.h"
#include "foundation/result_code.h"
#include "retrieval/job/search_job.h"

namespace orvane {
namespace {

constexpr int kWeightMaximum = 100;

QLineEdit* MakePercentBox(const char* id, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(id));
  box->setReadOnly(true);
  box->setAlignment(Qt::AlignRight);
  box->setMaximumWidth(48);
  return box;
}

void Tell(const char* text) {
  COrvaneDoc* doc = GetAppDocument();
  if (doc != nullptr && doc->Prompts() != nullptr) {
    doc->Prompts()->ShowMessage(QString::fromLatin1(text));
  }
}

}  // namespace

CRetrievalView::CRetrievalView(QWidget* parent)
    : CPanelBase(parent),
      m_queryImage(new CQueryImageBox(this)),
      m_colorTrackbar(new QSlider(Qt::Horizontal, this)),
      m_colorPercent(MakePercentBox("1002", this)),
      m_edgePercent(MakePercentBox("1003", this)),
      m_colorUpDown(new QScrollBar(Qt::Vertical, this)),
      m_feature(new QComboBox(this)),
      m_defaultButton(new QPushButton(QStringLiteral("Default"), this)),
      m_searchButton(new QPushButton(QStringLiteral("Search"), this)),
      m_job(new SearchJob(this)) {
  setObjectName(QStringLiteral("retrievalView_103"));
  m_colorTrackbar->setObjectName(QStringLiteral("1001"));
  m_colorTrackbar->setRange(0, kWeightMaximum);
  m_colorTrackbar->setValue(m_nColorWeight);
  // The up-down control: two arrows, the upper one raising the colour percentage.
  m_colorUpDown->setObjectName(QStringLiteral("1006"));
  m_colorUpDown->setRange(0, kWeightMaximum);
  m_colorUpDown->setInvertedAppearance(true);
  m_colorUpDown->setInvertedControls(false);
  m_colorUpDown->setValue(m_nColorWeight);
  m_colorUpDown->setFixedSize(16, 30);
  m_colorPercent->setText(QStringLiteral("70"));
  m_edgePercent->setText(QStringLiteral("30"));
  m_feature->setObjectName(QStringLiteral("1012"));
  m_feature->insertItem(0, QStringLiteral("Block mean"));
  m_feature->insertItem(1, QStringLiteral("Histogram"));
  m_feature->insertItem(2, QStringLiteral("MPEG-7 CSD"));
  m_feature->setCurrentIndex(kInitialFeature);
  m_defaultButton->setObjectName(QStringLiteral("1004"));
  m_searchButton->setObjectName(QStringLiteral("1008"));
  TargetDirectoryEdit()->setReadOnly(true);

  // The form: the query on the left, the weight and the descriptor on the right, the folder
  // and the pages below.
  auto* weight = new QGroupBox(QStringLiteral("Weight"), this);
  auto* weightLayout = new QGridLayout(weight);
  weightLayout->addWidget(new QLabel(QStringLiteral("Edge"), weight), 0, 0);
  weightLayout->addWidget(m_colorTrackbar, 0, 1, 1, 3);
  weightLayout->addWidget(new QLabel(QStringLiteral("Color"), weight), 0, 4);
  auto* percentRow = new QHBoxLayout;
  percentRow->addWidget(m_edgePercent);
  auto* edgeUnit = new QLabel(QStringLiteral("%"), weight);
  edgeUnit->setObjectName(QStringLiteral("1030"));
  percentRow->addWidget(edgeUnit);
  percentRow->addStretch(1);
  percentRow->addWidget(m_colorPercent);
  percentRow->addWidget(new QLabel(QStringLiteral("%"), weight));
  percentRow->addWidget(m_colorUpDown);
  weightLayout->addLayout(percentRow, 1, 0, 1, 5);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Query Image"), this), 0, 0);
  layout->addWidget(m_queryImage, 1, 0, 4, 1);
  layout->addWidget(weight, 0, 1, 2, 3);
  layout->addWidget(new QLabel(QStringLiteral("Color Similarity"), this), 2, 1);
  layout->addWidget(m_feature, 2, 2, 1, 2);
  layout->addWidget(m_defaultButton, 3, 2);
  layout->addWidget(m_searchButton, 3, 3);
  layout->setRowStretch(4, 1);
  auto* folder = new QHBoxLayout;
  folder->addWidget(new QLabel(QStringLiteral("Target Directory"), this));
  folder->addWidget(TargetDirectoryEdit(), 1);
  layout->addLayout(folder, 5, 0, 1, 4);
  layout->addWidget(IncludeSubDirectoryCheck(), 6, 0, 1, 4);
  QHBoxLayout* pages = MakePageRow();
  layout->addLayout(pages, 7, 0, 1, 4);
  layout->setColumnStretch(0, 1);
  // The tab view's share of the frame decides the panel's height, not the form's rows.
  layout->setSizeConstraint(QLayout::SetNoConstraint);
  setMinimumSize(1, 1);

  connect(m_feature, &QComboBox::currentIndexChanged, this, [this] { OnFeatureChange(); });
  connect(m_colorTrackbar, &QSlider::valueChanged, this, &CRetrievalView::OnHScroll);
  connect(m_colorUpDown, &QScrollBar::valueChanged, this, &CRetrievalView::OnVScroll);
  connect(m_defaultButton, &QPushButton::clicked, this, &CRetrievalView::OnDefault);
  connect(m_searchButton, &QPushButton::clicked, this, &CRetrievalView::OnSearch);
  connect(m_job, &SearchJob::Progress, this, &CRetrievalView::OnSearchProgress);
  connect(m_job, &SearchJob::Finished, this, &CRetrievalView::OnSearchFinished);
}

CRetrievalView::~CRetrievalView() = default;

bool CRetrievalView::IsSearching() const { return m_job->IsRunning(); }

void CRetrievalView::ShowWeight(int weight) {
  m_colorPercent->setText(QString::number(weight));
  m_edgePercent->setText(QString::number(kWeightMaximum - weight));
  const QSignalBlocker trackbar(m_colorTrackbar);
  const QSignalBlocker upDown(m_colorUpDown);
  m_colorTrackbar->setValue(weight);
  m_colorUpDown->setValue(weight);
}

void CRetrievalView::OnFeatureChange() {
  m_nFeature = m_feature->currentIndex();
  if (m_nFeature >= 0 && m_nFeature < 3) m_nColorWeight = kDefaultColorWeights[m_nFeature];
  ShowWeight(m_nColorWeight);
}

void CRetrievalView::OnDefault() { OnFeatureChange(); }

void CRetrievalView::OnHScroll(int position) {
  m_colorPercent->setText(QString::number(position));
  m_edgePercent->setText(QString::number(kWeightMaximum - position));
  const QSignalBlocker upDown(m_colorUpDown);
  m_colorUpDown->setValue(position);
}

void CRetrievalView::OnVScroll(int position) {
  m_colorPercent->setText(QString::number(position));
  m_edgePercent->setText(QString::number(kWeightMaximum - position));
  const QSignalBlocker trackbar(m_colorTrackbar);
  m_colorTrackbar->setValue(position);
}

void CRetrievalView::OnSearch() {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr || m_job->IsRunning()) return;
  m_nFeature = m_feature->currentIndex();
  if (m_nFeature < 0 || m_nFeature > 2) {
    Tell("Sorry. Now Color Mode is Scolor and Histogram.");
    return;
  }
  if (doc->FullSizeDialog() != nullptr) doc->FullSizeDialog()->hide();
  // The query is the current image; it must have been loaded from a PQZ file, whose type code
  // is its IterationFlag. No image at all, or one still loading, is refused the same way.
  const std::uint16_t type = doc->CurrentImageType();
  if (doc->CurrentPath().empty() || doc->IsLoadingImage() || (type != 0 && type != 1)) {
    Tell("Please select a pqz file.");
    return;
  }

  SearchRequest request;
  request.queryPath = doc->CurrentPath();
  request.queryType = type;
  request.feature = m_nFeature;
  // The colour box's text is the weight the search uses.
  request.colorWeight = m_colorPercent->text().toInt();
  request.records = doc->Records();
  if (CProgressDialog* progress = doc->ProgressDialog()) {
    progress->SetProgress(QString(), 0);
    progress->SetCancelable(true);
    progress->show();
    // Its Cancel button, or closing the progress window, stops the search.
    connect(progress, &QDialog::rejected, this, &CRetrievalView::CancelSearch,
            Qt::UniqueConnection);
  }
  m_strSearchedFolder = doc->CurrentFolder();
  m_bSearchedSubFolders = doc->IncludeSubFolders();
  m_bCancelRequested = false;
  m_searchButton->setEnabled(false);
  m_job->Start(std::move(request));
}

void CRetrievalView::CancelSearch() {
  if (!m_job->IsRunning()) return;
  m_bCancelRequested = true;
  m_job->Cancel();
}

void CRetrievalView::OnSearchProgress(const QString& caption, int percent) {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr || doc->ProgressDialog() == nullptr || m_bCancelRequested) return;
  CProgressDialog* progress = doc->ProgressDialog();
  progress->SetProgress(caption, percent);
  // The thumbnails of a page share the window and hide it when their page is complete.
  if (progress->isHidden()) progress->show();
}

void CRetrievalView::HideProgress() {
  COrvaneDoc* doc = GetAppDocument();
  if (doc != nullptr && doc->ProgressDialog() != nullptr) {
    doc->ProgressDialog()->SetCancelable(false);
    doc->ProgressDialog()->hide();
  }
}

void CRetrievalView::OnSearchFinished(int code) {
  m_searchButton->setEnabled(true);
  HideProgress();
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr) return;
  switch (code) {
    case kSuccess:
      // The user chose another folder while the search ran: its listing stays.
      if (doc->CurrentFolder() != m_strSearchedFolder ||
          doc->IncludeSubFolders() != m_bSearchedSubFolders) {
        break;
      }
      doc->SetRecords(m_job->TakeOutcome().records);
      doc->ResetPages();
      break;
    case kCanceled:
      break;  // the list stays as it was
    case kNotPqzFile:
      Tell("Orvane supports PQZ files only!");
      break;
    case kReadFailed:
      // The query's file could not be read (moved or damaged since it was shown).
      Tell("Please select a pqz file.");
      break;
    default:
      Tell(ResultMessage(code));
      break;
  }
}

}  // namespace orvane
