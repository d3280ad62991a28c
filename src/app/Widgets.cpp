#include "app/Widgets.h"

#include <QMouseEvent>

namespace app {

DefectTreeWidget::DefectTreeWidget(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
}

void DefectTreeWidget::mousePressEvent(QMouseEvent* event) {
  afterDoubleClick_ = false;
  QTreeWidget::mousePressEvent(event);
}

void DefectTreeWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeWidget::mouseDoubleClickEvent(event);
  afterDoubleClick_ = event->button() == Qt::LeftButton;
}

void DefectTreeWidget::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton) return;
  if (afterDoubleClick_) {
    afterDoubleClick_ = false;
    return;
  }
  emit Click();
}

ResultListWidget::ResultListWidget(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  setUniformItemSizes(true);  // every value shows on one line
  setItemDelegate(new OneLineDelegate(this));
}

void ResultListWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    setFocus(Qt::MouseFocusReason);
    event->accept();
    return;
  }
  QListWidget::mousePressEvent(event);
}

void ResultListWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::RightButton) QListWidget::mouseReleaseEvent(event);
  emit MouseUp(event->button(), event->modifiers(), event->globalPosition().toPoint());
}

QString OneLineDelegate::displayText(const QVariant& value, const QLocale& locale) const {
  QString text = value.toString();
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\u21b5"));
  text.replace(QLatin1Char('\r'), QChar(0x21b5));
  text.replace(QLatin1Char('\n'), QChar(0x21b5));
  return text;
}

StatusPanel::StatusPanel(const QString& key, int width, QWidget* parent)
    : QLabel(parent), key_(key) {
  setObjectName(key);
  setFixedWidth(width);
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setTextFormat(Qt::PlainText);
  setIndent(2);
}

void StatusPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  QLabel::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) emit PanelDblClick(this);
}

}  // namespace app
