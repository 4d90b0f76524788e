#pragma once

#include <QPointer>
#include <QWidget>

#include "app/prompts/prompts.h"

namespace orvane {

/// The prompts of the running program: Qt's message box and file dialogs over `parent`.
class CQtPrompts : public CPrompts {
 public:
  explicit CQtPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
  void SetParent(QWidget* parent) { m_parent = parent; }

  void ShowMessage(const QString& text) override;
  QString AskOpenFile(const QString& filter, const QString& initialFilter) override;
  QString AskSaveFile(const QString& filter, const QString& initialFilter,
                      const QString& defaultSuffix) override;
  QString AskFolder(const QString& title) override;

 private:
  QPointer<QWidget> m_parent;
};

}  // namespace orvane
