#pragma once
// What happens on each event of the window, written once for every shell. A shell (the Qt
// window, the Win32 window) builds its controls from app/dispatch/Window.h, implements
// check::Controls over them and the small Shell interface below, and turns each of its
// toolkit's events into one call of Dispatch; it holds no logic of its own beyond that.
// No toolkit here: events arrive as key texts, numbers and names.
//
// Every event runs on the window's thread, one at a time, except that long work lets
// pending events run (check::EventPump::yield): any event may arrive while another is
// still being handled, and each call handles that (a check clicked during a scan starts
// another scan; the unload during a scan ends it quietly).
//
// No call throws. A command's messages are shown one message box after the other
// (Dialogs::message) when it returns; a failure that escapes an event's handling is shown
// in one message box with its description, and the window stays usable. After every
// event the shell is told whether 撤销 can be chosen (Shell::setUndoEnabled).
//
// What a shell must do:
// - Start: build the dispatch with its controls, call load(), then start a clock that
//   calls tick() every kClockIntervalMs.
// - The window closes (never refused): stop the clock, then unload(). unload() may be
//   called again (say, from the window's destructor); it does nothing then.
// - Toolbar: buttonClick(key) with the button's key from kButtons.
// - Every key press anywhere in the window, before the focused control sees it (key
//   preview): keyDown(code, shift), codes as below. The key still goes on to the control.
// - The list: mouseUp(button, shift, x, y) on the release of any mouse button, with the
//   pointer's place on the screen; a right press must not move the list's selection (the
//   popup acts on the line selected before it). The keyboard's road to the popup, the
//   Menu key or Shift+F10 while the list has the focus (isPopupKey, or the toolkit's own
//   context-menu event from the keyboard): popupKey(), and the key goes no further.
// - The tree: treeClick() on the release of a left click anywhere in the tree, after the
//   press has moved the selection (a double-click counts once); treeSelectionChanged()
//   when the operator moved the selection without the mouse (arrow keys, Home, End,
//   typing a name). A selection moved by a mouse press, or by the program itself (the
//   tree emptied or rebuilt by a check), is not reported.
// - The status bar: panelDblClick(key) on a double-click on a panel, its key from kPanels.
// - The popup menu and Ctrl+Z: menuClick(name) with the item's name (kMenuItems, or
//   kUndoName for 撤销 and for Ctrl+Z while 撤销 is enabled).
// - Message boxes (Dialogs::message): an OK button only, no icon, titled kCaption.
#include <optional>
#include <string>
#include <string_view>

#include "check/CheckState.h"
#include "check/Controls.h"
#include "check/Result.h"

namespace app {

// Key codes are the desktop's virtual-key codes (on Windows the VK_ values themselves):
// letters and digits as their upper-case characters, F1 to F24 from 112.
inline constexpr int kKeyF1 = 112;
inline constexpr int kKeyF10 = 121;
inline constexpr int kKeyMenu = 93;  // the context-menu key (VK_APPS)
// The shift state: a sum of these.
inline constexpr int kShiftMask = 1, kCtrlMask = 2, kAltMask = 4;
// Mouse buttons.
inline constexpr int kLeftButton = 1, kRightButton = 2, kMiddleButton = 4;

// Whether a key pressed in the list asks for the popup: the Menu key, or Shift+F10
// (Shift alone held).
bool isPopupKey(int keyCode, int shift);

// What a shell does for the dispatch beyond check::Controls.
class Shell {
 public:
  virtual ~Shell() = default;
  // Shows the popup menu (kMenuItems, a separator, 撤销) with its corner at this point of
  // the screen, in the pixels the shell's mouse event gave. It may return before the
  // operator chooses; a chosen item comes back as Dispatch::menuClick, a dismissed menu
  // runs nothing.
  virtual void showPopupAt(int screenX, int screenY) = 0;
  // The same popup under line `line` (from 0) of the list, scrolled into view first.
  virtual void showPopupUnderLine(int line) = 0;
  // The current local time of day as the clock panel shows it (HH:mm:ss, 24 hours).
  virtual std::string timeOfDay() = 0;
  // Whether 撤销 (the popup's last item, and Ctrl+Z) can be chosen.
  virtual void setUndoEnabled(bool enabled) = 0;
};

class Dispatch {
 public:
  // `controls` and `shell` must outlive the dispatch.
  Dispatch(Shell& shell, check::Controls controls);
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;

  // The state the commands share; the dispatch owns it.
  check::CheckState& state() { return state_; }
  check::Controls& controls() { return *controls_; }
  // Replaces the controls every command draws into and asks through (tests script the
  // dialogs). REQUIRES: no event is being handled.
  void setControls(check::Controls controls);

  // ---- the window ----
  // The special characters get their default; nothing else happens.
  void load();
  // The database, then the workspace, are closed and let go of. Once only.
  void unload();
  // The clock: the time of day into the "Date" panel.
  void tick();
  // F1, whatever Shift, Ctrl or Alt are held: the help box. Any other key: nothing.
  void keyDown(int keyCode, int shift);

  // ---- the toolbar ----
  // "Open", "Tavrin" (the date check), "CheckChar" (the character check) or "help", letter
  // case ignored; any other key is ignored. A check sets its kind first, and keeps it
  // whatever the scan does.
  void buttonClick(std::string_view key);

  // ---- the tree ----
  // Both list the values of the selected column node; another node leaves the list as it is.
  void treeClick();
  void treeSelectionChanged();

  // ---- the list and its popup ----
  // The popup at the pointer when the right button is released with no Shift, Ctrl or Alt
  // held over a list whose selected line has text; otherwise nothing.
  void mouseUp(int button, int shift, int screenX, int screenY);
  // The popup under the selected line, when there is one with text.
  void popupKey();
  // "Clear", "Update", "BatchClear", "BatchUpdate" or kUndoName; any other name is ignored.
  void menuClick(std::string_view name);

  // ---- the status bar ----
  // The pattern editor on the "Char" panel (a panel without text asks nothing); when the
  // current check looks for the characters, the check runs again after the editor's
  // notices are shown.
  void panelDblClick(std::string_view panelKey);

  // Whether there is a repair to take back.
  bool canUndo() const;

 private:
  // Runs one event's handling; a failure it lets out is shown in a message box. The shell
  // then learns whether 撤销 can be chosen.
  template <class F>
  void guarded(F&& handler) noexcept;
  void report(const std::string& description) noexcept;
  // A command's messages, one box after the other; a box that fails ends in guarded().
  void show(const check::Result& result);
  void drillDown();

  Shell& shell_;
  std::optional<check::Controls> controls_;  // re-seated by setControls
  check::CheckState state_;
  bool unloaded_ = false;
};

}  // namespace app
