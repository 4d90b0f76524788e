#pragma once

#include <QMainWindow>
#include <QStringList>

class QAction;
class QLabel;
class QMenu;
class QSplitter;

namespace orvane {

class CListViewEx;
class CTabView;
class CTreeViewEx;

/// The widths and heights the main frame's panes start with for a client area: the tree a
/// quarter of the width, the tab view 0.425 of the height, the list the rest (truncated).
struct PaneSizes {
  int treeWidth = 0;
  int tabHeight = 0;
  int listHeight = 0;
};
PaneSizes InitialPaneSizes(int clientWidth, int clientHeight);

/// Most recently used files kept: the newest first.
inline constexpr int kRecentFileCount = 4;

/// The main window: menus, toolbar and status bar around the folder tree on the left and,
/// on the right, the tab view above the thumbnail list. Window geometry and splitter
/// positions are kept in the user's settings between runs.
class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  explicit CMainFrame(QWidget* parent = nullptr);

  CTreeViewEx* TreeView() const { return m_tree; }
  CTabView* TabView() const { return m_tabs; }
  CListViewEx* ListView() const { return m_list; }
  QSplitter* OuterSplitter() const { return m_outer; }
  QSplitter* InnerSplitter() const { return m_inner; }

  /// Restores the fixed title "Orvane - Quorlane".
  void OnUpdateFrameTitle();
  /// Gives the panes the initial proportions for the current client area.
  void ApplyInitialProportions();
  /// Puts `path` at the top of the recent files.
  void AddRecentFile(const QString& path);
  const QStringList& RecentFiles() const { return m_recentFiles; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateBars();
  void RebuildRecentFilesMenu();
  void CyclePane(int step);
  void RestoreSettings();
  void SaveSettings() const;

  CTreeViewEx* m_tree;
  CTabView* m_tabs;
  CListViewEx* m_list;
  QSplitter* m_outer;
  QSplitter* m_inner;
  QLabel* m_idleText = nullptr;

  QAction* m_openAction = nullptr;
  QAction* m_saveAction = nullptr;
  QAction* m_exitAction = nullptr;
  QAction* m_toolBarAction = nullptr;
  QAction* m_statusBarAction = nullptr;
  QAction* m_aboutAction = nullptr;
  QMenu* m_fileMenu = nullptr;
  QAction* m_recentSeparator = nullptr;
  QList<QAction*> m_recentActions;
  QStringList m_recentFiles;
  bool m_bRestored = false;
  bool m_bProportionsApplied = false;
};

}  // namespace orvane
