#pragma once
// The window's controls where their events differ from the plain Qt widgets: the tree
// reports a click anywhere in it and a selection the keyboard moved, the list reports every mouse release and keeps its
// selection on a right-click, and a status-bar panel carries a key and reports a
// double-click. A text cut short by its place ends in "…" and shows whole as a tool tip.
#include <QLabel>
#include <QListWidget>
#include <QStyledItemDelegate>
#include <QTreeWidget>

namespace app {

// Shows an item's whole text as its tool tip when its place is too narrow for it.
class CutTextDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;
  // Whether the item's text, as shown, is wider than its place in the view.
  bool isCut(const QAbstractItemView* view, const QModelIndex& index) const;
};

class DefectTreeWidget : public QTreeWidget {
  Q_OBJECT
 public:
  explicit DefectTreeWidget(QWidget* parent = nullptr);

 signals:
  // A left click anywhere in the tree, after the press has moved the selection. A
  // double-click counts as one click.
  void Click();
  // The operator moved the selection with the keyboard (arrow keys, Home, End, typing a
  // name). A selection the mouse or the program moved is not reported.
  void KeyboardSelection();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool afterDoubleClick_ = false;  // the release that ends a double-click is no new click
};

class ResultListWidget : public QListWidget {
  Q_OBJECT
 public:
  explicit ResultListWidget(QWidget* parent = nullptr);

 signals:
  void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint globalPos);
  // The Menu key or Shift+F10: the keyboard's road to the popup.
  void PopupKey();

 protected:
  // A right press only takes the focus: the popup acts on the line selected before it.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  bool menuKeySeen_ = false;  // the platform's context-menu event for it is not a second one
};

// Shows line breaks inside a value as one visible mark, so that every value keeps one line.
class OneLineDelegate : public CutTextDelegate {
 public:
  using CutTextDelegate::CutTextDelegate;
  QString displayText(const QVariant& value, const QLocale& locale) const override;
};

class StatusPanel : public QLabel {
  Q_OBJECT
 public:
  StatusPanel(const QString& key, int width, QWidget* parent = nullptr);
  const QString& key() const { return key_; }
  // Whether the text is wider than the panel, which then shows it cut with "…".
  bool isCut() const;

 signals:
  void PanelDblClick(app::StatusPanel* panel);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect textRect() const;
  QString key_;
};

}  // namespace app
