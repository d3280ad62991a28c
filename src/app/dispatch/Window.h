#pragma once
// What the one window is made of, the same in every shell: its texts, the places of its
// controls, the toolbar's buttons, the status bar's panels and the popup menu's items.
// A shell builds its controls from these tables and nothing else, so that the windows of
// both systems say the same words. No toolkit here.
#include <cstddef>

namespace app {

// The caption of the window and the title of every message box the window shows (and of
// the password box and the progress dialog): never the program's file name.
inline constexpr const char* kCaption = "Access数据的日期和特殊字符检查工具";
// F1 and the toolbar's help button.
inline constexpr const char* kHelpText = "适用Zorvat.x数据年结或升级前的数据检查";

// Twips are the layout's unit: 1440 per inch, 15 per pixel at 96 dots per inch.
constexpr int twips(int t) { return (t + 7) / 15; }

// Places and sizes in twips: left, top, width, height.
struct Rect {
  int left, top, width, height;
};
// The client area as the layout gives it: the window's smallest size. Tree, list and
// status panels keep their places there and widen with the window (the clock's panel
// keeps its width); down, tree and list keep their distances to the bars.
inline constexpr Rect kClient{0, 0, 5505, 4410};
inline constexpr Rect kToolbar1{0, 0, 5505, 420};
inline constexpr Rect kTrvTable{0, 360, 2415, 3855};
inline constexpr Rect kLstResult{2400, 360, 3135, 3840};
inline constexpr Rect kStatusBar1{0, 4155, 5505, 255};
// The client area in pixels at 96 dots per inch, and the size of a first start, large
// enough that the tree's counts and most values show.
inline constexpr int kLayoutWidth = 367, kLayoutHeight = 294;
inline constexpr int kDefaultWidth = 2 * kLayoutWidth, kDefaultHeight = 2 * kLayoutHeight;

// The toolbar, left to right: image-only buttons (16 x 16 images, about 23 x 22 pixels),
// their pictures in src/app/images/toolbar<image>.png on a light-grey (#C0C0C0) background
// that shows transparent. A click reports the key (Dispatch::buttonClick).
struct ButtonDef {
  const char* key;
  int image;
  const char* toolTip;
};
inline constexpr ButtonDef kButtons[] = {
    {"Open", 1, "打开文件"},
    {"Tavrin", 2, "检查日期"},
    {"CheckChar", 3, "检查字符(双击右下角可检查其他字符)"},
    {"help", 4, "帮助"},
};

// The status bar's text panels, left to right, from position 1; they start empty. A
// double-click reports the key (Dispatch::panelDblClick).
struct PanelDef {
  const char* key;
  int width;  // twips, at the layout's size
};
inline constexpr PanelDef kPanels[] = {{"File", 2440}, {"Date", 1440}, {"Char", 1440}};
inline constexpr int kClockPanel = 2;
// How often the clock ticks (Dispatch::tick), from the start to the unload.
inline constexpr int kClockIntervalMs = 1000;

// The popup menu of the list, caption "编辑": the four repairs, each with the tip
// kInPlaceTip, then a separator and 撤销. A chosen item reports its name
// (Dispatch::menuClick).
inline constexpr const char* kEditCaption = "编辑";
struct MenuItemDef {
  const char* name;
  const char* caption;
};
inline constexpr MenuItemDef kMenuItems[] = {
    {"Clear", "清空"},
    {"Update", "更新"},
    {"BatchClear", "批量清空"},
    {"BatchUpdate", "批量更新"},
};
// Said where the operator chooses a repair: the file itself changes, and there is a way back.
inline constexpr const char* kInPlaceTip =
    "直接修改数据文件中的值；可用“撤销”(Ctrl+Z)恢复上一次修复";
// Takes back the last repair command: the last item of the popup, and Ctrl+Z wherever the
// focus is in the window, both enabled only while there is one (Shell::setUndoEnabled).
inline constexpr const char* kUndoName = "Undo";
inline constexpr const char* kUndoCaption = "撤销";
inline constexpr const char* kUndoToolTip = "撤销上一次修复，恢复被它改写的值";

// The open dialog's title and its filters, the first chosen at start: a description and
// the patterns, separated by blanks.
inline constexpr const char* kOpenTitle = "打开数据文件";
struct FilterDef {
  const char* description;
  const char* patterns;
};
inline constexpr FilterDef kOpenFilters[] = {
    {"mdb文件(*.mdb)", "*.mdb"},
    {"Access数据库(*.mdb *.accdb)", "*.mdb *.accdb"},
};
inline constexpr const char* kOpenDefaultSuffix = "mdb";

// The buttons of the boxes a shell draws itself (input, password, progress).
inline constexpr const char* kOkText = "确定";
inline constexpr const char* kCancelText = "取消";

}  // namespace app
