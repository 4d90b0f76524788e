#include "app/shell/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "app/dialogs/about_dlg.h"
#include "app/dialogs/original_image.h"
#include "app/dialogs/progress_dialog.h"
#include "app/document/orvane_doc.h"
#include "app/shell/tab_view.h"
#include "app/views/list_view_ex.h"
#include "app/views/tree_view_ex.h"

namespace orvane {
namespace {

const char* const kFixedTitle = "Orvane - Quorlane";

// A command's prompt: the status-bar text, and the tooltip after it.
void SetPrompt(QAction* action, const QString& status, const QString& tip = QString()) {
  action->setStatusTip(status);
  action->setToolTip(tip.isEmpty() ? status : tip);
}

}  // namespace

PaneSizes InitialPaneSizes(int clientWidth, int clientHeight) {
  PaneSizes sizes;
  sizes.treeWidth = static_cast<int>(clientWidth * 0.25);
  sizes.tabHeight = static_cast<int>(clientHeight * 0.425);
  sizes.listHeight = clientHeight - sizes.tabHeight;
  return sizes;
}

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent),
      m_tree(nullptr),
      m_tabs(nullptr),
      m_list(nullptr),
      m_outer(new QSplitter(Qt::Horizontal, this)),
      m_inner(new QSplitter(Qt::Vertical, m_outer)) {
  setObjectName(QStringLiteral("mainFrame"));
  setWindowIcon(ApplicationIcon());
  m_outer->setObjectName(QStringLiteral("outerSplitter_59648"));
  m_inner->setObjectName(QStringLiteral("innerSplitter"));
  m_tree = new CTreeViewEx(m_outer);
  m_outer->insertWidget(0, m_tree);
  m_tabs = new CTabView(m_inner);
  m_list = new CListViewEx(m_inner);
  m_inner->addWidget(m_tabs);
  m_inner->addWidget(m_list);
  m_outer->setChildrenCollapsible(false);
  m_inner->setChildrenCollapsible(false);
  setCentralWidget(m_outer);

  CreateActions();
  CreateMenus();
  CreateBars();
  OnUpdateFrameTitle();
  resize(1024, 720);
  RestoreSettings();

  if (COrvaneDoc* doc = GetAppDocument()) {
    connect(doc, &COrvaneDoc::TitleChanged, this, &QWidget::setWindowTitle);
    connect(doc, &COrvaneDoc::FileOpened, this, &CMainFrame::AddRecentFile);
  }
}

void CMainFrame::CreateActions() {
  COrvaneDoc* doc = GetAppDocument();
  QStyle* style = this->style();

  m_openAction = new QAction(QIcon::fromTheme(QStringLiteral("document-open"),
                                              style->standardIcon(QStyle::SP_DialogOpenButton)),
                             QStringLiteral("Open(&O)"), this);
  m_openAction->setObjectName(QStringLiteral("57601"));
  m_openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  SetPrompt(m_openAction, QStringLiteral("既存のファイルを開く"), QStringLiteral("開く"));
  connect(m_openAction, &QAction::triggered, this, [doc] {
    if (doc != nullptr) doc->OnFileOpen();
  });

  m_saveAction = new QAction(QIcon::fromTheme(QStringLiteral("document-save"),
                                              style->standardIcon(QStyle::SP_DialogSaveButton)),
                             QStringLiteral("Save(&S)"), this);
  m_saveAction->setObjectName(QStringLiteral("57603"));
  m_saveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  SetPrompt(m_saveAction, QStringLiteral("作業中のファイルを保存"), QStringLiteral("保存"));
  connect(m_saveAction, &QAction::triggered, this, [doc] {
    if (doc != nullptr) doc->OnFileSave();
  });

  m_exitAction = new QAction(QStringLiteral("Exit(&X)"), this);
  m_exitAction->setObjectName(QStringLiteral("57665"));
  // This prompt has no tooltip part: the whole text is the status-bar prompt.
  SetPrompt(m_exitAction, QStringLiteral("アプリケーションを終了し、ファイルの保存を指示\\終了"));
  connect(m_exitAction, &QAction::triggered, this, &QWidget::close);

  m_toolBarAction = new QAction(QStringLiteral("ToolBar(&T)"), this);
  m_toolBarAction->setObjectName(QStringLiteral("59392"));
  m_toolBarAction->setCheckable(true);
  m_toolBarAction->setChecked(true);
  SetPrompt(m_toolBarAction, QStringLiteral("ツール バーの 表示/非表示"),
            QStringLiteral("ツール バーの表示切り替え"));

  m_statusBarAction = new QAction(QStringLiteral("StatusBar(&S)"), this);
  m_statusBarAction->setObjectName(QStringLiteral("59393"));
  m_statusBarAction->setCheckable(true);
  m_statusBarAction->setChecked(true);
  SetPrompt(m_statusBarAction, QStringLiteral("ステータス バーの 表示/非表示"),
            QStringLiteral("ステータス バーの表示切り替え"));

  m_aboutAction = new QAction(QStringLiteral("Version information(&A)..."), this);
  m_aboutAction->setObjectName(QStringLiteral("57664"));
  SetPrompt(m_aboutAction, QStringLiteral("To show "), QStringLiteral("バージョン情報"));
  connect(m_aboutAction, &QAction::triggered, this, [this] {
    CAboutDlg dialog(this);
    dialog.exec();
  });

  // Keys without a menu item: the new-document command keeps the document as it is, and F6
  // and Shift+F6 move the focus between the panes.
  auto* newAction = new QAction(this);
  newAction->setObjectName(QStringLiteral("57600"));
  newAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  SetPrompt(newAction, QStringLiteral("新規にファイルを作成"), QStringLiteral("新規ファイル"));
  addAction(newAction);
  auto* nextPane = new QAction(this);
  nextPane->setObjectName(QStringLiteral("57680"));
  nextPane->setShortcut(QKeySequence(Qt::Key_F6));
  connect(nextPane, &QAction::triggered, this, [this] { CyclePane(1); });
  addAction(nextPane);
  auto* previousPane = new QAction(this);
  previousPane->setObjectName(QStringLiteral("57681"));
  previousPane->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
  connect(previousPane, &QAction::triggered, this, [this] { CyclePane(-1); });
  addAction(previousPane);
}

void CMainFrame::CreateMenus() {
  m_fileMenu = menuBar()->addMenu(QStringLiteral("File(&F)"));
  m_fileMenu->addAction(m_openAction);
  m_fileMenu->addAction(m_saveAction);
  m_fileMenu->addSeparator();
  m_recentSeparator = m_fileMenu->addSeparator();
  m_fileMenu->addAction(m_exitAction);
  RebuildRecentFilesMenu();

  QMenu* view = menuBar()->addMenu(QStringLiteral("View(&V)"));
  view->addAction(m_toolBarAction);
  view->addAction(m_statusBarAction);
  QMenu* help = menuBar()->addMenu(QStringLiteral("Help(&H)"));
  help->addAction(m_aboutAction);
}

void CMainFrame::CreateBars() {
  QToolBar* tools = addToolBar(QStringLiteral("ToolBar"));
  tools->setObjectName(QStringLiteral("toolBar_59392"));
  tools->setIconSize(QSize(16, 16));
  tools->addAction(m_openAction);
  tools->addAction(m_saveAction);
  connect(m_toolBarAction, &QAction::toggled, tools, &QWidget::setVisible);
  connect(tools, &QToolBar::visibilityChanged, m_toolBarAction, &QAction::setChecked);

  QStatusBar* status = statusBar();
  status->setObjectName(QStringLiteral("statusBar_59393"));
  // The idle text stands in the prompt pane whenever no command prompt is shown there.
  m_idleText = new QLabel(QStringLiteral("レディ"), status);
  m_idleText->setObjectName(QStringLiteral("idleText_57345"));
  status->addWidget(m_idleText, 1);
  for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
    auto* label = new QLabel(QString::fromLatin1(indicator), status);
    label->setEnabled(false);
    status->addPermanentWidget(label);
  }
  connect(m_statusBarAction, &QAction::toggled, status, &QWidget::setVisible);
}

void CMainFrame::RebuildRecentFilesMenu() {
  for (QAction* action : m_recentActions) {
    m_fileMenu->removeAction(action);
    action->deleteLater();
  }
  m_recentActions.clear();
  if (m_recentFiles.isEmpty()) {
    auto* none = new QAction(QStringLiteral("Recent used files"), m_fileMenu);
    none->setObjectName(QStringLiteral("57616"));
    none->setEnabled(false);
    m_fileMenu->insertAction(m_recentSeparator, none);
    m_recentActions.append(none);
    return;
  }
  for (int i = 0; i < m_recentFiles.size(); ++i) {
    const QString path = m_recentFiles[i];
    auto* action = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path), m_fileMenu);
    action->setObjectName(QString::number(57616 + i));
    SetPrompt(action, QStringLiteral("指定のファイルを開く"));
    connect(action, &QAction::triggered, this, [path] {
      if (COrvaneDoc* doc = GetAppDocument()) doc->OpenFile(path.toStdString());
    });
    m_fileMenu->insertAction(m_recentSeparator, action);
    m_recentActions.append(action);
  }
}

void CMainFrame::AddRecentFile(const QString& path) {
  m_recentFiles.removeAll(path);
  m_recentFiles.prepend(path);
  while (m_recentFiles.size() > kRecentFileCount) m_recentFiles.removeLast();
  RebuildRecentFilesMenu();
  QSettings settings;
  settings.beginGroup(QStringLiteral("Recent File List"));
  settings.remove(QString());
  for (int i = 0; i < m_recentFiles.size(); ++i) {
    settings.setValue(QStringLiteral("File%1").arg(i + 1), m_recentFiles[i]);
  }
}

void CMainFrame::OnUpdateFrameTitle() { setWindowTitle(QString::fromLatin1(kFixedTitle)); }

void CMainFrame::CyclePane(int step) {
  QWidget* panes[] = {m_tree, m_tabs->currentWidget(), m_list};
  int current = 0;
  for (int i = 0; i < 3; ++i) {
    if (panes[i] != nullptr && panes[i]->isAncestorOf(QApplication::focusWidget())) current = i;
    if (panes[i] == QApplication::focusWidget()) current = i;
  }
  QWidget* next = panes[(current + step + 3) % 3];
  if (next != nullptr) next->setFocus(Qt::ShortcutFocusReason);
}

void CMainFrame::ApplyInitialProportions() {
  const QSize client = m_outer->size();
  const PaneSizes sizes = InitialPaneSizes(client.width(), client.height());
  m_outer->setSizes({sizes.treeWidth, client.width() - sizes.treeWidth});
  m_inner->setSizes({sizes.tabHeight, sizes.listHeight});
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_bRestored && !m_bProportionsApplied) {
    m_bProportionsApplied = true;
    ApplyInitialProportions();
  }
}

void CMainFrame::RestoreSettings() {
  QSettings settings;
  settings.beginGroup(QStringLiteral("Recent File List"));
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const QString path = settings.value(QStringLiteral("File%1").arg(i)).toString();
    if (!path.isEmpty()) m_recentFiles.append(path);
  }
  settings.endGroup();
  RebuildRecentFilesMenu();
  settings.beginGroup(QStringLiteral("Window"));
  const QByteArray geometry = settings.value(QStringLiteral("Geometry")).toByteArray();
  if (!geometry.isEmpty() && restoreGeometry(geometry)) {
    restoreState(settings.value(QStringLiteral("State")).toByteArray());
    m_outer->restoreState(settings.value(QStringLiteral("OuterSplitter")).toByteArray());
    m_inner->restoreState(settings.value(QStringLiteral("InnerSplitter")).toByteArray());
    m_bRestored = true;
  }
}

void CMainFrame::SaveSettings() const {
  QSettings settings;
  settings.beginGroup(QStringLiteral("Window"));
  settings.setValue(QStringLiteral("Geometry"), saveGeometry());
  settings.setValue(QStringLiteral("State"), saveState());
  settings.setValue(QStringLiteral("OuterSplitter"), m_outer->saveState());
  settings.setValue(QStringLiteral("InnerSplitter"), m_inner->saveState());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  SaveSettings();
  // The two modeless windows belong to the list and would keep the program running.
  m_list->FullSizeDialog()->hide();
  m_list->ProgressDialog()->hide();
  QMainWindow::closeEvent(event);
}

}  // namespace orvane
