#include "convert/convert2bmp_view.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>

#include "app/document/orvane_doc.h"
#include "convert/batch/batch_messages.h"
#include "convert/batch/bmp_batch.h"

namespace orvane {
namespace {

// The bar's range is a 16-bit value on the platform's progress bar; a longer batch is shown
// in proportion.
constexpr std::size_t kBarMaximum = 65535;

int BarValue(std::size_t value, std::size_t total) {
  if (total <= kBarMaximum) return static_cast<int>(value);
  return static_cast<int>(value * kBarMaximum / total);
}

}  // namespace

CConvert2BMPView::CConvert2BMPView(QWidget* parent)
    : CConversionPanel(QStringLiteral("Convert to BMP format"), QStringLiteral("Convert to BMP"),
                       parent),
      m_progress(new QProgressBar(this)),
      m_counter(new QLabel(this)) {
  setObjectName(QStringLiteral("convert2BmpView_106"));
  m_progress->setObjectName(QStringLiteral("1021"));
  m_progress->setRange(0, 1);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);
  m_counter->setObjectName(QStringLiteral("1023"));

  int row = FirstFreeRow();
  Form()->addWidget(m_progress, row, 0, 1, 2);
  Form()->addWidget(m_counter, row++, 2);
  FinishForm(row);
}

void CConvert2BMPView::OnConvert() {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr || IsConverting()) return;
  const std::string save = WithTrailingSeparator(SaveDirectoryEdit()->text().toStdString());
  // A missing save directory would make every save fail: nothing is converted.
  if (!SaveDirectoryExists(save)) {
    Tell(QString::fromLatin1(kSaveDirectoryMissingText));
    return;
  }
  BatchSettings settings;
  settings.targetDir = doc->CurrentFolder();
  settings.saveDir = save;
  std::vector<BatchItem> items = QueueRecords(*doc);
  m_progress->setRange(0, static_cast<int>(std::min(items.size(), kBarMaximum)));
  m_progress->setValue(0);
  setCursor(Qt::BusyCursor);
  StartBatch([items = std::move(items), settings](const CancelHook& cancel,
                                                  const BatchProgressSink& progress) mutable {
    settings.cancel = cancel;
    settings.progress = progress;
    return ConvertToBmp(items, settings);
  });
}

void CConvert2BMPView::OnBatchProgress(const BatchProgress& progress) {
  m_counter->setText(QString::asprintf("%d/%d", static_cast<int>(progress.started),
                                       static_cast<int>(progress.total)));
  m_progress->setValue(BarValue(progress.converted, progress.total));
}

void CConvert2BMPView::OnBatchFinished(const BatchResult& result) {
  m_counter->clear();
  m_progress->setValue(0);
  unsetCursor();
  const std::string message = BmpBatchMessage(result);
  if (!message.empty()) Tell(QString::fromStdString(message));
}

}  // namespace orvane
