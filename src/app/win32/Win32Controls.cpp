#include "app/win32/Win32Controls.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "app/win32/Ids.h"
#include "app/dispatch/Window.h"
#include "jet/Error.h"

namespace app::win32 {

namespace {

// The numbers and texts the common controls raise for a bad key or index.
constexpr int kIndexOutOfBounds = 35600;
constexpr int kElementNotFound = 35601;
constexpr int kKeyNotUnique = 35602;

// ---- dialog templates in memory ----

// Builds a DLGTEMPLATE and its items: words, strings and DWORD-aligned items as the system
// reads them.
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, short cx, short cy) {
    style |= DS_SETFONT | DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dword(style);
    dword(0);     // extended style
    word(0);      // item count, set by item()
    word(0);      // x
    word(0);      // y
    word(WORD(cx));
    word(WORD(cy));
    word(0);      // no menu
    word(0);      // the dialog class
    string(L"");  // the title, set when the dialog starts
    word(9);      // the shell's dialog font, 9 points
    string(L"MS Shell Dlg");
  }
  // `atom`: 0x80 button, 0x81 edit, 0x82 static; or `className` when atom is 0.
  void item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom,
            const wchar_t* className = nullptr, const wchar_t* text = L"") {
    while (data_.size() % 2) data_.push_back(0);  // items start on a DWORD
    dword(style | WS_CHILD | WS_VISIBLE);
    dword(0);
    word(WORD(x));
    word(WORD(y));
    word(WORD(cx));
    word(WORD(cy));
    word(id);
    if (atom) {
      word(0xFFFF);
      word(atom);
    } else {
      string(className);
    }
    string(text);
    word(0);  // no creation data
    ++data_[4];
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(data_.data()); }

 private:
  void word(WORD w) { data_.push_back(w); }
  void dword(DWORD d) {
    word(LOWORD(d));
    word(HIWORD(d));
  }
  void string(const wchar_t* s) {
    for (; *s; ++s) word(WORD(*s));
    word(0);
  }
  std::vector<WORD> data_;
};

int lineCount(const std::wstring& text) {
  return 1 + int(std::count(text.begin(), text.end(), L'\n'));
}

std::wstring windowText(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(size_t(length) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(control, text.data(), length + 1)));
  return text;
}

// The input box, as the commands ask for a value: the prompt, one line (several for a value
// that holds line breaks, masked for a password), 确定 and 取消.
struct InputBox {
  std::wstring title, prompt, text;
  bool multiline = false, masked = false;

  bool run(HWND owner) {
    const int promptLines = std::max(2, lineCount(prompt));
    const short promptHeight = short(std::min(120, promptLines * 9 + 2));
    const short editTop = short(7 + promptHeight + 4);
    const short editHeight = multiline ? 48 : 14;
    DialogTemplate t(DS_CENTER, 266, short(editTop + editHeight + 7));
    t.item(SS_LEFT | SS_NOPREFIX, 7, 7, 184, promptHeight, kIdBoxPrompt, 0x82);
    t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 202, 7, 57, 14, IDOK, 0x80, nullptr,
           wide(kOkText).c_str());
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 202, 25, 57, 14, IDCANCEL, 0x80, nullptr,
           wide(kCancelText).c_str());
    DWORD editStyle = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
    if (multiline) editStyle |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL;
    if (masked) editStyle |= ES_PASSWORD;
    t.item(editStyle, 7, editTop, 252, editHeight, kIdBoxEdit, 0x81);
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.get(), owner, proc,
                                   reinterpret_cast<LPARAM>(this)) == IDOK;
  }

  static INT_PTR CALLBACK proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* box = reinterpret_cast<InputBox*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
      case WM_INITDIALOG: {
        box = reinterpret_cast<InputBox*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetWindowTextW(dialog, box->title.c_str());
        SetDlgItemTextW(dialog, kIdBoxPrompt, box->prompt.c_str());
        HWND edit = GetDlgItem(dialog, kIdBoxEdit);
        SetWindowTextW(edit, box->text.c_str());
        SendMessageW(edit, EM_SETSEL, 0, -1);
        SetFocus(edit);
        return FALSE;  // the focus is set
      }
      case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
          if (LOWORD(wParam) == IDOK) box->text = windowText(GetDlgItem(dialog, kIdBoxEdit));
          // The line lets go of what was typed (a password) before the box goes.
          SetDlgItemTextW(dialog, kIdBoxEdit, L"");
          EndDialog(dialog, LOWORD(wParam));
          return TRUE;
        }
        break;
    }
    return FALSE;
  }
};

// A box shown during long work gets the ordinary arrow, not the work's wait cursor.
void arrowCursor() { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); }

}  // namespace

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string utf8(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, int(length), out.data(), n, nullptr, nullptr);
  return out;
}

std::string utf8(const std::wstring& text) { return utf8(text.data(), text.size()); }

// ---- TreeControl ----

TreeControl::Key TreeControl::keyOf(const check::NodeId& node) {
  switch (node.kind) {
    case check::NodeId::Kind::Root: return {0, {}, {}};
    case check::NodeId::Kind::Table: return {1, node.table, {}};
    case check::NodeId::Kind::Column: break;
  }
  return {2, node.table, node.column};
}

const TreeControl::Node& TreeControl::require(const check::NodeId& node) const {
  auto it = nodes_.find(keyOf(node));
  if (it == nodes_.end()) throw jet::Error(kElementNotFound, "找不到元素。");
  return it->second;
}

bool TreeControl::expanded(HTREEITEM item) const {
  return (TreeView_GetItemState(tree_, item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

void TreeControl::forget(HTREEITEM item) {
  for (HTREEITEM c = TreeView_GetChild(tree_, item); c; c = TreeView_GetNextSibling(tree_, c))
    forget(c);
  auto it = ids_.find(item);
  if (it != ids_.end()) {
    nodes_.erase(keyOf(it->second));
    ids_.erase(it);
  }
}

void TreeControl::clear() {
  wasExpanded_.clear();
  hadItems_ = !nodes_.empty();
  for (const auto& [key, node] : nodes_) {
    // A root without children has nothing to show open or shut: it counts as open.
    const bool open = expanded(node.item) ||
                      (std::get<0>(key) == 0 && TreeView_GetChild(tree_, node.item) == nullptr);
    if (open) wasExpanded_.insert(key);
  }
  nodes_.clear();
  ids_.clear();
  TreeView_DeleteAllItems(tree_);
}

void TreeControl::add(const check::NodeId& node, const std::string& text) {
  if (contains(node)) throw jet::Error(kKeyNotUnique, "键在此集合中不唯一。");
  HTREEITEM parent = TVI_ROOT;
  std::optional<check::NodeId> parentId;
  if (node.kind == check::NodeId::Kind::Table) {
    parentId = check::NodeId{};
  } else if (node.kind == check::NodeId::Kind::Column) {
    parentId = check::NodeId{check::NodeId::Kind::Table, node.table, {}};
  }
  if (parentId) parent = require(*parentId).item;
  std::wstring label = wide(text);
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = parentId ? TVI_LAST : TVI_FIRST;  // the root goes first
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = label.data();
  HTREEITEM item = TreeView_InsertItem(tree_, &insert);
  if (!item) throw jet::Error(kIndexOutOfBounds, "索引超出范围。");
  nodes_[keyOf(node)] = Node{item, text};
  ids_[item] = node;
  if (parentId && TreeView_GetChild(tree_, parent) == item &&
      TreeView_GetNextSibling(tree_, item) == nullptr) {
    const Key parentKey = keyOf(*parentId);
    const bool open = hadItems_ ? wasExpanded_.count(parentKey) > 0 : std::get<0>(parentKey) == 0;
    if (open) TreeView_Expand(tree_, parent, TVE_EXPAND);
  }
}

void TreeControl::setText(const check::NodeId& node, const std::string& text) {
  Node& n = const_cast<Node&>(require(node));
  std::wstring label = wide(text);
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = n.item;
  item.pszText = label.data();
  TreeView_SetItem(tree_, &item);
  n.text = text;
}

std::string TreeControl::text(const check::NodeId& node) const { return require(node).text; }

void TreeControl::remove(const check::NodeId& node) {
  HTREEITEM item = require(node).item;
  forget(item);
  TreeView_DeleteItem(tree_, item);
}

bool TreeControl::contains(const check::NodeId& node) const {
  return nodes_.count(keyOf(node)) > 0;
}

int TreeControl::childCount(const check::NodeId& node) const {
  int n = 0;
  for (HTREEITEM c = TreeView_GetChild(tree_, require(node).item); c;
       c = TreeView_GetNextSibling(tree_, c))
    ++n;
  return n;
}

std::optional<check::NodeId> TreeControl::selected() const {
  HTREEITEM item = TreeView_GetSelection(tree_);
  auto it = item ? ids_.find(item) : ids_.end();
  if (it == ids_.end()) return std::nullopt;
  return it->second;
}

// ---- ListControl ----

std::wstring ListControl::shown(const std::string& text) {
  std::wstring w = wide(text), out;
  out.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    if (w[i] == L'\r' && i + 1 < w.size() && w[i + 1] == L'\n') ++i;
    out.push_back(w[i] == L'\r' || w[i] == L'\n' ? L'\u21b5' : w[i]);
  }
  return out;
}

void ListControl::display(NMLVDISPINFOW& info) const {
  if (!(info.item.mask & LVIF_TEXT) || !info.item.pszText || info.item.cchTextMax <= 0) return;
  const int index = info.item.iItem;
  std::wstring text = index >= 0 && index < int(lines_.size()) ? shown(lines_[size_t(index)].text) : L"";
  const size_t n = std::min(text.size(), size_t(info.item.cchTextMax - 1));
  std::memcpy(info.item.pszText, text.data(), n * sizeof(wchar_t));
  info.item.pszText[n] = L'\0';
}

void ListControl::resize() {
  SendMessageW(list_, LVM_SETITEMCOUNT, WPARAM(lines_.size()), LVSICF_NOSCROLL);
  InvalidateRect(list_, nullptr, TRUE);
}

void ListControl::select(int index) {
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list_, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&state));
  if (index < 0) return;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list_, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(&state));
}

void ListControl::clear() {
  lines_.clear();
  select(-1);
  resize();
}

void ListControl::addItem(const std::string& text, const check::LineTag& tag) {
  lines_.push_back(Line{text, tag});
  SendMessageW(list_, LVM_SETITEMCOUNT, WPARAM(lines_.size()),
               LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
}

int ListControl::count() const { return int(lines_.size()); }

std::string ListControl::item(int index) const {
  checkIndex(index);
  return lines_[size_t(index)].text;
}

void ListControl::setItem(int index, const std::string& text) {
  checkIndex(index);
  lines_[size_t(index)].text = text;
  SendMessageW(list_, LVM_REDRAWITEMS, WPARAM(index), LPARAM(index));
}

check::LineTag ListControl::tag(int index) const {
  checkIndex(index);
  return lines_[size_t(index)].tag;
}

void ListControl::removeItem(int index) {
  checkIndex(index);
  const int selected = listIndex();
  lines_.erase(lines_.begin() + index);
  resize();
  // A removed selected line leaves no line selected, rather than the one that slid up.
  select(selected == index ? -1 : selected > index ? selected - 1 : selected);
}

int ListControl::listIndex() const {
  const LRESULT i = SendMessageW(list_, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED);
  return i < 0 || i >= LRESULT(lines_.size()) ? -1 : int(i);
}

int ListControl::findLine(const std::string& bookmark, const std::string& query, int from) const {
  const int n = count();
  if (from < 0 || from >= n) from = 0;
  for (int k = 0; k < n; ++k) {
    const int i = (from + k) % n;
    const Line& line = lines_[size_t(i)];
    if (line.tag.bookmark == bookmark && line.tag.query == query) return i;
  }
  return -1;
}

void ListControl::applyStaged() {
  auto [items, removals] = takeStaged();
  for (auto& [index, text] : items) lines_[size_t(index)].text = std::move(text);
  // The lines that stay, in order; a removed selected line leaves none selected.
  const int selected = listIndex();
  int selectedAfter = -1;
  std::vector<Line> kept;
  kept.reserve(lines_.size() - removals.size());
  size_t r = 0;
  for (int i = 0; i < int(lines_.size()); ++i) {
    if (r < removals.size() && removals[r] == i) {
      ++r;
      continue;
    }
    if (i == selected) selectedAfter = int(kept.size());
    kept.push_back(std::move(lines_[size_t(i)]));
  }
  lines_ = std::move(kept);
  resize();
  select(selectedAfter);
}

// ---- PanelControl ----

size_t PanelControl::index(int position) const {
  if (position < 1 || position > int(texts_.size()))
    throw jet::Error(kIndexOutOfBounds, "索引超出范围。");
  return size_t(position - 1);
}

void PanelControl::setPanelText(int position, const std::string& text) {
  const size_t i = index(position);
  texts_[i] = wide(text);
  SendMessageW(status_, SB_SETTEXTW, WPARAM(i), reinterpret_cast<LPARAM>(texts_[i].c_str()));
  // The whole text, where the panel is too narrow for it.
  SendMessageW(status_, SB_SETTIPTEXTW, WPARAM(i), reinterpret_cast<LPARAM>(texts_[i].c_str()));
}

std::string PanelControl::panelText(int position) const { return utf8(texts_[index(position)]); }

// ---- Win32Dialogs ----

void Win32Dialogs::message(const std::string& text) {
  arrowCursor();
  MessageBoxW(owner_, wide(text).c_str(), wide(kCaption).c_str(), MB_OK);
}

std::string Win32Dialogs::input(const std::string& prompt, const std::string& title,
                                const std::string& defaultAnswer) {
  arrowCursor();
  InputBox box;
  box.title = wide(title);
  box.prompt = wide(prompt);
  box.multiline = defaultAnswer.find('\n') != std::string::npos;
  std::string shown = defaultAnswer;
  const bool bareBreaks = defaultAnswer.find('\r') == std::string::npos;
  if (box.multiline && bareBreaks) {
    // The edit control breaks lines at "\r\n" only.
    shown.clear();
    for (char c : defaultAnswer) {
      if (c == '\n') shown += '\r';
      shown += c;
    }
  }
  box.text = wide(shown);
  if (!box.run(owner_)) return {};
  std::string answer = utf8(box.text);
  if (box.multiline && bareBreaks) answer.erase(std::remove(answer.begin(), answer.end(), '\r'), answer.end());
  return answer;
}

std::optional<jet::Secret> Win32Dialogs::password(const std::string& prompt,
                                                  const std::string& refusal) {
  if (!refusal.empty()) message(refusal);
  arrowCursor();
  InputBox box;
  box.title = wide(kCaption);
  box.prompt = wide(prompt);
  box.masked = true;
  const bool accepted = box.run(owner_);
  std::optional<jet::Secret> typed;
  if (accepted) {
    std::string text = utf8(box.text);
    typed.emplace(std::string_view(text));
    jet::wipe(text.data(), text.size());
  }
  jet::wipe(box.text.data(), box.text.size() * sizeof(wchar_t));
  return typed;
}

std::string Win32Dialogs::openFile() {
  arrowCursor();
  // "description\0patterns\0…\0": the system separates patterns with semicolons.
  std::wstring filter;
  for (const FilterDef& f : kOpenFilters) {
    std::wstring patterns = wide(f.patterns);
    std::replace(patterns.begin(), patterns.end(), L' ', L';');
    filter += wide(f.description) + L'\0' + patterns + L'\0';
  }
  filter += L'\0';
  std::wstring title = wide(kOpenTitle), suffix = wide(kOpenDefaultSuffix);
  std::vector<wchar_t> file(32768, L'\0');  // shown with an empty name
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner_;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = DWORD(file.size());
  ofn.lpstrTitle = title.c_str();
  ofn.lpstrDefExt = suffix.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
              OFN_NOCHANGEDIR | OFN_ENABLESIZING;
  if (!GetOpenFileNameW(&ofn)) return {};
  return utf8(file.data(), wcslen(file.data()));
}

// ---- Win32EventPump ----

Win32EventPump::~Win32EventPump() { endProgress(); }

void Win32EventPump::pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));  // for the loop that waits for it
      break;
    }
    if (progress_ && IsDialogMessageW(progress_, &msg)) continue;
    deliver_(msg);
  }
}

void Win32EventPump::yield() { pump(); }

void Win32EventPump::beginBusy() {
  if (busy_++ == 0) SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void Win32EventPump::endBusy() {
  if (busy_ > 0 && --busy_ == 0) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

// Paints the window and its controls at once, without running the operator's input.
void Win32EventPump::paint() {
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

INT_PTR CALLBACK Win32EventPump::progressProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  auto* pump = reinterpret_cast<Win32EventPump*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL && pump) {
        pump->cancelled_ = true;
        EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        return TRUE;
      }
      break;
    case WM_SETCURSOR:
      // The 取消 button takes a click: an arrow with the busy mark.
      SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
      return TRUE;
  }
  return FALSE;
}

void Win32EventPump::showProgress(const std::string& text, int64_t total) {
  endProgress();
  DialogTemplate t(DS_CENTER, 240, 67);
  t.item(SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 7, 7, 226, 18, kIdProgressText, 0x82);
  t.item(0, 7, 28, 226, 10, kIdProgressBar, 0, PROGRESS_CLASSW);
  t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 91, 45, 57, 14, IDCANCEL, 0x80, nullptr,
         wide(kCancelText).c_str());
  cancelled_ = false;
  total_ = std::max<int64_t>(total, 0);
  progress_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), t.get(), window_,
                                         progressProc, reinterpret_cast<LPARAM>(this));
  if (!progress_) return;
  SetWindowTextW(progress_, wide(kCaption).c_str());
  SetDlgItemTextW(progress_, kIdProgressText, wide(text).c_str());
  SendDlgItemMessageW(progress_, kIdProgressBar, PBM_SETRANGE32, 0, 1000);
  // Nothing else of the window takes input while the work runs.
  EnableWindow(window_, FALSE);
  ShowWindow(progress_, SW_SHOW);
  pump();
}

bool Win32EventPump::progress(const std::string& text, int64_t done) {
  if (!progress_) return true;
  SetDlgItemTextW(progress_, kIdProgressText, wide(text).c_str());
  const int64_t permille = total_ > 0 ? std::clamp<int64_t>(done * 1000 / total_, 0, 1000) : 0;
  SendDlgItemMessageW(progress_, kIdProgressBar, PBM_SETPOS, WPARAM(permille), 0);
  // The dialog's own input, repaints and the clock; the disabled window takes no input.
  pump();
  return !cancelled_;
}

void Win32EventPump::endProgress() {
  if (!progress_) return;
  // The window first, so that it becomes the active one again when the dialog goes.
  EnableWindow(window_, TRUE);
  DestroyWindow(progress_);
  progress_ = nullptr;
}

}  // namespace app::win32
