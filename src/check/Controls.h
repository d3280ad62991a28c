#pragma once
// The window's controls as the check and repair commands see them. The Qt window implements
// these with real widgets, the command-line tool on the console, and tests with scripted
// answers. Nothing here knows about Qt.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jet/Secret.h"

namespace check {

// What a tree node stands for. Nodes are identified by this, never by parsing their text or
// a composed key, so no table or column name can collide with another node or mis-split.
struct NodeId {
  enum class Kind { Root, Table, Column };
  Kind kind = Kind::Root;
  std::string table;   // Table and Column nodes
  std::string column;  // Column nodes
  bool operator==(const NodeId&) const = default;
};

class DefectTree {
 public:
  virtual ~DefectTree() = default;
  virtual void clear() = 0;
  // Adds a node under its parent (the root for a table, the table's node for a column).
  // Adding a node that exists already fails with a jet::Error.
  virtual void add(const NodeId& node, const std::string& text) = 0;
  virtual void setText(const NodeId& node, const std::string& text) = 0;
  virtual std::string text(const NodeId& node) const = 0;
  virtual void remove(const NodeId& node) = 0;
  virtual bool contains(const NodeId& node) const = 0;
  virtual int childCount(const NodeId& node) const = 0;
  // The selected node, if any.
  virtual std::optional<NodeId> selected() const = 0;
};

// What a list line remembers about the row it shows.
struct LineTag {
  std::string bookmark;  // the row's identity (opaque bytes from the recordset)
  std::string query;     // the query the line came from
};

class ResultList {
 public:
  virtual ~ResultList() = default;
  virtual void clear() = 0;
  virtual void addItem(const std::string& text, const LineTag& tag) = 0;
  virtual int count() const = 0;
  virtual std::string item(int index) const = 0;
  virtual void setItem(int index, const std::string& text) = 0;
  virtual LineTag tag(int index) const = 0;
  virtual void removeItem(int index) = 0;
  // The selected line's index, -1 when none is selected.
  virtual int listIndex() const = 0;
  // The selected line's text, "" when none is selected.
  std::string text() const {
    int i = listIndex();
    return i < 0 || i >= count() ? std::string() : item(i);
  }

  // ---- a walk over many lines (a batch repair) ----
  // The line showing row `bookmark` of `query`: line `from` first (a walk meets its rows
  // in the order of the lines), then the lines after it, then those before; -1 when no
  // line shows it.
  virtual int findLine(const std::string& bookmark, const std::string& query, int from) const;
  // A repair's changes to the lines wait until its rows are in the file: they are staged
  // while it runs, then shown all at once (applyStaged), or dropped when the rows did not
  // land. Staging leaves the lines' indexes as they are until then.
  virtual void stageItem(int index, std::string text);
  virtual void stageRemoval(int index);
  virtual void applyStaged();
  virtual void dropStaged();

 protected:
  // Throws 381 unless `index` names a line.
  void checkIndex(int index) const;
  // What is staged, taken out (nothing stays staged) with every index checked: the new texts,
  // and the lines to remove in ascending order, each once.
  struct Staged {
    std::vector<std::pair<int, std::string>> items;
    std::vector<int> removals;
  };
  Staged takeStaged();

  std::vector<std::pair<int, std::string>> stagedItems_;
  std::vector<int> stagedRemovals_;
};

class StatusBar {
 public:
  virtual ~StatusBar() = default;
  // Panels by position, 1-based: 1 "File", 2 "Date", 3 "Char".
  virtual void setPanelText(int position, const std::string& text) = 0;
  virtual std::string panelText(int position) const = 0;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A message box with an OK button only and the application's default title. Commands do
  // not call it: their messages come back in their Result, which the window shows here.
  virtual void message(const std::string& text) = 0;
  // An input box; returns "" when the operator cancels.
  virtual std::string input(const std::string& prompt, const std::string& title,
                            const std::string& defaultAnswer) = 0;
  // The file-open dialog ("打开数据文件", the filter "mdb文件(*.mdb)" first, default extension "mdb"),
  // shown with an empty file name; returns the chosen path, "" on cancel.
  virtual std::string openFile() = 0;
  // The password box of a file with a database password: the prompt, a masked input,
  // 确定 and 取消. `refusal`, when not empty, is why the last password was not taken
  // ("不是有效的密码。"); the box shows it before asking again. Returns what was typed
  // (possibly empty), nullopt on cancel. Nothing of the password is kept or shown.
  virtual std::optional<jet::Secret> password(const std::string& prompt, const std::string& refusal) = 0;
};

// Long work: lets pending window events run, and shows a wait cursor while it lasts.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void yield() = 0;
  virtual void beginBusy() = 0;
  virtual void endBusy() = 0;
  // Repaints the window at once without running the operator's events.
  virtual void paint() {}

  // Long work the operator may stop (ProgressMeter below decides when to show it): a
  // dialog says how far it is (`text`, `done` of `total`) with a 取消 button. While it
  // shows, the window repaints and its clock ticks, but no other command can start.
  // progress() returns false once the operator chose 取消.
  virtual void showProgress(const std::string& text, int64_t total) {
    (void)text;
    (void)total;
  }
  virtual bool progress(const std::string& text, int64_t done) {
    (void)text;
    (void)done;
    return true;
  }
  virtual void endProgress() {}
  // How long work runs before its progress shows.
  virtual std::chrono::milliseconds progressAfter() const { return std::chrono::milliseconds(500); }
};

// Shows the wait cursor for the lifetime of the object.
class BusyScope {
 public:
  explicit BusyScope(EventPump& pump) : pump_(pump) { pump_.beginBusy(); }
  ~BusyScope() { pump_.endBusy(); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  EventPump& pump_;
};

// The progress of a walk over `total` rows, as the operator sees it: nothing for the first
// half second (most repairs end sooner), then the dialog, updated ten times a second.
// The dialog goes when the meter does.
class ProgressMeter {
 public:
  // `what`: the work and its column, e.g. "批量更新字段 'T1'".
  ProgressMeter(EventPump& pump, std::string what, int64_t total);
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  // One more row done. False once the operator asked to stop.
  bool step() { return ++done_ < due_ || check(); }
  // Work that cannot be stopped follows (the commit): the dialog goes.
  void finish();
  bool cancelled() const { return cancelled_; }

 private:
  bool check();
  std::string text() const;

  EventPump& pump_;
  std::string what_;
  int64_t total_;
  int64_t done_ = 0;
  int64_t due_ = 1;  // the step at which the clock is looked at next
  std::chrono::steady_clock::time_point start_, next_;
  bool shown_ = false;
  bool cancelled_ = false;
};

// Everything a command may touch besides CheckState.
struct Controls {
  DefectTree& tree;
  ResultList& list;
  StatusBar& status;
  Dialogs& dialogs;
  EventPump& events;
};

}  // namespace check
