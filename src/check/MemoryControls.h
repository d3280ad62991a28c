#pragma once
// Controls kept in memory: a tree, a list and a status bar that record what the commands
// did to them, and dialogs that answer from a queue. The command-line tool runs the
// commands on these and prints the result; tests drive the commands through them, with a
// hook that runs other commands inside the scan's yield.
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "check/Controls.h"

namespace check {

class MemoryTree : public DefectTree {
 public:
  void clear() override;
  void add(const NodeId& node, const std::string& text) override;
  void setText(const NodeId& node, const std::string& text) override;
  std::string text(const NodeId& node) const override;
  void remove(const NodeId& node) override;
  bool contains(const NodeId& node) const override;
  int childCount(const NodeId& node) const override;
  std::optional<NodeId> selected() const override { return selected_; }

  void select(std::optional<NodeId> node) { selected_ = std::move(node); }
  // The tree as text: one node per line, two blanks of indent per level.
  std::string render() const;
  // Every node in display order.
  std::vector<NodeId> nodes() const;

 private:
  struct Node {
    NodeId id;
    std::string text;
    std::vector<Node> children;
  };
  const Node* find(const NodeId& id) const;
  Node* find(const NodeId& id);

  std::vector<Node> top_;  // the root, when present
  std::optional<NodeId> selected_;
};

class MemoryList : public ResultList {
 public:
  void clear() override;
  void addItem(const std::string& text, const LineTag& tag) override;
  int count() const override { return static_cast<int>(lines_.size()); }
  std::string item(int index) const override;
  void setItem(int index, const std::string& text) override;
  LineTag tag(int index) const override;
  void removeItem(int index) override;
  int listIndex() const override { return selected_; }
  int findLine(const std::string& bookmark, const std::string& query, int from) const override;
  void applyStaged() override;

  // Selecting -1 clears the selection. Removing the selected line clears it too, as a list
  // box does.
  void select(int index) { selected_ = index; }
  std::vector<std::string> items() const;

 private:
  struct Line {
    std::string text;
    LineTag tag;
  };
  std::deque<Line> lines_;  // the walks remove from the front
  int selected_ = -1;
};

class MemoryStatusBar : public StatusBar {
 public:
  void setPanelText(int position, const std::string& text) override;
  std::string panelText(int position) const override;

 private:
  std::string panels_[3];
};

class ScriptedDialogs : public Dialogs {
 public:
  void message(const std::string& text) override;
  std::string input(const std::string& prompt, const std::string& title,
                    const std::string& defaultAnswer) override;
  std::string openFile() override;
  std::optional<jet::Secret> password(const std::string& prompt, const std::string& refusal) override;

  // Answers given in order; an input box, file dialog or password box without a queued
  // answer is cancelled.
  std::deque<std::string> answers;
  std::deque<std::string> files;
  std::deque<jet::Secret> passwords;
  // What was shown, in order.
  std::vector<std::string> messages;
  struct Prompt {
    std::string prompt, title, defaultAnswer;
  };
  std::vector<Prompt> prompts;
  // Each password box shown: its prompt, and the refusal it showed first ("" the first time).
  std::vector<std::pair<std::string, std::string>> passwordBoxes;
  // Called for every message as it is shown (tests make a box fail, or watch the window).
  std::function<void(const std::string&)> onMessage;
};

class ScriptedEvents : public EventPump {
 public:
  void yield() override;
  void beginBusy() override { ++busyDepth; }
  void endBusy() override { --busyDepth; }
  void showProgress(const std::string& text, int64_t total) override;
  bool progress(const std::string& text, int64_t done) override;
  void endProgress() override { progressShown = false; }
  std::chrono::milliseconds progressAfter() const override { return showProgressAfter; }

  int yields = 0;
  int busyDepth = 0;
  // Runs inside each yield with the yield's number (from 1): the pending window events.
  std::function<void(int)> onYield;
  // The progress dialog: whether it shows, what it said last, and how often it came.
  std::chrono::milliseconds showProgressAfter{500};
  bool progressShown = false;
  std::string progressText;
  int64_t progressTotal = 0;
  int progressCalls = 0;
  // Answers each update of the progress with the rows done: false is the 取消 button.
  std::function<bool(int64_t)> onProgress;
};

// All five together, ready to hand to a command.
struct MemoryControls {
  MemoryTree tree;
  MemoryList list;
  MemoryStatusBar status;
  ScriptedDialogs dialogs;
  ScriptedEvents events;
  Controls controls{tree, list, status, dialogs, events};

  MemoryControls() = default;
  MemoryControls(const MemoryControls&) = delete;
  MemoryControls& operator=(const MemoryControls&) = delete;
};

}  // namespace check
