// The control adapters over real Qt widgets, and the Qt dialogs as they are built.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QListWidget>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/qt/QtControls.h"
#include "jet/Error.h"

namespace {

using check::NodeId;
using Kind = check::NodeId::Kind;

NodeId root() { return {}; }
NodeId table(const std::string& t) { return {Kind::Table, t, {}}; }
NodeId column(const std::string& t, const std::string& c) { return {Kind::Column, t, c}; }

class TreeControlTest : public ::testing::Test {
 protected:
  void SetUp() override { apptest::qtApp(); }
  QTreeWidget widget;
  app::TreeControl tree{widget};
};

TEST_F(TreeControlTest, BuildsTheDefectTreeWithTextsOnly) {
  tree.add(root(), "表");
  tree.add(table("Orders"), "Orders");
  tree.add(column("Orders", "Shipped"), "Shipped");
  tree.add(table("客户"), "客户");
  tree.add(column("客户", "电话"), "电话");
  tree.setText(column("Orders", "Shipped"), "Shipped(3条)");

  ASSERT_EQ(widget.topLevelItemCount(), 1);
  QTreeWidgetItem* r = widget.topLevelItem(0);
  EXPECT_EQ(r->text(0).toStdString(), "表");
  ASSERT_EQ(r->childCount(), 2);
  EXPECT_EQ(r->child(0)->text(0), "Orders");
  EXPECT_EQ(r->child(0)->child(0)->text(0), "Shipped(3条)");
  EXPECT_EQ(r->child(1)->child(0)->text(0).toStdString(), "电话");
  EXPECT_TRUE(r->icon(0).isNull());
  // Built from an empty tree: the root opens on its tables, the tables stay shut.
  EXPECT_TRUE(r->isExpanded());
  EXPECT_FALSE(r->child(0)->isExpanded());
  EXPECT_EQ(tree.childCount(root()), 2);
  EXPECT_EQ(tree.childCount(table("Orders")), 1);
  EXPECT_EQ(tree.text(column("客户", "电话")), "电话");
}

TEST_F(TreeControlTest, NamesNeverCollideWithOtherNodes) {
  // A table called ROOT, and names holding commas, are nodes like any other.
  tree.add(root(), "表");
  tree.add(table("ROOT"), "ROOT");
  tree.add(table("a,b"), "a,b");
  tree.add(table("a"), "a");
  tree.add(column("a", "b,c"), "b,c");
  tree.add(column("a,b", "c"), "c");
  EXPECT_EQ(tree.childCount(root()), 3);
  EXPECT_EQ(tree.text(column("a", "b,c")), "b,c");
  EXPECT_EQ(tree.childCount(table("a,b")), 1);
}

TEST_F(TreeControlTest, SelectionRemovalAndBadKeys) {
  tree.add(root(), "表");
  tree.add(table("T"), "T");
  tree.add(column("T", "C"), "C");
  EXPECT_EQ(tree.selected(), std::nullopt);
  widget.setCurrentItem(widget.topLevelItem(0)->child(0)->child(0));
  EXPECT_EQ(tree.selected(), column("T", "C"));

  EXPECT_THROW(tree.add(table("T"), "T"), jet::Error);           // key not unique
  EXPECT_THROW(tree.add(column("U", "C"), "C"), jet::Error);     // no parent
  EXPECT_THROW(tree.setText(column("T", "D"), "D"), jet::Error);  // no such node
  tree.remove(column("T", "C"));
  EXPECT_FALSE(tree.contains(column("T", "C")));
  EXPECT_EQ(tree.childCount(table("T")), 0);
  tree.add(column("T", "C"), "C");  // the key is free again
  tree.remove(table("T"));
  EXPECT_FALSE(tree.contains(column("T", "C")));
  EXPECT_EQ(widget.topLevelItem(0)->childCount(), 0);
  tree.clear();
  EXPECT_FALSE(tree.contains(root()));
  EXPECT_EQ(widget.topLevelItemCount(), 0);
  tree.add(root(), "没有发现错误");
  EXPECT_EQ(tree.text(root()), "没有发现错误");
}

class ListControlTest : public ::testing::Test {
 protected:
  void SetUp() override { apptest::qtApp(); }
  QListWidget widget;
  app::ListControl list{widget};
};

TEST_F(ListControlTest, LinesKeepOrderTextAndTag) {
  const std::string raw("\x01\x00\xff", 3);
  list.addItem("b", {raw, "SELECT 1"});
  list.addItem("a", {"2", "SELECT 2"});
  list.addItem("line\r\nbreak", {"3", "SELECT 3"});
  ASSERT_EQ(list.count(), 3);
  EXPECT_EQ(list.item(0), "b");
  EXPECT_EQ(list.item(1), "a");
  EXPECT_EQ(list.item(2), "line\r\nbreak");
  EXPECT_EQ(list.tag(0).bookmark, raw);
  EXPECT_EQ(list.tag(0).query, "SELECT 1");
  list.setItem(1, "A");
  EXPECT_EQ(list.item(1), "A");
  EXPECT_EQ(list.tag(1).bookmark, "2");
  EXPECT_THROW(list.item(3), jet::Error);
  EXPECT_THROW(list.removeItem(-1), jet::Error);
}

TEST_F(ListControlTest, SelectionFollowsTheSelectedLineOnly) {
  list.addItem("x", {});
  list.addItem("y", {});
  list.addItem("z", {});
  EXPECT_EQ(list.listIndex(), -1);
  EXPECT_EQ(list.text(), "");
  widget.setCurrentRow(1);
  EXPECT_EQ(list.listIndex(), 1);
  EXPECT_EQ(list.text(), "y");
  list.removeItem(0);  // another line: the selection moves with its line
  EXPECT_EQ(list.listIndex(), 0);
  EXPECT_EQ(list.text(), "y");
  list.removeItem(0);  // the selected line: nothing stays selected
  EXPECT_EQ(list.listIndex(), -1);
  EXPECT_EQ(list.text(), "");
  EXPECT_EQ(list.count(), 1);
  list.clear();
  EXPECT_EQ(list.count(), 0);
}

// A batch's changes land in one go: texts in place, and many removals by one rebuild that
// keeps every other line with its tag and the selection with its line.
TEST_F(ListControlTest, StagedChangesShowTogetherAndFindLineFindsByRowAndQuery) {
  for (int i = 0; i < 100; ++i) list.addItem("v" + std::to_string(i), {"b" + std::to_string(i), i < 90 ? "Q" : "R"});
  widget.setCurrentRow(95);
  EXPECT_EQ(list.findLine("b40", "Q", 40), 40);
  EXPECT_EQ(list.findLine("b10", "Q", 60), 10);  // searched round to the top
  EXPECT_EQ(list.findLine("b95", "Q", 0), -1);   // another query's line
  for (int i = 0; i < 90; i += 2) list.stageRemoval(i);
  list.stageItem(1, "new 1");
  list.stageItem(95, "new 95");
  EXPECT_EQ(list.count(), 100);  // nothing shows before the batch lands
  list.applyStaged();
  ASSERT_EQ(list.count(), 55);
  EXPECT_EQ(list.item(0), "new 1");
  EXPECT_EQ(list.tag(0).bookmark, "b1");
  EXPECT_EQ(list.item(44), "v89");
  EXPECT_EQ(list.tag(50).query, "R");
  EXPECT_EQ(list.text(), "new 95");
  list.stageRemoval(0);
  list.dropStaged();
  list.applyStaged();
  EXPECT_EQ(list.count(), 55);
}

TEST(QtDialogsTest, BoxesHaveTheWindowsCaptionAndTheFileDialogItsSettings) {
  apptest::qtApp();
  app::QtDialogs dialogs(nullptr);
  auto box = dialogs.createMessageBox("请先打开数据库");
  EXPECT_EQ(box->windowTitle().toStdString(), "Access数据的日期和特殊字符检查工具");
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
  EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
  EXPECT_EQ(box->text().toStdString(), "请先打开数据库");
  EXPECT_EQ(box->button(QMessageBox::Ok)->text().toStdString(), "确定");

  auto input = dialogs.createInputBox("输入新值", "更新值", "a-b");
  EXPECT_EQ(input->windowTitle().toStdString(), "更新值");
  EXPECT_EQ(input->labelText().toStdString(), "输入新值");
  EXPECT_EQ(input->textValue().toStdString(), "a-b");
  EXPECT_EQ(input->okButtonText().toStdString(), "确定");
  EXPECT_EQ(input->cancelButtonText().toStdString(), "取消");
  EXPECT_FALSE(input->testOption(QInputDialog::UsePlainTextEditForTextInput));
  // A value with a line break keeps it in a box of several lines.
  auto multi = dialogs.createInputBox("输入新值", "更新值", "a\nb");
  EXPECT_TRUE(multi->testOption(QInputDialog::UsePlainTextEditForTextInput));
  EXPECT_EQ(multi->textValue().toStdString(), "a\nb");

  auto password = dialogs.createPasswordBox("请输入数据库 'a.mdb' 的密码：");
  EXPECT_EQ(password->windowTitle().toStdString(), "Access数据的日期和特殊字符检查工具");
  EXPECT_EQ(password->labelText().toStdString(), "请输入数据库 'a.mdb' 的密码：");
  EXPECT_EQ(password->textEchoMode(), QLineEdit::Password);
  EXPECT_EQ(password->textValue(), QString());
  EXPECT_EQ(password->okButtonText().toStdString(), "确定");
  EXPECT_EQ(password->cancelButtonText().toStdString(), "取消");

  dialogs.setUseNativeFileDialog(false);
  auto file = dialogs.createFileDialog();
  EXPECT_EQ(file->objectName(), "CDg");
  EXPECT_EQ(file->windowTitle().toStdString(), "打开数据文件");
  EXPECT_EQ(file->nameFilters().value(0), "mdb文件(*.mdb)");
  EXPECT_EQ(file->defaultSuffix(), "mdb");
  EXPECT_EQ(file->labelText(QFileDialog::Accept).toStdString(), "打开");
  EXPECT_EQ(file->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_TRUE(file->testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_TRUE(file->selectedFiles().value(0).isEmpty() ||
              QFileInfo(file->selectedFiles().value(0)).isDir());
}

}  // namespace

namespace {

TEST(WidgetsTest, TreeReportsOneClickPerLeftClickOrDoubleClick) {
  apptest::qtApp();
  app::DefectTreeWidget widget;
  widget.resize(200, 200);
  widget.show();
  app::TreeControl tree(widget);
  tree.add(NodeId{}, "表");
  tree.add(NodeId{Kind::Table, "T", {}}, "T");
  widget.expandAll();
  QSignalSpy clicks(&widget, &app::DefectTreeWidget::Click);
  std::optional<NodeId> selectedAtClick;
  QObject::connect(&widget, &app::DefectTreeWidget::Click,
                   [&] { selectedAtClick = tree.selected(); });

  const QPoint onTable = widget.visualItemRect(widget.topLevelItem(0)->child(0)).center();
  QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, onTable);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(selectedAtClick, (NodeId{Kind::Table, "T", {}}));  // selected before the click
  QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, QPoint(150, 180));  // empty space
  EXPECT_EQ(clicks.count(), 2);
  QTest::mouseClick(widget.viewport(), Qt::RightButton, {}, onTable);
  EXPECT_EQ(clicks.count(), 2);
  // A double-click arrives as a click followed by a press, the double-click and a release.
  QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, onTable);
  QTest::mousePress(widget.viewport(), Qt::LeftButton, {}, onTable);
  QMouseEvent dbl(QEvent::MouseButtonDblClick, onTable, widget.viewport()->mapToGlobal(onTable),
                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget.viewport(), &dbl);
  QTest::mouseRelease(widget.viewport(), Qt::LeftButton, {}, onTable);
  EXPECT_EQ(clicks.count(), 3);
  QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, onTable);
  EXPECT_EQ(clicks.count(), 4);
}

TEST(WidgetsTest, PanelReportsADoubleClickWithItsKey) {
  apptest::qtApp();
  app::StatusPanel panel("Char", 96);
  QSignalSpy spy(&panel, &app::StatusPanel::PanelDblClick);
  QTest::mouseDClick(&panel, Qt::LeftButton);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).value<app::StatusPanel*>(), &panel);
  EXPECT_EQ(panel.key(), "Char");
  EXPECT_EQ(panel.width(), 96);
}

TEST(WidgetsTest, ListShowsLineBreaksAsOneMark) {
  apptest::qtApp();
  app::OneLineDelegate delegate;
  EXPECT_EQ(delegate.displayText(QString("a\r\nb\rc\nd"), QLocale()), QString::fromUtf8("a↵b↵c↵d"));
}

}  // namespace

namespace {

TEST(QtEventPumpTest, YieldRunsPendingEventsAndBusyScopesNest) {
  apptest::qtApp();
  app::QtEventPump pump;
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  pump.yield();
  EXPECT_TRUE(ran);

  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  {
    check::BusyScope outer(pump);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    {
      check::BusyScope inner(pump);
    }
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  pump.endBusy();  // an extra end changes nothing
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A batch repair paints its progress without letting the operator's clicks in.
TEST(QtEventPumpTest, PaintRepaintsNowAndRunsNoEvents) {
  apptest::qtApp();
  app::QtEventPump pump;
  QListWidget list;
  list.addItem("1899-12-31");
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++paints;
      return false;
    }
  } counter;
  list.viewport()->installEventFilter(&counter);
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  list.item(0)->setText("2024-06-30");
  pump.paint();
  EXPECT_GE(counter.paints, 1);
  EXPECT_FALSE(ran);
}

}  // namespace
