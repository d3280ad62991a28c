// The window's events reach the real commands: a file opened through the file dialog, a
// date check, a click in the tree, the popup's Clear, the pattern editor and the unload,
// on a scratch copy of a fixture.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "TestFiles.h"
#include "app/qt/frmMain.h"
#include "check/MemoryControls.h"

namespace {

QTreeWidgetItem* childNamed(QTreeWidgetItem* parent, const QString& text) {
  for (int i = 0; i < parent->childCount(); ++i)
    if (parent->child(i)->text(0) == text) return parent->child(i);
  return nullptr;
}

TEST(WindowCommandsTest, OpenCheckDrillDownClearAndEditThroughTheWindow) {
  apptest::qtApp();
  testfiles::ScratchDir dir;
  const auto file = dir.copy(testfiles::data("checks2000.mdb"));
  check::ScriptedDialogs dialogs;
  app::frmMain window;
  window.setDialogs(&dialogs);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  dialogs.files.push_back(file.string());
  window.button("Open")->trigger();
  EXPECT_EQ(window.panel(1)->text(), "checks2000.mdb");
  EXPECT_EQ(window.panel(3)->text().toStdString(), "-+*/#%<>:,{=''");
  ASSERT_NE(window.state().database, nullptr);

  window.button("Tavrin")->trigger();
  ASSERT_EQ(window.trvTable()->topLevelItemCount(), 1);
  QTreeWidgetItem* root = window.trvTable()->topLevelItem(0);
  EXPECT_EQ(root->text(0).toStdString(), "表");
  QTreeWidgetItem* orders = childNamed(root, "Orders");
  ASSERT_NE(orders, nullptr);
  QTreeWidgetItem* shipped = childNamed(orders, QString::fromUtf8("Shipped(3条)"));
  ASSERT_NE(shipped, nullptr);

  // A real click on the column node lists its three values.
  window.trvTable()->expandAll();
  window.trvTable()->scrollToItem(shipped);
  QTest::mouseClick(window.trvTable()->viewport(), Qt::LeftButton, {},
                    window.trvTable()->visualItemRect(shipped).center());
  ASSERT_EQ(window.lstResult()->count(), 3);

  // Right-click the selected first line and choose Clear: the value goes, and its line.
  window.lstResult()->setCurrentRow(0);
  const QPoint line = window.lstResult()->visualItemRect(window.lstResult()->item(0)).center();
  QTest::mouseClick(window.lstResult()->viewport(), Qt::RightButton, {}, line);
  ASSERT_TRUE(window.edit()->isVisible());
  window.edit()->hide();
  window.menuItem("Clear")->trigger();
  EXPECT_EQ(window.lstResult()->count(), 2);
  EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();

  // The pattern editor answers a double-click on the third panel.
  dialogs.answers.push_back("ab-c");
  QTest::mouseDClick(window.panel(3), Qt::LeftButton);
  ASSERT_EQ(dialogs.prompts.size(), 1u);
  EXPECT_EQ(dialogs.prompts[0].title, "特殊字符");
  EXPECT_EQ(window.state().checkChars, "-abc");
  EXPECT_EQ(window.panel(3)->text(), "-abc");
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{"含有-'，系统会将之提到最前"});
  QTest::mouseDClick(window.panel(1), Qt::LeftButton);  // not the pattern panel
  EXPECT_EQ(dialogs.prompts.size(), 1u);

  window.close();
  EXPECT_EQ(window.state().database, nullptr);
  EXPECT_EQ(window.state().workspace, nullptr);
}

}  // namespace

namespace {

TEST(WindowCommandsTest, ClosingTheWindowWhileTheScanYieldsEndsTheScanQuietly) {
  apptest::qtApp();
  testfiles::ScratchDir dir;
  check::ScriptedDialogs dialogs;
  dialogs.files.push_back(dir.copy(testfiles::data("checks2000.mdb")).string());
  app::frmMain window;
  window.setDialogs(&dialogs);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.button("Open")->trigger();
  ASSERT_NE(window.state().database, nullptr);

  // The close is pending when the scan starts and runs in its first yield.
  bool closed = false;
  QTimer::singleShot(0, &window, [&] { closed = window.close(); });
  window.button("CheckChar")->trigger();
  EXPECT_TRUE(closed);
  EXPECT_EQ(window.state().database, nullptr);
  EXPECT_EQ(window.state().kind, &check::kCharCheck);
  EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front();
  // The tree holds no more than the scan had reached.
  EXPECT_LT(window.trvTable()->topLevelItem(0)->childCount(), 9);
}

}  // namespace

namespace {

// The texts of the tree's nodes, depth first.
std::vector<std::string> treeTexts(const QTreeWidget& tree) {
  std::vector<std::string> out;
  std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
    out.push_back(item->text(0).toStdString());
    for (int i = 0; i < item->childCount(); ++i) walk(item->child(i));
  };
  for (int i = 0; i < tree.topLevelItemCount(); ++i) walk(tree.topLevelItem(i));
  return out;
}

TEST(WindowCommandsTest, TheEditorsNoticesShowBeforeTheTreeFollowsTheNewCharacters) {
  apptest::qtApp();
  testfiles::ScratchDir dir;
  check::ScriptedDialogs dialogs;
  dialogs.files.push_back(dir.copy(testfiles::data("checks2000.mdb")).string());
  app::frmMain window;
  window.setDialogs(&dialogs);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.button("Open")->trigger();
  window.button("CheckChar")->trigger();
  const std::vector<std::string> before = treeTexts(*window.trvTable());
  ASSERT_FALSE(before.empty());

  // While each box is up the tree is the one the operator had: the scan comes after.
  std::vector<std::vector<std::string>> seen;
  dialogs.onMessage = [&](const std::string&) { seen.push_back(treeTexts(*window.trvTable())); };
  dialogs.answers.push_back("ab-c'");
  QTest::mouseDClick(window.panel(3), Qt::LeftButton);
  EXPECT_EQ(dialogs.messages,
            (std::vector<std::string>{"含有-'，系统会将之提到最前",
                                      "含有单个引号'，系统会将之替换成对的引号''，并放到最后"}));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], before);
  EXPECT_EQ(seen[1], before);
  EXPECT_NE(treeTexts(*window.trvTable()), before);
  EXPECT_EQ(window.panel(3)->text().toStdString(), "-abc''");
}

}  // namespace
