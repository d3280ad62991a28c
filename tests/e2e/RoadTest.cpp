// The operator's road through the real window on a real X display: every dialog is Qt's
// own, found on the screen and typed into; every click goes to the widget under the mouse.
// After the window closes, the file is read back with a fresh engine.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <cmath>
#include <fstream>
#include <cstdlib>
#include <functional>
#include <set>

#include "Protected.h"
#include "TestFiles.h"
#include "app/qt/Application.h"
#include "app/qt/frmMain.h"
#include "jet/Database.h"
#include "jet/DateTime.h"

// Failures show the texts, not their UTF-16 units.
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using testfiles::ScratchDir;

// Waits, running events, until `ready` holds; false after `ms`.
bool waitFor(const std::function<bool()>& ready, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!ready()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(10);
  }
  return true;
}

// Arranges for `act` to run on the next modal dialog as soon as it is on the screen, from
// inside the dialog's own event loop (the command that opened it is still waiting).
// Only a dialog of type D counts.
template <class D = QDialog>
void onNextDialog(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(25);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || !qobject_cast<D*>(w)) return;
    timer->stop();
    timer->deleteLater();
    act(w);
  });
  timer->start();
}

// Types into an input box's line and presses Enter, as the operator would.
void answerInput(QWidget* dialog, const QString& text, QString* promptSeen = nullptr) {
  auto* box = qobject_cast<QInputDialog*>(dialog);
  ASSERT_NE(box, nullptr) << "expected an input box";
  if (promptSeen) *promptSeen = box->labelText();
  auto* line = box->findChild<QLineEdit*>();
  ASSERT_NE(line, nullptr);
  line->selectAll();
  QTest::keyClick(line, Qt::Key_Delete);
  QTest::keyClicks(line, text);
  QTest::keyClick(line, Qt::Key_Return);
}

// Reads a message box's text and closes it with Enter.
void acknowledge(QWidget* dialog, QString* textSeen) {
  auto* box = qobject_cast<QMessageBox*>(dialog);
  ASSERT_NE(box, nullptr) << "expected a message box";
  *textSeen = box->text();
  QTest::keyClick(box, Qt::Key_Return);
}

class Road : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = scratch_.copy(testfiles::data(fixture()), "road.mdb");
    window_ = std::make_unique<app::frmMain>();
    window_->qtDialogs().setUseNativeFileDialog(false);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    QDir().mkpath(MDBCHECK_SCREENS);
  }

  void screenshot(const char* name) {
    QCoreApplication::processEvents();
    window_->grab().save(QString(MDBCHECK_SCREENS) + "/" + name + ".png");
  }

  void clickButton(const char* key) {
    QAction* action = window_->button(key);
    ASSERT_NE(action, nullptr) << key;
    QWidget* button = window_->Toolbar1()->widgetForAction(action);
    ASSERT_NE(button, nullptr) << key;
    QTest::mouseClick(button, Qt::LeftButton);
  }

  virtual const char* fixture() const { return "checks2000.mdb"; }

  // Opens path_ (or `other`) by typing it into Qt's own file dialog and pressing its Open
  // button.
  void openByDialog(QString* titleSeen, const std::filesystem::path& other = {}) {
    const std::filesystem::path chosen = other.empty() ? path_ : other;
    onNextDialog([chosen, titleSeen](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      ASSERT_NE(dialog, nullptr) << "expected the file dialog";
      *titleSeen = dialog->windowTitle();
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      // The name box's completer completes, inline and whenever the folder's listing arrives,
      // against whatever else lies in the temporary folder; a person sees and corrects that,
      // a script cannot time it. The rest of the dialog is Qt's own.
      name->setCompleter(nullptr);
      dialog->activateWindow();
      name->setFocus();
      ASSERT_TRUE(waitFor([&] { return name->hasFocus(); }, 2000)) << "the name box has no focus";
      const QString file = QString::fromStdString(chosen.string());
      QTest::keyClicks(name, file);
      ASSERT_EQ(name->text(), file);
      auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
      ASSERT_NE(buttons, nullptr);
      QPushButton* open = buttons->button(QDialogButtonBox::Open);
      ASSERT_NE(open, nullptr);
      QTest::mouseClick(open, Qt::LeftButton);
      EXPECT_FALSE(dialog->isVisible()) << "the dialog did not take " << file.toStdString();
    });
    clickButton("Open");
  }

  QTreeWidgetItem* root() { return window_->trvTable()->topLevelItem(0); }

  QTreeWidgetItem* child(QTreeWidgetItem* parent, const QString& text) {
    for (int i = 0; i < parent->childCount(); ++i) {
      if (parent->child(i)->text(0) == text) return parent->child(i);
    }
    return nullptr;
  }

  // The tree as "table: column(n条), ..." lines, in display order.
  std::vector<std::string> treeLines() {
    std::vector<std::string> lines;
    QTreeWidgetItem* r = root();
    if (!r) return lines;
    for (int i = 0; i < r->childCount(); ++i) {
      std::string line = r->child(i)->text(0).toStdString() + ":";
      for (int j = 0; j < r->child(i)->childCount(); ++j) {
        line += " " + r->child(i)->child(j)->text(0).toStdString();
      }
      lines.push_back(line);
    }
    return lines;
  }

  // Expands the table's node like a click on its arrow, then clicks the column's line.
  void clickColumn(const QString& table, const QString& columnText) {
    QTreeWidgetItem* t = child(root(), table);
    ASSERT_NE(t, nullptr) << table.toStdString();
    window_->trvTable()->expandItem(t);
    QTreeWidgetItem* c = child(t, columnText);
    ASSERT_NE(c, nullptr) << columnText.toStdString();
    window_->trvTable()->scrollToItem(c);
    QCoreApplication::processEvents();
    QRect r = window_->trvTable()->visualItemRect(c);
    QTest::mouseClick(window_->trvTable()->viewport(), Qt::LeftButton, {}, r.center());
  }

  std::vector<std::string> listLines() {
    std::vector<std::string> lines;
    for (int i = 0; i < window_->lstResult()->count(); ++i) {
      lines.push_back(window_->lstResult()->item(i)->text().toStdString());
    }
    return lines;
  }

  // Selects a line with the left button, then right-clicks it and chooses a popup item.
  void popupCommand(int line, const QString& caption) {
    QListWidget* list = window_->lstResult();
    ASSERT_LT(line, list->count());
    QRect r = list->visualItemRect(list->item(line));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_EQ(list->currentRow(), line);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, r.center());
    ASSERT_TRUE(waitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }))
        << "no popup menu";
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QAction* item = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->text() == caption) item = a;
    }
    ASSERT_NE(item, nullptr) << caption.toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
  }

  QString panel(int position) { return window_->panel(position)->text(); }

  ScratchDir scratch_;
  std::filesystem::path path_;
  std::unique_ptr<app::frmMain> window_;
};

// The values of one column in scan order, read with a fresh engine.
std::vector<jet::Value> columnValues(const std::string& path, const std::string& table,
                                     const std::string& column, std::string_view password = {}) {
  auto db = jet::Database::open(path, jet::Database::Mode::ReadOnly, password);
  const jet::TableInfo* t = db->findTable(table);
  EXPECT_NE(t, nullptr);
  const jet::ColumnInfo* c = t->findColumn(column);
  EXPECT_NE(c, nullptr);
  std::vector<jet::Value> values;
  auto cursor = db->scan(*t);
  while (cursor->next()) values.push_back(cursor->value(c->position));
  return values;
}

bool badDate(const jet::Value& v) {
  return v.kind() == jet::Value::Kind::Date && v.asDate().stored > 0 && v.asDate().stored < 2;
}

TEST_F(Road, OpenCheckDrillRepairAndCheckAgain) {
  // Open: the path is typed into Qt's own file dialog.
  QString dialogTitle;
  openByDialog(&dialogTitle);
  EXPECT_EQ(dialogTitle, QStringLiteral("打开数据文件"));
  EXPECT_EQ(panel(1), QStringLiteral("road.mdb"));
  EXPECT_EQ(panel(3), QStringLiteral("-+*/#%<>:,{=''"));
  EXPECT_EQ(window_->trvTable()->topLevelItemCount(), 0);
  screenshot("1-opened");

  // Date check: the tree of every table with bad dates, in collection order.
  clickButton("Tavrin");
  ASSERT_NE(root(), nullptr);
  EXPECT_EQ(root()->text(0), QStringLiteral("表"));
  EXPECT_EQ(treeLines(), (std::vector<std::string>{
                             "a,b: d(1条)", "Big: D(40000条)", "Order Details: Delivered(2条)",
                             "Orders: OrderDate(2条) Shipped(3条)", "Reserved: Date(1条)",
                             "ROOT: When(1条)", "Shipments: Ship Date(1条)", "凭证: 制单日期(5条)"}));
  window_->trvTable()->expandAll();
  screenshot("2-date-check");
  window_->trvTable()->collapseAll();

  // Drill down into Orders.Shipped: its three bad dates.
  clickColumn("Orders", "Shipped(3条)");
  std::vector<std::string> lines = listLines();
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()),
            (std::multiset<std::string>{"1899-12-30 10:00:00", "1899-12-31",
                                        "1899-12-31 23:59:59"}));
  screenshot("3-drill-down");

  // Update the first line with a typed date: the line shows the stored value.
  QString prompt;
  onNextDialog([&](QWidget* w) { answerInput(w, "2024-6-30", &prompt); });
  popupCommand(0, QStringLiteral("更新"));
  EXPECT_EQ(prompt, QStringLiteral("输入新日期"));
  ASSERT_EQ(window_->lstResult()->count(), 3);
  EXPECT_EQ(window_->lstResult()->item(0)->text(), QStringLiteral("2024-06-30"));
  screenshot("4-updated");

  // Clear all the others.
  popupCommand(1, QStringLiteral("批量清空"));
  for (const std::string& line : listLines()) {
    EXPECT_FALSE(line.rfind("1899-", 0) == 0) << "a bad date is still listed: " << line;
  }

  // The date check again: Shipped is clean now.
  clickButton("Tavrin");
  EXPECT_EQ(child(child(root(), "Orders"), QStringLiteral("Shipped(3条)")), nullptr);
  EXPECT_NE(child(child(root(), "Orders"), QStringLiteral("OrderDate(2条)")), nullptr);

  // Character check with the default set.
  clickButton("CheckChar");
  ASSERT_NE(child(root(), QStringLiteral("凭证")), nullptr);
  window_->trvTable()->expandAll();
  screenshot("5-char-check");
  window_->trvTable()->collapseAll();

  // A new set through the pattern editor (double-click on the "Char" panel); the check runs
  // again with it.
  QString editorPrompt, hyphenMessage;
  onNextDialog([&](QWidget* w) {
    // The editor's input box first; then the hyphen rule announces itself.
    onNextDialog<QMessageBox>([&](QWidget* m) { acknowledge(m, &hyphenMessage); });
    answerInput(w, "/:-", &editorPrompt);
  });
  QTest::mouseDClick(window_->panel(3), Qt::LeftButton);
  EXPECT_EQ(editorPrompt, QStringLiteral("输入检查的特殊字符：如果检查回车键请输入'ENTER'"));
  EXPECT_EQ(hyphenMessage, QStringLiteral("含有-'，系统会将之提到最前"));
  EXPECT_EQ(panel(3), QStringLiteral("-/:"));
  QTreeWidgetItem* voucher = child(root(), QStringLiteral("凭证"));
  ASSERT_NE(voucher, nullptr);
  EXPECT_NE(child(voucher, QStringLiteral("摘要(3条)")), nullptr);
  EXPECT_NE(child(voucher, QStringLiteral("科目代码(4条)")), nullptr);

  // Rewrite all three summaries with a replacement mode.
  clickColumn(QStringLiteral("凭证"), QStringLiteral("摘要(3条)"));
  ASSERT_EQ(window_->lstResult()->count(), 3);
  QString modePrompt;
  onNextDialog([&](QWidget* w) { answerInput(w, "_~.", &modePrompt); });
  popupCommand(0, QStringLiteral("批量更新"));
  EXPECT_EQ(modePrompt, QStringLiteral("输入新匹配替换模式:\r\n\r\n-/:"));
  lines = listLines();
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()),
            (std::multiset<std::string>{"付款_现金", "销售收入~应收", "转账.工行"}));
  screenshot("6-batch-update");

  // F1 wherever the focus is.
  QString help;
  onNextDialog([&](QWidget* w) { acknowledge(w, &help); });
  window_->lstResult()->setFocus();
  QTest::keyClick(window_->lstResult(), Qt::Key_F1);
  EXPECT_EQ(help, QStringLiteral("适用Zorvat.x数据年结或升级前的数据检查"));

  // Close: the file is released and holds every repair.
  window_->close();
  window_.reset();

  std::vector<jet::Value> shipped = columnValues(path_.string(), "Orders", "Shipped");
  int updated = 0;
  for (const jet::Value& v : shipped) {
    EXPECT_FALSE(badDate(v)) << v.toText();
    if (v.kind() == jet::Value::Kind::Date && v.asDate().stored == *jet::parseDate("2024-06-30")) {
      ++updated;
    }
  }
  EXPECT_GE(updated, 1);
  std::set<std::string> summaries;
  for (const jet::Value& v : columnValues(path_.string(), "凭证", "摘要")) {
    if (!v.isNull()) summaries.insert(v.asText());
  }
  for (const char* expected : {"付款_现金", "销售收入~应收", "转账.工行"}) {
    EXPECT_TRUE(summaries.count(expected)) << expected;
  }
  for (const char* gone : {"付款-现金", "销售收入/应收", "转账:工行"}) {
    EXPECT_FALSE(summaries.count(gone)) << gone;
  }

  // And the file is sound by the structural check.
  if (testfiles::requireCli()) {
    const testfiles::CommandResult verified =
        testfiles::runCommand(testfiles::shellQuoted(testfiles::cli().string()) + " verify " +
                              testfiles::shellQuoted(path_.string()) + " 2>&1");
    EXPECT_EQ(verified.status, 0) << verified.out;
  }
}

// The forgiving road: a cancelled open keeps the file, the keyboard's popup rewrites an
// indexed column in one batch, Ctrl+Z takes the batch back, and an open that fails leaves
// no file open. Afterwards the file holds exactly the values it had before the batch.
TEST_F(Road, CancelledOpenUndoneBatchAndFailedOpen) {
  const std::vector<jet::Value> pristine =
      columnValues(testfiles::data(fixture()).string(), "Orders", "OrderDate");
  QString title;
  openByDialog(&title);
  EXPECT_EQ(window_->size(), QSize(734, 588));  // room for the tree's counts
  clickButton("Tavrin");
  // Every label of the tree reads whole, counts included, in the real font.
  window_->trvTable()->expandAll();
  QCoreApplication::processEvents();
  const auto* cutCheck = static_cast<app::CutTextDelegate*>(window_->trvTable()->itemDelegate());
  for (QTreeWidgetItemIterator it(window_->trvTable()); *it; ++it)
    EXPECT_FALSE(cutCheck->isCut(window_->trvTable(), window_->trvTable()->indexFromItem(*it)))
        << (*it)->text(0).toStdString();
  // Narrowed to the layout's size and widened again, the list keeps the window's right edge.
  window_->resize(367, 294);
  QCoreApplication::processEvents();
  EXPECT_EQ(window_->lstResult()->geometry().right(), 368);
  window_->resize(734, 588);
  QCoreApplication::processEvents();
  EXPECT_GE(window_->lstResult()->geometry().right(), 733);
  window_->trvTable()->collapseAll();
  clickColumn("Orders", QStringLiteral("OrderDate(2条)"));
  const std::vector<std::string> listed = listLines();
  ASSERT_EQ(listed.size(), 2u);

  // Cancel in Qt's own dialog, whose texts are Chinese: nothing changes.
  QString cancelText, nameHeader;
  onNextDialog([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr) << "expected the file dialog";
    if (auto* view = dialog->findChild<QTreeView*>("treeView"))
      nameHeader = view->model()->headerData(0, Qt::Horizontal).toString();
    auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
    ASSERT_NE(buttons, nullptr);
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    ASSERT_NE(cancel, nullptr);
    cancelText = cancel->text();
    QTest::mouseClick(cancel, Qt::LeftButton);
  });
  clickButton("Open");
  EXPECT_EQ(cancelText, QStringLiteral("取消"));
  EXPECT_EQ(nameHeader, QStringLiteral("名称"));
  EXPECT_EQ(panel(1), QStringLiteral("road.mdb"));
  EXPECT_EQ(listLines(), listed);
  ASSERT_NE(window_->state().database, nullptr);

  // The batch rewrite from the keyboard: the Menu key on the selected line.
  QListWidget* list = window_->lstResult();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(0)).center());
  QString prompt;
  onNextDialog([&](QWidget* w) { answerInput(w, "2001-2-3", &prompt); });
  QTest::keyClick(list, Qt::Key_Menu);
  ASSERT_TRUE(waitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }))
      << "no popup menu";
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  QAction* batch = nullptr;
  for (QAction* a : menu->actions())
    if (a->text() == QStringLiteral("批量更新")) batch = a;
  ASSERT_NE(batch, nullptr);
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(batch).center());
  EXPECT_EQ(prompt, QStringLiteral("输入新日期"));
  EXPECT_EQ(listLines(), (std::vector<std::string>{"2001-02-03", "2001-02-03"}));
  QTreeWidgetItem* orders = child(root(), "Orders");
  EXPECT_NE(child(orders, QStringLiteral("OrderDate(0条)")), nullptr);
  screenshot("8-batch-update");

  // Ctrl+Z: the two old values come back, listed again, and the count with them.
  QString undone;
  onNextDialog<QMessageBox>([&](QWidget* w) { acknowledge(w, &undone); });
  window_->activateWindow();  // a shortcut belongs to the active window
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(undone, QStringLiteral("已撤销上一次修复：恢复了 2 个值。"));
  EXPECT_EQ(listLines(), listed);
  EXPECT_NE(child(orders, QStringLiteral("OrderDate(2条)")), nullptr);
  EXPECT_FALSE(window_->undoAction()->isEnabled());
  screenshot("9-undone");

  // A file that is no database: the engine says so, and no file is shown as open.
  const std::filesystem::path broken = scratch_.path() / "broken.mdb";
  std::ofstream(broken) << "no database here\n";
  QString failure;
  onNextDialog<QMessageBox>([&](QWidget* w) { acknowledge(w, &failure); });
  openByDialog(&title, broken);
  EXPECT_TRUE(failure.contains(QStringLiteral("broken.mdb"))) << failure.toStdString();
  EXPECT_EQ(panel(1), QString());
  EXPECT_EQ(window_->trvTable()->topLevelItemCount(), 0);
  EXPECT_EQ(window_->lstResult()->count(), 0);
  EXPECT_EQ(window_->state().database, nullptr);
  QString askFirst;
  onNextDialog<QMessageBox>([&](QWidget* w) { acknowledge(w, &askFirst); });
  clickButton("Tavrin");
  EXPECT_EQ(askFirst, QStringLiteral("请先打开数据库"));

  window_->close();
  window_.reset();
  // Read back: every value as before the batch, and the file sound.
  const std::vector<jet::Value> after = columnValues(path_.string(), "Orders", "OrderDate");
  ASSERT_EQ(after.size(), pristine.size());
  for (size_t i = 0; i < after.size(); ++i)
    EXPECT_TRUE(after[i] == pristine[i]) << i << ": " << after[i].toText() << " was "
                                         << pristine[i].toText();
  std::string cli = std::string(MDBCHECK_BINARY_DIR) + "/tools/mdbcheck-cli";
  ASSERT_TRUE(std::filesystem::exists(cli));
  const testfiles::CommandResult verified = testfiles::runCommand(
      testfiles::shellQuoted(cli) + " verify " + testfiles::shellQuoted(path_.string()) + " 2>&1");
  EXPECT_EQ(verified.status, 0) << verified.out;
}

// A file with a database password and encoded pages: the password box asks for it, with
// its input masked; a wrong one says so and asks again; 取消 leaves no file open; the right
// one opens the file, which checks and repairs as any other.
class PasswordRoad : public Road {
 protected:
  void SetUp() override {
    Road::SetUp();
    protect::encodePages(path_);
    protect::setPassword(path_, "Ku8-Road");
  }
};

TEST_F(PasswordRoad, WrongPasswordCancelAndTheRightOne) {
  QString title, prompt, refusal;
  QLineEdit::EchoMode echo = QLineEdit::Normal;
  // A wrong password, the refusal, the box again, 取消.
  onNextDialog<QInputDialog>([&](QWidget* w) {
    auto* box = qobject_cast<QInputDialog*>(w);
    ASSERT_NE(box, nullptr);
    echo = box->findChild<QLineEdit*>()->echoMode();
    onNextDialog<QMessageBox>([&](QWidget* m) {
      onNextDialog<QInputDialog>([&](QWidget* again) {
        auto* box2 = qobject_cast<QInputDialog*>(again);
        ASSERT_NE(box2, nullptr);
        auto* buttons = box2->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
        QTest::mouseClick(cancel, Qt::LeftButton);
      });
      acknowledge(m, &refusal);
    });
    answerInput(w, "ku8-road", &prompt);
  });
  openByDialog(&title);
  EXPECT_EQ(prompt, QStringLiteral("请输入数据库 'road.mdb' 的密码："));
  EXPECT_EQ(echo, QLineEdit::Password);
  EXPECT_EQ(refusal, QStringLiteral("不是有效的密码。"));
  EXPECT_EQ(window_->state().database, nullptr);
  EXPECT_EQ(panel(1), QString());

  onNextDialog<QInputDialog>([&](QWidget* w) { answerInput(w, "Ku8-Road"); });
  openByDialog(&title);
  ASSERT_NE(window_->state().database, nullptr);
  EXPECT_EQ(panel(1), QStringLiteral("road.mdb"));
  clickButton("Tavrin");
  clickColumn("Orders", QStringLiteral("OrderDate(2条)"));
  onNextDialog([&](QWidget* w) { answerInput(w, "2011-11-11"); });
  popupCommand(0, QStringLiteral("批量更新"));
  EXPECT_EQ(listLines(), (std::vector<std::string>{"2011-11-11", "2011-11-11"}));
  window_->close();
  window_.reset();
  for (const jet::Value& v : columnValues(path_.string(), "Orders", "OrderDate", "Ku8-Road"))
    EXPECT_FALSE(badDate(v)) << v.toText();
}

// A file with one defective date column: one value rewritten by hand, the other by the batch,
// and the date check finds nothing any more.
class OneColumnRoad : public Road {
 protected:
  const char* fixture() const override { return "linked_target.mdb"; }
};

TEST_F(OneColumnRoad, RepairedColumnLeavesNothingToFind) {
  QString title;
  openByDialog(&title);
  clickButton("Tavrin");
  ASSERT_EQ(treeLines(), (std::vector<std::string>{"Orders2: OrderDate(2条)"}));
  clickColumn("Orders2", QStringLiteral("OrderDate(2条)"));
  ASSERT_EQ(window_->lstResult()->count(), 2);

  onNextDialog([&](QWidget* w) { answerInput(w, "2023-12-31"); });
  popupCommand(0, QStringLiteral("更新"));
  EXPECT_EQ(window_->lstResult()->item(0)->text(), QStringLiteral("2023-12-31"));

  QString prompt;
  onNextDialog([&](QWidget* w) { answerInput(w, "2024-1-1", &prompt); });
  popupCommand(1, QStringLiteral("批量更新"));
  EXPECT_EQ(prompt, QStringLiteral("输入新日期"));
  for (const std::string& line : listLines()) EXPECT_EQ(line.rfind("1899-", 0), std::string::npos);

  clickButton("Tavrin");
  ASSERT_NE(root(), nullptr);
  EXPECT_EQ(root()->text(0), QStringLiteral("没有发现错误"));
  EXPECT_EQ(root()->childCount(), 0);
  screenshot("7-nothing-found");

  window_->close();
  window_.reset();
  std::vector<jet::Value> dates = columnValues(path_.string(), "Orders2", "OrderDate");
  for (const jet::Value& v : dates) EXPECT_FALSE(badDate(v)) << v.toText();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  app::setUpApplication(application);
  // A dialog nobody answers must fail the run, not hang it.
  QTimer::singleShot(std::getenv("ROAD_TIMEOUT_MS") ? std::atoi(std::getenv("ROAD_TIMEOUT_MS"))
                                                     : 240000,
                     [] {
                       QWidget* w = QApplication::activeModalWidget();
                       std::fprintf(stderr, "the road took too long: %s \"%s\" was left open\n",
                                    w ? w->metaObject()->className() : "no dialog",
                                    w ? w->windowTitle().toUtf8().constData() : "");
                       if (auto* box = qobject_cast<QMessageBox*>(w)) {
                         std::fprintf(stderr, "its text: %s\n", box->text().toUtf8().constData());
                       }
                       std::_Exit(3);
                     });
  ::testing::InitGoogleTest(&argc, argv);
  const int failed = RUN_ALL_TESTS();
  // A step skipped (and nothing failed) makes the whole road a skip for CTest (status 77).
  if (failed == 0 && ::testing::UnitTest::GetInstance()->skipped_test_count() > 0) return 77;
  return failed;
}
