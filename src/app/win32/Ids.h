#pragma once
// The numbers the Windows window gives its controls, commands and boxes. The window alone
// uses them; the end-to-end driver (tests/win32) finds the controls and presses the
// buttons by them, as the desktop's own tools would. No logic here.

namespace app::win32 {

// The window's class; its caption is app::kCaption.
inline constexpr wchar_t kWindowClass[] = L"mdbcheck.frmMain";

enum : int {
  // Child controls.
  kIdToolbar = 100,
  kIdTree = 101,
  kIdList = 102,
  kIdStatus = 103,
  // Toolbar buttons: kIdButtonFirst + their index in app::kButtons.
  kIdButtonFirst = 200,
  // Popup items: kIdMenuFirst + their index in app::kMenuItems; then 撤销.
  kIdMenuFirst = 300,
  kIdUndo = 320,
  // The input and password boxes: the prompt and the line (their buttons are IDOK and
  // IDCANCEL).
  kIdBoxPrompt = 400,
  kIdBoxEdit = 401,
  // The progress dialog: its text and its bar (取消 is IDCANCEL).
  kIdProgressText = 410,
  kIdProgressBar = 411,
};

// Resources.
enum : int {
  kIconBook = 1,
  kBitmapToolbar = 2,
};

}  // namespace app::win32
