// Renders the window on the current X display and saves the screen around it as a PNG:
//   app_screenshot OUT.png [DATABASE [dates|chars [TABLE [COLUMN]]]]
// With a database, the window opens it, runs the check through the real commands and
// clicks the column (by default the first column of the first table); without one, it
// shows a sample result. Message boxes are printed instead of shown.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstring>

#include "app/qt/Application.h"
#include "app/qt/frmMain.h"

namespace {

class PrintedDialogs : public check::Dialogs {
 public:
  explicit PrintedDialogs(std::string file) : file_(std::move(file)) {}
  void message(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
  std::string input(const std::string&, const std::string&, const std::string&) override { return {}; }
  std::string openFile() override { return file_; }
  std::optional<jet::Secret> password(const std::string&, const std::string&) override { return {}; }

 private:
  std::string file_;
};

void sample(app::frmMain& w) {
  check::Controls& ui = w.controls();
  using K = check::NodeId::Kind;
  ui.tree.add({}, "表");
  ui.tree.add({K::Table, "订单", {}}, "订单");
  ui.tree.add({K::Column, "订单", "发货日期"}, "发货日期(3条)");
  ui.tree.add({K::Column, "订单", "签收日期"}, "签收日期(1条)");
  ui.tree.add({K::Table, "Employees", {}}, "Employees");
  ui.tree.add({K::Column, "Employees", "BirthDate"}, "BirthDate(2条)");
  for (const char* v : {"1899-12-30 08:15:00", "1800-01-01", "1753-06-15"}) ui.list.addItem(v, {});
  ui.status.setPanelText(1, "ledger.mdb");
  ui.status.setPanelText(3, w.state().checkChars);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: app_screenshot OUT.png [DATABASE [dates|chars [TABLE [COLUMN]]]]\n");
    return 2;
  }
  QApplication application(argc, argv);
  app::setUpApplication(application);
  PrintedDialogs dialogs(argc > 2 ? argv[2] : "");
  app::frmMain window;
  window.setDialogs(&dialogs);
  window.move(24, 24);
  window.show();

  QTimer::singleShot(300, [&] {
    const bool chars = argc > 3 && std::strcmp(argv[3], "chars") == 0;
    if (argc > 2) {
      window.ButtonClick("Open");
      window.ButtonClick(chars ? "CheckChar" : "Tavrin");
    } else {
      sample(window);
    }
    window.Tick();
    // Show the chosen column of the chosen table, selected and clicked.
    app::DefectTreeWidget* tree = window.trvTable();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QTreeWidgetItem* table = nullptr;
    for (int i = 0; root && i < root->childCount() && !table; ++i)
      if (argc <= 4 || root->child(i)->text(0) == QString::fromLocal8Bit(argv[4]))
        table = root->child(i);
    QTreeWidgetItem* column = nullptr;
    for (int i = 0; table && i < table->childCount() && !column; ++i)
      if (argc <= 5 || table->child(i)->text(0).startsWith(QString::fromLocal8Bit(argv[5]) + "("))
        column = table->child(i);
    if (root) root->setExpanded(true);
    if (argc <= 2) tree->expandAll();
    if (column) {
      table->setExpanded(true);
      tree->setCurrentItem(column);
      tree->scrollToItem(column);
      // The drill-down runs on a click in the tree.
      if (argc > 2) emit tree->Click();
    }
    window.lstResult()->setCurrentRow(0);
  });
  QTimer::singleShot(1500, [&] {
    const QRect frame = window.frameGeometry().adjusted(-8, -8, 8, 8);
    QPixmap shot = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                               frame.height());
    const bool saved = shot.save(QString::fromLocal8Bit(argv[1]));
    std::fprintf(stderr, "%s %s (%dx%d)\n", saved ? "saved" : "could not save", argv[1],
                 shot.width(), shot.height());
    QApplication::exit(saved ? 0 : 1);
  });
  return application.exec();
}
