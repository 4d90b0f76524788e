#pragma once

#include <QImage>
#include <QWidget>

namespace orvane {

/// The full-size image window: shows one picture at its size, or fitted to the screen's work
/// area, stretched to the whole client area. A double-click or Escape hides it; Left and Right
/// ask for the previous and next image of the list.
class COriginalImage : public QWidget {
  Q_OBJECT

 public:
  explicit COriginalImage(QWidget* parent = nullptr);

  /// Shows `picture` with `title` as caption, sized and placed on the work area of the screen
  /// the window is on (PlaceFullSizeWindow), on top of the other windows.
  void ShowImage(const QImage& picture, const QString& title);
  /// The same with an explicit work area, for tests and for screens Qt cannot describe.
  void ShowImage(const QImage& picture, const QString& title, const QRect& workArea);
  const QImage& Picture() const { return m_picture; }

 signals:
  void PreviousRequested();
  void NextRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QImage m_picture;
};

}  // namespace orvane
