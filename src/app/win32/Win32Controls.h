#pragma once
// The Windows controls behind the check commands' control interfaces: the tree view, the
// list view, the status bar's parts, the system's boxes and the event pump. Each adapter
// works on a control the window owns and outlives none of them. Text crosses to the system
// as UTF-16 and comes back as UTF-8.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "check/Controls.h"

namespace app::win32 {

std::wstring wide(const std::string& utf8);
std::string utf8(const std::wstring& text);
std::string utf8(const wchar_t* text, size_t length);

// The defect tree in a tree view. Nodes are found by their NodeId through the index below;
// the tree view holds only their texts. A check rebuilds the tree from nothing; the nodes
// the operator had open open again as their children come back; a tree built from an
// empty one opens its root.
class TreeControl : public check::DefectTree {
 public:
  explicit TreeControl(HWND tree) : tree_(tree) {}
  void clear() override;
  void add(const check::NodeId& node, const std::string& text) override;
  void setText(const check::NodeId& node, const std::string& text) override;
  std::string text(const check::NodeId& node) const override;
  void remove(const check::NodeId& node) override;
  bool contains(const check::NodeId& node) const override;
  int childCount(const check::NodeId& node) const override;
  std::optional<check::NodeId> selected() const override;

 private:
  using Key = std::tuple<int, std::string, std::string>;
  struct Node {
    HTREEITEM item;
    std::string text;
  };
  static Key keyOf(const check::NodeId& node);
  const Node& require(const check::NodeId& node) const;  // throws when absent
  void forget(HTREEITEM item);
  bool expanded(HTREEITEM item) const;

  HWND tree_;
  std::map<Key, Node> nodes_;
  std::map<HTREEITEM, check::NodeId> ids_;
  std::set<Key> wasExpanded_;  // of the tree the last clear() emptied
  bool hadItems_ = false;      // whether that tree had any node
};

// The result list in a list view of one column whose lines the control asks for (owner
// data): the values and their LineTags live here, line for line, and the view shows each
// value on one line, a line break as "↵". A long list fills at once.
class ListControl : public check::ResultList {
 public:
  explicit ListControl(HWND list) : list_(list) {}
  void clear() override;
  void addItem(const std::string& text, const check::LineTag& tag) override;
  int count() const override;
  std::string item(int index) const override;
  void setItem(int index, const std::string& text) override;
  check::LineTag tag(int index) const override;
  void removeItem(int index) override;
  int listIndex() const override;
  int findLine(const std::string& bookmark, const std::string& query, int from) const override;
  // Many lines at once: the view learns the new count once.
  void applyStaged() override;

  // The view asks for a line's text (LVN_GETDISPINFOW).
  void display(NMLVDISPINFOW& info) const;
  static std::wstring shown(const std::string& text);

 private:
  struct Line {
    std::string text;
    check::LineTag tag;
  };
  void select(int index);  // -1: none
  void resize();           // the view's count follows lines_

  HWND list_;
  std::vector<Line> lines_;
};

// The status bar's parts, addressed by position from 1.
class PanelControl : public check::StatusBar {
 public:
  PanelControl(HWND status, int panels) : status_(status), texts_(size_t(panels)) {}
  void setPanelText(int position, const std::string& text) override;
  std::string panelText(int position) const override;

 private:
  size_t index(int position) const;
  HWND status_;
  std::vector<std::wstring> texts_;
};

// The system's message box, the file-open dialog, and input and password boxes drawn from
// a template, all modal over the window and titled in Chinese.
class Win32Dialogs : public check::Dialogs {
 public:
  explicit Win32Dialogs(HWND owner) : owner_(owner) {}
  void message(const std::string& text) override;
  std::string input(const std::string& prompt, const std::string& title,
                    const std::string& defaultAnswer) override;
  std::string openFile() override;
  std::optional<jet::Secret> password(const std::string& prompt, const std::string& refusal) override;

 private:
  HWND owner_;
};

// Runs pending messages through the window's own delivery (its key preview), shows the
// wait cursor, and the progress dialog of long work: while it shows, the window is
// disabled, repaints and ticks; its 取消 button stops the work.
class Win32EventPump : public check::EventPump {
 public:
  Win32EventPump(HWND window, std::function<void(MSG&)> deliver)
      : window_(window), deliver_(std::move(deliver)) {}
  ~Win32EventPump() override;
  void yield() override;
  void beginBusy() override;
  void endBusy() override;
  void paint() override;
  void showProgress(const std::string& text, int64_t total) override;
  bool progress(const std::string& text, int64_t done) override;
  void endProgress() override;

  bool busy() const { return busy_ > 0; }
  HWND progressDialog() const { return progress_; }

 private:
  void pump();
  static INT_PTR CALLBACK progressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_;
  std::function<void(MSG&)> deliver_;
  int busy_ = 0;
  HWND progress_ = nullptr;
  int64_t total_ = 0;
  bool cancelled_ = false;
};

}  // namespace app::win32
