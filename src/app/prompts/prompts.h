#pragma once

#include <QString>

namespace orvane {

/// The one way the program asks the user something or tells them something: message boxes,
/// the open and save dialogs and the folder browser. The program uses CQtPrompts; tests use
/// CScriptedPrompts, which records the texts and answers from a queue, so no test ever waits
/// on a modal window.
class CPrompts {
 public:
  virtual ~CPrompts() = default;

  /// A plain message box with the text and an OK button.
  virtual void ShowMessage(const QString& text) = 0;
  /// The open-file dialog. `filter` is in Qt's form ("Name (*.a *.b);;..."), `initialFilter`
  /// one of its entries. The chosen path, or an empty text when the user cancelled.
  virtual QString AskOpenFile(const QString& filter, const QString& initialFilter) = 0;
  /// The save-file dialog, asking before it overwrites. `defaultSuffix` is appended to a name
  /// typed without an extension. The chosen path, or an empty text when cancelled.
  virtual QString AskSaveFile(const QString& filter, const QString& initialFilter,
                              const QString& defaultSuffix) = 0;
  /// The folder browser with `title`. The chosen folder, or an empty text when cancelled.
  virtual QString AskFolder(const QString& title) = 0;
};

}  // namespace orvane
