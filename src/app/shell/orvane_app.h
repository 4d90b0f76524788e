#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

namespace orvane {

class CMainFrame;
class COrvaneDoc;
class CQtPrompts;

/// The application: makes the document before the frame and its panes, so that they can
/// register in it, then the frame, and opens what the command line names.
class COrvaneApp : public QObject {
  Q_OBJECT

 public:
  COrvaneApp();
  ~COrvaneApp() override;

  /// Makes the document and the frame and shows the frame. `arguments` (without the program
  /// name) may name one folder, opened as if chosen in the tree, or one file, whose folder is
  /// opened and which becomes the current image. With `--ready-marker FILE` the program
  /// writes FILE once the first page of thumbnails (and the named file's image) is complete.
  bool InitInstance(const QStringList& arguments);

  COrvaneDoc* Document() const { return m_doc.get(); }
  CMainFrame* MainFrame() const { return m_frame.get(); }

 private:
  void OpenFromCommandLine(const QString& target);
  void WatchForReady(const QString& markerPath);

  std::unique_ptr<COrvaneDoc> m_doc;
  std::unique_ptr<CQtPrompts> m_prompts;
  std::unique_ptr<CMainFrame> m_frame;
};

/// Opens `folder` as a selection in the folder tree does: the document's folder, the
/// selected panel's "Target Directory" field, the first page.
void OpenFolder(COrvaneDoc& doc, const QString& folder);

}  // namespace orvane
