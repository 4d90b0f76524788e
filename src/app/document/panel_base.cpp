#include "app/document/panel_base.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include "app/document/orvane_doc.h"

namespace orvane {

CPanelBase::CPanelBase(QWidget* parent)
    : QWidget(parent),
      m_targetDirectory(new QLineEdit(this)),
      m_includeSubDirectory(new QCheckBox(QStringLiteral("Include Sub Directory"), this)),
      m_currentPage(new QLineEdit(QStringLiteral("1"), this)),
      m_pageTrackbar(new QSlider(Qt::Horizontal, this)),
      m_pageCount(new QLabel(QStringLiteral("/ 1 pages"), this)) {
  m_targetDirectory->setObjectName(QStringLiteral("1016"));
  m_includeSubDirectory->setObjectName(QStringLiteral("1005"));
  m_currentPage->setObjectName(QStringLiteral("1034"));
  m_currentPage->setReadOnly(true);
  m_pageTrackbar->setObjectName(QStringLiteral("1035"));
  m_pageTrackbar->setRange(0, 0);
  m_pageTrackbar->setPageStep(1);
  m_pageTrackbar->setTickInterval(1);
  m_pageTrackbar->setTickPosition(QSlider::TicksBelow);
  // The page changes when the thumb is let go, not while it is dragged.
  m_pageTrackbar->setTracking(false);
  m_pageCount->setObjectName(QStringLiteral("1039"));

  connect(m_includeSubDirectory, &QCheckBox::clicked, this,
          [this] { OnIncludeSubDirectoryClicked(); });
  m_targetDirectory->installEventFilter(this);
  connect(m_pageTrackbar, &QSlider::actionTriggered, this, [this](int action) {
    switch (action) {
      case QAbstractSlider::SliderPageStepAdd:
        OnPageScroll(PageScroll::kPageDown);
        break;
      case QAbstractSlider::SliderPageStepSub:
        OnPageScroll(PageScroll::kPageUp);
        break;
      case QAbstractSlider::SliderMove:
        OnPageScroll(PageScroll::kThumbTrack);
        break;
      default:
        OnPageScroll(PageScroll::kLineStep);
        break;
    }
  });
  connect(m_pageTrackbar, &QSlider::sliderReleased, this,
          [this] { OnPageScroll(PageScroll::kThumbPosition); });
}

void CPanelBase::SetTargetDirectory(const QString& folder) { m_targetDirectory->setText(folder); }

bool CPanelBase::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_targetDirectory && event->type() == QEvent::FocusOut) {
    OnTargetDirectoryFocusLost();
  }
  return QWidget::eventFilter(watched, event);
}

void CPanelBase::OnIncludeSubDirectoryClicked() {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr) return;
  doc->SetIncludeSubFolders(m_includeSubDirectory->isChecked());
  doc->SetFolder(doc->CurrentFolder());
  doc->ResetPages();
}

void CPanelBase::OnTargetDirectoryFocusLost() {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr) return;
  const std::string text = m_targetDirectory->text().toStdString();
  if (text == doc->CurrentFolder()) return;
  doc->SetFolder(text);
  doc->ResetPages();
}

void CPanelBase::OnPageScroll(PageScroll scroll) {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr || doc->PageCount() == 1) return;
  if (scroll != PageScroll::kPageUp && scroll != PageScroll::kPageDown &&
      scroll != PageScroll::kThumbPosition) {
    return;
  }
  // During a page step the slider has moved but not yet told its value.
  const int page = m_pageTrackbar->sliderPosition();
  m_pageTrackbar->setValue(page);
  m_currentPage->setText(QString::number(page + 1));
  doc->SetCurrentPage(page);
  doc->LoadPageThumbnails();
}

QHBoxLayout* CPanelBase::MakePageRow() {
  auto* pages = new QHBoxLayout;
  pages->addWidget(new QLabel(QStringLiteral("Result Page:"), this));
  m_currentPage->setMaximumWidth(48);
  pages->addWidget(m_currentPage);
  pages->addWidget(m_pageCount);
  pages->addWidget(m_pageTrackbar, 1);
  return pages;
}

}  // namespace orvane
