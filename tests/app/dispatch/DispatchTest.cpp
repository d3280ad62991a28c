// The window's events, once for every shell: the dispatch over controls kept in memory and
// scripted dialogs, on scratch copies of a fixture. Each shell's own tests only show that
// its widgets reach these calls.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TestFiles.h"
#include "app/dispatch/Dispatch.h"
#include "app/dispatch/Window.h"
#include "check/MemoryControls.h"
#include "jet/Error.h"

namespace {

using check::NodeId;

const std::string kHelp = "适用Zorvat.x数据年结或升级前的数据检查";
const std::string kNoDatabase = "请先打开数据库";

// What the dispatch asked of the window beyond the controls.
struct RecordingShell : app::Shell {
  void showPopupAt(int x, int y) override { popups.push_back("at " + std::to_string(x) + "," + std::to_string(y)); }
  void showPopupUnderLine(int line) override { popups.push_back("line " + std::to_string(line)); }
  std::string timeOfDay() override { return "09:05:07"; }
  void setUndoEnabled(bool enabled) override {
    undoEnabled = enabled;
    ++undoUpdates;
  }
  std::vector<std::string> popups;
  bool undoEnabled = true;  // the dispatch must say otherwise
  int undoUpdates = 0;
};

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { window.load(); }
  // Opens a scratch copy of the fixture through the file dialog, as 打开文件 does.
  void open() {
    ui.dialogs.files.push_back(dir.copy(testfiles::data("checks2000.mdb")).string());
    window.buttonClick("Open");
    ASSERT_NE(window.state().database, nullptr);
  }

  testfiles::ScratchDir dir;
  check::MemoryControls ui;
  RecordingShell shell;
  app::Dispatch window{shell, ui.controls};
};

const NodeId kShipped{NodeId::Kind::Column, "Orders", "Shipped"};
const NodeId kDelivered{NodeId::Kind::Column, "Order Details", "Delivered"};

TEST_F(DispatchTest, OpenCheckClickPopupClearUndoAndEditTheCharacters) {
  open();
  EXPECT_EQ(ui.status.panelText(1), "checks2000.mdb");
  EXPECT_EQ(ui.status.panelText(3), "-+*/#%<>:,{=''");

  window.buttonClick("Tavrin");
  ASSERT_EQ(ui.tree.text(kShipped), "Shipped(3条)");
  ui.tree.select(kShipped);
  window.treeClick();
  ASSERT_EQ(ui.list.count(), 3);

  // The popup: a right release without Shift, Ctrl or Alt over a selected line with text.
  window.mouseUp(app::kRightButton, 0, 10, 20);  // nothing selected
  ui.list.select(0);
  window.mouseUp(app::kRightButton, app::kShiftMask, 10, 20);
  window.mouseUp(app::kRightButton, app::kCtrlMask, 10, 20);
  window.mouseUp(app::kRightButton, app::kAltMask, 10, 20);
  window.mouseUp(app::kLeftButton, 0, 10, 20);
  EXPECT_TRUE(shell.popups.empty());
  window.mouseUp(app::kRightButton, 0, 10, 20);
  window.popupKey();
  EXPECT_EQ(shell.popups, (std::vector<std::string>{"at 10,20", "line 0"}));

  // 清空 takes the value and its line; 撤销 follows the state after every event.
  EXPECT_FALSE(shell.undoEnabled);
  window.menuClick("Clear");
  EXPECT_EQ(ui.list.count(), 2);
  EXPECT_TRUE(shell.undoEnabled);
  EXPECT_TRUE(ui.dialogs.messages.empty()) << ui.dialogs.messages.front();
  window.menuClick(app::kUndoName);
  EXPECT_EQ(ui.list.count(), 3);
  EXPECT_FALSE(shell.undoEnabled);
  window.menuClick(app::kUndoName);  // nothing left to take back: Ctrl+Z does nothing
  window.menuClick("Nothing");
  EXPECT_EQ(ui.dialogs.messages, std::vector<std::string>{"已撤销上一次修复：恢复了 1 个值。"});
  ui.dialogs.messages.clear();

  // The pattern editor answers a double-click on the "Char" panel only.
  ui.dialogs.answers.push_back("ab-c");
  window.panelDblClick("Char");
  ASSERT_EQ(ui.dialogs.prompts.size(), 1u);
  EXPECT_EQ(ui.dialogs.prompts[0].title, "特殊字符");
  EXPECT_EQ(window.state().checkChars, "-abc");
  EXPECT_EQ(ui.status.panelText(3), "-abc");
  EXPECT_EQ(ui.dialogs.messages, std::vector<std::string>{"含有-'，系统会将之提到最前"});
  window.panelDblClick("File");
  EXPECT_EQ(ui.dialogs.prompts.size(), 1u);

  // The unload lets go of the file, quietly, once.
  window.unload();
  window.unload();
  EXPECT_EQ(window.state().database, nullptr);
  EXPECT_EQ(window.state().workspace, nullptr);
  EXPECT_EQ(ui.dialogs.messages.size(), 1u);
}

TEST_F(DispatchTest, AColumnSelectedByKeyboardIsListedAndRepairedAsAClickedOneIs) {
  open();
  window.buttonClick("Tavrin");
  ui.tree.select(kShipped);
  window.treeClick();
  ASSERT_EQ(ui.list.count(), 3);

  // The arrow keys move to another column: the list follows, and so does 更新.
  ui.tree.select(kDelivered);
  window.treeSelectionChanged();
  ASSERT_EQ(ui.list.count(), 2);
  ui.list.select(0);
  ui.dialogs.answers.push_back("2024-01-01");
  window.menuClick("Update");
  EXPECT_EQ(ui.tree.text(kDelivered), "Delivered(1条)");
  EXPECT_EQ(ui.tree.text(kShipped), "Shipped(3条)");
  const std::vector<std::string> lines = ui.list.items();

  // A table node leaves the list as it is.
  ui.tree.select(NodeId{NodeId::Kind::Table, "Orders", {}});
  window.treeSelectionChanged();
  EXPECT_EQ(ui.list.items(), lines);
}

TEST_F(DispatchTest, UnloadWhileTheScanYieldsEndsTheScanQuietly) {
  open();
  // The close is pending when the scan starts and runs in its first yield.
  ui.events.onYield = [&](int n) {
    if (n == 1) window.unload();
  };
  window.buttonClick("CheckChar");
  EXPECT_EQ(window.state().database, nullptr);
  EXPECT_EQ(window.state().kind, &check::kCharCheck);
  EXPECT_TRUE(ui.dialogs.messages.empty()) << ui.dialogs.messages.front();
  // The tree holds no more than the scan had reached.
  EXPECT_LT(ui.tree.childCount(NodeId{}), 9);
}

TEST_F(DispatchTest, TheEditorsNoticesShowBeforeTheTreeFollowsTheNewCharacters) {
  open();
  window.buttonClick("CheckChar");
  const std::string before = ui.tree.render();
  ASSERT_FALSE(before.empty());

  // While each box is up the tree is the one the operator had: the scan comes after.
  std::vector<std::string> seen;
  ui.dialogs.onMessage = [&](const std::string&) { seen.push_back(ui.tree.render()); };
  ui.dialogs.answers.push_back("ab-c'");
  window.panelDblClick("Char");
  EXPECT_EQ(ui.dialogs.messages,
            (std::vector<std::string>{"含有-'，系统会将之提到最前",
                                      "含有单个引号'，系统会将之替换成对的引号''，并放到最后"}));
  EXPECT_EQ(seen, std::vector<std::string>(2, before));
  EXPECT_NE(ui.tree.render(), before);
  EXPECT_EQ(ui.status.panelText(3), "-abc''");
}

TEST_F(DispatchTest, KeysButtonsAndTheClock) {
  EXPECT_EQ(window.state().checkChars, "-+*/#%<>:,{=''");
  EXPECT_EQ(window.state().kind, &check::kDateCheck);

  // F1 whatever is held, and the help button, its key in any case; other keys nothing.
  for (int shift : {0, app::kShiftMask, app::kCtrlMask, app::kAltMask}) window.keyDown(app::kKeyF1, shift);
  window.keyDown(app::kKeyF1 + 1, 0);
  window.keyDown('A', 0);
  window.buttonClick("help");
  window.buttonClick("HELP");
  window.buttonClick("nothing");
  EXPECT_EQ(ui.dialogs.messages, std::vector<std::string>(6, kHelp));

  // A check sets its kind even without a file.
  ui.dialogs.messages.clear();
  window.buttonClick("checkchar");
  EXPECT_EQ(window.state().kind, &check::kCharCheck);
  window.buttonClick("TAVRIN");
  EXPECT_EQ(window.state().kind, &check::kDateCheck);
  EXPECT_EQ(ui.dialogs.messages, std::vector<std::string>(2, kNoDatabase));
  EXPECT_EQ(ui.tree.render(), "");

  window.tick();
  EXPECT_EQ(ui.status.panelText(2), "09:05:07");
  EXPECT_EQ(ui.status.panelText(1), "");
  EXPECT_EQ(ui.status.panelText(3), "");

  // The keyboard's road to the popup: the Menu key alone, or Shift+F10.
  EXPECT_TRUE(app::isPopupKey(app::kKeyMenu, 0));
  EXPECT_TRUE(app::isPopupKey(app::kKeyF10, app::kShiftMask));
  EXPECT_FALSE(app::isPopupKey(app::kKeyF10, 0));
  EXPECT_FALSE(app::isPopupKey(app::kKeyF10, app::kShiftMask | app::kCtrlMask));
  EXPECT_FALSE(app::isPopupKey(app::kKeyMenu, app::kAltMask));
}

TEST_F(DispatchTest, AFailureIsReportedAndTheWindowStaysUsable) {
  // The help box itself fails once: the failure's description is shown instead.
  int failures = 1;
  ui.dialogs.onMessage = [&](const std::string&) {
    if (failures-- > 0) throw jet::invalidObject();
  };
  const int updates = shell.undoUpdates;
  window.buttonClick("help");
  EXPECT_EQ(ui.dialogs.messages, (std::vector<std::string>{kHelp, jet::invalidObject().description()}));
  EXPECT_GT(shell.undoUpdates, updates);

  failures = 1;
  ui.dialogs.onMessage = [&](const std::string&) {
    if (failures-- > 0) throw std::runtime_error("出错了");
  };
  window.keyDown(app::kKeyF1, 0);
  EXPECT_EQ(ui.dialogs.messages.back(), "出错了");

  // Even the report failing leaves the window as it was.
  ui.dialogs.onMessage = [](const std::string&) { throw std::runtime_error("again"); };
  window.keyDown(app::kKeyF1, 0);
  ui.dialogs.onMessage = nullptr;
  window.buttonClick("help");
  EXPECT_EQ(ui.dialogs.messages.back(), kHelp);
}

}  // namespace
