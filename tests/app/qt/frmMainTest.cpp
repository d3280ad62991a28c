// The main window against real widgets on the offscreen platform; dialogs are scripted.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "AppTestSupport.h"
#include "app/qt/frmMain.h"
#include "check/MemoryControls.h"
#include "jet/Error.h"

namespace {

using check::ScriptedDialogs;

const std::string kHelp = "适用Zorvat.x数据年结或升级前的数据检查";

// Counts the key presses a widget itself receives, after any preview.
class KeyCounter : public QObject {
 public:
  int f1 = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_F1) ++f1;
    return false;
  }
};

class FrmMainTest : public apptest::ShownWindow {
 protected:
  QRect inWindow(QWidget* w) const {
    return QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size());
  }
  void fillList(const std::vector<std::string>& lines) {
    for (const auto& line : lines) window->controls().list.addItem(line, {"b", "q"});
  }
  QPoint linePos(int row) const {
    return window->lstResult()->visualItemRect(window->lstResult()->item(row)).center();
  }
  bool popupAfterRelease(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int row = 0) {
    QWidget* viewport = window->lstResult()->viewport();
    QTest::mouseClick(viewport, button, modifiers, linePos(row));
    const bool shown = window->edit()->isVisible();
    window->edit()->hide();
    return shown;
  }
};

TEST_F(FrmMainTest, WindowHasItsCaptionClientAreaAndControlPlaces) {
  EXPECT_EQ(window->windowTitle().toStdString(), "Access数据的日期和特殊字符检查工具");
  // The layout's client area is the smallest the window gets; there the controls keep
  // their twip places exactly.
  EXPECT_EQ(window->minimumSize(), QSize(367, 294));
  window->resize(367, 294);
  QApplication::processEvents();
  EXPECT_EQ(window->size(), QSize(367, 294));
  EXPECT_EQ(window->findChild<QMenuBar*>(), nullptr);

  // Twip places at 15 twips per pixel, in window coordinates.
  EXPECT_EQ(inWindow(window->Toolbar1()), QRect(0, 0, 367, 28));
  EXPECT_EQ(inWindow(window->trvTable()), QRect(0, 24, 161, 257));
  EXPECT_EQ(inWindow(window->lstResult()), QRect(160, 24, 209, 256));
  EXPECT_EQ(inWindow(window->StatusBar1()), QRect(0, 277, 367, 17));

  const QIcon icon = window->windowIcon();
  EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
  EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));

  EXPECT_EQ(window->objectName(), "frmMain");
  EXPECT_EQ(window->trvTable()->objectName(), "trvTable");
  EXPECT_EQ(window->lstResult()->objectName(), "lstResult");
  EXPECT_EQ(window->StatusBar1()->objectName(), "StatusBar1");
  EXPECT_EQ(window->Toolbar1()->objectName(), "Toolbar1");
}

TEST_F(FrmMainTest, ToolbarHasFourImageButtonsWithKeysAndToolTips) {
  const QList<QAction*> actions = window->Toolbar1()->actions();
  ASSERT_EQ(actions.size(), 4);
  const char* keys[] = {"Open", "Tavrin", "CheckChar", "help"};
  const char* tips[] = {"打开文件", "检查日期", "检查字符(双击右下角可检查其他字符)", "帮助"};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(keys[i]);
    QAction* a = actions[i];
    EXPECT_EQ(a->data().toString(), keys[i]);
    EXPECT_EQ(window->button(keys[i]), a);
    EXPECT_EQ(a->toolTip().toStdString(), tips[i]);
    EXPECT_TRUE(a->text().isEmpty());
    EXPECT_TRUE(a->isEnabled());
    auto* b = qobject_cast<QToolButton*>(window->Toolbar1()->widgetForAction(a));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(b->size(), QSize(23, 22));
    // 16 x 16 pictures whose light-grey background shows through.
    QImage image = a->icon().pixmap(16, 16).toImage();
    EXPECT_EQ(image.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    int drawn = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) drawn += qAlpha(image.pixel(x, y)) == 255;
    EXPECT_GT(drawn, 30);
  }
}

TEST_F(FrmMainTest, StatusBarHasThreeEmptyTextPanels) {
  window->resize(367, 294);
  QApplication::processEvents();
  const char* keys[] = {"File", "Date", "Char"};
  const int widths[] = {163, 96, 96};  // 2440, 1440, 1440 twips
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(keys[i]);
    app::StatusPanel* p = window->panel(i + 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->key(), keys[i]);
    EXPECT_EQ(p->width(), widths[i]);
    EXPECT_TRUE(p->text().isEmpty());
    EXPECT_TRUE(window->StatusBar1()->isAncestorOf(p));
  }
  EXPECT_EQ(window->panel(0), nullptr);
  EXPECT_EQ(window->panel(4), nullptr);
  // Panels are written by position; a bad position fails like the toolkit's.
  window->controls().status.setPanelText(3, "-+*/#%<>:,{=''");
  EXPECT_EQ(window->panel(3)->text().toStdString(), "-+*/#%<>:,{=''");
  EXPECT_THROW(window->controls().status.setPanelText(4, "x"), jet::Error);
}

TEST_F(FrmMainTest, PopupMenuEditHasFourItemsAndUndoAndIsNoMenuBar) {
  QMenu* edit = window->edit();
  EXPECT_EQ(edit->objectName(), "edit");
  EXPECT_EQ(edit->title().toStdString(), "编辑");
  const QList<QAction*> items = edit->actions();
  // The four repairs, then, apart, the undo of the last one.
  ASSERT_EQ(items.size(), 6);
  EXPECT_TRUE(items[4]->isSeparator());
  EXPECT_EQ(items[5], window->undoAction());
  EXPECT_EQ(items[5]->text().toStdString(), "撤销");
  EXPECT_EQ(items[5]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_FALSE(items[5]->isEnabled());  // nothing to undo yet
  const char* names[] = {"Clear", "Update", "BatchClear", "BatchUpdate"};
  const char* captions[] = {"清空", "更新", "批量清空", "批量更新"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(items[i]->objectName(), names[i]);
    EXPECT_EQ(items[i]->text().toStdString(), captions[i]);
    EXPECT_TRUE(items[i]->isVisible() && items[i]->isEnabled());
    EXPECT_EQ(window->menuItem(names[i]), items[i]);
  }
  EXPECT_FALSE(edit->isVisible());
}

TEST_F(FrmMainTest, StartsWithDefaultsEmptyControlsAndTheFocusInTheTree) {
  const check::CheckState& s = window->state();
  EXPECT_EQ(s.checkChars, "-+*/#%<>:,{=''");
  EXPECT_EQ(s.kind, &check::kDateCheck);
  EXPECT_EQ(s.database, nullptr);
  EXPECT_EQ(s.workspace, nullptr);
  EXPECT_TRUE(s.currentQuery.empty());
  EXPECT_EQ(window->trvTable()->topLevelItemCount(), 0);
  EXPECT_EQ(window->lstResult()->count(), 0);
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(window->panel(i)->text().isEmpty());
  EXPECT_TRUE(dialogs.messages.empty());

  // Tab order: the tree, then the list.
  EXPECT_EQ(QApplication::focusWidget(), window->trvTable());
  QTest::keyClick(window->trvTable(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window->lstResult());
  QTest::keyClick(window->lstResult(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window->trvTable());
  EXPECT_FALSE(window->lstResult()->isSortingEnabled());
  EXPECT_EQ(window->lstResult()->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_TRUE(window->Timer1()->isActive());
  EXPECT_EQ(window->Timer1()->interval(), 1000);
}

TEST_F(FrmMainTest, ClockWritesTheTimeOfDayIntoTheSecondPanelOnly) {
  window->Tick();
  EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(window->panel(2)->text()).hasMatch())
      << window->panel(2)->text().toStdString();
  EXPECT_TRUE(window->panel(1)->text().isEmpty());
  EXPECT_TRUE(window->panel(3)->text().isEmpty());
}

TEST_F(FrmMainTest, F1WithAnyModifiersShowsTheHelpOnceAndStillReachesTheFocusedControl) {
  KeyCounter treeKeys, listKeys;
  window->trvTable()->installEventFilter(&treeKeys);
  window->lstResult()->installEventFilter(&listKeys);

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1, Qt::ControlModifier);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1, Qt::ShiftModifier);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1, Qt::AltModifier);
  EXPECT_EQ(dialogs.messages, std::vector<std::string>(4, kHelp));
  EXPECT_EQ(treeKeys.f1, 4);

  window->lstResult()->setFocus();
  QTest::keyClick(window->lstResult(), Qt::Key_F1);
  EXPECT_EQ(dialogs.messages.size(), 5u);
  EXPECT_EQ(listKeys.f1, 1);

  QTest::keyClick(window->lstResult(), Qt::Key_F2);
  QTest::keyClick(window->lstResult(), Qt::Key_A);
  EXPECT_EQ(dialogs.messages.size(), 5u);
}

TEST_F(FrmMainTest, PopupOnlyOnRightReleaseWithoutModifiersOverASelectedLine) {
  fillList({"first", "second", ""});
  // Nothing selected: a right-click does not select and shows nothing.
  EXPECT_FALSE(popupAfterRelease(Qt::RightButton, Qt::NoModifier));
  EXPECT_EQ(window->controls().list.listIndex(), -1);

  window->lstResult()->setCurrentRow(1);
  EXPECT_FALSE(popupAfterRelease(Qt::RightButton, Qt::ShiftModifier));
  EXPECT_FALSE(popupAfterRelease(Qt::RightButton, Qt::ControlModifier));
  EXPECT_FALSE(popupAfterRelease(Qt::RightButton, Qt::AltModifier));
  EXPECT_FALSE(popupAfterRelease(Qt::LeftButton, Qt::NoModifier, 1));
  // A right-click over another line keeps the selected one, which the commands act on.
  EXPECT_TRUE(popupAfterRelease(Qt::RightButton, Qt::NoModifier, 0));
  EXPECT_EQ(window->controls().list.listIndex(), 1);

  // A selected line with empty text counts as no selection.
  window->lstResult()->setCurrentRow(2);
  EXPECT_FALSE(popupAfterRelease(Qt::RightButton, Qt::NoModifier, 2));
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(FrmMainTest, ClosingTheWindowReleasesTheConnectionQuietly) {
  EXPECT_TRUE(window->close());
  EXPECT_EQ(window->state().database, nullptr);
  EXPECT_EQ(window->state().workspace, nullptr);
  EXPECT_FALSE(window->Timer1()->isActive());
  EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
