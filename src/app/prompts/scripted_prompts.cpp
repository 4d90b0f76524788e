#include "app/prompts/scripted_prompts.h"

namespace orvane {

QString CScriptedPrompts::NextAnswer() {
  return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
}

QString CScriptedPrompts::AskOpenFile(const QString& filter, const QString& initialFilter) {
  m_questions.append(QStringLiteral("open|%1|%2").arg(filter, initialFilter));
  return NextAnswer();
}

QString CScriptedPrompts::AskSaveFile(const QString& filter, const QString& initialFilter,
                                      const QString& defaultSuffix) {
  m_questions.append(QStringLiteral("save|%1|%2|%3").arg(filter, initialFilter, defaultSuffix));
  return NextAnswer();
}

QString CScriptedPrompts::AskFolder(const QString& title) {
  m_questions.append(QStringLiteral("folder|%1").arg(title));
  return NextAnswer();
}

}  // namespace orvane
