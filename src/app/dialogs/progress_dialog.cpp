#include "app/dialogs/progress_dialog.h"

#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

CProgressDialog::CProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint),
      m_bar(new QProgressBar(this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this)) {
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
  m_cancel->setObjectName(QStringLiteral("cancelButton"));
  m_cancel->setAutoDefault(false);
  layout->addWidget(m_cancel, 0, Qt::AlignRight);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
  SetCancelable(false);
}

void CProgressDialog::SetCancelable(bool cancelable) {
  m_cancel->setVisible(cancelable);
  // 117 x 29 dialog units at the dialog font, and a row more for the button.
  setFixedSize(234, cancelable ? 56 + m_cancel->sizeHint().height() + 6 : 56);
}

void CProgressDialog::SetProgress(const QString& caption, int percent) {
  setWindowTitle(caption);
  m_bar->setValue(percent);
}

}  // namespace orvane
