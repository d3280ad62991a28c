// BatchUpdate of the 40,000 defective dates of Big.D through the real command code, next to
// the engine's own rate for the same walk (scan the column, rewrite each defective row) in
// the same run. Prints rows per second and the ratio; skips when the fixture is absent or
// the engine cannot write yet.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "check/Commands.h"
#include "check/MemoryControls.h"
#include "data/Dao.h"
#include "jet/Database.h"
#include "jet/DateTime.h"
#include "jet/Error.h"
#include "repair/Commands.h"
#include "repair/RepairState.h"

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

// The data access objects alone: the select query walked with Edit, Value and Update.
long daoWalk(const std::string& path, double& elapsed) {
  auto ws = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
  auto db = ws->OpenDatabase(path, true);
  const auto start = Clock::now();
  auto rs = db->OpenRecordset("select [D] from [Big] where [D]<#1900-1-1# and [D]>#0:0:0#");
  const auto field = rs->Fields(0);
  const dao::Variant value("2000-01-01");
  long rows = 0;
  db->BeginBatch();
  for (; !rs->Eof(); rs->MoveNext(), ++rows) {
    rs->Edit();
    field->SetValue(value);
    rs->Update();
  }
  db->CommitBatch();
  elapsed = seconds(start);
  rs->Close();
  db->Close();
  ws->Close();
  return rows;
}

// The command path: the list of a drill-down, then BatchUpdate with one date for all.
long commandWalk(const std::string& path, double& elapsed, std::string& failure) {
  repair::RepairState state;
  state.checkChars = check::kDefaultCheckChars;
  check::MemoryControls ui;
  ui.dialogs.files.push_back(path);
  std::vector<check::Message> messages;
  const auto take = [&](const check::Result& r) {
    messages.insert(messages.end(), r.messages.begin(), r.messages.end());
  };
  take(check::OpenDatabaseFile(state, ui.controls));
  ui.tree.select(check::NodeId{check::NodeId::Kind::Column, "Big", "D"});
  take(check::DrillDown(state, ui.controls));
  ui.list.select(0);
  ui.dialogs.answers.push_back("2000-01-01");
  const auto start = Clock::now();
  take(repair::BatchUpdate(state, ui.controls));
  elapsed = seconds(start);
  if (!messages.empty()) failure = messages.front().text;
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
  // Each walk runs on a fresh copy, three times; the best time of each is compared, so a
  // cold cache does not count against whichever walk happens to run first.
  int copies = 0;
  const auto freshCopy = [&] {
    const std::string path = (dir / ("copy" + std::to_string(copies++) + ".mdb")).string();
    fs::copy_file(fixture, path);
    // The shared fixture is read-only and its copy keeps the mode; the engine rightly
    // refuses to write a read-only file.
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    return path;
  };
  int status = 0;
  try {
    double engineSeconds = 1e9, daoSeconds = 1e9, commandSeconds = 1e9;
    long engineRows = 0, daoRows = 0, commandRows = 0;
    for (int round = 0; round < 3; ++round) {
      double t = 0;
      engineRows = engineWalk(freshCopy(), t);
      engineSeconds = std::min(engineSeconds, t);
      daoRows = daoWalk(freshCopy(), t);
      daoSeconds = std::min(daoSeconds, t);
      std::string failure;
      commandRows = commandWalk(freshCopy(), t, failure);
      if (!failure.empty()) throw jet::Error(0, failure);
      commandSeconds = std::min(commandSeconds, t);
    }
    const double engineRate = engineRows / engineSeconds;
    const double commandRate = commandRows / commandSeconds;
    std::printf("%-34s %8s %10s %12s\n", "walk over Big.D (best of 3)", "rows", "seconds", "rows/s");
    std::printf("%-34s %8ld %10.3f %12.0f\n", "engine: scan + update per row", engineRows,
                engineSeconds, engineRate);
    std::printf("%-34s %8ld %10.3f %12.0f\n", "data access objects: query walk", daoRows,
                daoSeconds, daoRows / daoSeconds);
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
