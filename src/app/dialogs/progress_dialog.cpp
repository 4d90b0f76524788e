#include "app/dialogs/progress_dialog.h"

#include <QProgressBar>
#include <QVBoxLayout>

namespace orvane {

CProgressDialog::CProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint),
      m_bar(new QProgressBar(this)) {
  setObjectName(QStringLiteral("progressDialog_109"));
  setWindowTitle(QStringLiteral("Progress..."));
  setModal(false);
  // Shown at every page; it must not take the focus from the window the user works in.
  setAttribute(Qt::WA_ShowWithoutActivating);
  m_bar->setObjectName(QStringLiteral("1029"));
  m_bar->setRange(0, 100);
  m_bar->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(11, 11, 11, 11);
  layout->addWidget(m_bar);
  // 117 x 29 dialog units at the dialog font.
  setFixedSize(234, 56);
}

void CProgressDialog::SetProgress(const QString& caption, int percent) {
  setWindowTitle(caption);
  m_bar->setValue(percent);
}

}  // namespace orvane
