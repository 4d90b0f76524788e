#pragma once

#include <QIcon>
#include <QTreeWidget>

namespace orvane {

/// The folder tree: folders only, rooted at the desktop, which holds the home folder, the
/// file-system root and the mounted removable volumes. A level is read when its parent is
/// first expanded. A folder without sub-folders has no expand button; a removable volume
/// has one without being touched. Selecting a folder hands its path to the document, writes
/// it into the selected panel's "Target Directory" field and shows its first page.
class CTreeViewEx : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CTreeViewEx(QWidget* parent = nullptr);

  /// The path of the last selected item (empty for one without a path).
  const QString& CurrentPath() const { return m_strCurrentPath; }
  QTreeWidgetItem* RootItem() const { return m_root; }
  /// The file-system path an item stands for.
  static QString PathOf(const QTreeWidgetItem* item);
  /// Reads the children of `item` if that has not been done yet.
  void Populate(QTreeWidgetItem* item);
  /// How many times a level has been read (tests of the lazy reading).
  int EnumerationCount() const { return m_nEnumerations; }
  /// Adds the removable volumes found under `mountPoints` as children of the root.
  void AddRemovableVolumes(const QStringList& mountPoints);

 private:
  QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const QString& path, const QString& text,
                                 bool removable);
  void OnSelection(QTreeWidgetItem* item);
  void LookUpRemovableVolumes();

  QTreeWidgetItem* m_root = nullptr;
  QString m_strCurrentPath;
  QIcon m_folderIcon;
  QIcon m_openFolderIcon;
  QIcon m_linkFolderIcon;
  QIcon m_driveIcon;
  int m_nEnumerations = 0;
};

}  // namespace orvane
