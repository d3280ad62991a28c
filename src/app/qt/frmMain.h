#pragma once
// The one window, in Qt. It builds the controls from app/dispatch/Window.h, implements
// check::Controls and the dispatch's Shell over them, and turns each widget's event into
// one call of the dispatch, which does what the event means.
#include <QMainWindow>
#include <memory>

#include "app/dispatch/Dispatch.h"
#include "app/dispatch/Window.h"
#include "app/qt/QtControls.h"
#include "check/CheckState.h"
#include "check/Controls.h"

class QAction;
class QMenu;
class QSettings;
class QStatusBar;
class QTimer;
class QToolBar;

namespace app {

using check::CheckState;  // the state lives with the commands, one layer down

class frmMain : public QMainWindow, private Shell {
  Q_OBJECT
 public:
  explicit frmMain(QWidget* parent = nullptr);
  ~frmMain() override;

  CheckState& state() { return dispatch_->state(); }
  check::Controls& controls() { return dispatch_->controls(); }
  Dispatch& dispatch() { return *dispatch_; }
  // Replaces the dialogs every command asks through and every result is shown in (tests
  // script them); nullptr restores Qt's.
  // REQUIRES: no command is running.
  void setDialogs(check::Dialogs* dialogs);
  QtDialogs& qtDialogs() { return *qtDialogs_; }
  // The wait cursor and the progress dialog of long work.
  QtEventPump& events() { return events_; }

  DefectTreeWidget* trvTable() const { return trvTable_; }
  ResultListWidget* lstResult() const { return lstResult_; }
  QToolBar* Toolbar1() const { return Toolbar1_; }
  QStatusBar* StatusBar1() const { return StatusBar1_; }
  QMenu* edit() const { return edit_; }
  QTimer* Timer1() const { return Timer1_; }
  // The toolbar button with this key, or null.
  QAction* button(const QString& key) const;
  // The status-bar panel at this position (1 to 3), or null.
  StatusPanel* panel(int position) const;
  // The popup item Clear, Update, BatchClear or BatchUpdate, or null.
  QAction* menuItem(const QString& name) const;
  // "撤销" (Ctrl+Z): takes back the last repair command; enabled while there is one.
  QAction* undoAction() const { return undo_; }

  // Restores the size and place of the last run and saves them when the window closes;
  // `settingsFile` empty means the user's own settings. Without this call the window starts
  // at its default size and remembers nothing.
  void rememberPlacement(const QString& settingsFile = {});

  // Events, callable directly so that tests drive the same paths as the widgets.
  void ButtonClick(const QString& key);
  void KeyDown(int keyCode, int shift);
  void Tick();
  void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint& globalPos);
  // The Menu key or Shift+F10 in the list: the popup, under the selected line.
  void PopupKey();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  QMenu* createPopupMenu() override { return nullptr; }  // no toolbar-hiding menu

 private:
  void createControls();
  void createToolBar();
  void createStatusBar();
  void createMenu();
  void createTimer();
  void stackControls();
  void createCommandControls();  // the interfaces the commands reach the widgets through
  void createUndo();
  void layoutControls();  // places tree, list and panels for the window's size
  std::unique_ptr<QSettings> settings() const;
  void connectEvents();
  void Unload();

  // ---- the dispatch's Shell ----
  void showPopupAt(int screenX, int screenY) override;
  void showPopupUnderLine(int line) override;
  std::string timeOfDay() override;
  void setUndoEnabled(bool enabled) override;

  DefectTreeWidget* trvTable_ = nullptr;
  ResultListWidget* lstResult_ = nullptr;
  QToolBar* Toolbar1_ = nullptr;
  QStatusBar* StatusBar1_ = nullptr;
  std::vector<StatusPanel*> panels_;
  QWidget* panelRow_ = nullptr;
  QAction* undo_ = nullptr;
  QMenu* edit_ = nullptr;
  QTimer* Timer1_ = nullptr;

  std::unique_ptr<TreeControl> tree_;
  std::unique_ptr<ListControl> list_;
  std::unique_ptr<PanelControl> status_;
  std::unique_ptr<QtDialogs> qtDialogs_;
  QtEventPump events_;
  std::unique_ptr<Dispatch> dispatch_;

  const QEvent* previewed_ = nullptr;  // the key press already previewed while it propagates
  bool unloaded_ = false;
  bool rememberPlacement_ = false;
  QString settingsFile_;
};

// The images of the toolbar (1 Open, 2 Tavrin, 3 CheckChar, 4 help), 16 x 16, with the
// light-grey background made transparent.
QIcon toolbarImage(int index);
// The window's icon, an open book, at 16 and 32 pixels.
QIcon bookIcon();

}  // namespace app
