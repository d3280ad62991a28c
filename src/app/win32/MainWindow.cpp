#include "app/win32/MainWindow.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstdio>
#include <iterator>

#include "app/dispatch/Window.h"
#include "app/win32/Ids.h"

namespace app::win32 {

namespace {

constexpr UINT kMsgTreeClick = WM_APP + 1;  // after the tree has moved its selection
constexpr UINT_PTR kClockTimer = 1;
constexpr UINT_PTR kSubclassId = 1;
constexpr int kButtonCount = int(std::size(kButtons));
constexpr int kPanelCount = int(std::size(kPanels));
constexpr int kMenuCount = int(std::size(kMenuItems));
// Where the size and place of the last run are kept.
constexpr wchar_t kSettingsKey[] = L"Software\\mdbcheck\\mdbcheck";
constexpr wchar_t kPlacementValue[] = L"WindowPlacement";

// The per-monitor calls of Windows 10, looked up at run time: Windows 7 and 8 lack them
// and run the window at the system's dots per inch.
UINT dpiOf(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow && hwnd) {
    const UINT dpi = getDpiForWindow(hwnd);
    if (dpi) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? UINT(dpi) : 96;
}

// The system's message font, for these dots per inch.
HFONT messageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  static const auto forDpi = reinterpret_cast<ForDpiFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
  if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
    return CreateFontIndirectW(&metrics.lfMessageFont);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  const UINT systemDpi = dpiOf(nullptr);
  metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, int(dpi), int(systemDpi));
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

// The toolbar's images at `size` pixels, from the 16-pixel strip, every pixel widened
// whole so that pixel art stays sharp; the light-grey background is masked out.
HIMAGELIST toolbarImages(HINSTANCE instance, int size) {
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, kButtonCount, 0);
  auto* strip = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(kBitmapToolbar),
                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!list || !strip) return list;
  HBITMAP bitmap = strip;
  if (size != 16) {
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, size * kButtonCount, size);
    HGDIOBJ oldFrom = SelectObject(from, strip), oldTo = SelectObject(to, bitmap);
    SetStretchBltMode(to, COLORONCOLOR);
    StretchBlt(to, 0, 0, size * kButtonCount, size, from, 0, 0, 16 * kButtonCount, 16, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    ReleaseDC(nullptr, screen);
  }
  ImageList_AddMasked(list, bitmap, RGB(0xC0, 0xC0, 0xC0));
  if (bitmap != strip) DeleteObject(bitmap);
  DeleteObject(strip);
  return list;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {}

MainWindow::~MainWindow() {
  if (dispatch_) dispatch_->unload();
  if (popup_) DestroyMenu(popup_);
  if (images_) ImageList_Destroy(images_);
  if (font_) DeleteObject(font_);
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
}

bool MainWindow::create(int showCommand) {
  INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES | ICC_TREEVIEW_CLASSES |
                                             ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&init);
  bigIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconBook), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  smallIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconBook), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.style = CS_HREDRAW | CS_VREDRAW;
  cls.lpfnWndProc = windowProc;
  cls.hInstance = instance_;
  cls.hIcon = bigIcon_;
  cls.hIconSm = smallIcon_;
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  cls.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&cls)) return false;

  hwnd_ = CreateWindowExW(0, kWindowClass, wide(kCaption).c_str(),
                          WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                          kDefaultWidth, kDefaultHeight, nullptr, nullptr, instance_, this);
  if (!hwnd_) return false;
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
  dpi_ = dpiOf(hwnd_);
  createControls();
  if (!toolbar_ || !tree_ || !list_ || !status_ || !popup_) return false;

  treeControl_ = std::make_unique<TreeControl>(tree_);
  listControl_ = std::make_unique<ListControl>(list_);
  panelControl_ = std::make_unique<PanelControl>(status_, kPanelCount);
  dialogs_ = std::make_unique<Win32Dialogs>(hwnd_);
  events_ = std::make_unique<Win32EventPump>(hwnd_, [this](MSG& msg) { deliver(msg); });
  dispatch_ = std::make_unique<Dispatch>(
      *this, check::Controls{*treeControl_, *listControl_, *panelControl_, *dialogs_, *events_});
  setUndoEnabled(false);

  // The client area of a first start, in this monitor's pixels.
  RECT frame{0, 0, scaled(kDefaultWidth), scaled(kDefaultHeight)};
  AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  applyDpi();
  dispatch_->load();
  SetTimer(hwnd_, kClockTimer, kClockIntervalMs, nullptr);
  restorePlacement(showCommand);
  UpdateWindow(hwnd_);
  SetFocus(tree_);  // the tree first, then the list
  return true;
}

void MainWindow::createControls() {
  createToolbar();
  const DWORD clip = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS;
  tree_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                          clip | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                          0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(INT_PTR(kIdTree)), instance_, nullptr);
  list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                          clip | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                              LVS_SHOWSELALWAYS | LVS_OWNERDATA,
                          0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(INT_PTR(kIdList)), instance_, nullptr);
  if (list_) {
    // One column as wide as the view; a value cut short shows whole as a tool tip.
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  }
  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_TOOLTIPS, 0, 0,
                            0, 0, hwnd_, reinterpret_cast<HMENU>(INT_PTR(kIdStatus)), instance_, nullptr);
  if (list_) SetWindowSubclass(list_, listProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  createMenu();
}

void MainWindow::createToolbar() {
  toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                                 CCS_NODIVIDER | CCS_TOP,
                             0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(INT_PTR(kIdToolbar)),
                             instance_, nullptr);
  if (!toolbar_) return;
  SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  TBBUTTON buttons[kButtonCount]{};
  for (int i = 0; i < kButtonCount; ++i) {
    tips_[i] = wide(kButtons[i].toolTip);
    buttons[i].iBitmap = kButtons[i].image - 1;
    buttons[i].idCommand = kIdButtonFirst + i;
    buttons[i].fsState = TBSTATE_ENABLED;
    buttons[i].fsStyle = BTNS_BUTTON;
  }
  SendMessageW(toolbar_, TB_ADDBUTTONSW, kButtonCount, reinterpret_cast<LPARAM>(buttons));
}

void MainWindow::createMenu() {
  popup_ = CreatePopupMenu();
  if (!popup_) return;
  for (int i = 0; i < kMenuCount; ++i)
    AppendMenuW(popup_, MF_STRING, UINT_PTR(kIdMenuFirst + i), wide(kMenuItems[i].caption).c_str());
  AppendMenuW(popup_, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(popup_, MF_STRING, UINT_PTR(kIdUndo), (wide(kUndoCaption) + L"\tCtrl+Z").c_str());
  tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                         0, 0, 0, 0, hwnd_, nullptr, instance_, nullptr);
  if (tip_) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = hwnd_;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 480);
  }
}

void MainWindow::menuTip(UINT item, UINT flags, HMENU menu) {
  if (!tip_) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = hwnd_;
  int position = -1;
  if (menu == popup_ && !(flags & (MF_POPUP | MF_SEPARATOR)) && flags != 0xFFFF) {
    if (int(item) >= kIdMenuFirst && int(item) < kIdMenuFirst + kMenuCount) {
      position = int(item) - kIdMenuFirst;
      tipText_ = wide(kInPlaceTip);
    } else if (int(item) == kIdUndo) {
      position = kMenuCount + 1;  // after the separator
      tipText_ = wide(kUndoToolTip);
    }
  }
  RECT r;
  if (position < 0 || !GetMenuItemRect(hwnd_, popup_, UINT(position), &r)) {
    SendMessageW(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    return;
  }
  tool.lpszText = tipText_.data();
  SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(r.right + scaled(4), r.top));
  SendMessageW(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::applyDpi() {
  if (font_) DeleteObject(font_);
  font_ = messageFont(dpi_);
  for (HWND control : {tree_, list_, status_, toolbar_})
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  HIMAGELIST old = images_;
  const int size = scaled(16);
  images_ = toolbarImages(instance_, size);
  SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
  SendMessageW(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(size, size));
  SendMessageW(toolbar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(scaled(23), scaled(22)));
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
  if (old) ImageList_Destroy(old);
  layoutControls();
}

void MainWindow::layoutControls() {
  if (!toolbar_ || !tree_ || !list_ || !status_) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  const int w = client.right, h = client.bottom;
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
  SendMessageW(status_, WM_SIZE, 0, 0);
  RECT bar, foot;
  GetWindowRect(toolbar_, &bar);
  GetWindowRect(status_, &foot);
  const int barHeight = bar.bottom - bar.top, footHeight = foot.bottom - foot.top;
  // Across, every place keeps its share of the layout's width; down, the tree and the list
  // fill the room between the bars.
  const int baseW = scaled(twips(kClient.width));
  const auto across = [&](int t) { return MulDiv(scaled(twips(t)), w, baseW); };
  const int top = std::max(scaled(twips(kTrvTable.top)), barHeight);
  const int height = std::max(0, h - footHeight - top);
  MoveWindow(tree_, across(kTrvTable.left), top, across(kTrvTable.width), height, TRUE);
  const int listLeft = across(kLstResult.left);
  MoveWindow(list_, listLeft, top, std::max(0, w - listLeft), height, TRUE);
  RECT inside;
  GetClientRect(list_, &inside);
  SendMessageW(list_, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(std::max<LONG>(inside.right, 0), 0));
  // The clock keeps its width; the file name and the characters get the room.
  int edges[kPanelCount];
  int right = 0;
  for (int i = 0; i < kPanelCount; ++i) {
    right += i == kClockPanel - 1 ? scaled(twips(kPanels[i].width)) : across(kPanels[i].width);
    edges[i] = right;
    right += scaled(2);
  }
  SendMessageW(status_, SB_SETPARTS, kPanelCount, reinterpret_cast<LPARAM>(edges));
}

// ---- placement ----

void MainWindow::restorePlacement(int showCommand) {
  WINDOWPLACEMENT placement{};
  DWORD size = sizeof placement;
  const LSTATUS read = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kPlacementValue,
                                    RRF_RT_REG_BINARY, nullptr, &placement, &size);
  if (read == ERROR_SUCCESS && size == sizeof placement && placement.length == sizeof placement) {
    placement.showCmd = placement.showCmd == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : UINT(showCommand);
    // A place off every screen (a monitor gone since) comes back on the nearest one.
    SetWindowPlacement(hwnd_, &placement);
  } else {
    ShowWindow(hwnd_, showCommand);
  }
}

void MainWindow::savePlacement() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(hwnd_, &placement)) return;
  // A place not remembered is no reason to keep the window open: failures pass.
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, kPlacementValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&placement),
                 sizeof placement);
  RegCloseKey(key);
}

// ---- Shell ----

void MainWindow::showPopupAt(int screenX, int screenY) {
  SetForegroundWindow(hwnd_);
  // The chosen item comes back as WM_COMMAND once the menu has closed.
  TrackPopupMenuEx(popup_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screenX, screenY,
                   hwnd_, nullptr);
}

void MainWindow::showPopupUnderLine(int line) {
  SendMessageW(list_, LVM_ENSUREVISIBLE, WPARAM(line), FALSE);
  RECT r{};
  r.left = LVIR_BOUNDS;
  if (!SendMessageW(list_, LVM_GETITEMRECT, WPARAM(line), reinterpret_cast<LPARAM>(&r)))
    GetClientRect(list_, &r);
  POINT corner{r.left, r.bottom};
  ClientToScreen(list_, &corner);
  showPopupAt(corner.x, corner.y);
}

std::string MainWindow::timeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned(now.wHour), unsigned(now.wMinute),
                unsigned(now.wSecond));
  return text;
}

void MainWindow::setUndoEnabled(bool enabled) {
  EnableMenuItem(popup_, UINT(kIdUndo), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

// ---- messages ----

int MainWindow::shiftState() {
  return (GetKeyState(VK_SHIFT) < 0 ? kShiftMask : 0) |
         (GetKeyState(VK_CONTROL) < 0 ? kCtrlMask : 0) | (GetKeyState(VK_MENU) < 0 ? kAltMask : 0);
}

bool MainWindow::ownsWindow(HWND hwnd) const {
  return hwnd && (hwnd == hwnd_ || IsChild(hwnd_, hwnd));
}

bool MainWindow::preview(const MSG& msg) {
  if (!dispatch_ || (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) ||
      !ownsWindow(msg.hwnd))
    return false;
  const int key = int(msg.wParam), shift = shiftState();
  // Key preview: the window sees every key press meant for one of its controls.
  dispatch_->keyDown(key, shift);
  // Ctrl+Z wherever the focus is, while there is a repair to take back.
  if (key == 'Z' && shift == kCtrlMask && dispatch_->canUndo()) {
    dispatch_->menuClick(kUndoName);
    return true;
  }
  // Tab and Shift+Tab: from the tree to the list and back.
  if (key == VK_TAB && (shift & (kCtrlMask | kAltMask)) == 0) {
    SetFocus(GetFocus() == tree_ ? list_ : tree_);
    return true;
  }
  return false;
}

void MainWindow::deliver(MSG& msg) {
  if (preview(msg)) return;
  TranslateMessage(&msg);
  const bool toTree = msg.hwnd == tree_ && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
  const bool before = treeKeys_;
  if (toTree) treeKeys_ = true;
  DispatchMessageW(&msg);
  treeKeys_ = before;
}

int MainWindow::run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) deliver(msg);
  return int(msg.wParam);
}

void MainWindow::close() {
  if (closed_) return;
  closed_ = true;
  savePlacement();
  KillTimer(hwnd_, kClockTimer);
  if (dispatch_) dispatch_->unload();
  DestroyWindow(hwnd_);
}

void MainWindow::command(int id) {
  if (!dispatch_) return;
  if (id >= kIdButtonFirst && id < kIdButtonFirst + kButtonCount) {
    dispatch_->buttonClick(kButtons[id - kIdButtonFirst].key);
  } else if (id >= kIdMenuFirst && id < kIdMenuFirst + kMenuCount) {
    dispatch_->menuClick(kMenuItems[id - kIdMenuFirst].name);
  } else if (id == kIdUndo) {
    dispatch_->menuClick(kUndoName);
  }
}

LRESULT MainWindow::notify(const NMHDR& header) {
  if (!dispatch_) return 0;
  if (header.code == TTN_GETDISPINFOW) {
    // The toolbar's tool tips.
    auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
    const int i = int(header.idFrom) - kIdButtonFirst;
    if (i >= 0 && i < kButtonCount) {
      info.lpszText = tips_[i].data();
      info.hinst = nullptr;
    }
    return 0;
  }
  if (header.hwndFrom == tree_) {
    if (header.code == NM_CLICK) {
      // The tree moves its selection after it reports the click.
      PostMessageW(hwnd_, kMsgTreeClick, 0, 0);
    } else if (header.code == TVN_SELCHANGEDW) {
      const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
      if (change.action == TVC_BYKEYBOARD || (change.action == TVC_UNKNOWN && treeKeys_))
        dispatch_->treeSelectionChanged();
    }
  } else if (header.hwndFrom == list_ && header.code == LVN_GETDISPINFOW) {
    listControl_->display(const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)));
  } else if (header.hwndFrom == status_ && header.code == NM_DBLCLK) {
    const auto& mouse = reinterpret_cast<const NMMOUSE&>(header);
    if (mouse.dwItemSpec < DWORD_PTR(kPanelCount))
      dispatch_->panelDblClick(kPanels[mouse.dwItemSpec].key);
  }
  return 0;
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      command(LOWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return notify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_MENUSELECT:
      menuTip(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
      return 0;
    case WM_EXITMENULOOP:
      menuTip(0, 0xFFFF, nullptr);
      return 0;
    case kMsgTreeClick:
      if (dispatch_) dispatch_->treeClick();
      return 0;
    case WM_TIMER:
      if (wParam == kClockTimer && dispatch_) dispatch_->tick();
      return 0;
    case WM_SIZE:
      layoutControls();
      return 0;
    case WM_GETMINMAXINFO: {
      // The layout's client area is the smallest size; the operator may widen the window.
      RECT frame{0, 0, scaled(kLayoutWidth), scaled(kLayoutHeight)};
      AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
      return 0;
    }
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      applyDpi();
      return 0;
    }
    case WM_SETCURSOR:
      if (events_ && events_->busy() && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // The control that had the focus gets it back when the window is active again.
      if (LOWORD(wParam) == WA_INACTIVE && ownsWindow(GetFocus()) && GetFocus() != hwnd_)
        focus_ = GetFocus();
      break;
    case WM_SETFOCUS:
      SetFocus(focus_ && IsWindow(focus_) ? focus_ : tree_);
      return 0;
    case WM_CLOSE:
      close();  // never refused
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd_, kClockTimer);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  }
  if (!self || !self->hwnd_) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->handle(message, wParam, lParam);
}

// The list: every mouse release is reported with the pointer's place on the screen; a
// right press only takes the focus (the popup acts on the line selected before it); the
// Menu key and Shift+F10 ask for the popup under the selected line.
LRESULT CALLBACK MainWindow::listProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<MainWindow*>(data);
  const auto released = [&](int button) {
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(hwnd, &p);
    if (self->dispatch_) self->dispatch_->mouseUp(button, shiftState(), p.x, p.y);
  };
  switch (message) {
    case WM_RBUTTONDOWN:
      SetFocus(hwnd);
      return 0;
    case WM_RBUTTONUP:
      released(kRightButton);
      return 0;  // no WM_CONTEXTMENU after it: the release was the popup's cue
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      // The view follows the press itself, up to its release, and keeps that release.
      const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
      released(message == WM_LBUTTONDOWN ? kLeftButton : kMiddleButton);
      return result;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (isPopupKey(int(wParam), shiftState())) {
        if (self->dispatch_) self->dispatch_->popupKey();
        return 0;
      }
      break;
    case WM_CONTEXTMENU:
      return 0;  // the keys above and the release of the right button
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, listProc, kSubclassId);
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace app::win32
