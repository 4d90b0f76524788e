#pragma once

#include <QWidget>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QSlider;

namespace orvane {

/// The base of the three working panels of the tab view. It owns the controls every panel
/// carries: the "Target Directory" edit (1016), the "Include Sub Directory" check box (1005),
/// the current-page edit (1034), the page trackbar (1035) and the page-count label (1039),
/// and handles them on the document in the same way for every panel. A derived panel only
/// places these controls in its own form and adds its own.
class CPanelBase : public QWidget {
  Q_OBJECT

 public:
  /// How the page trackbar was moved, in the trackbar's own terms.
  enum class PageScroll { kLineStep, kPageUp, kPageDown, kThumbTrack, kThumbPosition, kEnd };

  explicit CPanelBase(QWidget* parent = nullptr);

  QLineEdit* TargetDirectoryEdit() const { return m_targetDirectory; }
  QCheckBox* IncludeSubDirectoryCheck() const { return m_includeSubDirectory; }
  QLineEdit* CurrentPageEdit() const { return m_currentPage; }
  QSlider* PageTrackbar() const { return m_pageTrackbar; }
  QLabel* PageCountLabel() const { return m_pageCount; }

  /// Writes `folder` into the "Target Directory" edit.
  void SetTargetDirectory(const QString& folder);

  /// Shared handler of check box 1005: the document's include-sub-folders flag becomes the
  /// check state; the current folder is scanned again and the pages reset.
  virtual void OnIncludeSubDirectoryClicked();
  /// Shared handler of edit 1016 losing the focus: a text other than the document's current
  /// folder (compared exactly) becomes the folder, which is scanned, and the pages reset.
  virtual void OnTargetDirectoryFocusLost();
  /// Shared handler of trackbar 1035: with more than one page, page-up, page-down and the
  /// thumb's release make the trackbar position the current page and load its thumbnails;
  /// line steps, dragging and the end of scrolling change nothing.
  virtual void OnPageScroll(PageScroll scroll);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  /// The "Result Page:" row every panel shows: the label, the page edit, the page count and
  /// the trackbar, which takes the spare width.
  QHBoxLayout* MakePageRow();

 private:
  QLineEdit* m_targetDirectory;
  QCheckBox* m_includeSubDirectory;
  QLineEdit* m_currentPage;
  QSlider* m_pageTrackbar;
  QLabel* m_pageCount;
};

}  // namespace orvane
