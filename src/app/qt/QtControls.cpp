#include "app/qt/QtControls.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <cstring>
#include <limits>

#include "app/dispatch/Window.h"
#include "jet/Error.h"

namespace app {

namespace {

// The numbers and texts the common controls raise for a bad key or index.
constexpr int kIndexOutOfBounds = 35600;
constexpr int kElementNotFound = 35601;
constexpr int kKeyNotUnique = 35602;

enum Role { kKindRole = Qt::UserRole, kTableRole, kColumnRole, kBookmarkRole, kQueryRole };

// A box shown during long work gets the ordinary arrow, not the work's wait cursor.
class ArrowWhileBusy {
 public:
  ArrowWhileBusy() : pushed_(QApplication::overrideCursor() != nullptr) {
    if (pushed_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowWhileBusy() {
    if (pushed_) QApplication::restoreOverrideCursor();
  }
  ArrowWhileBusy(const ArrowWhileBusy&) = delete;
  ArrowWhileBusy& operator=(const ArrowWhileBusy&) = delete;

 private:
  bool pushed_;
};

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }
QByteArray bytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }
std::string fromBytes(const QByteArray& b) { return std::string(b.constData(), size_t(b.size())); }

// The open dialog's filters as Qt takes them, ";;" between them.
QString openFilter() {
  QStringList filters;
  for (const FilterDef& f : kOpenFilters) filters << QString::fromUtf8(f.description);
  return filters.join(QStringLiteral(";;"));
}

}  // namespace

// ---- TreeControl ----

TreeControl::Key TreeControl::keyOf(const check::NodeId& node) {
  switch (node.kind) {
    case check::NodeId::Kind::Root: return {0, {}, {}};
    case check::NodeId::Kind::Table: return {1, node.table, {}};
    case check::NodeId::Kind::Column: break;
  }
  return {2, node.table, node.column};
}

std::optional<check::NodeId> TreeControl::nodeOf(const QTreeWidgetItem* item) {
  if (!item) return std::nullopt;
  QVariant kind = item->data(0, kKindRole);
  if (!kind.isValid()) return std::nullopt;
  check::NodeId id;
  id.kind = static_cast<check::NodeId::Kind>(kind.toInt());
  id.table = fromBytes(item->data(0, kTableRole).toByteArray());
  id.column = fromBytes(item->data(0, kColumnRole).toByteArray());
  return id;
}

QTreeWidgetItem* TreeControl::find(const check::NodeId& node) const {
  auto it = items_.find(keyOf(node));
  return it == items_.end() ? nullptr : it->second;
}

QTreeWidgetItem* TreeControl::require(const check::NodeId& node) const {
  QTreeWidgetItem* item = find(node);
  if (!item) throw jet::Error(kElementNotFound, "找不到元素。");
  return item;
}

void TreeControl::forget(QTreeWidgetItem* item) {
  for (int i = 0; i < item->childCount(); ++i) forget(item->child(i));
  if (auto id = nodeOf(item)) items_.erase(keyOf(*id));
}

void TreeControl::clear() {
  wasExpanded_.clear();
  hadItems_ = !items_.empty();
  for (const auto& [key, item] : items_) {
    // A root without children has nothing to show open or shut: it counts as open.
    const bool open = item->isExpanded() || (std::get<0>(key) == 0 && item->childCount() == 0);
    if (open) wasExpanded_.insert(key);
  }
  items_.clear();
  tree_.clear();
}

void TreeControl::add(const check::NodeId& node, const std::string& text) {
  if (find(node)) throw jet::Error(kKeyNotUnique, "键在此集合中不唯一。");
  QTreeWidgetItem* parent = nullptr;
  if (node.kind == check::NodeId::Kind::Table) {
    parent = require(check::NodeId{});
  } else if (node.kind == check::NodeId::Kind::Column) {
    parent = require(check::NodeId{check::NodeId::Kind::Table, node.table, {}});
  }
  auto* item = new QTreeWidgetItem(QStringList{qs(text)});
  item->setData(0, kKindRole, static_cast<int>(node.kind));
  item->setData(0, kTableRole, bytes(node.table));
  item->setData(0, kColumnRole, bytes(node.column));
  if (parent) {
    parent->addChild(item);
    if (parent->childCount() == 1) {
      const Key parentKey = keyOf(node.kind == check::NodeId::Kind::Table
                                      ? check::NodeId{}
                                      : check::NodeId{check::NodeId::Kind::Table, node.table, {}});
      const bool open = hadItems_ ? wasExpanded_.count(parentKey) > 0 : std::get<0>(parentKey) == 0;
      if (open) parent->setExpanded(true);
    }
  } else {
    tree_.insertTopLevelItem(0, item);  // the root goes first
  }
  items_[keyOf(node)] = item;
}

void TreeControl::setText(const check::NodeId& node, const std::string& text) {
  require(node)->setText(0, qs(text));
}

std::string TreeControl::text(const check::NodeId& node) const {
  return ss(require(node)->text(0));
}

void TreeControl::remove(const check::NodeId& node) {
  QTreeWidgetItem* item = require(node);
  forget(item);
  delete item;  // detaches it from its parent or the tree
}

bool TreeControl::contains(const check::NodeId& node) const { return find(node) != nullptr; }

int TreeControl::childCount(const check::NodeId& node) const {
  return require(node)->childCount();
}

std::optional<check::NodeId> TreeControl::selected() const {
  const QList<QTreeWidgetItem*> items = tree_.selectedItems();
  return items.isEmpty() ? std::nullopt : nodeOf(items.first());
}

// ---- ListControl ----

void ListControl::clear() { list_.clear(); }

void ListControl::addItem(const std::string& text, const check::LineTag& tag) {
  auto* item = new QListWidgetItem(qs(text));
  item->setData(kBookmarkRole, bytes(tag.bookmark));
  item->setData(kQueryRole, bytes(tag.query));
  list_.addItem(item);
}

int ListControl::count() const { return list_.count(); }

std::string ListControl::item(int index) const {
  checkIndex(index);
  return ss(list_.item(index)->text());
}

void ListControl::setItem(int index, const std::string& text) {
  checkIndex(index);
  list_.item(index)->setText(qs(text));
}

check::LineTag ListControl::tag(int index) const {
  checkIndex(index);
  const QListWidgetItem* item = list_.item(index);
  return {fromBytes(item->data(kBookmarkRole).toByteArray()),
          fromBytes(item->data(kQueryRole).toByteArray())};
}

void ListControl::removeItem(int index) {
  checkIndex(index);
  const bool wasSelected = index == listIndex();
  delete list_.takeItem(index);
  // A removed selected line leaves no line selected, rather than the one that slid up.
  if (wasSelected) {
    list_.clearSelection();
    list_.setCurrentRow(-1);
  }
}

int ListControl::listIndex() const {
  const QList<QListWidgetItem*> items = list_.selectedItems();
  return items.isEmpty() ? -1 : list_.row(items.first());
}

int ListControl::findLine(const std::string& bookmark, const std::string& query, int from) const {
  const int n = list_.count();
  if (from < 0 || from >= n) from = 0;
  const auto same = [](const QByteArray& a, const std::string& b) {
    return size_t(a.size()) == b.size() && std::memcmp(a.constData(), b.data(), b.size()) == 0;
  };
  for (int k = 0; k < n; ++k) {
    const int i = (from + k) % n;
    const QListWidgetItem* item = list_.item(i);
    if (same(item->data(kBookmarkRole).toByteArray(), bookmark) &&
        same(item->data(kQueryRole).toByteArray(), query))
      return i;
  }
  return -1;
}

void ListControl::applyStaged() {
  auto [items, removals] = takeStaged();
  for (const auto& [index, text] : items) list_.item(index)->setText(qs(text));
  if (removals.size() <= 16) {
    for (auto it = removals.rbegin(); it != removals.rend(); ++it) removeItem(*it);
    return;
  }
  const int n = list_.count();
  if (int(removals.size()) == n) {
    list_.clear();
    return;
  }
  // The lines that stay, taken out in order; a removed selected line leaves none selected.
  const int selected = listIndex();
  QStringList texts;
  std::vector<std::pair<QVariant, QVariant>> tags;
  int selectedAfter = -1;
  size_t r = 0;
  for (int i = 0; i < n; ++i) {
    if (r < removals.size() && removals[r] == i) {
      ++r;
      continue;
    }
    const QListWidgetItem* item = list_.item(i);
    if (i == selected) selectedAfter = int(texts.size());
    texts << item->text();
    tags.emplace_back(item->data(kBookmarkRole), item->data(kQueryRole));
  }
  list_.clear();
  list_.insertItems(0, texts);
  {
    // The new lines' data, before anything shows them: no signal per line.
    const QSignalBlocker quiet(list_.model());
    for (int i = 0; i < int(tags.size()); ++i) {
      list_.item(i)->setData(kBookmarkRole, tags[size_t(i)].first);
      list_.item(i)->setData(kQueryRole, tags[size_t(i)].second);
    }
  }
  if (selectedAfter >= 0) list_.setCurrentRow(selectedAfter);
}

// ---- PanelControl ----

StatusPanel& PanelControl::panel(int position) const {
  if (position < 1 || position > int(panels_.size()))
    throw jet::Error(kIndexOutOfBounds, "索引超出范围。");
  return *panels_[size_t(position - 1)];
}

void PanelControl::setPanelText(int position, const std::string& text) {
  StatusPanel& p = panel(position);
  p.setText(qs(text));
  p.setToolTip(p.text());  // the whole text, where the panel is too narrow for it
}

std::string PanelControl::panelText(int position) const { return ss(panel(position).text()); }

// ---- QtDialogs ----

std::unique_ptr<QMessageBox> QtDialogs::createMessageBox(const std::string& text) const {
  auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, qs(kCaption), qs(text),
                                           QMessageBox::Ok, parent_);
  box->setTextFormat(Qt::PlainText);
  box->button(QMessageBox::Ok)->setText(qs(kOkText));
  return box;
}

void QtDialogs::message(const std::string& text) {
  ArrowWhileBusy arrow;
  createMessageBox(text)->exec();
}

std::unique_ptr<QInputDialog> QtDialogs::createInputBox(const std::string& prompt,
                                                       const std::string& title,
                                                       const std::string& defaultAnswer) const {
  auto box = std::make_unique<QInputDialog>(parent_);
  box->setInputMode(QInputDialog::TextInput);
  // A value with line breaks gets a box that keeps them.
  if (defaultAnswer.find('\n') != std::string::npos)
    box->setOption(QInputDialog::UsePlainTextEditForTextInput);
  box->setWindowTitle(qs(title));
  box->setLabelText(qs(prompt));
  box->setTextValue(qs(defaultAnswer));
  box->setOkButtonText(qs(kOkText));
  box->setCancelButtonText(qs(kCancelText));
  return box;
}

std::string QtDialogs::input(const std::string& prompt, const std::string& title,
                             const std::string& defaultAnswer) {
  ArrowWhileBusy arrow;
  std::unique_ptr<QInputDialog> box = createInputBox(prompt, title, defaultAnswer);
  return box->exec() == QDialog::Accepted ? ss(box->textValue()) : std::string();
}

std::unique_ptr<QInputDialog> QtDialogs::createPasswordBox(const std::string& prompt) const {
  auto box = std::make_unique<QInputDialog>(parent_);
  box->setObjectName(QStringLiteral("password"));
  box->setInputMode(QInputDialog::TextInput);
  box->setTextEchoMode(QLineEdit::Password);
  box->setWindowTitle(qs(kCaption));
  box->setLabelText(qs(prompt));
  box->setOkButtonText(qs(kOkText));
  box->setCancelButtonText(qs(kCancelText));
  return box;
}

std::optional<jet::Secret> QtDialogs::password(const std::string& prompt, const std::string& refusal) {
  ArrowWhileBusy arrow;
  if (!refusal.empty()) createMessageBox(refusal)->exec();
  std::unique_ptr<QInputDialog> box = createPasswordBox(prompt);
  const bool accepted = box->exec() == QDialog::Accepted;
  // The box lets go of its text first, so that ours is the only copy and is wiped in place.
  QString text = box->textValue();
  box->setTextValue(QString());
  if (!accepted) {
    jet::wipe(text.data(), size_t(text.size()) * sizeof(QChar));
    return std::nullopt;
  }
  QByteArray utf8 = text.toUtf8();
  std::optional<jet::Secret> typed(jet::Secret(std::string_view(utf8.constData(), size_t(utf8.size()))));
  jet::wipe(text.data(), size_t(text.size()) * sizeof(QChar));
  jet::wipe(utf8.data(), size_t(utf8.size()));
  return typed;
}

std::unique_ptr<QFileDialog> QtDialogs::createFileDialog() const {
  // The mdb filter first, as the dialog always offered it; the second shows .accdb too.
  auto dialog = std::make_unique<QFileDialog>(parent_, qs(kOpenTitle), QString(), openFilter());
  dialog->setObjectName(QStringLiteral("CDg"));
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setDefaultSuffix(qs(kOpenDefaultSuffix));
  dialog->setOption(QFileDialog::DontUseNativeDialog, !nativeFileDialog_);
  dialog->setLabelText(QFileDialog::LookIn, QStringLiteral("查找范围："));
  dialog->setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
  dialog->setLabelText(QFileDialog::FileType, QStringLiteral("文件类型："));
  dialog->setLabelText(QFileDialog::Accept, QStringLiteral("打开"));
  dialog->setLabelText(QFileDialog::Reject, qs(kCancelText));
  return dialog;
}

std::string QtDialogs::openFile() {
  ArrowWhileBusy arrow;
  std::unique_ptr<QFileDialog> dialog = createFileDialog();
  if (dialog->exec() != QDialog::Accepted) return {};
  const QStringList files = dialog->selectedFiles();
  return files.isEmpty() ? std::string() : ss(files.first());
}

// ---- QtEventPump ----

QtEventPump::QtEventPump() : progressAfter_(EventPump::progressAfter()) {}

QtEventPump::~QtEventPump() {
  endProgress();
  while (busy_ > 0) endBusy();
}

namespace {
int clampToInt(int64_t v) {
  return int(std::clamp<int64_t>(v, 0, std::numeric_limits<int>::max()));
}
}  // namespace

void QtEventPump::showProgress(const std::string& text, int64_t total) {
  progress_ = std::make_unique<QProgressDialog>(qs(text), qs(kCancelText), 0, clampToInt(total),
                                                window_);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setWindowTitle(qs(kCaption));
  progress_->setWindowModality(Qt::ApplicationModal);
  progress_->setMinimumDuration(0);
  progress_->setAutoReset(false);
  progress_->setAutoClose(false);
  // The 取消 button takes a click: an arrow with the busy mark over the work's wait cursor.
  QApplication::setOverrideCursor(Qt::BusyCursor);
  progress_->show();
  QCoreApplication::processEvents();
}

bool QtEventPump::progress(const std::string& text, int64_t done) {
  if (!progress_) return true;
  progress_->setLabelText(qs(text));
  progress_->setValue(clampToInt(done));
  // The dialog's own events, repaints and the clock; the modal dialog keeps every other
  // input of the window out.
  QCoreApplication::processEvents();
  return !progress_->wasCanceled();
}

void QtEventPump::endProgress() {
  if (!progress_) return;
  progress_.reset();
  QApplication::restoreOverrideCursor();
}

void QtEventPump::yield() { QCoreApplication::processEvents(); }

// Paints every visible widget directly: running the event loop instead could deliver a
// click that starts a second command in the middle of this one. A parent's repaint leaves
// its children out, so each is painted; the window has a few dozen at most.
void QtEventPump::paint() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible()) continue;
    top->repaint();
    for (QWidget* w : top->findChildren<QWidget*>()) {
      if (w->isVisible()) w->repaint();
    }
  }
}

void QtEventPump::beginBusy() {
  if (busy_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtEventPump::endBusy() {
  if (busy_ > 0 && --busy_ == 0) QApplication::restoreOverrideCursor();
}

}  // namespace app
