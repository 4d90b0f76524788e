#include "app/views/tree_view_ex.h"

#include <QDir>
#include <QDirIterator>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QStandardPaths>
#include <QStorageInfo>
#include <utility>

#include <QtConcurrent/QtConcurrentRun>

#include "app/document/orvane_doc.h"
#include "app/document/panel_base.h"

namespace orvane {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kPopulatedRole = Qt::UserRole + 1;
constexpr int kRemovableRole = Qt::UserRole + 2;

// The mount points of removable media on a Linux desktop.
bool IsRemovableMountPoint(const QString& path) {
  return path.startsWith(QLatin1String("/media/")) ||
         path.startsWith(QLatin1String("/run/media/")) || path.startsWith(QLatin1String("/mnt/"));
}

bool HasSubFolders(const QString& path) {
  QDirIterator it(path, QDir::Dirs | QDir::NoDotAndDotDot);
  return it.hasNext();
}

// The sub-folders of `path`, sorted as the tree shows them, with what their items need.
// Runs off the interface thread: a slow or dead mount may keep it waiting.
QList<CTreeViewEx::FolderEntry> ReadLevel(const QString& path) {
  QList<CTreeViewEx::FolderEntry> entries;
  const QFileInfoList children = QDir(path).entryInfoList(
      QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
  for (const QFileInfo& child : children) {
    entries.append({child.absoluteFilePath(), child.fileName(), child.isSymLink(),
                    HasSubFolders(child.absoluteFilePath())});
  }
  return entries;
}

// The folder icon with the small arrow of a link in its lower-left corner.
QIcon WithLinkOverlay(const QIcon& icon) {
  QPixmap pixmap = icon.pixmap(16, 16);
  if (pixmap.isNull()) {
    pixmap = QPixmap(16, 16);
    pixmap.fill(Qt::transparent);
  }
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::white);
  painter.drawRect(0, 8, 7, 7);
  painter.setPen(QPen(Qt::blue, 1.5));
  painter.drawLine(QPointF(2, 13), QPointF(6, 9));
  painter.drawLine(QPointF(3.5, 9), QPointF(6, 9));
  painter.drawLine(QPointF(6, 9), QPointF(6, 11.5));
  return QIcon(pixmap);
}

}  // namespace

CTreeViewEx::CTreeViewEx(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("treeViewEx"));
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setUniformRowHeights(true);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  const QFileIconProvider icons;
  m_folderIcon = icons.icon(QFileIconProvider::Folder);
  m_openFolderIcon = m_folderIcon;
  m_linkFolderIcon = WithLinkOverlay(m_folderIcon);
  m_driveIcon = icons.icon(QFileIconProvider::Drive);

  // The root stands for the desktop; its children are the places a user starts from.
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  m_root = new QTreeWidgetItem(
      this, QStringList(QFileInfo(desktop).fileName().isEmpty() ? QStringLiteral("Desktop")
                                                                : QFileInfo(desktop).fileName()));
  m_root->setIcon(0, icons.icon(QFileIconProvider::Desktop));
  m_root->setData(0, kPathRole, QFileInfo(desktop).isDir() ? desktop : QString());
  m_root->setData(0, kPopulatedRole, true);
  const QString home = QDir::homePath();
  for (const auto& [path, text] :
       {std::pair{home, QDir(home).dirName()}, std::pair{QDir::rootPath(), QDir::rootPath()}}) {
    AddFolderItem(m_root, {path, text, QFileInfo(path).isSymLink(), HasSubFolders(path)}, false);
  }
  m_root->setExpanded(true);
  // Mount points are looked up off the interface thread: asking a dead network mount can
  // hang the caller.
  LookUpRemovableVolumes();

  connect(this, &QTreeWidget::itemExpanded, this, &CTreeViewEx::Populate);
  // Selection, not the current item: the view makes its first item current when it first
  // gets the focus, and that must not open the desktop.
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (!selected.isEmpty()) OnSelection(selected.front());
  });
}

QString CTreeViewEx::PathOf(const QTreeWidgetItem* item) {
  return item != nullptr ? item->data(0, kPathRole).toString() : QString();
}

QTreeWidgetItem* CTreeViewEx::AddFolderItem(QTreeWidgetItem* parent, const FolderEntry& entry,
                                            bool removable) {
  auto* item = new QTreeWidgetItem(parent, QStringList(entry.name));
  item->setData(0, kPathRole, entry.path);
  item->setData(0, kRemovableRole, removable);
  item->setIcon(0, removable ? m_driveIcon : entry.link ? m_linkFolderIcon : m_folderIcon);
  // Removable media get an expand button without being touched.
  item->setChildIndicatorPolicy(removable || entry.hasSubFolders
                                    ? QTreeWidgetItem::ShowIndicator
                                    : QTreeWidgetItem::DontShowIndicator);
  return item;
}

void CTreeViewEx::LookUpRemovableVolumes() {
  auto* watcher = new QFutureWatcher<QStringList>(this);
  connect(watcher, &QFutureWatcher<QStringList>::finished, this, [this, watcher] {
    AddRemovableVolumes(watcher->result());
    watcher->deleteLater();
  });
  watcher->setFuture(QtConcurrent::run([] {
    QStringList mountPoints;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
      if (IsRemovableMountPoint(volume.rootPath())) mountPoints.append(volume.rootPath());
    }
    return mountPoints;
  }));
}

void CTreeViewEx::AddRemovableVolumes(const QStringList& mountPoints) {
  for (const QString& mountPoint : mountPoints) {
    AddFolderItem(m_root, {mountPoint, QFileInfo(mountPoint).fileName(), false, true}, true);
  }
}

void CTreeViewEx::Populate(QTreeWidgetItem* item) {
  if (item == nullptr || item->data(0, kPopulatedRole).toBool()) return;
  item->setData(0, kPopulatedRole, true);
  ++m_nEnumerations;
  ++m_nPendingReads;
  // The level is read on a worker; the item is found again by its index when the answer
  // comes, in case it has gone meanwhile.
  const QPersistentModelIndex index(indexFromItem(item));
  auto* watcher = new QFutureWatcher<QList<FolderEntry>>(this);
  connect(watcher, &QFutureWatcher<QList<FolderEntry>>::finished, this, [this, watcher, index] {
    --m_nPendingReads;
    if (QTreeWidgetItem* target = itemFromIndex(index)) {
      for (const FolderEntry& entry : watcher->result()) AddFolderItem(target, entry, false);
      // A folder that turned out to have no readable sub-folder loses its expand button.
      if (target->childCount() == 0) {
        target->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
      }
    }
    watcher->deleteLater();
  });
  watcher->setFuture(QtConcurrent::run(ReadLevel, PathOf(item)));
}

void CTreeViewEx::OnSelection(QTreeWidgetItem* item) {
  m_strCurrentPath = PathOf(item);
  COrvaneDoc* doc = GetAppDocument();
  if (doc == nullptr) return;
  doc->SetFolder(m_strCurrentPath.toStdString());
  if (CPanelBase* panel = doc->SelectedPanel()) panel->SetTargetDirectory(m_strCurrentPath);
  doc->ResetPages();
}

}  // namespace orvane
