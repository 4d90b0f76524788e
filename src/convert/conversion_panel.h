#pragma once

#include <QFutureWatcher>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "app/document/panel_base.h"
#include "convert/batch/batch_settings.h"

class QGridLayout;
class QPushButton;

namespace orvane {

class COrvaneDoc;

/// What the two conversion panels share: the form's title, the target and save directories
/// with their "Open" buttons (1018, 1019) and the folder browser, "Convert" (1020) and a
/// "Cancel" that stops the running batch, and the running of a batch on a worker thread with
/// its own copy of the files and settings. "Convert" is disabled on both panels while either
/// runs a batch.
class CConversionPanel : public CPanelBase {
  Q_OBJECT

 public:
  ~CConversionPanel() override;

  QLineEdit* SaveDirectoryEdit() const { return m_saveDirectory; }
  QPushButton* ConvertButton() const { return m_convertButton; }
  QPushButton* CancelButton() const { return m_cancelButton; }
  bool IsConverting() const { return m_bConverting; }

  /// "Open" 1018: the chosen folder becomes the target directory, and the save directory too
  /// when that is still empty. The document's folder does not change.
  void OnBrowseTarget();
  /// "Open" 1019: the chosen folder becomes the save directory.
  void OnBrowseSave();
  /// "Convert" 1020.
  virtual void OnConvert() = 0;
  /// "Cancel": the running batch stops at its next check, keeping the files written.
  void OnCancel();

 signals:
  /// The batch begun last has ended and its message has been shown.
  void ConversionFinished();

 protected:
  /// `title` heads the form ("Convert to PQZ format"); `browserTitle` is the folder browser's.
  CConversionPanel(const QString& title, const QString& browserTitle, QWidget* parent);

  /// The form's grid; rows 0 to 2 hold the title and the two directories, derived panels add
  /// their rows from FirstFreeRow() on and then call FinishForm.
  QGridLayout* Form() const { return m_form; }
  static constexpr int FirstFreeRow() { return 3; }
  /// Adds the buttons, the folder and page controls below `row`.
  void FinishForm(int row);

  /// The queue of a batch: the document's list in list order, copied into the document's
  /// conversion lists and returned as the batch's own copy.
  static std::vector<BatchItem> QueueRecords(COrvaneDoc& doc);
  /// Shows a message through the document's prompts.
  static void Tell(const QString& text);

  /// Runs `batch` on a worker thread with the panel's cancel hook and a progress sink that
  /// brings the progress to OnBatchProgress on the interface thread; OnBatchFinished follows
  /// with the result. False (and nothing started) when another batch holds the gate.
  using Batch =
      std::function<BatchResult(const CancelHook& cancel, const BatchProgressSink& progress)>;
  bool StartBatch(Batch batch);

  virtual void OnBatchProgress(const BatchProgress& progress) = 0;
  virtual void OnBatchFinished(const BatchResult& result) = 0;

 private:
  void OnWorkerFinished();

  QString m_browserTitle;
  QGridLayout* m_form;
  QLineEdit* m_saveDirectory;    // 1017
  QPushButton* m_browseTarget;   // 1018
  QPushButton* m_browseSave;     // 1019
  QPushButton* m_convertButton;  // 1020
  QPushButton* m_cancelButton;
  QFutureWatcher<BatchResult> m_watcher;
  std::shared_ptr<std::atomic<bool>> m_cancel;
  bool m_bConverting = false;
};

}  // namespace orvane
