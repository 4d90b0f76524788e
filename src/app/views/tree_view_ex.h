#pragma once

#include <QIcon>
#include <QTreeWidget>

namespace orvane {

/// The folder tree: folders only, rooted at the desktop, which holds the home folder, the
/// file-system root and the mounted removable volumes. A level is read, off the interface
/// thread, when its parent is first expanded. A folder without sub-folders has no expand button; a
/// removable volume has one without being touched. Selecting a folder hands its path to the
/// document, writes it into the selected panel's "Target Directory" field and shows its first page.
class CTreeViewEx : public QTreeWidget {
  Q_OBJECT

 public:
  /// A folder as its item shows it.
  struct FolderEntry {
    QString path;
    QString name;
    bool link = false;           ///< drawn with the link overlay
    bool hasSubFolders = false;  ///< gets an expand button
  };

  explicit CTreeViewEx(QWidget* parent = nullptr);

  /// The path of the last selected item (empty for one without a path).
  const QString& CurrentPath() const { return m_strCurrentPath; }
  QTreeWidgetItem* RootItem() const { return m_root; }
  /// The file-system path an item stands for.
  static QString PathOf(const QTreeWidgetItem* item);
  /// Reads the children of `item` on a worker thread, if that has not been done yet, and
  /// adds them when the answer comes back: the window goes on while a slow folder is read.
  void Populate(QTreeWidgetItem* item);
  /// How many times a level has been asked for (tests of the lazy reading).
  int EnumerationCount() const { return m_nEnumerations; }
  /// Levels asked for whose children have not been added yet.
  int PendingReads() const { return m_nPendingReads; }
  /// Adds the removable volumes found under `mountPoints` as children of the root.
  void AddRemovableVolumes(const QStringList& mountPoints);

 private:
  QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const FolderEntry& entry, bool removable);
  void OnSelection(QTreeWidgetItem* item);
  void LookUpRemovableVolumes();

  QTreeWidgetItem* m_root = nullptr;
  QString m_strCurrentPath;
  QIcon m_folderIcon;
  QIcon m_openFolderIcon;
  QIcon m_linkFolderIcon;
  QIcon m_driveIcon;
  int m_nEnumerations = 0;
  int m_nPendingReads = 0;
};

}  // namespace orvane
