#pragma once

#include <QFrame>

namespace orvane {

/// The query image box of the retrieval panel (control 1000): the document's current image
/// fitted into the box with its aspect kept, on the background colour of its type. A
/// double-click opens the full-size window when an image is chosen.
class CQueryImageBox : public QFrame {
  Q_OBJECT

 public:
  explicit CQueryImageBox(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace orvane
