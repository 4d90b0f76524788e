#include "app/dialogs/original_image.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "app/dialogs/fit_geometry.h"

namespace orvane {

COriginalImage::COriginalImage(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("originalImage_107"));
  setWindowTitle(QStringLiteral("Orvane"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void COriginalImage::ShowImage(const QImage& picture, const QString& title) {
  QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
  ShowImage(picture, title,
            screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600));
}

void COriginalImage::ShowImage(const QImage& picture, const QString& title, const QRect& workArea) {
  m_picture = picture;
  setWindowTitle(title);
  // The frame is known only once the window has been shown; before that the window manager's
  // usual margins are unknown and the window is placed as if it had none.
  const QRect frameRect = frameGeometry();
  const QRect clientRect = geometry();
  const QMargins frame = isVisible() ? QMargins(clientRect.left() - frameRect.left(),
                                                clientRect.top() - frameRect.top(),
                                                frameRect.right() - clientRect.right(),
                                                frameRect.bottom() - clientRect.bottom())
                                     : QMargins();
  const QRect placed = PlaceFullSizeWindow(picture.size(), workArea, frame);
  // The window is sized to its picture: the user does not resize it.
  setFixedSize(placed.size());
  move(placed.topLeft() - QPoint(frame.left(), frame.top()));
  show();
  raise();
  activateWindow();
  update();
}

void COriginalImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (m_picture.isNull()) {
    painter.fillRect(rect(), palette().window());
    return;
  }
  // The picture is stretched to the whole client area, which has nearly its proportions.
  painter.drawImage(rect(), m_picture);
}

void COriginalImage::mouseDoubleClickEvent(QMouseEvent* event) {
  QWidget::mouseDoubleClickEvent(event);
  hide();
}

void COriginalImage::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      hide();
      return;
    case Qt::Key_Left:
      emit PreviousRequested();
      return;
    case Qt::Key_Right:
      emit NextRequested();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace orvane
