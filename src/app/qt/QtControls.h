#pragma once
// The Qt widgets behind the check commands' control interfaces. Each adapter works on a
// widget the window owns and outlives none of them.
#include <QPointer>
#include <QTreeWidget>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/qt/Widgets.h"
#include "check/Controls.h"

class QFileDialog;
class QInputDialog;
class QListWidget;
class QMessageBox;
class QProgressDialog;
class QWidget;

namespace app {

// The defect tree. A node's NodeId lives in its item's data; the index below only speeds
// up finding an item and always agrees with the items.
//
// A check rebuilds the tree from nothing; the nodes the operator had open before open
// again as their children come back, so running the same check again keeps the view. A
// tree built from an empty one opens its root.
class TreeControl : public check::DefectTree {
 public:
  explicit TreeControl(QTreeWidget& tree) : tree_(tree) {}
  void clear() override;
  void add(const check::NodeId& node, const std::string& text) override;
  void setText(const check::NodeId& node, const std::string& text) override;
  std::string text(const check::NodeId& node) const override;
  void remove(const check::NodeId& node) override;
  bool contains(const check::NodeId& node) const override;
  int childCount(const check::NodeId& node) const override;
  std::optional<check::NodeId> selected() const override;

  // The identity a tree item carries; nullopt for an item this control did not add.
  static std::optional<check::NodeId> nodeOf(const QTreeWidgetItem* item);

 private:
  using Key = std::tuple<int, std::string, std::string>;
  static Key keyOf(const check::NodeId& node);
  QTreeWidgetItem* find(const check::NodeId& node) const;  // null when absent
  QTreeWidgetItem* require(const check::NodeId& node) const;  // throws when absent
  void forget(QTreeWidgetItem* item);

  QTreeWidget& tree_;
  std::map<Key, QTreeWidgetItem*> items_;
  std::set<Key> wasExpanded_;  // of the tree the last clear() emptied
  bool hadItems_ = false;      // whether that tree had any node
};

// The result list. Each line keeps its LineTag as item data.
class ListControl : public check::ResultList {
 public:
  explicit ListControl(QListWidget& list) : list_(list) {}
  void clear() override;
  void addItem(const std::string& text, const check::LineTag& tag) override;
  int count() const override;
  std::string item(int index) const override;
  void setItem(int index, const std::string& text) override;
  check::LineTag tag(int index) const override;
  void removeItem(int index) override;
  int listIndex() const override;
  int findLine(const std::string& bookmark, const std::string& query, int from) const override;
  // Many lines at once: the texts in place; removals by building the list again from the
  // lines that stay, in one insertion, rather than one removal (and one relayout) each.
  void applyStaged() override;

 private:
  QListWidget& list_;
};

// The status bar's panels, addressed by position from 1.
class PanelControl : public check::StatusBar {
 public:
  explicit PanelControl(std::vector<StatusPanel*> panels) : panels_(std::move(panels)) {}
  void setPanelText(int position, const std::string& text) override;
  std::string panelText(int position) const override;

 private:
  StatusPanel& panel(int position) const;
  std::vector<StatusPanel*> panels_;
};

// Modal Qt dialogs over the window. Message and password boxes carry the window's caption
// as their title; the input and file dialogs their own.
class QtDialogs : public check::Dialogs {
 public:
  explicit QtDialogs(QWidget* parent) : parent_(parent) {}
  void message(const std::string& text) override;
  std::string input(const std::string& prompt, const std::string& title,
                    const std::string& defaultAnswer) override;
  std::string openFile() override;
  std::optional<jet::Secret> password(const std::string& prompt, const std::string& refusal) override;

  // Qt's own file dialog instead of the desktop's, so that a test can drive it.
  void setUseNativeFileDialog(bool native) { nativeFileDialog_ = native; }

  // The boxes as message(), input() and openFile() show them, built but not shown.
  std::unique_ptr<QMessageBox> createMessageBox(const std::string& text) const;
  std::unique_ptr<QInputDialog> createInputBox(const std::string& prompt, const std::string& title,
                                               const std::string& defaultAnswer) const;
  std::unique_ptr<QFileDialog> createFileDialog() const;
  // The password box: the window's caption, the prompt, a masked line, 确定 and 取消.
  std::unique_ptr<QInputDialog> createPasswordBox(const std::string& prompt) const;

 private:
  QPointer<QWidget> parent_;
  bool nativeFileDialog_ = true;
};

// Runs pending events and shows the wait cursor; nested busy scopes restore it once. The
// progress of long work is a modal dialog over the window: while it shows, the window's
// clock and repaints run and nothing else of the window takes input.
class QtEventPump : public check::EventPump {
 public:
  QtEventPump();
  ~QtEventPump() override;
  void yield() override;
  void beginBusy() override;
  void endBusy() override;
  void paint() override;
  void showProgress(const std::string& text, int64_t total) override;
  bool progress(const std::string& text, int64_t done) override;
  void endProgress() override;
  std::chrono::milliseconds progressAfter() const override { return progressAfter_; }

  // The window the progress dialog belongs to.
  void setWindow(QWidget* window) { window_ = window; }
  // How long work runs before its progress shows (tests shorten it).
  void setProgressAfter(std::chrono::milliseconds after) { progressAfter_ = after; }
  QProgressDialog* progressDialog() const { return progress_.get(); }

 private:
  int busy_ = 0;
  QPointer<QWidget> window_;
  std::unique_ptr<QProgressDialog> progress_;
  std::chrono::milliseconds progressAfter_;
};

}  // namespace app
