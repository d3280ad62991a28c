// The Qt window's widgets reach the dispatch: the toolbar, a click and the arrow keys in
// the tree, the popup and its items, a double-click on a panel and the close, on a scratch
// copy of a fixture. What each event then does is the dispatch's, tested once there.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "TestFiles.h"
#include "app/qt/frmMain.h"
#include "check/MemoryControls.h"

namespace {

QTreeWidgetItem* childNamed(QTreeWidgetItem* parent, const QString& text) {
  for (int i = 0; parent && i < parent->childCount(); ++i)
    if (parent->child(i)->text(0) == text) return parent->child(i);
  return nullptr;
}

TEST(WindowCommandsTest, TheWidgetsEventsReachTheDispatch) {
  apptest::qtApp();
  testfiles::ScratchDir dir;
  check::ScriptedDialogs dialogs;
  app::frmMain window;
  window.setDialogs(&dialogs);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  dialogs.files.push_back(dir.copy(testfiles::data("checks2000.mdb")).string());
  window.button("Open")->trigger();
  EXPECT_EQ(window.panel(1)->text(), "checks2000.mdb");
  window.button("Tavrin")->trigger();
  ASSERT_EQ(window.trvTable()->topLevelItemCount(), 1);
  QTreeWidgetItem* root = window.trvTable()->topLevelItem(0);
  QTreeWidgetItem* shipped = childNamed(childNamed(root, "Orders"), QStringLiteral("Shipped(3条)"));
  QTreeWidgetItem* delivered =
      childNamed(childNamed(root, "Order Details"), QStringLiteral("Delivered(2条)"));
  ASSERT_TRUE(shipped && delivered);

  // A real click on the column node lists its three values.
  QTreeWidget* tree = window.trvTable();
  tree->expandAll();
  tree->scrollToItem(shipped);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(shipped).center());
  ASSERT_EQ(window.lstResult()->count(), 3);

  // The program moving the selection lists nothing; the arrow key onto a column lists it.
  tree->setCurrentItem(tree->itemAbove(delivered));
  EXPECT_EQ(window.lstResult()->count(), 3);
  tree->setFocus();
  QTest::keyClick(tree, Qt::Key_Down);
  ASSERT_EQ(tree->currentItem(), delivered);
  EXPECT_EQ(window.lstResult()->count(), 2);

  // Right-click the selected first line and choose Clear: the value goes, and its line.
  window.lstResult()->setCurrentRow(0);
  const QPoint line = window.lstResult()->visualItemRect(window.lstResult()->item(0)).center();
  QTest::mouseClick(window.lstResult()->viewport(), Qt::RightButton, {}, line);
  ASSERT_TRUE(window.edit()->isVisible());
  window.edit()->hide();
  window.menuItem("Clear")->trigger();
  EXPECT_EQ(window.lstResult()->count(), 1);
  EXPECT_TRUE(window.undoAction()->isEnabled());
  EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();

  // The pattern editor answers a double-click on the third panel.
  dialogs.answers.push_back("ab-c");
  QTest::mouseDClick(window.panel(3), Qt::LeftButton);
  ASSERT_EQ(dialogs.prompts.size(), 1u);
  EXPECT_EQ(window.state().checkChars, "-abc");

  window.close();
  EXPECT_EQ(window.state().database, nullptr);
  EXPECT_EQ(window.state().workspace, nullptr);
}

}  // namespace
