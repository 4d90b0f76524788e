#include "app/document/query_image_box.h"

#include <QPainter>

#include "app/dialogs/fit_geometry.h"
#include "app/document/orvane_doc.h"

namespace orvane {

CQueryImageBox::CQueryImageBox(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("1000"));
  setFrameStyle(QFrame::Box | QFrame::Sunken);
  setMinimumSize(64, 64);
  if (COrvaneDoc* doc = GetAppDocument()) {
    connect(doc, &COrvaneDoc::CurrentImageChanged, this, qOverload<>(&QWidget::update));
  }
}

void CQueryImageBox::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  const COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr || doc->CurrentPath().empty() || doc->IsLoadingImage()) return;
  QPainter painter(this);
  const QRect box = contentsRect();
  const std::uint32_t bgr = BackgroundColour(doc->CurrentImageType());
  painter.fillRect(box, QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
  const QImage& picture = doc->CurrentPicture();
  if (picture.isNull()) return;
  const QRect fitted = FittedRect(picture.size(), box.size()).translated(box.topLeft());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(fitted, picture);
}

void CQueryImageBox::mouseDoubleClickEvent(QMouseEvent* event) {
  QFrame::mouseDoubleClickEvent(event);
  COrvaneDoc* doc = GetAppDocument();
  if (doc != nullptr && !doc->CurrentPath().empty()) doc->ShowFullSizeImage();
}

}  // namespace orvane
