#include "app/prompts/qt_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace orvane {

void CQtPrompts::ShowMessage(const QString& text) {
  // The box carries the application's name as caption, as the platform's plain box does.
  QMessageBox::information(m_parent, QApplication::applicationName(), text, QMessageBox::Ok);
}

QString CQtPrompts::AskOpenFile(const QString& filter, const QString& initialFilter) {
  QFileDialog dialog(m_parent);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(filter);
  dialog.selectNameFilter(initialFilter);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

QString CQtPrompts::AskSaveFile(const QString& filter, const QString& initialFilter,
                                const QString& defaultSuffix) {
  QFileDialog dialog(m_parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  dialog.selectNameFilter(initialFilter);
  dialog.setDefaultSuffix(defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

QString CQtPrompts::AskFolder(const QString& title) {
  return QFileDialog::getExistingDirectory(m_parent, title);
}

}  // namespace orvane
