#include "app/qt/Widgets.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace app {

bool CutTextDelegate::isCut(const QAbstractItemView* view, const QModelIndex& index) const {
  if (!view || !index.isValid()) return false;
  QStyleOptionViewItem option;
  option.initFrom(view->viewport());
  option.rect = view->visualRect(index);
  option.font = view->font();
  option.fontMetrics = view->fontMetrics();
  initStyleOption(&option, index);
  const QStyle* style = view->style();
  const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
  const QString shown = displayText(index.data(Qt::DisplayRole), option.locale);
  return option.fontMetrics.horizontalAdvance(shown) > text.width() - 2 * margin;
}

bool CutTextDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (!event || !view || event->type() != QEvent::ToolTip)
    return QStyledItemDelegate::helpEvent(event, view, option, index);
  if (!isCut(view, index)) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view->viewport(),
                     view->visualRect(index));
  return true;
}

DefectTreeWidget::DefectTreeWidget(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  setItemDelegate(new CutTextDelegate(this));
}

void DefectTreeWidget::keyPressEvent(QKeyEvent* event) {
  const QList<QTreeWidgetItem*> before = selectedItems();
  QTreeWidget::keyPressEvent(event);
  if (selectedItems() != before) emit KeyboardSelection();
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

void ResultListWidget::keyPressEvent(QKeyEvent* event) {
  const bool menuKey = event->key() == Qt::Key_Menu;
  const bool shiftF10 = event->key() == Qt::Key_F10 &&
                        (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
  if (menuKey || shiftF10) {
    menuKeySeen_ = menuKey;
    event->accept();
    emit PopupKey();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void ResultListWidget::contextMenuEvent(QContextMenuEvent* event) {
  // Some platforms follow the Menu key with a context-menu event of their own: that key
  // was answered already. A context-menu event from the keyboard alone opens the popup.
  if (event->reason() == QContextMenuEvent::Keyboard) {
    event->accept();
    if (!menuKeySeen_) emit PopupKey();
    menuKeySeen_ = false;
    return;
  }
  event->ignore();  // the mouse's road is the release of the right button
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

QRect StatusPanel::textRect() const { return contentsRect().adjusted(indent(), 0, 0, 0); }

bool StatusPanel::isCut() const {
  return fontMetrics().horizontalAdvance(text()) > textRect().width();
}

void StatusPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);  // the sunken frame
  QPainter painter(this);
  const QRect r = textRect();
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText));
  painter.drawText(r, int(alignment()), fontMetrics().elidedText(text(), Qt::ElideRight, r.width()));
}

void StatusPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  QLabel::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) emit PanelDblClick(this);
}

}  // namespace app
