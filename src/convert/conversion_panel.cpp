#include "convert/conversion_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <utility>

#include <QtConcurrent/QtConcurrentRun>

#include "app/document/orvane_doc.h"
#include "app/prompts/prompts.h"
#include "convert/conversion_gate.h"

namespace orvane {

CConversionPanel::CConversionPanel(const QString& title, const QString& browserTitle,
                                   QWidget* parent)
    : CPanelBase(parent),
      m_browserTitle(browserTitle),
      m_form(new QGridLayout(this)),
      m_saveDirectory(new QLineEdit(this)),
      m_browseTarget(new QPushButton(QStringLiteral("Open"), this)),
      m_browseSave(new QPushButton(QStringLiteral("Open"), this)),
      m_convertButton(new QPushButton(QStringLiteral("Convert"), this)),
      m_cancelButton(new QPushButton(QStringLiteral("Cancel"), this)),
      m_cancel(std::make_shared<std::atomic<bool>>(false)) {
  m_saveDirectory->setObjectName(QStringLiteral("1017"));
  m_browseTarget->setObjectName(QStringLiteral("1018"));
  m_browseSave->setObjectName(QStringLiteral("1019"));
  m_convertButton->setObjectName(QStringLiteral("1020"));
  m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
  m_cancelButton->setEnabled(false);

  auto* heading = new QLabel(title, this);
  QFont font = heading->font();
  font.setBold(true);
  heading->setFont(font);
  m_form->addWidget(heading, 0, 0, 1, 3);
  m_form->addWidget(new QLabel(QStringLiteral("Target Directory"), this), 1, 0);
  m_form->addWidget(TargetDirectoryEdit(), 1, 1);
  m_form->addWidget(m_browseTarget, 1, 2);
  m_form->addWidget(new QLabel(QStringLiteral("Save Directory"), this), 2, 0);
  m_form->addWidget(m_saveDirectory, 2, 1);
  m_form->addWidget(m_browseSave, 2, 2);
  m_form->setColumnStretch(1, 1);
  // The tab view's share of the frame decides the panel's height, not the form's rows.
  m_form->setSizeConstraint(QLayout::SetNoConstraint);
  setMinimumSize(1, 1);

  connect(m_browseTarget, &QPushButton::clicked, this, &CConversionPanel::OnBrowseTarget);
  connect(m_browseSave, &QPushButton::clicked, this, &CConversionPanel::OnBrowseSave);
  connect(m_convertButton, &QPushButton::clicked, this, [this] { OnConvert(); });
  connect(m_cancelButton, &QPushButton::clicked, this, &CConversionPanel::OnCancel);
  connect(&m_watcher, &QFutureWatcher<BatchResult>::finished, this,
          &CConversionPanel::OnWorkerFinished);
  CConversionGate& gate = CConversionGate::Instance();
  m_convertButton->setEnabled(!gate.IsRunning());
  connect(&gate, &CConversionGate::RunningChanged, this,
          [this](bool running) { m_convertButton->setEnabled(!running); });
}

CConversionPanel::~CConversionPanel() {
  // The worker posts its progress to this panel: it must have ended before the panel goes.
  m_cancel->store(true);
  m_watcher.disconnect(this);
  m_watcher.waitForFinished();
  if (m_bConverting) CConversionGate::Instance().End();
}

void CConversionPanel::FinishForm(int row) {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_convertButton);
  buttons->addWidget(m_cancelButton);
  m_form->addLayout(buttons, row++, 0, 1, 3);
  m_form->addWidget(IncludeSubDirectoryCheck(), row++, 1, 1, 2);
  m_form->setRowStretch(row++, 1);
  QHBoxLayout* pages = MakePageRow();
  m_form->addLayout(pages, row, 0, 1, 3);
}

void CConversionPanel::Tell(const QString& text) {
  COrvaneDoc* doc = GetAppDocument();
  if (doc != nullptr && doc->Prompts() != nullptr) doc->Prompts()->ShowMessage(text);
}

void CConversionPanel::OnBrowseTarget() {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr || doc->Prompts() == nullptr) return;
  const QString folder = doc->Prompts()->AskFolder(m_browserTitle);
  if (folder.isEmpty()) return;
  TargetDirectoryEdit()->setText(folder);
  if (m_saveDirectory->text().isEmpty()) m_saveDirectory->setText(folder);
  m_browseTarget->setEnabled(true);
}

void CConversionPanel::OnBrowseSave() {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr || doc->Prompts() == nullptr) return;
  const QString folder = doc->Prompts()->AskFolder(m_browserTitle);
  if (folder.isEmpty()) return;
  m_saveDirectory->setText(folder);
  m_browseSave->setEnabled(true);
}

void CConversionPanel::OnCancel() {
  if (m_bConverting) m_cancel->store(true);
}

std::vector<BatchItem> CConversionPanel::QueueRecords(COrvaneDoc& doc) {
  doc.m_arrConvertNames.clear();
  doc.m_arrConvertPaths.clear();
  std::vector<BatchItem> items;
  items.reserve(doc.Records().size());
  for (const FileRecord& record : doc.Records()) {
    doc.m_arrConvertNames.append(QString::fromStdString(record.m_strName));
    doc.m_arrConvertPaths.append(QString::fromStdString(record.m_strPath));
    items.push_back({record.m_strName, record.m_strPath});
  }
  return items;
}

bool CConversionPanel::StartBatch(Batch batch) {
  if (m_bConverting || !CConversionGate::Instance().TryBegin()) return false;
  m_bConverting = true;
  m_cancelButton->setEnabled(true);
  // A fresh flag per batch: a Cancel of the previous one must not stop this one.
  m_cancel = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<std::atomic<bool>> flag = m_cancel;
  const CancelHook cancel = [flag] { return flag->load(std::memory_order_relaxed); };
  const BatchProgressSink progress = [this](const BatchProgress& step) {
    QMetaObject::invokeMethod(
        this, [this, step] { OnBatchProgress(step); }, Qt::QueuedConnection);
  };
  m_watcher.setFuture(QtConcurrent::run(
      [batch = std::move(batch), cancel, progress] { return batch(cancel, progress); }));
  return true;
}

void CConversionPanel::OnWorkerFinished() {
  const QFuture<BatchResult> future = m_watcher.future();
  const BatchResult result = future.resultCount() > 0 ? future.result() : BatchResult{};
  m_bConverting = false;
  m_cancelButton->setEnabled(false);
  if (COrvaneDoc* doc = GetAppDocument()) {
    doc->m_arrConvertNames.clear();
    doc->m_arrConvertPaths.clear();
  }
  CConversionGate::Instance().End();
  OnBatchFinished(result);
  emit ConversionFinished();
}

}  // namespace orvane
