#pragma once
// The one window on Windows. It builds the controls of app/dispatch/Window.h from the
// system's own (toolbar, tree view, list view, status bar, popup menu), implements the
// commands' Controls and the dispatch's Shell over them, and turns each of their messages
// into one call of the dispatch; what an event does is the dispatch's business.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "app/win32/Win32Controls.h"
#include "app/dispatch/Dispatch.h"

namespace app::win32 {

class MainWindow final : public Shell {
 public:
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window and its controls at the size and place of the last run, starts the
  // dispatch and the clock, and shows it. False when the system refused a control.
  bool create(int showCommand);
  // The message loop, until the window is gone; returns the exit code.
  int run();
  HWND hwnd() const { return hwnd_; }

  // ---- Shell ----
  void showPopupAt(int screenX, int screenY) override;
  void showPopupUnderLine(int line) override;
  std::string timeOfDay() override;
  void setUndoEnabled(bool enabled) override;

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK listProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT notify(const NMHDR& header);
  void command(int id);

  // One message from a loop: the key preview and Ctrl+Z first, then the control.
  void deliver(MSG& msg);
  bool preview(const MSG& msg);  // true when the message was taken

  void createControls();
  void createToolbar();
  void createMenu();
  // The popup item under the pointer says what it does, beside the menu.
  void menuTip(UINT item, UINT flags, HMENU menu);
  void applyDpi();        // fonts and images for the window's dots per inch
  void layoutControls();  // places tree, list and panels for the window's size
  int scaled(int pixels) const { return MulDiv(pixels, int(dpi_), 96); }
  bool ownsWindow(HWND hwnd) const;
  static int shiftState();
  void close();
  void restorePlacement(int showCommand);
  void savePlacement();

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND toolbar_ = nullptr, tree_ = nullptr, list_ = nullptr, status_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  HMENU popup_ = nullptr;
  HWND tip_ = nullptr;  // the popup items' tip
  std::wstring tipText_;
  HFONT font_ = nullptr;
  HIMAGELIST images_ = nullptr;
  HICON bigIcon_ = nullptr, smallIcon_ = nullptr;
  UINT dpi_ = 96;
  std::wstring tips_[4];

  std::unique_ptr<TreeControl> treeControl_;
  std::unique_ptr<ListControl> listControl_;
  std::unique_ptr<PanelControl> panelControl_;
  std::unique_ptr<Win32Dialogs> dialogs_;
  std::unique_ptr<Win32EventPump> events_;
  std::unique_ptr<Dispatch> dispatch_;
  bool closed_ = false;
  bool treeKeys_ = false;  // a key message is on its way into the tree
};

}  // namespace app::win32
