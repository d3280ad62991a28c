// Drives the Windows window (mdbcheck.exe) from another process, the way the desktop's own
// tools do: it finds the window and its boxes, presses buttons, clicks the tree and the
// list, chooses popup items with the keyboard, types into the boxes and reads every control
// back through the controls' own messages. Run under wine on a real X display (Xvfb).
//
//   mdbcheck-driver road EXE DATABASE    the operator's road; exit status 0 when it held
//   mdbcheck-driver shot EXE DATABASE OUT.bmp
//                                        the character check of 凭证.摘要, as a picture
//
// The database is changed in place; the road's caller reads it back afterwards.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/dispatch/Window.h"
#include "app/win32/Ids.h"

namespace {

using namespace app::win32;

int failures = 0;
DWORD targetPid = 0;
HANDLE targetProcess = nullptr;

std::wstring wide(const std::string& s) {
  std::wstring w(s.size() + 1, L'\0');
  w.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), int(w.size()))));
  return w;
}
std::string narrow(const std::wstring& w) {
  std::string s(w.size() * 4 + 1, '\0');
  s.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), int(s.size()),
                                      nullptr, nullptr)));
  return s;
}

void say(const std::string& text) {
  std::string line = "driver: " + text + "\n";
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
}

void expect(bool ok, const std::string& what) {
  if (!ok) ++failures;
  say(std::string(ok ? "ok   " : "FAIL ") + what);
}

template <class T>
void expectEq(const T& seen, const T& wanted, const std::string& what);
template <>
void expectEq(const std::string& seen, const std::string& wanted, const std::string& what) {
  expect(seen == wanted, what + (seen == wanted ? "" : ": saw \"" + seen + "\", wanted \"" + wanted + "\""));
}

bool waitFor(const std::function<bool()>& ready, int ms = 8000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  return true;
}

// ---- reading another process's controls ----

// Memory in the window's process for the controls' messages that take pointers.
class Remote {
 public:
  explicit Remote(size_t size) : size_(size) {
    base_ = VirtualAllocEx(targetProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~Remote() { VirtualFreeEx(targetProcess, base_, 0, MEM_RELEASE); }
  LPARAM at(size_t offset = 0) const { return reinterpret_cast<LPARAM>(static_cast<char*>(base_) + offset); }
  void write(const void* data, size_t n, size_t offset = 0) {
    WriteProcessMemory(targetProcess, static_cast<char*>(base_) + offset, data, n, nullptr);
  }
  void read(void* data, size_t n, size_t offset = 0) const {
    ReadProcessMemory(targetProcess, static_cast<char*>(base_) + offset, data, n, nullptr);
  }

 private:
  void* base_;
  size_t size_;
};

std::wstring text(HWND hwnd) {
  wchar_t buffer[4096] = {};
  SendMessageW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));  // marshalled
  return buffer;
}

std::string className(HWND hwnd) {
  wchar_t name[128] = {};
  GetClassNameW(hwnd, name, 128);
  return narrow(name);
}

// A visible top-level window of the window's process with this class (and title, if given).
HWND findTop(const std::string& cls, const std::string& title = {}, HWND except = nullptr) {
  struct Search {
    std::string cls, title;
    HWND except, found;
  } search{cls, title, except, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM p) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid != targetPid || hwnd == s.except || !IsWindowVisible(hwnd)) return TRUE;
        if (className(hwnd) != s.cls) return TRUE;
        if (!s.title.empty() && narrow(text(hwnd)) != s.title) return TRUE;
        s.found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND waitTop(const std::string& cls, const std::string& title = {}, HWND except = nullptr,
             int ms = 8000) {
  HWND found = nullptr;
  waitFor([&] { return (found = findTop(cls, title, except)) != nullptr; }, ms);
  return found;
}

struct Window {
  HWND main, toolbar, tree, list, status;
};
Window w;

std::string treeText(HTREEITEM item) {
  Remote mem(sizeof(TVITEMW) + 1024);
  TVITEMW tv{};
  tv.mask = TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = reinterpret_cast<wchar_t*>(mem.at(sizeof tv));
  tv.cchTextMax = 500;
  mem.write(&tv, sizeof tv);
  SendMessageW(w.tree, TVM_GETITEMW, 0, mem.at());
  wchar_t buffer[512] = {};
  mem.read(buffer, 1000, sizeof tv);
  return narrow(buffer);
}

HTREEITEM treeNext(HTREEITEM item, UINT how) {
  return reinterpret_cast<HTREEITEM>(SendMessageW(w.tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}
HTREEITEM treeRoot() { return treeNext(nullptr, TVGN_ROOT); }
HTREEITEM treeChild(HTREEITEM parent, const std::string& label) {
  for (HTREEITEM c = treeNext(parent, TVGN_CHILD); c; c = treeNext(c, TVGN_NEXT))
    if (treeText(c) == label) return c;
  return nullptr;
}
std::string rootText() {
  HTREEITEM r = treeRoot();
  return r ? treeText(r) : std::string();
}

// The tree as "table: column(n条) ..." lines.
std::vector<std::string> treeLines() {
  std::vector<std::string> lines;
  HTREEITEM r = treeRoot();
  if (!r) return lines;
  for (HTREEITEM t = treeNext(r, TVGN_CHILD); t; t = treeNext(t, TVGN_NEXT)) {
    std::string line = treeText(t) + ":";
    for (HTREEITEM c = treeNext(t, TVGN_CHILD); c; c = treeNext(c, TVGN_NEXT)) line += " " + treeText(c);
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> listLines() {
  std::vector<std::string> lines;
  const int n = int(SendMessageW(w.list, LVM_GETITEMCOUNT, 0, 0));
  Remote mem(sizeof(LVITEMW) + 2048);
  for (int i = 0; i < n; ++i) {
    LVITEMW item{};
    item.iItem = i;
    item.mask = LVIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(mem.at(sizeof item));
    item.cchTextMax = 1000;
    mem.write(&item, sizeof item);
    SendMessageW(w.list, LVM_GETITEMTEXTW, WPARAM(i), mem.at());
    wchar_t buffer[1001] = {};
    mem.read(buffer, 2000, sizeof item);
    lines.push_back(narrow(buffer));
  }
  return lines;
}

int listSelection() { return int(SendMessageW(w.list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); }

std::string panel(int position) {
  Remote mem(2048);
  SendMessageW(w.status, SB_GETTEXTW, WPARAM(position - 1), mem.at());
  wchar_t buffer[1024] = {};
  mem.read(buffer, 2000);
  return narrow(buffer);
}

std::string join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += (s.empty() ? "" : " | ") + l;
  return s;
}

// ---- acting ----

void pressButton(const char* key) {
  for (int i = 0; i < int(std::size(app::kButtons)); ++i)
    if (std::string(app::kButtons[i].key) == key)
      PostMessageW(w.main, WM_COMMAND, MAKEWPARAM(kIdButtonFirst + i, BN_CLICKED),
                   reinterpret_cast<LPARAM>(w.toolbar));
}

void click(HWND hwnd, POINT p, UINT down, UINT up, WPARAM keys) {
  PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
  PostMessageW(hwnd, down, keys, MAKELPARAM(p.x, p.y));
  PostMessageW(hwnd, up, 0, MAKELPARAM(p.x, p.y));
}

void clickTreeItem(HTREEITEM item) {
  SendMessageW(w.tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  Remote mem(sizeof(RECT));
  RECT r{};
  *reinterpret_cast<HTREEITEM*>(&r) = item;
  mem.write(&r, sizeof r);
  SendMessageW(w.tree, TVM_GETITEMRECT, TRUE, mem.at());
  mem.read(&r, sizeof r);
  click(w.tree, {(r.left + r.right) / 2, (r.top + r.bottom) / 2}, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON);
}

// Opens the table's node and clicks the column's line; waits for its values.
bool clickColumn(const std::string& table, const std::string& column, size_t lines) {
  HTREEITEM t = treeChild(treeRoot(), table);
  if (!t) return false;
  SendMessageW(w.tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(t));
  HTREEITEM c = treeChild(t, column);
  if (!c) return false;
  clickTreeItem(c);
  return waitFor([&] { return listLines().size() == lines; });
}

POINT listLinePoint(int line) {
  Remote mem(sizeof(RECT));
  RECT r{};
  r.left = LVIR_LABEL;
  mem.write(&r, sizeof r);
  SendMessageW(w.list, LVM_GETITEMRECT, WPARAM(line), mem.at());
  mem.read(&r, sizeof r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Selects the line with the left button, right-clicks it and chooses the popup's item
// with the keyboard, as far down as the item's place.
bool popupCommand(int line, const char* name) {
  const POINT p = listLinePoint(line);
  click(w.list, p, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON);
  if (!waitFor([&] { return listSelection() == line; })) {
    say("the line was not selected");
    return false;
  }
  click(w.list, p, WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON);
  HWND menu = waitTop("#32768");
  if (!menu) {
    say("no popup menu");
    return false;
  }
  int index = 0;
  while (std::string(app::kMenuItems[index].name) != name) ++index;
  for (int i = 0; i <= index; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  return true;
}

// The dialog box of the window's process that holds a control with this number.
HWND waitBox(int controlId) {
  HWND found = nullptr;
  waitFor([&] {
    found = findTop("#32770");
    return found && GetDlgItem(found, controlId);
  });
  return found && GetDlgItem(found, controlId) ? found : nullptr;
}

// Types `answer` into the next input box and presses 确定; returns its prompt and title.
std::pair<std::string, std::string> answerInput(const std::string& answer) {
  HWND box = waitBox(kIdBoxEdit);
  if (!box) return {"(no input box)", ""};
  const std::string prompt = narrow(text(GetDlgItem(box, kIdBoxPrompt)));
  const std::string title = narrow(text(box));
  SendMessageW(GetDlgItem(box, kIdBoxEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(answer).c_str()));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  return {prompt, title};
}

// Reads the next message box and presses its button; returns its text and title.
std::pair<std::string, std::string> acknowledge() {
  HWND box = waitBox(0xFFFF);  // the message box's text
  if (!box) return {"(no message box)", ""};
  const std::string message = narrow(text(GetDlgItem(box, 0xFFFF)));
  const std::string title = narrow(text(box));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  waitFor([&] { return !IsWindow(box); });
  return {message, title};
}

// Types the path into the system's file-open dialog and presses its Open button.
bool openByDialog(const std::wstring& path, std::string* titleSeen) {
  pressButton("Open");
  HWND dialog = waitTop("#32770", app::kOpenTitle);
  if (!dialog) return false;
  *titleSeen = narrow(text(dialog));
  HWND name = nullptr;
  for (int id : {0x47C /* cmb13 */, 0x480 /* edt1 */}) {
    if ((name = GetDlgItem(dialog, id))) break;
  }
  if (!name) return false;
  if (className(name).find("ComboBox") != std::string::npos) {
    HWND edit = FindWindowExW(name, nullptr, L"Edit", nullptr);
    if (!edit) edit = FindWindowExW(FindWindowExW(name, nullptr, L"ComboBox", nullptr), nullptr, L"Edit", nullptr);
    if (edit) name = edit;
  }
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  return waitFor([&] { return !IsWindow(dialog); });
}

// A key with modifiers through the system's input, to the active window.
void keys(std::initializer_list<WORD> held, WORD key) {
  std::vector<INPUT> in;
  auto add = [&](WORD vk, bool up) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = vk;
    i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    in.push_back(i);
  };
  for (WORD h : held) add(h, false);
  add(key, false);
  add(key, true);
  for (auto it = std::rbegin(held); it != std::rend(held); ++it) add(*it, true);
  SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

// The window as it is on the screen, frame included, as a 24-bit BMP.
bool capture(HWND hwnd, const std::wstring& path) {
  RECT r;
  GetWindowRect(hwnd, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = DWORD((width * 3 + 3) & ~3), size = stride * DWORD(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + size;
  info.bmiHeader.biSizeImage = size;
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  const bool ok = out != INVALID_HANDLE_VALUE && WriteFile(out, &file, sizeof file, &written, nullptr) &&
                  WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                  WriteFile(out, bits, size, &written, nullptr);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

// ---- the program ----

PROCESS_INFORMATION start(const std::wstring& exe) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring command = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return pi;
  targetPid = pi.dwProcessId;
  targetProcess = pi.hProcess;
  WaitForInputIdle(pi.hProcess, 15000);
  return pi;
}

bool findControls() {
  w.main = waitTop(narrow(kWindowClass), app::kCaption, nullptr, 30000);
  if (!w.main) return false;
  w.toolbar = GetDlgItem(w.main, kIdToolbar);
  w.tree = GetDlgItem(w.main, kIdTree);
  w.list = GetDlgItem(w.main, kIdList);
  w.status = GetDlgItem(w.main, kIdStatus);
  return w.toolbar && w.tree && w.list && w.status;
}

// The window is made of the system's own controls, with the caption, the icon, the four
// buttons and their tips, and the three panels.
bool carriesIcon(const std::wstring& exe) {
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  const bool found = FindResourceW(module, MAKEINTRESOURCEW(kIconBook), RT_GROUP_ICON) != nullptr;
  FreeLibrary(module);
  return found;
}

void checkControls(const std::wstring& exe) {
  expectEq(narrow(text(w.main)), std::string(app::kCaption), "caption");
  expectEq(className(w.toolbar), std::string("ToolbarWindow32"), "toolbar control");
  expectEq(className(w.tree), std::string("SysTreeView32"), "tree control");
  expectEq(className(w.list), std::string("SysListView32"), "list control");
  expectEq(className(w.status), std::string("msctls_statusbar32"), "status bar control");
  expect(SendMessageW(w.toolbar, TB_BUTTONCOUNT, 0, 0) == 4, "four toolbar buttons");
  expect(SendMessageW(w.toolbar, TB_GETTOOLTIPS, 0, 0) != 0, "the toolbar has tool tips");
  expect(SendMessageW(w.status, SB_GETPARTS, 0, 0) == 3, "three status panels");
  expect(SendMessageW(w.main, WM_GETICON, ICON_BIG, 0) != 0 || carriesIcon(exe),
         "the program carries its icon");
  expect((GetWindowLongW(w.main, GWL_STYLE) & WS_THICKFRAME) != 0, "the window is resizable");
}

bool closeAndWait(const PROCESS_INFORMATION& pi, DWORD* exitCode) {
  PostMessageW(w.main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(pi.hProcess, exitCode);
  return true;
}

int road(const std::wstring& exe, const std::wstring& database) {
  PROCESS_INFORMATION pi = start(exe);
  if (!pi.hProcess || !findControls()) {
    say("FAIL the window did not come up");
    if (pi.hProcess) TerminateProcess(pi.hProcess, 9);
    return 2;
  }
  checkControls(exe);
  const bool ticks = waitFor([] { return panel(2).size() == 8; }, 5000);
  expect(ticks, "the clock ticks: " + panel(2));

  // Open, through the system's dialog.
  std::string title;
  expect(openByDialog(database, &title), "the file dialog takes the path");
  expectEq(title, std::string(app::kOpenTitle), "file dialog's title");
  expect(waitFor([] { return panel(1) == "road.mdb"; }), "status shows the file: " + panel(1));
  expectEq(panel(3), std::string("-+*/#%<>:,{=''"), "status shows the characters");

  // The date check.
  pressButton("Tavrin");
  const std::vector<std::string> dateTree{
      "a,b: d(1条)", "Big: D(40000条)", "Order Details: Delivered(2条)",
      "Orders: OrderDate(2条) Shipped(3条)", "Reserved: Date(1条)", "ROOT: When(1条)",
      "Shipments: Ship Date(1条)", "凭证: 制单日期(5条)"};
  // The tree grows while the check runs: the whole of it, once the check is done.
  const bool grown = waitFor([&] { return rootText() == "表" && treeLines() == dateTree; });
  expect(grown, "the date check's tree: " + rootText() + " " + join(treeLines()));

  // A column's values, and one of them updated through the popup and the input box.
  expect(clickColumn("Orders", "Shipped(3条)", 3), "a click on Shipped lists 3 values");
  std::vector<std::string> lines = listLines();
  std::sort(lines.begin(), lines.end());
  expectEq(join(lines), join({"1899-12-30 10:00:00", "1899-12-31", "1899-12-31 23:59:59"}),
           "Shipped's values");
  expect(popupCommand(0, "Update"), "the popup's 更新");
  auto [prompt, boxTitle] = answerInput("2024-6-30");
  expectEq(prompt, std::string("输入新日期"), "update's prompt");
  expect(waitFor([] { auto l = listLines(); return !l.empty() && l[0] == "2024-06-30"; }),
         "the line shows the stored value: " + join(listLines()));

  // The batch on OrderDate (an indexed column), from the popup.
  expect(clickColumn("Orders", "OrderDate(2条)", 2), "a click on OrderDate lists 2 values");
  const std::vector<std::string> before = listLines();
  expect(popupCommand(0, "BatchUpdate"), "the popup's 批量更新");
  prompt = answerInput("2001-2-3").first;
  expectEq(prompt, std::string("输入新日期"), "batch update's prompt");
  expect(waitFor([] { return listLines() == std::vector<std::string>{"2001-02-03", "2001-02-03"}; }),
         "both lines rewritten: " + join(listLines()));
  HTREEITEM orders = treeChild(treeRoot(), "Orders");
  expect(orders && treeChild(orders, "OrderDate(0条)"), "the count follows the batch");

  // Ctrl+Z: the batch is taken back.
  SetForegroundWindow(w.main);
  waitFor([] { return GetForegroundWindow() == w.main; }, 3000);
  keys({VK_CONTROL}, 'Z');
  auto [undone, undoTitle] = acknowledge();
  expectEq(undone, std::string("已撤销上一次修复：恢复了 2 个值。"), "Ctrl+Z's message");
  expectEq(undoTitle, std::string(app::kCaption), "a message box's title");
  expect(waitFor([&] { return listLines() == before; }), "the old values are back: " + join(listLines()));
  expect(orders && treeChild(orders, "OrderDate(2条)"), "and their count");

  // The character check.
  pressButton("CheckChar");
  expect(waitFor([] { return rootText() == "表" && treeChild(treeRoot(), "凭证"); }),
         "the character check lists 凭证: " + join(treeLines()));

  // F1 wherever the focus is.
  SetForegroundWindow(w.main);
  keys({}, VK_F1);
  expectEq(acknowledge().first, std::string(app::kHelpText), "F1's help");

  // Close: the program ends and lets go of the file.
  DWORD exitCode = 99;
  expect(closeAndWait(pi, &exitCode), "the window closes");
  expect(exitCode == 0, "exit status 0");
  if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 9);
  say(failures ? std::to_string(failures) + " failed" : "the road held");
  return failures ? 1 : 0;
}

int shot(const std::wstring& exe, const std::wstring& database, const std::wstring& out) {
  PROCESS_INFORMATION pi = start(exe);
  if (!pi.hProcess || !findControls()) return 2;
  std::string title;
  if (!openByDialog(database, &title)) return 3;
  pressButton("CheckChar");
  if (!waitFor([] { return treeChild(treeRoot(), "凭证") != nullptr; })) return 4;
  HTREEITEM root = treeRoot();
  for (HTREEITEM t = treeNext(root, TVGN_CHILD); t; t = treeNext(t, TVGN_NEXT))
    SendMessageW(w.tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(t));
  HTREEITEM voucher = treeChild(root, "凭证");
  HTREEITEM summary = voucher ? treeNext(voucher, TVGN_CHILD) : nullptr;
  while (summary && treeText(summary).rfind("摘要(", 0) != 0) summary = treeNext(summary, TVGN_NEXT);
  if (summary) {
    clickTreeItem(summary);
    waitFor([] { return !listLines().empty(); });
    const POINT p = listLinePoint(0);
    click(w.list, p, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON);
  }
  SendMessageW(w.tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(root));
  // Let the clock tick and everything paint.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const bool ok = capture(w.main, out);
  DWORD exitCode = 0;
  closeAndWait(pi, &exitCode);
  return ok ? 0 : 5;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"road" && argc == 4) return road(argv[2], argv[3]);
  if (mode == L"shot" && argc == 5) return shot(argv[2], argv[3], argv[4]);
  say("usage: mdbcheck-driver road EXE DATABASE | shot EXE DATABASE OUT.bmp");
  return 64;
}
