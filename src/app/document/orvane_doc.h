#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/document/paging.h"
#include "imaging/image_ex.h"
#include "retrieval/file_record.h"

class QThreadPool;

namespace orvane {

class CPanelBase;
class CPanelHost;
class CPrompts;
class CProgressDialog;
class COriginalImage;
class CThumbnailProvider;

/// The entries of the open and save dialogs, in order; the PQZ entry is the initial one.
QString ImageFileFilter();
/// The initial entry of the open and save dialogs: "Quazform (*.pqz)".
QString InitialImageFileFilter();

/// The label of a thumbnail: the file name with its extension, in the case the path has.
/// Empty, with status 3, when the name and the extension together are longer than 260
/// characters; status 0 otherwise.
QString SplitFileName(const std::string& path, int* status = nullptr);

/// How a save ended.
enum class SaveResult { kWritten, kFailed };

/// Writes the image of the file at `sourcePath` to `targetPath`: a target whose extension is
/// "pqz" in any case is encoded with the parameters of config.ini (SaveAsPqz), any other is
/// written by the image writer for its extension, a PQZ source being decoded first.
/// kFailed when nothing was written. Runs on any thread.
SaveResult SaveImageAs(const std::string& sourcePath, const std::string& targetPath);

/// Encodes the image of the file at `sourcePath` into the PQZ file `targetPath` with the
/// parameters of config.ini beside the program. The encoder's result code; the decode's when
/// a PQZ source cannot be decoded, 22 when an ordinary source cannot be read.
int SaveAsPqz(const std::string& sourcePath, const std::string& targetPath);

/// The one document of the program: the current folder and whether its sub-folders are
/// included, the list of image files found there, the page of that list the thumbnail list
/// shows, the current image (also the query of a search) and the commands that open and save
/// images. Panes, panels and dialogs reach it through GetAppDocument and register themselves
/// in it; it does not own them. It tells the views what changed through its signals.
class COrvaneDoc : public QObject {
  Q_OBJECT

 public:
  explicit COrvaneDoc(QObject* parent = nullptr);
  ~COrvaneDoc() override;

  // Registration of the panes and dialogs (not owned).
  void SetPanelHost(CPanelHost* host) { m_panelHost = host; }
  CPanelHost* PanelHost() const { return m_panelHost; }
  void SetProgressDialog(CProgressDialog* dialog) { m_progressDialog = dialog; }
  CProgressDialog* ProgressDialog() const { return m_progressDialog; }
  void SetFullSizeDialog(COriginalImage* dialog) { m_fullSizeDialog = dialog; }
  COriginalImage* FullSizeDialog() const { return m_fullSizeDialog; }
  void SetPrompts(CPrompts* prompts) { m_prompts = prompts; }
  CPrompts* Prompts() const { return m_prompts; }
  /// The panel on the selected tab, or null before the tab view registered.
  CPanelBase* SelectedPanel() const;

  // The folder and its records.
  const std::string& CurrentFolder() const { return m_strFolder; }
  bool IncludeSubFolders() const { return m_nIncludeSubFolders != 0; }
  void SetIncludeSubFolders(bool include) { m_nIncludeSubFolders = include ? 1 : 0; }
  /// The path becomes the current folder, all records are removed and the folder is scanned.
  void SetFolder(const std::string& path);
  /// Appends a record for every image file of `path` (and of its sub-folders when they are
  /// included, at the position of their entries), in natural order of the lower-cased names.
  void ScanFolder(const std::string& path);
  std::vector<FileRecord>& Records() { return m_records; }
  const std::vector<FileRecord>& Records() const { return m_records; }
  /// Replaces the records, as a search does with its ranked result; ResetPages follows.
  void SetRecords(std::vector<FileRecord> records) { m_records = std::move(records); }

  // Pages.
  int CurrentPage() const { return m_nCurrentPage; }
  void SetCurrentPage(int page) { m_nCurrentPage = page; }
  int PageCount() const { return m_nPageCount; }
  int FileCount() const { return m_nFileCount; }
  /// Page 0, the page count and file count of the records, the page controls of the selected
  /// panel, and the thumbnails of the first page.
  void ResetPages();
  int CountOnPage() const { return CountOnPageOf(m_nCurrentPage, m_nPageCount, m_nFileCount); }
  /// Trackbar 1035 (range, position), label 1039 ("/ %d pages") and edit 1034 ("%d") of the
  /// panel on the selected tab.
  void UpdatePageControls();
  /// Starts making the thumbnails of the current page, abandoning any page still being made.
  /// The list is emptied and refilled with one item per record of the page (PageStarted);
  /// each thumbnail follows as soon as it is made (ThumbnailReady) and PageCompleted ends it.
  void LoadPageThumbnails();
  /// True while the thumbnails of a page are being made.
  bool IsLoadingPage() const { return m_nPagePending > 0; }
  /// Index in the records of item `item` of the list: item + current page x 50.
  int RecordIndexOfItem(int item) const { return item + m_nCurrentPage * kPatchesPerPage; }

  // The current image.
  const std::string& CurrentPath() const { return m_strCurrentPath; }
  void SetCurrentPath(const std::string& path) { m_strCurrentPath = path; }
  /// The current image as loaded; empty until the load of the current path has finished.
  const CImageEx& CurrentImage() const { return *m_image; }
  /// The current image as a picture for drawing (null until loaded or for an unreadable file).
  const QImage& CurrentPicture() const { return m_picture; }
  /// The type code of the current image, which chooses the background it is drawn on.
  std::uint16_t CurrentImageType() const { return m_image->m_nImageType; }
  /// True while the current image is being loaded.
  bool IsLoadingImage() const { return m_bImagePending; }
  /// Loads the current path in full off the interface thread as the current image (the query
  /// box redraws on CurrentImageChanged) and titles the window "Orvane - " and the path.
  void ShowSelectedImage();
  /// Shows the current image in the full-size window, once it is loaded.
  void ShowFullSizeImage();

  // Commands.
  /// The open command: the chosen file becomes the current image, selected and at full size;
  /// the folder, the records and the pages do not change.
  void OnFileOpen();
  /// Opens `path` as the open command does with a chosen file.
  void OpenFile(const std::string& path);
  /// The save and save-as command: asks for a name and writes the current image there on a
  /// worker; "please select item" when nothing is chosen, "FILE_WRITE_FAILED" when nothing
  /// could be written. SaveFinished tells the end.
  void OnFileSave();
  bool IsSaving() const { return m_bSaving; }

  // The batch conversion queue of the PQZ panel.
  QStringList m_arrConvertNames;
  QStringList m_arrConvertPaths;

 signals:
  /// The list is to be emptied and given one item per label (no thumbnails yet).
  void PageStarted(const QStringList& labels);
  /// Item `item` of the list gets its thumbnail.
  void ThumbnailReady(int item, const QImage& thumbnail);
  /// Every thumbnail of the current page has been made.
  void PageCompleted();
  /// The current image was loaded (or failed to load); the query box redraws.
  void CurrentImageChanged();
  /// The window's title is to become `title`.
  void TitleChanged(const QString& title);
  /// A file was opened (for the recent-files list).
  void FileOpened(const QString& path);
  void SaveFinished(bool written);

 private:
  void OnThumbnailReady(int item, const QImage& thumbnail, int type);
  void OnImageLoaded(std::uint64_t generation, std::shared_ptr<CImageEx> image,
                     const QImage& picture);

  CPanelHost* m_panelHost = nullptr;
  CProgressDialog* m_progressDialog = nullptr;
  COriginalImage* m_fullSizeDialog = nullptr;
  CPrompts* m_prompts = nullptr;

  std::vector<FileRecord> m_records;
  std::shared_ptr<CImageEx> m_image;
  QImage m_picture;
  std::string m_strCurrentPath;
  std::string m_strFolder;
  std::int32_t m_nIncludeSubFolders = 0;
  std::int32_t m_nCurrentPage = 0;
  std::int32_t m_nPageCount = 1;
  std::int32_t m_nFileCount = 0;

  CThumbnailProvider* m_thumbnails;
  /// Thumbnails of the current page still to come, and how many the page has.
  int m_nPagePending = 0;
  int m_nPageTotal = 0;

  /// Loads of the current image and saves: one at a time each, in their own small pool so
  /// that they never wait behind a page of thumbnails.
  std::unique_ptr<QThreadPool> m_imagePool;
  /// Read by the load jobs to tell whether they have been overtaken.
  std::atomic<std::uint64_t> m_imageGeneration{0};
  bool m_bImagePending = false;
  bool m_bFullSizePending = false;
  bool m_bSaving = false;
};

/// The one document of the program; null before it exists and after it is gone.
COrvaneDoc* GetAppDocument();

}  // namespace orvane
