// BatchUpdate of the 40,000 defective dates of Big.D through the real command code, next to
// the engine's own rate for the same walk (scan the column, rewrite each defective row) in
// the same run. Prints rows per second and the ratio; skips when the fixture is absent or
// the engine cannot write yet.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "app/CheckState.h"
#include "check/Commands.h"
#include "check/MemoryControls.h"
#include "jet/Database.h"
#include "jet/DateTime.h"
#include "jet/Error.h"
#include "repair/Commands.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The engine alone: one scan of the column, one update per defective row, one batch.
long engineWalk(const std::string& path, double& elapsed) {
  auto db = jet::Database::open(path, jet::Database::Mode::Exclusive);
  const jet::TableInfo* big = db->findTable("Big");
  const int column = big->findColumn("D")->position;
  const jet::Value value(jet::Date{jet::encodeDate({2000, 1, 1, 0, 0, 0})});
  const auto start = Clock::now();
  std::vector<jet::RowId> rows;
  auto cursor = db->scan(*big);
  double stored = 0;
  while (cursor->next())
    if (cursor->date(column, stored) && stored > 0 && stored < 2) rows.push_back(cursor->rowId());
  db->beginBatch();
  for (const jet::RowId& row : rows) db->update(*big, row, column, value);
  db->commitBatch();
  elapsed = seconds(start);
  db->close();
  return static_cast<long>(rows.size());
}

// The command path: the list of a drill-down, then BatchUpdate with one date for all.
long commandWalk(const std::string& path, double& elapsed, std::string& failure) {
  app::CheckState state;
  state.checkChars = app::kDefaultCheckChars;
  check::MemoryControls ui;
  ui.dialogs.files.push_back(path);
  check::OpenDatabaseFile(state, ui.controls);
  ui.tree.select(check::NodeId{check::NodeId::Kind::Column, "Big", "D"});
  check::DrillDown(state, ui.controls);
  ui.list.select(0);
  ui.dialogs.answers.push_back("2000-01-01");
  const auto start = Clock::now();
  repair::BatchUpdate(state, ui.controls);
  elapsed = seconds(start);
  if (!ui.dialogs.messages.empty()) failure = ui.dialogs.messages.front();
  const long rows = ui.list.count();
  check::CloseAtUnload(state);
  return rows;
}

}  // namespace

int main() {
  const fs::path fixture = fs::path(MDBCHECK_SHARED) / "fixtures" / "checks2000.mdb";
  if (!fs::exists(fixture)) {
    std::printf("skipped: %s is absent\n", fixture.c_str());
    return 0;
  }
  const fs::path dir = fs::temp_directory_path() / ("mdbcheck-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string engineCopy = (dir / "engine.mdb").string();
  const std::string commandCopy = (dir / "command.mdb").string();
  fs::copy_file(fixture, engineCopy);
  fs::copy_file(fixture, commandCopy);

  int status = 0;
  try {
    double engineSeconds = 0, commandSeconds = 0;
    const long engineRows = engineWalk(engineCopy, engineSeconds);
    std::string failure;
    const long commandRows = commandWalk(commandCopy, commandSeconds, failure);
    if (!failure.empty()) throw jet::Error(0, failure);
    const double engineRate = engineRows / engineSeconds;
    const double commandRate = commandRows / commandSeconds;
    std::printf("%-34s %8s %10s %12s\n", "walk over Big.D", "rows", "seconds", "rows/s");
    std::printf("%-34s %8ld %10.3f %12.0f\n", "engine: scan + update per row", engineRows,
                engineSeconds, engineRate);
    std::printf("%-34s %8ld %10.3f %12.0f\n", "command: BatchUpdate", commandRows,
                commandSeconds, commandRate);
    std::printf("command path costs %.2fx the engine's time (target at most 1.5x)\n",
                commandSeconds / engineSeconds);
  } catch (const jet::Error& e) {
    std::printf("skipped: %s\n", e.description().c_str());
  }
  fs::remove_all(dir);
  return status;
}
