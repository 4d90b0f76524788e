#include "app/shell/orvane_app.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "app/document/orvane_doc.h"
#include "app/document/panel_base.h"
#include "app/prompts/qt_prompts.h"
#include "app/shell/main_frame.h"
#include "app/views/list_view_ex.h"

namespace orvane {

void OpenFolder(COrvaneDoc& doc, const QString& folder) {
  doc.SetFolder(folder.toStdString());
  if (CPanelBase* panel = doc.SelectedPanel()) panel->SetTargetDirectory(folder);
  doc.ResetPages();
}

COrvaneApp::COrvaneApp() = default;

COrvaneApp::~COrvaneApp() {
  // The frame and its panes go before the document they are registered in.
  m_frame.reset();
  m_doc.reset();
}

bool COrvaneApp::InitInstance(const QStringList& arguments) {
  QString target;
  QString marker;
  for (int i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == QLatin1String("--ready-marker") && i + 1 < arguments.size()) {
      marker = arguments[++i];
    } else if (target.isEmpty()) {
      target = arguments[i];
    }
  }
  m_doc = std::make_unique<COrvaneDoc>();
  m_prompts = std::make_unique<CQtPrompts>();
  m_doc->SetPrompts(m_prompts.get());
  m_frame = std::make_unique<CMainFrame>();
  m_prompts->SetParent(m_frame.get());
  m_frame->show();
  if (!marker.isEmpty()) WatchForReady(marker);
  if (!target.isEmpty()) {
    // After the first show, so that the panes have their sizes when the page is laid out.
    QTimer::singleShot(0, this, [this, target] { OpenFromCommandLine(target); });
  }
  return true;
}

void COrvaneApp::OpenFromCommandLine(const QString& target) {
  const QFileInfo info(target);
  if (info.isDir()) {
    OpenFolder(*m_doc, info.absoluteFilePath());
    return;
  }
  OpenFolder(*m_doc, info.absolutePath());
  // The file is chosen in the list when it is on the first page, else shown on its own.
  const std::string path = info.absoluteFilePath().toStdString();
  const auto& records = m_doc->Records();
  for (int i = 0; i < m_doc->CountOnPage(); ++i) {
    if (records[i].m_strPath == path) {
      m_frame->ListView()->setCurrentRow(i);
      return;
    }
  }
  m_doc->SetCurrentPath(path);
  m_doc->ShowSelectedImage();
}

void COrvaneApp::WatchForReady(const QString& markerPath) {
  // Ready once no page and no image is being made, checked after every step that could end
  // one; a start without a folder is ready once the window is up.
  auto check = [this, markerPath] {
    if (m_doc->IsLoadingPage() || m_doc->IsLoadingImage() || QFile::exists(markerPath)) return;
    QFile marker(markerPath);
    if (marker.open(QIODevice::WriteOnly)) marker.write("ready\n");
  };
  connect(m_doc.get(), &COrvaneDoc::PageCompleted, this,
          [check] { QTimer::singleShot(50, check); });
  connect(m_doc.get(), &COrvaneDoc::CurrentImageChanged, this,
          [check] { QTimer::singleShot(50, check); });
}

}  // namespace orvane
