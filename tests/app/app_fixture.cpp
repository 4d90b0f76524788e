#include "app_fixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QTest>

#include "app/document/panel_base.h"
#include "app/shell/orvane_app.h"

namespace orvane::test {

AppFixture::AppFixture() {
  QStandardPaths::setTestModeEnabled(true);
  QCoreApplication::setOrganizationName(QStringLiteral("OrvaneTests"));
  QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
  // Before the document, whose thumbnail jobs find the cache through the variable.
  savedCacheHome = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome.path()));
  doc = std::make_unique<COrvaneDoc>();
  doc->SetPrompts(&prompts);
  frame = std::make_unique<CMainFrame>();
}

AppFixture::~AppFixture() {
  WaitIdle();
  frame.reset();
  doc.reset();
  if (savedCacheHome.isNull()) {
    qunsetenv("XDG_CACHE_HOME");
  } else {
    qputenv("XDG_CACHE_HOME", savedCacheHome);
  }
}

CPanelBase* AppFixture::Panel() const { return doc->SelectedPanel(); }

bool AppFixture::WaitIdle(int timeoutMs) {
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr) return true;
  return QTest::qWaitFor(
      [doc] { return !doc->IsLoadingPage() && !doc->IsLoadingImage() && !doc->IsSaving(); },
      timeoutMs);
}

void AppFixture::OpenFolderAndWait(const QString& folder) {
  OpenFolder(*doc, folder);
  WaitIdle();
}

bool WritePicture(const QString& path, int width, int height, const QColor& colour) {
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(colour);
  return picture.save(path);
}

}  // namespace orvane::test
