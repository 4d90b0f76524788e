#include "convert/convert2pqz_view.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "app/dialogs/progress_dialog.h"
#include "app/document/orvane_doc.h"
#include "convert/batch/batch_messages.h"
#include "convert/batch/pqz_batch.h"

namespace orvane {

CConvert2PQZView::CConvert2PQZView(QWidget* parent)
    : CConversionPanel(QStringLiteral("Convert to PQZ format"), QStringLiteral("Convert to PQZ"),
                       parent),
      m_method(new QComboBox(this)),
      m_progress(new QProgressBar(this)),
      m_status(new QLabel(this)) {
  setObjectName(QStringLiteral("convert2PqzView_105"));
  m_method->setObjectName(QStringLiteral("1012"));
  m_method->insertItem(0, QStringLiteral("PCA"));
  m_method->insertItem(1, QStringLiteral("ICA"));
  m_method->setCurrentIndex(0);
  m_progress->setObjectName(QStringLiteral("batchProgress"));
  m_progress->setRange(0, 1);
  m_progress->setValue(0);
  // "files done/all" while a batch runs; an idle bar shows no text.
  m_progress->setFormat(QStringLiteral("%v/%m"));
  m_progress->setTextVisible(false);
  m_status->setObjectName(QStringLiteral("batchStatus"));

  int row = FirstFreeRow();
  Form()->addWidget(new QLabel(QStringLiteral("Bases"), this), row, 0);
  Form()->addWidget(m_method, row++, 1);
  Form()->addWidget(m_progress, row++, 0, 1, 3);
  Form()->addWidget(m_status, row++, 0, 1, 3);
  FinishForm(row);
}

void CConvert2PQZView::OnConvert() {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr || IsConverting()) return;
  const std::string target = WithTrailingSeparator(TargetDirectoryEdit()->text().toStdString());
  const std::string save = WithTrailingSeparator(SaveDirectoryEdit()->text().toStdString());
  const std::string method = m_method->currentText().toStdString();
  if (!SaveDirectoryExists(save)) {
    Tell(QString::fromLatin1(kSaveDirectoryMissingText));
    return;
  }
  if (doc->Records().empty()) {
    Tell(QString::fromLatin1(kNoFilesText));
    return;
  }

  // The files of the list the document shows, listed from its current folder: files of its
  // sub-folders go to the same sub-folders under the save directory.
  PqzBatchSettings settings;
  settings.batch.targetDir = doc->CurrentFolder();
  settings.batch.saveDir = save;
  settings.method = method;
  settings.configPath = m_strConfigPath;
  std::vector<BatchItem> items = QueueRecords(*doc);
  m_strTargetDir = target;
  m_strSaveDir = save;
  m_strMethod = method;
  m_pDoc = doc;

  // A typed folder becomes the document's folder; the files already queued are not affected.
  const std::string typed = TargetDirectoryEdit()->text().toStdString();
  if (typed != doc->CurrentFolder()) {
    doc->SetFolder(typed);
    doc->ResetPages();
  }
  Tell(QString::fromLatin1(kStartConvertingText));

  m_progress->setRange(0, static_cast<int>(items.size()));
  m_progress->setValue(0);
  StartBatch([items = std::move(items), settings](const CancelHook& cancel,
                                                  const BatchProgressSink& progress) mutable {
    settings.batch.cancel = cancel;
    settings.batch.progress = progress;
    return ConvertToPqz(items, settings);
  });
  if (doc->ProgressDialog() != nullptr) doc->ProgressDialog()->hide();
}

void CConvert2PQZView::OnBatchProgress(const BatchProgress& progress) {
  m_progress->setTextVisible(true);
  m_progress->setRange(0, static_cast<int>(progress.total));
  m_progress->setValue(static_cast<int>(progress.finished));
  m_status->setText(QString::fromStdString(progress.current));
}

void CConvert2PQZView::OnBatchFinished(const BatchResult& result) {
  m_progress->setRange(0, 1);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);
  m_status->clear();
  const std::string message = PqzBatchMessage(result);
  if (!message.empty()) Tell(QString::fromStdString(message));
}

}  // namespace orvane
