#pragma once

#include "convert/conversion_panel.h"

class QLabel;
class QProgressBar;

namespace orvane {

/// The third tab: decodes every file of the document's list as a PQZ file and writes it as a
/// Windows bitmap into the save directory, on worker threads. The progress bar (1021) counts
/// the bitmaps written and the counter (1023) reads "%d/%d" while the batch runs; one message
/// at the end reports success or lists the names of the files that failed.
class CConvert2BMPView : public CConversionPanel {
  Q_OBJECT

 public:
  explicit CConvert2BMPView(QWidget* parent = nullptr);

  void OnConvert() override;

  QProgressBar* ProgressBar() const { return m_progress; }
  QLabel* Counter() const { return m_counter; }

 protected:
  void OnBatchProgress(const BatchProgress& progress) override;
  void OnBatchFinished(const BatchResult& result) override;

 private:
  QProgressBar* m_progress;  // 1021
  QLabel* m_counter;         // 1023
};

}  // namespace orvane
