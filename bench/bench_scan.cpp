// How fast the scan counts defects, column by column as the check's count queries do, on
// the shared benchmark file (1,000,000 rows): the 4 Date/Time columns (0 < d < 2) and the
// 4 Text columns (any default special character), each against `mdb-export FILE Ledger`
// timed in the same run. Prints rows per second and the ratios.
//
//   bench_scan [--file=PATH] [google benchmark flags]
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "jet/Database.h"

namespace {

std::string gFile = std::string(MDBCHECK_SHARED) + "/bench/bench1m2003.mdb";
double gExportSeconds = 0;  // mdb-export of the same table, measured once
const char* kDates[] = {"D1", "D2", "D3", "D4"};
const char* kTexts[] = {"T1", "T2", "T3", "T4"};

// The default special characters, as a 256-entry table for the text test.
struct Specials {
  bool hit[256] = {};
  Specials() {
    for (unsigned char c : std::string("-+*/#%<>:,{='")) hit[c] = true;
  }
} gSpecials;

long countDates(jet::Database& db, const jet::TableInfo& t, int column) {
  auto cur = db.scan(t);
  long n = 0;
  double d;
  while (cur->next())
    if (cur->date(column, d) && d > 0 && d < 2) ++n;
  return n;
}

long countTexts(jet::Database& db, const jet::TableInfo& t, int column) {
  auto cur = db.scan(t);
  long n = 0;
  std::string s;
  while (cur->next()) {
    if (!cur->text(column, s)) continue;
    for (unsigned char c : s)
      if (gSpecials.hit[c]) {
        ++n;
        break;
      }
  }
  return n;
}

template <long (*Count)(jet::Database&, const jet::TableInfo&, int)>
void scanColumns(benchmark::State& state, const char* const* columns) {
  auto db = jet::Database::open(gFile, jet::Database::Mode::ReadOnly);
  const jet::TableInfo* t = db->findTable("Ledger");
  long rows = 0;
  for (auto _ : state) {
    long defects = 0;
    for (int i = 0; i < 4; ++i) defects += Count(*db, *t, t->findColumn(columns[i])->position);
    benchmark::DoNotOptimize(defects);
    state.counters["defects"] = static_cast<double>(defects);
    rows += t->rowCount;
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  if (gExportSeconds > 0) {
    // Seconds per iteration against mdb-export's seconds: how many times faster.
    state.counters["x_mdb_export"] = benchmark::Counter(
        gExportSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  }
}

void BM_DateColumns(benchmark::State& state) { scanColumns<countDates>(state, kDates); }
void BM_TextColumns(benchmark::State& state) { scanColumns<countTexts>(state, kTexts); }

void BM_OpenAndCatalog(benchmark::State& state) {
  for (auto _ : state) {
    auto db = jet::Database::open(gFile, jet::Database::Mode::ReadOnly);
    benchmark::DoNotOptimize(db->tables().size());
  }
}

struct Timing {
  double wall = 0, cpu = 0;
};

double childCpu() {
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double ownCpu() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

double wallNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// mdb-export of the table, wall clock and the child's CPU time.
Timing timeExport() {
  const std::string cmd = "mdb-export '" + gFile + "' Ledger > /dev/null";
  const double c0 = childCpu(), w0 = wallNow();
  if (std::system(cmd.c_str()) != 0) return {};
  return {wallNow() - w0, childCpu() - c0};
}

// One of our counts (the 4 columns, one scan each, on one open database).
template <long (*Count)(jet::Database&, const jet::TableInfo&, int)>
Timing timeOurs(const char* const* columns, long& defects) {
  const double c0 = ownCpu(), w0 = wallNow();
  auto db = jet::Database::open(gFile, jet::Database::Mode::ReadOnly);
  const jet::TableInfo* t = db->findTable("Ledger");
  defects = 0;
  for (int i = 0; i < 4; ++i) defects += Count(*db, *t, t->findColumn(columns[i])->position);
  return {wallNow() - w0, ownCpu() - c0};
}

Timing median(std::vector<Timing> v) {
  std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.wall < b.wall; });
  Timing m = v[v.size() / 2];
  std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.cpu < b.cpu; });
  m.cpu = v[v.size() / 2].cpu;
  return m;
}

// Median of three runs of each, interleaved so that a busy machine weighs on all alike.
void summary() {
  std::vector<Timing> exp, dates, texts;
  long dDefects = 0, tDefects = 0;
  for (int run = 0; run < 3; ++run) {
    exp.push_back(timeExport());
    dates.push_back(timeOurs<countDates>(kDates, dDefects));
    texts.push_back(timeOurs<countTexts>(kTexts, tDefects));
  }
  const Timing e = median(exp), d = median(dates), t = median(texts);
  auto db = jet::Database::open(gFile, jet::Database::Mode::ReadOnly);
  const double rows = db->findTable("Ledger")->rowCount;
  std::printf("\n%-28s %9s %9s %14s %12s %12s\n", "median of 3", "wall s", "cpu s", "rows/s (wall)",
              "x export(w)", "x export(cpu)");
  std::printf("%-28s %9.3f %9.3f %14.0f %12s %12s\n", "mdb-export Ledger", e.wall, e.cpu, rows / e.wall, "1", "1");
  std::printf("%-28s %9.3f %9.3f %14.0f %12.1f %12.1f   defects %ld\n", "4 date columns (0<d<2)", d.wall,
              d.cpu, 4 * rows / d.wall, e.wall / d.wall, e.cpu / d.cpu, dDefects);
  std::printf("%-28s %9.3f %9.3f %14.0f %12.1f %12.1f   defects %ld\n", "4 text columns (specials)", t.wall,
              t.cpu, 4 * rows / t.wall, e.wall / t.wall, e.cpu / t.cpu, tDefects);
  std::printf("targets: dates >= 50x, text >= 15x (rows/s counts one row per column scanned)\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--file=", 0) == 0) gFile = a.substr(7);
  }
  if (!std::filesystem::exists(gFile)) {
    std::printf("benchmark file absent: %s (skipped)\n", gFile.c_str());
    return 0;
  }
  gExportSeconds = timeExport().wall;
  std::printf("mdb-export %s Ledger: %.2f s\n", gFile.c_str(), gExportSeconds);
  benchmark::RegisterBenchmark("DateColumns/4", BM_DateColumns)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("TextColumns/4", BM_TextColumns)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("OpenAndCatalog", BM_OpenAndCatalog)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  summary();
  return 0;
}
