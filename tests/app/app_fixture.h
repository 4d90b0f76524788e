#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "app/document/orvane_doc.h"
#include "app/prompts/scripted_prompts.h"
#include "app/shell/main_frame.h"
#include "app/shell/orvane_app.h"

namespace orvane::test {

/// The program's window as the application makes it: the document first, with the scripted
/// prompts, then the frame and its panes. Settings go to the test locations, and the shared
/// thumbnail cache to a fresh folder of this fixture's ($XDG_CACHE_HOME while it lives).
struct AppFixture {
  AppFixture();
  ~AppFixture();

  CPanelBase* Panel() const;
  /// Opens `folder` as the tree does and waits until its first page is complete.
  void OpenFolderAndWait(const QString& folder);
  /// Waits until no page and no image is being made.
  static bool WaitIdle(int timeoutMs = 20000);

  QTemporaryDir cacheHome;
  QByteArray savedCacheHome;
  CScriptedPrompts prompts;
  std::unique_ptr<COrvaneDoc> doc;
  std::unique_ptr<CMainFrame> frame;
};

/// Writes a width x height picture of one colour at `path` in the format of its extension.
bool WritePicture(const QString& path, int width, int height, const QColor& colour);

}  // namespace orvane::test
