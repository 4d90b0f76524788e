// The folder tree: lazy reading, the has-children rule, links, and the selection protocol.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include "app/document/panel_base.h"
#include "app/views/list_view_ex.h"
#include "app/views/tree_view_ex.h"
#include "app_fixture.h"

namespace orvane::test {
namespace {

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* parent, const QString& text) {
  for (int i = 0; i < parent->childCount(); ++i) {
    if (parent->child(i)->text(0) == text) return parent->child(i);
  }
  return nullptr;
}

}  // namespace

class TreeTest : public QObject {
  Q_OBJECT

 private slots:
  void ReadsALevelOnceOnFirstExpansion();
  void SelectingAFolderOpensItInTheSelectedPanel();
};

void TreeTest::ReadsALevelOnceOnFirstExpansion() {
  QTemporaryDir dir;
  QDir top(dir.path());
  QVERIFY(top.mkpath(QStringLiteral("parent/child")));
  QVERIFY(top.mkpath(QStringLiteral("leaf")));
  QVERIFY(QFile::link(dir.filePath(QStringLiteral("parent")), dir.filePath("link")));
  AppFixture app;
  CTreeViewEx* tree = app.frame->TreeView();
  // At start only the root's own children exist, and the root is expanded.
  QVERIFY(tree->RootItem()->isExpanded());
  QVERIFY(tree->RootItem()->childCount() >= 2);
  QCOMPARE(tree->EnumerationCount(), 0);

  auto* item = new QTreeWidgetItem(tree->RootItem(), QStringList(QStringLiteral("fixture")));
  item->setData(0, Qt::UserRole, dir.path());
  tree->expandItem(item);
  QCOMPARE(tree->EnumerationCount(), 1);
  QTRY_COMPARE(tree->PendingReads(), 0);  // read on a worker, added when it answers
  tree->collapseItem(item);
  tree->expandItem(item);
  QCOMPARE(tree->EnumerationCount(), 1);

  QTreeWidgetItem* parent = ChildNamed(item, QStringLiteral("parent"));
  QTreeWidgetItem* leaf = ChildNamed(item, QStringLiteral("leaf"));
  QTreeWidgetItem* link = ChildNamed(item, QStringLiteral("link"));
  QVERIFY(parent && leaf && link);
  QCOMPARE(parent->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  QCOMPARE(leaf->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
  QVERIFY(parent->childCount() == 0);  // not read until expanded
  // The link carries the overlay: its icon differs from a plain folder's.
  QVERIFY(link->icon(0).pixmap(16, 16).toImage() != parent->icon(0).pixmap(16, 16).toImage());

  // Removable media get an expand button without being read.
  tree->AddRemovableVolumes({dir.filePath(QStringLiteral("leaf"))});
  QTreeWidgetItem* volume = tree->RootItem()->child(tree->RootItem()->childCount() - 1);
  QCOMPARE(volume->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
}

void TreeTest::SelectingAFolderOpensItInTheSelectedPanel() {
  QTemporaryDir dir;
  QVERIFY(WritePicture(dir.filePath(QStringLiteral("a.png")), 8, 8, Qt::red));
  AppFixture app;
  CTreeViewEx* tree = app.frame->TreeView();
  auto* item = new QTreeWidgetItem(tree->RootItem(), QStringList(QStringLiteral("fixture")));
  item->setData(0, Qt::UserRole, dir.path());
  item->setSelected(true);
  QVERIFY(AppFixture::WaitIdle());
  QCOMPARE(tree->CurrentPath(), dir.path());
  QCOMPARE(app.doc->CurrentFolder(), dir.path().toStdString());
  QCOMPARE(app.Panel()->TargetDirectoryEdit()->text(), dir.path());
  QCOMPARE(app.frame->ListView()->count(), 1);
}

}  // namespace orvane::test

QTEST_MAIN(orvane::test::TreeTest)
#include "tree_test.moc"
