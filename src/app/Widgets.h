#pragma once
// The window's controls where their events differ from the plain Qt widgets: the tree
// reports a click anywhere in it, the list reports every mouse release and keeps its
// selection on a right-click, and a status-bar panel carries a key and reports a
// double-click.
#include <QLabel>
#include <QListWidget>
#include <QStyledItemDelegate>
#include <QTreeWidget>

namespace app {

class DefectTreeWidget : public QTreeWidget {
  Q_OBJECT
 public:
  explicit DefectTreeWidget(QWidget* parent = nullptr);

 signals:
  // A left click anywhere in the tree, after the press has moved the selection. A
  // double-click counts as one click.
  void Click();

 protected:
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

 protected:
  // A right press only takes the focus: the popup acts on the line selected before it.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// Shows line breaks inside a value as one visible mark, so that every value keeps one line.
class OneLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QString displayText(const QVariant& value, const QLocale& locale) const override;
};

class StatusPanel : public QLabel {
  Q_OBJECT
 public:
  StatusPanel(const QString& key, int width, QWidget* parent = nullptr);
  const QString& key() const { return key_; }

 signals:
  void PanelDblClick(app::StatusPanel* panel);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QString key_;
};

}  // namespace app
