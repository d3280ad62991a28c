// The window's own commands on a long list, with real widgets (QT_QPA_PLATFORM=offscreen
// unless a display is asked for): on a copy of the 100,000-row benchmark file, the character
// check with the set 0123456789, a click on the column with the most values, then BatchClear,
// Ctrl+Z, BatchUpdate and Ctrl+Z, each through the window's menu and undo actions. Prints one
// line per step and the peak resident memory. Target: each repair and undo within 2 s.
//
//   bench_window [FILE [TABLE COLUMN]]   (default: ../shared/bench/bench100k2003.mdb, Ledger T1)
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/qt/frmMain.h"
#include "check/MemoryControls.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

long peakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

QTreeWidgetItem* findNode(QTreeWidget& tree, const QString& prefix) {
  for (QTreeWidgetItemIterator it(&tree); *it; ++it)
    if ((*it)->text(0).startsWith(prefix)) return *it;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path source = argc > 1 ? fs::path(argv[1])
                                   : fs::path(MDBCHECK_SHARED) / "bench" / "bench100k2003.mdb";
  const std::string table = argc > 3 ? argv[2] : "Ledger";
  const std::string column = argc > 3 ? argv[3] : "T1";
  if (!fs::exists(source)) {
    std::printf("skipped: %s is absent\n", source.c_str());
    return 0;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication qapp(argc, argv);

  // Beside the build, on the machine's disk (not a memory file system).
  const fs::path dir = fs::current_path() / "bench_window.tmp";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path file = dir / source.filename();
  fs::copy_file(source, file);
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);

  int status = 0;
  {
    check::ScriptedDialogs dialogs;
    app::frmMain window;
    window.setDialogs(&dialogs);
    window.show();
    QApplication::processEvents();
    const auto said = [&](const char* step) {
      for (const std::string& m : dialogs.messages) std::printf("  %s said: %s\n", step, m.c_str());
      dialogs.messages.clear();
    };

    dialogs.files.push_back(file.string());
    window.button("Open")->trigger();
    window.state().checkChars = "0123456789";
    window.ButtonClick("CheckChar");
    said("check");
    QTreeWidgetItem* node = findNode(*window.trvTable(), QString::fromStdString(column + "("));
    if (!node) {
      std::printf("no column %s in the tree\n", column.c_str());
      return 1;
    }
    window.trvTable()->setCurrentItem(node);
    auto t0 = Clock::now();
    emit window.trvTable()->Click();
    QApplication::processEvents();
    const double list = since(t0);
    const int lines = window.lstResult()->count();
    said("list");
    std::printf("%s.%s, %d values, the window's own commands with real widgets:\n", table.c_str(),
                column.c_str(), lines);
    std::printf("list: %.2f s\n", list);

    const auto step = [&](const char* name, QAction* action, const char* answer) {
      window.lstResult()->setCurrentRow(0);
      if (answer) dialogs.answers.push_back(answer);
      const auto start = Clock::now();
      action->trigger();
      QApplication::processEvents();
      const double s = since(start);
      std::printf("%s: %.2f s%s\n", name, s, s <= 2.0 ? "" : "  (over 2 s)");
      said(name);
      if (s > 2.0) status = 1;
    };
    step("batch clear", window.menuItem("BatchClear"), nullptr);
    const int cleared = window.lstResult()->count();
    step("undo", window.undoAction(), nullptr);
    const int restored = window.lstResult()->count();
    step("batch update", window.menuItem("BatchUpdate"), "ABCDEFGHIJ");
    step("undo", window.undoAction(), nullptr);
    std::printf("lines: %d listed, %d after the clear, %d after its undo, %d at the end\n", lines,
                cleared, restored, window.lstResult()->count());
    window.close();
  }
  std::printf("peak RSS: %.1f MB\n", double(peakKb()) / 1024.0);
  fs::remove_all(dir);
  return status;
}
