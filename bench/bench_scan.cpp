// How fast the checks find their defects on the shared benchmark file (1,000,000 rows),
// against the floor of reading the file: the date check's count queries on the 4
// Date/Time columns and the special-character check's on the 4 Text columns (default set),
// as the check writes them and the tool asks them (a table's queries answered in one walk;
// a second line gives one scan per query); `mdbcheck-cli scan` of both; and,
// in the same run as peers, `cat FILE` and `mdb-export FILE Ledger` (every program started
// directly, its output thrown away); and the engine's part alone in a process of its own
// (scan_once), which tells what a new process costs from what the tool's layers add. Prints the
// medians of 5 interleaved runs (warm cache) and every figure as a multiple of cat's.
//
//   bench_scan [--file=PATH] [--cli=PATH] [google benchmark flags]
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "check/Queries.h"
#include "jet/Database.h"
#include "jet/ScanFilter.h"
#include "jet/sql/Query.h"

namespace {

std::string gFile = std::string(MDBCHECK_SHARED) + "/bench/bench1m2003.mdb";
std::string gCli = std::string(MDBCHECK_BINARY_DIR) + "/tools/mdbcheck-cli";
std::string gOnce = std::string(MDBCHECK_BINARY_DIR) + "/bench/scan_once";
double gExportSeconds = 0;  // mdb-export of the same table, measured once
const char* kDefaultSet = "-+*/#%<>:,{=''";
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

// The check's count query of one column, as the engine answers it.
long countQuery(jet::Database& db, const jet::TableInfo& t, int column, bool chars) {
  const std::string sql = check::countQuery(t.name, t.columns[column].name, chars ? check::kCharCheck : check::kDateCheck, kDefaultSet);
  return static_cast<long>(jet::sql::Query::prepare(db, sql).count(db));
}
long checkDates(jet::Database& db, const jet::TableInfo& t, int column) { return countQuery(db, t, column, false); }
long checkTexts(jet::Database& db, const jet::TableInfo& t, int column) { return countQuery(db, t, column, true); }

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
void BM_DateCheck(benchmark::State& state) { scanColumns<checkDates>(state, kDates); }
void BM_TextCheck(benchmark::State& state) { scanColumns<checkTexts>(state, kTexts); }

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

// A program's wall clock and CPU time, run directly (no shell in between, whose start
// would count against the program) with its output thrown away; env adds variables.
Timing timeProgram(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));  // first: getenv finds these
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const double c0 = childCpu(), w0 = wallNow();
  pid_t pid;
  int status = 0;
  const bool ran = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0 &&
                   waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  const Timing t{wallNow() - w0, childCpu() - c0};
  posix_spawn_file_actions_destroy(&actions);
  return ran ? t : Timing{};
}

// Our date or character check of the 4 columns on one open database: as the tool runs it,
// the 4 count queries answered in one walk, or one scan per query; threads 0 as the machine
// allows, 1 on the calling thread alone.
Timing timeOurs(bool chars, bool onePass, long& defects, int threads = 0) {
  const char* const* columns = chars ? kTexts : kDates;
  const double c0 = ownCpu(), w0 = wallNow();
  auto db = jet::Database::open(gFile, jet::Database::Mode::ReadOnly);
  db->setScanThreads(threads);
  const jet::TableInfo* t = db->findTable("Ledger");
  defects = 0;
  if (onePass) {
    std::vector<jet::sql::Query> qs;
    for (int i = 0; i < 4; ++i)
      qs.push_back(jet::sql::Query::prepare(
          *db, check::countQuery(t->name, columns[i], chars ? check::kCharCheck : check::kDateCheck, kDefaultSet)));
    for (int64_t n : jet::sql::Query::countAll(*db, qs)) defects += static_cast<long>(n);
  } else {
    for (int i = 0; i < 4; ++i) defects += countQuery(*db, *t, t->findColumn(columns[i])->position, chars);
  }
  return {wallNow() - w0, ownCpu() - c0};
}

Timing median(std::vector<Timing> v) {
  std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.wall < b.wall; });
  Timing m = v[v.size() / 2];
  std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.cpu < b.cpu; });
  m.cpu = v[v.size() / 2].cpu;
  return m;
}

// Median of five runs of each, interleaved so that a busy machine weighs on all alike.
void summary() {
  constexpr int kRuns = 5;
  const bool haveCli = std::filesystem::exists(gCli);
  std::vector<Timing> cat, exp, dates, texts, dates1, texts1, datesQ, textsQ, cliDates, cliTexts, cliDates1,
      cliTexts1, onceDates, onceTexts;
  long dDefects = 0, tDefects = 0, dDefects1 = 0, tDefects1 = 0, dDefectsQ = 0, tDefectsQ = 0;
  const std::vector<std::string> catCmd = {"cat", gFile}, expCmd = {"mdb-export", gFile, "Ledger"},
                                 cliDatesCmd = {gCli, "scan", gFile, "--dates"},
                                 cliTextsCmd = {gCli, "scan", gFile, "--chars"};
  const std::vector<std::string> oneThread = {"MDBCHECK_SCAN_THREADS=1"};
  const bool haveOnce = std::filesystem::exists(gOnce);
  for (int run = 0; run < kRuns; ++run) {
    cat.push_back(timeProgram(catCmd));
    exp.push_back(timeProgram(expCmd));
    dates.push_back(timeOurs(false, true, dDefects));
    texts.push_back(timeOurs(true, true, tDefects));
    dates1.push_back(timeOurs(false, true, dDefects1, 1));
    texts1.push_back(timeOurs(true, true, tDefects1, 1));
    datesQ.push_back(timeOurs(false, false, dDefectsQ));
    textsQ.push_back(timeOurs(true, false, tDefectsQ));
    if (haveCli) {
      cliDates.push_back(timeProgram(cliDatesCmd));
      cliTexts.push_back(timeProgram(cliTextsCmd));
      cliDates1.push_back(timeProgram(cliDatesCmd, oneThread));
      cliTexts1.push_back(timeProgram(cliTextsCmd, oneThread));
    }
    if (haveOnce) {
      onceDates.push_back(timeProgram({gOnce, gFile, "dates"}));
      onceTexts.push_back(timeProgram({gOnce, gFile, "chars"}));
    }
  }
  const Timing c = median(cat), e = median(exp), d = median(dates), t = median(texts);
  auto db = jet::Database::open(gFile, jet::Database::Mode::ReadOnly);
  const double rows = db->findTable("Ledger")->rowCount;
  std::printf("\nmedian of %d, warm cache, %ld rows, %.0f MiB\n", kRuns, static_cast<long>(rows),
              std::filesystem::file_size(gFile) / 1048576.0);
  std::printf("%-36s %9s %9s %14s %10s\n", "", "wall s", "cpu s", "rows/s (wall)", "x cat");
  auto row = [&](const char* name, const Timing& x, double n) {
    std::printf("%-36s %9.3f %9.3f %14.0f %10.2f\n", name, x.wall, x.cpu, n / x.wall, x.wall / c.wall);
  };
  row("cat FILE", c, rows);
  row("mdb-export Ledger", e, rows);
  row("date check, 4 columns (engine)", d, 4 * rows);
  row("char check, 4 columns (engine)", t, 4 * rows);
  row("date check, one thread (engine)", median(dates1), 4 * rows);
  row("char check, one thread (engine)", median(texts1), 4 * rows);
  row("date check, a scan per query", median(datesQ), 4 * rows);
  row("char check, a scan per query", median(textsQ), 4 * rows);
  if (haveCli) {
    const Timing cd = median(cliDates), ct = median(cliTexts);
    row("mdbcheck-cli scan --dates", cd, 4 * rows);
    row("mdbcheck-cli scan --chars", ct, 4 * rows);
    row("mdbcheck-cli scan --dates, 1 thread", median(cliDates1), 4 * rows);
    row("mdbcheck-cli scan --chars, 1 thread", median(cliTexts1), 4 * rows);
    if (haveOnce) {
      const Timing od = median(onceDates), ot = median(onceTexts);
      row("engine alone in a new process, dates", od, 4 * rows);
      row("engine alone in a new process, chars", ot, 4 * rows);
      std::printf("cli / engine alone in a new process (what the layers add): dates %.2f, chars %.2f\n",
                  cd.wall / od.wall, ct.wall / ot.wall);
    }
    std::printf("cli / engine: dates %.2f, chars %.2f (goal <= 1.3)\n", cd.wall / d.wall, ct.wall / t.wall);
  } else {
    std::printf("mdbcheck-cli absent: %s\n", gCli.c_str());
  }
  std::printf("defects: dates %ld, chars %ld; one thread: dates %ld, chars %ld; a scan per query: dates %ld, "
              "chars %ld\n",
              dDefects, tDefects, dDefects1, tDefects1, dDefectsQ, tDefectsQ);
  std::printf("threads as the machine allows: %d\n", jet::defaultScanThreads());
  std::printf("goals: date check <= 2.5x cat (now %.2fx), char check <= 5x cat (now %.2fx); "
              "mdb-export is %.1fx the date check\n",
              d.wall / c.wall, t.wall / c.wall, e.wall / d.wall);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--file=", 0) == 0) gFile = a.substr(7);
    if (a.rfind("--cli=", 0) == 0) gCli = a.substr(6);
  }
  if (!std::filesystem::exists(gFile)) {
    std::printf("benchmark file absent: %s (skipped)\n", gFile.c_str());
    return 0;
  }
  gExportSeconds = timeProgram({"mdb-export", gFile, "Ledger"}).wall;
  std::printf("mdb-export %s Ledger: %.2f s\n", gFile.c_str(), gExportSeconds);
  benchmark::RegisterBenchmark("DateColumns/4", BM_DateColumns)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("TextColumns/4", BM_TextColumns)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("DateCheck/4", BM_DateCheck)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("TextCheck/4", BM_TextCheck)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("OpenAndCatalog", BM_OpenAndCatalog)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  summary();
  return 0;
}
