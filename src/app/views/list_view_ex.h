#pragma once

#include <QListWidget>

namespace orvane {

class COriginalImage;
class CProgressDialog;

/// The thumbnail list: the current page of the document's records as 96 x 96 thumbnails with
/// their file names. Selecting a thumbnail makes its file the current image; activating one
/// (double-click, Enter) opens it at full size; dropping one image file does both. The list
/// owns the full-size window and the progress window and registers them in the document.
class CListViewEx : public QListWidget {
  Q_OBJECT

 public:
  explicit CListViewEx(QWidget* parent = nullptr);
  ~CListViewEx() override;

  COriginalImage* FullSizeDialog() const { return m_fullSizeDialog; }
  CProgressDialog* ProgressDialog() const { return m_progressDialog; }

  /// The selected item's record becomes the current image.
  void OnSelectionChanged();
  /// Handles the dropped local files, in order.
  void DropFiles(const QStringList& paths);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void StartPage(const QStringList& labels);
  void SetThumbnail(int item, const QImage& thumbnail);
  void StepSelection(int step);

  COriginalImage* m_fullSizeDialog;
  CProgressDialog* m_progressDialog;
};

}  // namespace orvane
