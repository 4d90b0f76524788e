#pragma once

#include <QDialog>

class QProgressBar;
class QPushButton;

namespace orvane {

/// The modeless "Progress..." window with one bar (control 1029, range 0 to 100), shown by
/// the long operations while they run. Its users set the caption and the bar themselves.
class CProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CProgressDialog(QWidget* parent = nullptr);

  QProgressBar* Bar() const { return m_bar; }
  /// Caption and bar position (0 to 100) in one step.
  void SetProgress(const QString& caption, int percent);
  /// Shows or hides the Cancel button; pressing it rejects the dialog, which a job that
  /// listens to rejected() takes as its stop.
  void SetCancelable(bool cancelable);

 private:
  QProgressBar* m_bar;
  QPushButton* m_cancel;
};

}  // namespace orvane
