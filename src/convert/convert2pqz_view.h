#pragma once

#include <string>

#include "convert/conversion_panel.h"

class QComboBox;
class QLabel;
class QProgressBar;

namespace orvane {

class COrvaneDoc;

/// The second tab: converts every file of the document's list into a PQZ file in the save
/// directory, with PCA or ICA bases, several files at once on worker threads. The panel shows
/// the files done of all and the file begun last, and one message at the end that reports
/// success or lists the output paths that failed.
class CConvert2PQZView : public CConversionPanel {
  Q_OBJECT

 public:
  explicit CConvert2PQZView(QWidget* parent = nullptr);

  void OnConvert() override;

  QComboBox* MethodBox() const { return m_method; }
  /// The parameter file the batches read; empty means config.ini beside the program.
  void SetConfigPath(const std::string& path) { m_strConfigPath = path; }

 protected:
  void OnBatchProgress(const BatchProgress& progress) override;
  void OnBatchFinished(const BatchResult& result) override;

 private:
  QComboBox* m_method;       // 1012
  QProgressBar* m_progress;  // files done of all
  QLabel* m_status;          // the file begun last

  // The block the running batch was started with (the batch works on its own copy).
  std::string m_strTargetDir;
  std::string m_strSaveDir;
  std::string m_strMethod;
  COrvaneDoc* m_pDoc = nullptr;
  std::string m_strConfigPath;
};

}  // namespace orvane
