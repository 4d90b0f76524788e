#include "app/dialogs/fit_geometry.h"

namespace orvane {

QRect FittedRect(QSize image, QSize box) {
  if (image.width() <= 0 || image.height() <= 0 || box.width() <= 0 || box.height() <= 0) {
    return {};
  }
  const double w = image.width();
  const double h = image.height();
  const double sx = box.width() / w;
  const double sy = box.height() / h;
  // The smaller scale makes the image touch the box on that axis; a tie scales by the width.
  int x = 0;
  int y = 0;
  double scale;
  if (sy < sx) {
    scale = sy;
    x = static_cast<int>((box.width() - w * sy) * 0.5);
  } else {
    scale = sx;
    y = static_cast<int>((box.height() - h * sx) * 0.5);
  }
  return QRect(x, y, static_cast<int>(w * scale), static_cast<int>(h * scale));
}

QRect PlaceFullSizeWindow(QSize image, const QRect& workArea, const QMargins& frame) {
  const int frameWidth = frame.left() + frame.right();
  const int frameHeight = frame.top() + frame.bottom();
  const int outerWidth = image.width() + frameWidth;
  const int outerHeight = image.height() + frameHeight;
  if (workArea.width() >= outerWidth && workArea.height() >= outerHeight) {
    const int left = workArea.left() + (workArea.width() - outerWidth) / 2;
    const int top = workArea.top() + (workArea.height() - outerHeight) / 2;
    return QRect(left + frame.left(), top + frame.top(), image.width(), image.height());
  }
  const QSize available(workArea.width() - frameWidth, workArea.height() - frameHeight);
  const QRect fitted = FittedRect(image, available);
  return QRect(workArea.left() + frame.left(), workArea.top() + frame.top(), fitted.width(),
               fitted.height());
}

}  // namespace orvane
