#include "check/MemoryControls.h"

#include <algorithm>

#include "jet/Error.h"

namespace check {

namespace {

// The numbers a tree control raises for a duplicate key and a missing node.
jet::Error keyNotUnique() { return jet::Error(35602, "键在此集合中不唯一。"); }
jet::Error elementNotFound() { return jet::Error(35601, "找不到元素。"); }

}  // namespace

void MemoryTree::clear() {
  top_.clear();
  selected_.reset();
}

const MemoryTree::Node* MemoryTree::find(const NodeId& id) const {
  for (const Node& r : top_) {
    if (r.id == id) return &r;
    for (const Node& t : r.children) {
      if (t.id == id) return &t;
      for (const Node& c : t.children)
        if (c.id == id) return &c;
    }
  }
  return nullptr;
}

MemoryTree::Node* MemoryTree::find(const NodeId& id) {
  return const_cast<Node*>(static_cast<const MemoryTree*>(this)->find(id));
}

void MemoryTree::add(const NodeId& node, const std::string& text) {
  if (find(node)) throw keyNotUnique();
  std::vector<Node>* siblings = nullptr;
  switch (node.kind) {
    case NodeId::Kind::Root:
      siblings = &top_;
      break;
    case NodeId::Kind::Table: {
      Node* root = find(NodeId{});
      if (!root) throw elementNotFound();
      siblings = &root->children;
      break;
    }
    case NodeId::Kind::Column: {
      Node* table = find(NodeId{NodeId::Kind::Table, node.table, {}});
      if (!table) throw elementNotFound();
      siblings = &table->children;
      break;
    }
  }
  siblings->push_back(Node{node, text, {}});
}

void MemoryTree::setText(const NodeId& node, const std::string& text) {
  Node* n = find(node);
  if (!n) throw elementNotFound();
  n->text = text;
}

std::string MemoryTree::text(const NodeId& node) const {
  const Node* n = find(node);
  if (!n) throw elementNotFound();
  return n->text;
}

void MemoryTree::remove(const NodeId& node) {
  auto erase = [&](std::vector<Node>& v) {
    auto it = std::find_if(v.begin(), v.end(), [&](const Node& n) { return n.id == node; });
    if (it == v.end()) return false;
    v.erase(it);
    return true;
  };
  bool removed = erase(top_);
  for (Node& r : top_) {
    if (removed) break;
    removed = erase(r.children);
    for (Node& t : r.children) {
      if (removed) break;
      removed = erase(t.children);
    }
  }
  if (!removed) throw elementNotFound();
  if (selected_ && !find(*selected_)) selected_.reset();
}

bool MemoryTree::contains(const NodeId& node) const { return find(node) != nullptr; }

int MemoryTree::childCount(const NodeId& node) const {
  const Node* n = find(node);
  if (!n) throw elementNotFound();
  return static_cast<int>(n->children.size());
}

std::string MemoryTree::render() const {
  std::string out;
  for (const Node& r : top_) {
    out += r.text + "\n";
    for (const Node& t : r.children) {
      out += "  " + t.text + "\n";
      for (const Node& c : t.children) out += "    " + c.text + "\n";
    }
  }
  return out;
}

std::vector<NodeId> MemoryTree::nodes() const {
  std::vector<NodeId> out;
  for (const Node& r : top_) {
    out.push_back(r.id);
    for (const Node& t : r.children) {
      out.push_back(t.id);
      for (const Node& c : t.children) out.push_back(c.id);
    }
  }
  return out;
}

void MemoryList::clear() {
  lines_.clear();
  selected_ = -1;
}

void MemoryList::addItem(const std::string& text, const LineTag& tag) {
  lines_.push_back(Line{text, tag});
}

std::string MemoryList::item(int index) const {
  checkIndex(index);
  return lines_[index].text;
}

void MemoryList::setItem(int index, const std::string& text) {
  checkIndex(index);
  lines_[index].text = text;
}

LineTag MemoryList::tag(int index) const {
  checkIndex(index);
  return lines_[index].tag;
}

void MemoryList::removeItem(int index) {
  checkIndex(index);
  lines_.erase(lines_.begin() + index);
  if (selected_ == index)
    selected_ = -1;
  else if (selected_ > index)
    --selected_;
}

int MemoryList::findLine(const std::string& bookmark, const std::string& query, int from) const {
  const int n = count();
  if (from < 0 || from >= n) from = 0;
  for (int k = 0; k < n; ++k) {
    const int i = (from + k) % n;
    const LineTag& t = lines_[static_cast<size_t>(i)].tag;
    if (t.bookmark == bookmark && t.query == query) return i;
  }
  return -1;
}

void MemoryList::applyStaged() {
  Staged staged = takeStaged();
  for (auto& [index, text] : staged.items) setItem(index, text);
  std::vector<bool> gone(lines_.size(), false);
  for (int index : staged.removals) gone[static_cast<size_t>(index)] = true;
  // One pass keeps the lines that stay, in order; the selection follows its line.
  size_t kept = 0;
  int selected = -1;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (gone[i]) continue;
    if (static_cast<int>(i) == selected_) selected = static_cast<int>(kept);
    if (kept != i) lines_[kept] = std::move(lines_[i]);
    ++kept;
  }
  lines_.resize(kept);
  selected_ = selected;
}

std::vector<std::string> MemoryList::items() const {
  std::vector<std::string> out;
  out.reserve(lines_.size());
  for (const Line& l : lines_) out.push_back(l.text);
  return out;
}

void MemoryStatusBar::setPanelText(int position, const std::string& text) {
  if (position < 1 || position > 3) throw jet::Error(35600, "索引超出范围。");
  panels_[position - 1] = text;
}

std::string MemoryStatusBar::panelText(int position) const {
  if (position < 1 || position > 3) throw jet::Error(35600, "索引超出范围。");
  return panels_[position - 1];
}

void ScriptedDialogs::message(const std::string& text) {
  messages.push_back(text);
  if (onMessage) onMessage(text);
}

std::string ScriptedDialogs::input(const std::string& prompt, const std::string& title,
                                   const std::string& defaultAnswer) {
  prompts.push_back(Prompt{prompt, title, defaultAnswer});
  if (answers.empty()) return {};
  std::string a = std::move(answers.front());
  answers.pop_front();
  return a;
}

std::string ScriptedDialogs::openFile() {
  if (files.empty()) return {};
  std::string f = std::move(files.front());
  files.pop_front();
  return f;
}

std::optional<jet::Secret> ScriptedDialogs::password(const std::string& prompt,
                                                     const std::string& refusal) {
  passwordBoxes.emplace_back(prompt, refusal);
  if (passwords.empty()) return std::nullopt;
  std::optional<jet::Secret> typed(std::move(passwords.front()));
  passwords.pop_front();
  return typed;
}

void ScriptedEvents::showProgress(const std::string& text, int64_t total) {
  progressShown = true;
  progressText = text;
  progressTotal = total;
}

bool ScriptedEvents::progress(const std::string& text, int64_t done) {
  progressText = text;
  ++progressCalls;
  return !onProgress || onProgress(done);
}

void ScriptedEvents::yield() {
  ++yields;
  if (onYield) onYield(yields);
}

}  // namespace check
