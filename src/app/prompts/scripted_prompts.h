#pragma once

#include <QString>
#include <QStringList>

#include "app/prompts/prompts.h"

namespace orvane {

/// Prompts for tests: every message is recorded, every question is answered from the front of
/// a queue of answers (an empty text, meaning "cancelled", once the queue is empty), and the
/// filters and titles asked with are recorded too.
class CScriptedPrompts : public CPrompts {
 public:
  void ShowMessage(const QString& text) override { m_messages.append(text); }
  QString AskOpenFile(const QString& filter, const QString& initialFilter) override;
  QString AskSaveFile(const QString& filter, const QString& initialFilter,
                      const QString& defaultSuffix) override;
  QString AskFolder(const QString& title) override;

  /// Answers to give, first one first.
  QStringList m_answers;
  /// Texts of the messages shown, in order.
  QStringList m_messages;
  /// One line per question asked: the kind ("open", "save", "folder"), then what it was asked
  /// with, separated by '|'.
  QStringList m_questions;

 private:
  QString NextAnswer();
};

}  // namespace orvane
