// The window as an operator uses it day to day: its size and place kept between runs, the
// controls widening with it, whole texts where a place cuts them, the keyboard's road to
// the popup, Ctrl+Z, the tree's open nodes kept over a check, Qt's own texts in Chinese.
#include <gtest/gtest.h>

#include <chrono>

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLibraryInfo>
#include <QMenu>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "TestFiles.h"
#include "app/qt/QtControls.h"
#include "app/qt/frmMain.h"
#include "check/MemoryControls.h"

namespace {

QRect inWindow(const QWidget* window, const QWidget* w) {
  return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

QTreeWidgetItem* childNamed(QTreeWidgetItem* parent, const QString& text) {
  for (int i = 0; parent && i < parent->childCount(); ++i)
    if (parent->child(i)->text(0) == text) return parent->child(i);
  return nullptr;
}

class WindowUse : public apptest::ShownWindow {
 protected:
  void openFixture(const char* name) {
    dialogs.files.push_back(dir.copy(testfiles::data(name)).string());
    window->ButtonClick("Open");
    ASSERT_NE(window->state().database, nullptr);
  }
  void clickNode(QTreeWidgetItem* item) {
    QTreeWidget* tree = window->trvTable();
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
  }

  testfiles::ScratchDir dir;
};

TEST_F(WindowUse, StartsLargerAndTheControlsShareTheWidthAsTheLayoutDoes) {
  EXPECT_EQ(window->size(), QSize(734, 588));
  EXPECT_LT(window->minimumSize().width(), window->maximumSize().width());
  // Across, twice the layout's places; down, the same distances to the bars.
  EXPECT_EQ(inWindow(window.get(), window->trvTable()), QRect(0, 24, 322, 551));
  EXPECT_EQ(inWindow(window.get(), window->lstResult()), QRect(320, 24, 418, 550));
  EXPECT_EQ(inWindow(window.get(), window->StatusBar1()), QRect(0, 571, 734, 17));
  EXPECT_EQ(window->panel(1)->width(), 326);
  EXPECT_EQ(window->panel(2)->width(), 96);  // the clock needs no more
  EXPECT_EQ(window->panel(3)->width(), 192);
}

TEST_F(WindowUse, SizeAndPlaceAreRememberedBetweenRuns) {
  const QString settings = QString::fromStdString((dir.path() / "window.ini").string());
  {
    app::frmMain first;
    first.rememberPlacement(settings);
    EXPECT_EQ(first.size(), QSize(734, 588));  // nothing remembered yet
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    first.resize(500, 410);
    QApplication::processEvents();
    first.close();
  }
  app::frmMain second;
  second.rememberPlacement(settings);
  EXPECT_EQ(second.size(), QSize(500, 410));
  // A window that was never asked to remember starts at the default.
  app::frmMain third;
  EXPECT_EQ(third.size(), QSize(734, 588));
}

TEST_F(WindowUse, ACutTextShowsWholeAsItsToolTipAndThePanelEndsInAnEllipsis) {
  window->resize(367, 294);
  QApplication::processEvents();
  check::DefectTree& tree = window->controls().tree;
  tree.add(check::NodeId{}, "表");
  const check::NodeId table{check::NodeId::Kind::Table, "CompanyNameAndAddressOfTheCustomer", {}};
  tree.add(table, table.table);
  tree.add(check::NodeId{check::NodeId::Kind::Table, "T", {}}, "T");
  window->trvTable()->expandAll();
  QApplication::processEvents();
  QTreeWidgetItem* root = window->trvTable()->topLevelItem(0);
  auto* delegate = static_cast<app::CutTextDelegate*>(window->trvTable()->itemDelegate());
  const QModelIndex cut = window->trvTable()->indexFromItem(root->child(0));
  const QModelIndex whole = window->trvTable()->indexFromItem(root->child(1));
  EXPECT_TRUE(delegate->isCut(window->trvTable(), cut));
  EXPECT_FALSE(delegate->isCut(window->trvTable(), whole));

  // The tool tip event over the cut item shows its whole text.
  QWidget* viewport = window->trvTable()->viewport();
  const QPoint at = window->trvTable()->visualRect(cut).center();
  QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
  QApplication::sendEvent(viewport, &help);
  EXPECT_EQ(QToolTip::text(), QString::fromStdString(table.table));
  QToolTip::hideText();

  // The list: one long value, one short.
  window->controls().list.addItem(std::string(200, 'x'), {"b", "q"});
  window->controls().list.addItem("1899-12-31", {"b2", "q"});
  auto* lineDelegate = static_cast<app::CutTextDelegate*>(window->lstResult()->itemDelegate());
  EXPECT_TRUE(lineDelegate->isCut(window->lstResult(),
                                  window->lstResult()->model()->index(0, 0)));
  EXPECT_FALSE(lineDelegate->isCut(window->lstResult(),
                                   window->lstResult()->model()->index(1, 0)));

  // A status panel too narrow for its text keeps the text and says so in its tool tip.
  window->controls().status.setPanelText(3, std::string(60, '#'));
  EXPECT_TRUE(window->panel(3)->isCut());
  EXPECT_EQ(window->panel(3)->toolTip(), QString(60, '#'));
  window->controls().status.setPanelText(3, "-+");
  EXPECT_FALSE(window->panel(3)->isCut());
}

TEST_F(WindowUse, MenuKeyAndShiftF10OpenThePopupUnderTheSelectedLine) {
  for (const char* line : {"first", "second", "third"})
    window->controls().list.addItem(line, {line, "q"});
  QListWidget* list = window->lstResult();
  list->setFocus();
  const auto popupAfter = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(list, key, modifiers);
    const bool shown = window->edit()->isVisible();
    window->edit()->hide();
    return shown;
  };
  EXPECT_FALSE(popupAfter(Qt::Key_Menu, Qt::NoModifier));  // no line selected
  list->setCurrentRow(1);
  EXPECT_TRUE(popupAfter(Qt::Key_Menu, Qt::NoModifier));
  EXPECT_TRUE(popupAfter(Qt::Key_F10, Qt::ShiftModifier));
  EXPECT_FALSE(popupAfter(Qt::Key_F10, Qt::NoModifier));
  EXPECT_FALSE(popupAfter(Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier));

  // Under the line, not wherever the mouse happens to be; the commands act on that line.
  QTest::keyClick(list, Qt::Key_Menu);
  const QRect line = list->visualItemRect(list->item(1));
  EXPECT_EQ(window->edit()->pos(), list->viewport()->mapToGlobal(line.bottomLeft()));
  window->edit()->hide();
  EXPECT_EQ(window->controls().list.listIndex(), 1);

  // A platform's context-menu event for the key does not open it a second time; one
  // coming alone does.
  QContextMenuEvent fromKey(QContextMenuEvent::Keyboard, QPoint(1, 1),
                           list->mapToGlobal(QPoint(1, 1)));
  QTest::keyClick(list, Qt::Key_Menu);
  window->edit()->hide();
  QApplication::sendEvent(list, &fromKey);
  EXPECT_FALSE(window->edit()->isVisible());
  QApplication::sendEvent(list, &fromKey);
  EXPECT_TRUE(window->edit()->isVisible());
  window->edit()->hide();
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(WindowUse, CtrlZTakesBackTheLastBatchAndTheActionFollowsTheState) {
  openFixture("checks2000.mdb");
  window->ButtonClick("Tavrin");
  QTreeWidgetItem* orders = childNamed(window->trvTable()->topLevelItem(0), "Orders");
  QTreeWidgetItem* shipped = childNamed(orders, QStringLiteral("Shipped(3条)"));
  ASSERT_NE(shipped, nullptr);
  clickNode(shipped);
  ASSERT_EQ(window->lstResult()->count(), 3);
  EXPECT_FALSE(window->undoAction()->isEnabled());

  window->lstResult()->setCurrentRow(0);
  window->menuItem("BatchClear")->trigger();
  EXPECT_EQ(window->lstResult()->count(), 0);
  EXPECT_EQ(shipped->text(0), QStringLiteral("Shipped(0条)"));
  EXPECT_TRUE(window->undoAction()->isEnabled());

  window->trvTable()->setFocus();
  QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{"已撤销上一次修复：恢复了 3 个值。"});
  EXPECT_EQ(window->lstResult()->count(), 3);
  EXPECT_EQ(shipped->text(0), QStringLiteral("Shipped(3条)"));
  EXPECT_FALSE(window->undoAction()->isEnabled());
}

// A long batch shows its progress in a modal dialog naming the column; 取消 takes every row
// back: the file, the list and the tree stay as they were.
TEST_F(WindowUse, ABatchShowsItsProgressAndCancelTakesItAllBack) {
  openFixture("checks2000.mdb");
  const std::string path = (dir.path() / "checks2000.mdb").string();
  const auto original = testfiles::fileBytes(path);
  window->ButtonClick("Tavrin");
  QTreeWidgetItem* big = childNamed(window->trvTable()->topLevelItem(0), "Big");
  QTreeWidgetItem* d = childNamed(big, QStringLiteral("D(40000条)"));
  ASSERT_NE(d, nullptr);
  clickNode(d);
  ASSERT_EQ(window->lstResult()->count(), 40000);
  const QString first = window->lstResult()->item(0)->text();

  window->events().setProgressAfter(std::chrono::milliseconds(0));
  QString shown;
  bool modal = false;
  std::string title;
  QTimer::singleShot(0, [&] {
    QProgressDialog* progress = window->events().progressDialog();
    if (!progress) return;
    shown = progress->labelText();
    modal = progress->isModal();
    title = progress->windowTitle().toStdString();
    progress->cancel();
  });
  window->lstResult()->setCurrentRow(0);
  dialogs.answers.push_back("1999-12-31");
  window->menuItem("BatchUpdate")->trigger();
  EXPECT_TRUE(shown.contains(QStringLiteral("批量更新字段 'D'"))) << shown.toStdString();
  EXPECT_TRUE(modal);
  EXPECT_EQ(title, "Access数据的日期和特殊字符检查工具");
  EXPECT_EQ(window->events().progressDialog(), nullptr);
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{"已取消，未修改任何记录。"});
  EXPECT_EQ(window->lstResult()->count(), 40000);
  EXPECT_EQ(window->lstResult()->item(0)->text(), first);
  EXPECT_EQ(d->text(0), QStringLiteral("D(40000条)"));
  EXPECT_FALSE(window->undoAction()->isEnabled());
  window->close();
  EXPECT_EQ(testfiles::fileBytes(path), original);
}

TEST_F(WindowUse, ACheckRunAgainKeepsTheNodesThatWereOpen) {
  openFixture("checks2000.mdb");
  window->ButtonClick("Tavrin");
  QTreeWidgetItem* root = window->trvTable()->topLevelItem(0);
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->isExpanded());  // the first check shows its tables
  EXPECT_FALSE(childNamed(root, "Orders")->isExpanded());
  childNamed(root, "Orders")->setExpanded(true);
  window->ButtonClick("Tavrin");
  root = window->trvTable()->topLevelItem(0);
  EXPECT_TRUE(root->isExpanded());
  EXPECT_TRUE(childNamed(root, "Orders")->isExpanded());
  EXPECT_FALSE(childNamed(root, "Big")->isExpanded());
  root->setExpanded(false);
  window->ButtonClick("Tavrin");
  EXPECT_FALSE(window->trvTable()->topLevelItem(0)->isExpanded());
  // A newly opened file starts again from its tables.
  openFixture("checks2000.mdb");
  window->ButtonClick("Tavrin");
  EXPECT_TRUE(window->trvTable()->topLevelItem(0)->isExpanded());
  EXPECT_FALSE(childNamed(window->trvTable()->topLevelItem(0), "Orders")->isExpanded());
}

TEST_F(WindowUse, OpenDialogOffersMdbFirstThenAccdbAndQtSpeaksChinese) {
  std::unique_ptr<QFileDialog> dialog = window->qtDialogs().createFileDialog();
  EXPECT_EQ(dialog->nameFilters(),
            (QStringList{QStringLiteral("mdb文件(*.mdb)"), QStringLiteral("Access数据库(*.mdb *.accdb)")}));
  EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("mdb文件(*.mdb)"));
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("打开数据文件"));

  const QString qm = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_zh_CN.qm";
  if (!QFile::exists(qm)) GTEST_SKIP() << "Qt's Chinese texts are not installed: " << qm.toStdString();
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
  EXPECT_NE(QCoreApplication::translate("QFileSystemModel", "Name"), QStringLiteral("Name"));
}

}  // namespace
