#include "app/qt/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QResizeEvent>
#include <QSettings>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/qt/Application.h"

// The images live in this library's resources, which a static link would otherwise drop.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace app {
namespace {

// The desktop's key codes: letters and digits as themselves, F1..F24 from 112.
int keyCodeOf(int qtKey) {
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return kKeyF1 + (qtKey - Qt::Key_F1);
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
    return qtKey;
  if (qtKey == Qt::Key_Menu) return kKeyMenu;
  return 0;
}

int shiftStateOf(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::ShiftModifier ? kShiftMask : 0) |
         (modifiers & Qt::ControlModifier ? kCtrlMask : 0) |
         (modifiers & Qt::AltModifier ? kAltMask : 0);
}

int buttonOf(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton: return kLeftButton;
    case Qt::RightButton: return kRightButton;
    case Qt::MiddleButton: return kMiddleButton;
    default: return 0;
  }
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
  initResources();
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(kCaption));
  setWindowIcon(bookIcon());
  // The layout's client area is the smallest size; the operator may widen the window.
  setMinimumSize(twips(kClient.width), twips(kClient.height));
  resize(kDefaultWidth, kDefaultHeight);

  createControls();
  createToolBar();
  createStatusBar();
  createMenu();
  createTimer();
  stackControls();
  createCommandControls();
  createUndo();
  connectEvents();
  layoutControls();
  dispatch_->load();
  Timer1_->start();
}

frmMain::~frmMain() { Unload(); }

void frmMain::createControls() {
  // Tree and list keep their own places over the window rather than fill a layout; where
  // they overlap each other and the bars, stackControls() decides what shows.
  auto place = [](QWidget* w, const Rect& r) {
    w->setGeometry(twips(r.left), twips(r.top), twips(r.width), twips(r.height));
  };
  setCentralWidget(new QWidget(this));

  trvTable_ = new DefectTreeWidget(this);
  trvTable_->setObjectName(QStringLiteral("trvTable"));
  place(trvTable_, kTrvTable);

  lstResult_ = new ResultListWidget(this);
  lstResult_->setObjectName(QStringLiteral("lstResult"));
  place(lstResult_, kLstResult);

  // The tree first, with the focus at start; then the list.
  setTabOrder(trvTable_, lstResult_);
  trvTable_->setFocus();
}

void frmMain::createToolBar() {
  Toolbar1_ = new QToolBar(this);
  Toolbar1_->setObjectName(QStringLiteral("Toolbar1"));
  Toolbar1_->setMovable(false);
  Toolbar1_->setFloatable(false);
  Toolbar1_->setIconSize(QSize(16, 16));
  Toolbar1_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  Toolbar1_->setFixedHeight(twips(kToolbar1.height));
  // The buttons keep to the strip above the tree and the list.
  Toolbar1_->setContentsMargins(0, 0, 0, twips(kToolbar1.top + kToolbar1.height - kTrvTable.top));
  for (const ButtonDef& def : kButtons) {
    QAction* action = Toolbar1_->addAction(toolbarImage(def.image), QString());
    action->setObjectName(QString::fromUtf8(def.key));
    action->setData(QString::fromUtf8(def.key));
    action->setToolTip(QString::fromUtf8(def.toolTip));
    if (QWidget* w = Toolbar1_->widgetForAction(action)) {
      w->setFixedSize(23, 22);
      w->setFocusPolicy(Qt::NoFocus);
    }
  }
  addToolBar(Qt::TopToolBarArea, Toolbar1_);
}

void frmMain::createStatusBar() {
  StatusBar1_ = new QStatusBar(this);
  StatusBar1_->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1_->setSizeGripEnabled(false);
  StatusBar1_->setFixedHeight(twips(kStatusBar1.height));
  // A sunken panel and its text fit the bar's 17 pixels only in a small face.
  QFont font = StatusBar1_->font();
  font.setPixelSize(12);
  StatusBar1_->setFont(font);
  // The panels sit side by side from the left edge, two pixels apart. They fill the bar
  // themselves instead of joining its layout, which keeps a margin too wide for 17 pixels.
  auto* panels = new QWidget(StatusBar1_);
  panelRow_ = panels;
  panels->setGeometry(0, 0, twips(kStatusBar1.width), twips(kStatusBar1.height));
  auto* row = new QHBoxLayout(panels);
  row->setContentsMargins(0, 1, 0, 0);
  row->setSpacing(2);
  for (const PanelDef& def : kPanels) {
    auto* panel = new StatusPanel(QString::fromUtf8(def.key), twips(def.width), panels);
    row->addWidget(panel);
    panels_.push_back(panel);
  }
  row->addStretch(1);
  setStatusBar(StatusBar1_);
}

void frmMain::createMenu() {
  edit_ = new QMenu(QString::fromUtf8(kEditCaption), this);
  edit_->setObjectName(QStringLiteral("edit"));
  for (const MenuItemDef& def : kMenuItems) {
    QAction* item = edit_->addAction(QString::fromUtf8(def.caption));
    item->setObjectName(QString::fromUtf8(def.name));
    const char* name = def.name;
    connect(item, &QAction::triggered, this, [this, name] { dispatch_->menuClick(name); });
    item->setToolTip(QString::fromUtf8(kInPlaceTip));
  }
  edit_->setToolTipsVisible(true);
}

void frmMain::createUndo() {
  undo_ = new QAction(QString::fromUtf8(kUndoCaption), this);
  undo_->setObjectName(QString::fromUtf8(kUndoName));
  undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  undo_->setShortcutContext(Qt::WindowShortcut);
  undo_->setToolTip(QString::fromUtf8(kUndoToolTip));
  addAction(undo_);  // Ctrl+Z wherever the focus is in the window
  edit_->addSeparator();
  edit_->addAction(undo_);
  connect(undo_, &QAction::triggered, this, [this] { dispatch_->menuClick(kUndoName); });
  setUndoEnabled(dispatch_->canUndo());
}

void frmMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  layoutControls();
}

void frmMain::layoutControls() {
  if (!trvTable_ || !lstResult_ || !panelRow_) return;
  // Across, every place keeps its share of the layout's width; down, the tree and the list
  // keep their distances to the bars.
  const int w = width(), h = height();
  const int baseW = twips(kClient.width), baseH = twips(kClient.height);
  const auto across = [&](int t) { return (twips(t) * w + baseW / 2) / baseW; };
  const auto down = [&](const Rect& r) { return twips(r.height) + h - baseH; };
  trvTable_->setGeometry(across(kTrvTable.left), twips(kTrvTable.top), across(kTrvTable.width),
                         down(kTrvTable));
  lstResult_->setGeometry(across(kLstResult.left), twips(kLstResult.top),
                          across(kLstResult.width), down(kLstResult));
  panelRow_->setGeometry(0, 0, w, twips(kStatusBar1.height));
  // The clock keeps its width; the file name and the characters get the room.
  for (size_t i = 0; i < panels_.size() && i < std::size(kPanels); ++i) {
    const int width =
        int(i) + 1 == kClockPanel ? twips(kPanels[i].width) : across(kPanels[i].width);
    panels_[i]->setFixedWidth(width);
  }
}

void frmMain::rememberPlacement(const QString& settingsFile) {
  settingsFile_ = settingsFile;
  rememberPlacement_ = true;
  const QByteArray geometry = settings()->value(QStringLiteral("window/geometry")).toByteArray();
  if (!geometry.isEmpty()) restoreGeometry(geometry);
}

std::unique_ptr<QSettings> frmMain::settings() const {
  if (!settingsFile_.isEmpty())
    return std::make_unique<QSettings>(settingsFile_, QSettings::IniFormat);
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                     QString::fromUtf8(kApplicationName),
                                     QString::fromUtf8(kApplicationName));
}

void frmMain::stackControls() {
  // Bottom to top: the toolbar, the tree, the list, the status bar.
  trvTable_->raise();
  lstResult_->raise();
  StatusBar1_->raise();
}

void frmMain::createCommandControls() {
  tree_ = std::make_unique<TreeControl>(*trvTable_);
  list_ = std::make_unique<ListControl>(*lstResult_);
  status_ = std::make_unique<PanelControl>(panels_);
  qtDialogs_ = std::make_unique<QtDialogs>(this);
  events_.setWindow(this);
  dispatch_ = std::make_unique<Dispatch>(
      static_cast<Shell&>(*this), check::Controls{*tree_, *list_, *status_, *qtDialogs_, events_});
}

void frmMain::createTimer() {
  Timer1_ = new QTimer(this);
  Timer1_->setObjectName(QStringLiteral("Timer1"));
  Timer1_->setInterval(kClockIntervalMs);
}

void frmMain::connectEvents() {
  connect(Toolbar1_, &QToolBar::actionTriggered, this,
          [this](QAction* button) { ButtonClick(button->data().toString()); });
  connect(Timer1_, &QTimer::timeout, this, &frmMain::Tick);
  connect(lstResult_, &ResultListWidget::MouseUp, this, &frmMain::MouseUp);
  connect(lstResult_, &ResultListWidget::PopupKey, this, &frmMain::PopupKey);
  connect(trvTable_, &DefectTreeWidget::Click, this, [this] { dispatch_->treeClick(); });
  connect(trvTable_, &DefectTreeWidget::KeyboardSelection, this,
          [this] { dispatch_->treeSelectionChanged(); });
  for (StatusPanel* panel : panels_) {
    connect(panel, &StatusPanel::PanelDblClick, this,
            [this](StatusPanel* p) { dispatch_->panelDblClick(p->key().toStdString()); });
  }
  // Key preview: the window sees every key press meant for one of its widgets.
  qApp->installEventFilter(this);
}

void frmMain::setDialogs(check::Dialogs* dialogs) {
  dispatch_->setControls(
      check::Controls{*tree_, *list_, *status_, dialogs ? *dialogs : *qtDialogs_, events_});
}

QAction* frmMain::button(const QString& key) const {
  for (QAction* action : Toolbar1_->actions())
    if (action->data().toString() == key) return action;
  return nullptr;
}

StatusPanel* frmMain::panel(int position) const {
  return position >= 1 && position <= int(panels_.size()) ? panels_[size_t(position - 1)]
                                                          : nullptr;
}

QAction* frmMain::menuItem(const QString& name) const {
  for (QAction* action : edit_->actions())
    if (action->objectName() == name) return action;
  return nullptr;
}

// ---- events ----

void frmMain::Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  Timer1_->stop();
  dispatch_->unload();
}

void frmMain::closeEvent(QCloseEvent* event) {
  if (rememberPlacement_ && !unloaded_) {
    try {
      settings()->setValue(QStringLiteral("window/geometry"), saveGeometry());
    } catch (...) {
      // A place not remembered is no reason to keep the window open.
    }
  }
  Unload();
  event->accept();
}

void frmMain::ButtonClick(const QString& key) { dispatch_->buttonClick(key.toStdString()); }

void frmMain::KeyDown(int keyCode, int shift) { dispatch_->keyDown(keyCode, shift); }

void frmMain::Tick() { dispatch_->tick(); }

void frmMain::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                      const QPoint& globalPos) {
  dispatch_->mouseUp(buttonOf(button), shiftStateOf(modifiers), globalPos.x(), globalPos.y());
}

void frmMain::PopupKey() { dispatch_->popupKey(); }

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) {
    previewed_ = nullptr;
    return false;
  }
  // A key press that the focused widget ignores travels up through its parents and passes
  // this filter once per widget; it is previewed only the first time.
  if (event == previewed_ || !watched->isWidgetType() ||
      static_cast<QWidget*>(watched)->window() != this)
    return false;
  previewed_ = event;
  const auto* key = static_cast<const QKeyEvent*>(event);
  KeyDown(keyCodeOf(key->key()), shiftStateOf(key->modifiers()));
  previewed_ = event;  // the help box's own events have passed through here meanwhile
  return false;        // the focused control still gets the key
}

// ---- the dispatch's Shell ----

void frmMain::showPopupAt(int screenX, int screenY) { edit_->popup(QPoint(screenX, screenY)); }

void frmMain::showPopupUnderLine(int line) {
  QListWidgetItem* item = lstResult_->item(line);
  if (!item) return;
  lstResult_->scrollToItem(item);
  const QRect r = lstResult_->visualItemRect(item);
  edit_->popup(lstResult_->viewport()->mapToGlobal(r.bottomLeft()));
}

std::string frmMain::timeOfDay() {
  return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdString();
}

void frmMain::setUndoEnabled(bool enabled) {
  if (undo_) undo_->setEnabled(enabled);
}

// ---- images ----

QIcon toolbarImage(int index) {
  QImage image(QStringLiteral(":/images/toolbar%1.png").arg(index));
  image = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb mask = qRgb(0xC0, 0xC0, 0xC0);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if ((line[x] | 0xFF000000u) == mask) line[x] = 0;
  }
  return QIcon(QPixmap::fromImage(image));
}

QIcon bookIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/images/book16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/images/book32.png"), QSize(32, 32));
  return icon;
}

}  // namespace app
