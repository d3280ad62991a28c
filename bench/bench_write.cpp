// The write path's cost: a walk rewriting one Date/Time value in each of the 40,000 rows of
// Big.D (one update per row, all in one batch, one commit at the end), the same walk with
// syncs turned off to show what durability costs, and single durable updates. Targets: the
// walk at 20,000 rows/s or more; one durable update at 5 ms or less.
//
// With the shared benchmark files: the million-row walk, and the console tool's batch
// rewrite of Ledger.T1 with the character set 0123456789 (667,144 values of the million
// rows, 66,781 of the 100,000), each in a process of its own so that its peak resident
// memory is its own. Targets: the 667k rewrite's peak at 100 MB or less, and within 25 %
// of the 67k one's. MDBCHECK_BASELINE_CLI=/path/to/another/mdbcheck-cli runs that build's
// rewrite in turn with ours and prints the ratio.
//
//   bench_write [FILE]   (default: the committed fixture checks2000.mdb, copied first)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "jet/JetDatabase.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct Walk {
  double seconds = 0;
  long rows = 0;
  jet::Pager::WriteStats stats;
};

// One update per row, in one batch; the commit at the end is inside the timing.
Walk walk(const fs::path& file, bool syncs, const char* table = "Big", const char* column = "D") {
  Walk w;
  auto db = jet::JetDatabase::open(jet::os::Env::system(), file.string(), jet::Database::Mode::Exclusive);
  db->setSyncs(syncs);
  const jet::TableInfo& big = *db->findTable(table);
  const int d = big.findColumn(column)->position;
  auto cursor = db->scan(big);
  const auto t0 = Clock::now();
  db->beginBatch();
  while (cursor->next()) {
    db->update(big, cursor->rowId(), d, jet::Value(jet::Date{45000.0 + double(w.rows % 1000)}));
    ++w.rows;
  }
  db->commitBatch();
  w.seconds = since(t0);
  w.stats = db->writeStats();
  db->close();
  return w;
}

struct Run {
  double seconds = 0;
  double peakMb = 0;
  int status = -1;
};

// cli update-all FILE Ledger T1 --chars 0123456789 --mode ABCDEFGHIJ on a fresh copy, its
// output thrown away.
Run consoleRewrite(const std::string& cli, const fs::path& source, const fs::path& copy) {
  fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
  const std::string file = copy.string();
  const auto t0 = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(cli.c_str(), cli.c_str(), "update-all", file.c_str(), "Ledger", "T1", "--chars",
            "0123456789", "--mode", "ABCDEFGHIJ", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  Run r;
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return r;
  r.seconds = since(t0);
  r.peakMb = double(usage.ru_maxrss) / 1024.0;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  fs::remove(copy);
  return r;
}

Run medianOf(std::vector<Run> runs) {
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  // The fixture by the path the build knows: __FILE__ is relative to the build folder
  // when the compiler was given a relative path, and the benchmark runs from anywhere.
  const fs::path source =
      argc > 1 ? fs::path(argv[1]) : fs::path(MDBCHECK_TEST_DATA) / "checks2000.mdb";
  if (!fs::exists(source)) {
    std::printf("skipped: %s is absent\n", source.c_str());
    return 0;
  }
  // Beside the build, on the machine's disk (not a memory file system).
  const fs::path dir = fs::current_path() / "bench_write.tmp";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path file = dir / "walk.mdb";
  bool ok = true;

  for (bool syncs : {true, false}) {
    std::vector<Walk> runs;
    for (int i = 0; i < 3; ++i) {
      fs::copy_file(source, file, fs::copy_options::overwrite_existing);
      runs.push_back(walk(file, syncs));
    }
    std::sort(runs.begin(), runs.end(), [](auto& a, auto& b) { return a.seconds < b.seconds; });
    const Walk& m = runs[1];
    const double rate = m.rows / m.seconds;
    std::printf("walk over Big.D, syncs %-3s: %ld rows in %.3f s = %8.0f rows/s; %llu commits, "
                "%llu syncs (%.5f per row), %llu page writes%s\n",
                syncs ? "on" : "off", m.rows, m.seconds, rate,
                (unsigned long long)m.stats.commits, (unsigned long long)m.stats.syncs,
                double(m.stats.syncs) / double(m.rows), (unsigned long long)m.stats.pagesWritten,
                syncs ? (rate >= 20000 ? "  ok (>= 20000)" : "  UNDER 20000 rows/s") : "");
    if (syncs) ok = ok && rate >= 20000;
  }

  // A longer walk, when the shared benchmark file is there: a million rows in one batch,
  // most of it written early behind the journal (spills) and committed once.
  const fs::path million = fs::path(MDBCHECK_SHARED) / "bench" / "bench1m2003.mdb";
  if (argc <= 1 && fs::exists(million)) {
    for (bool syncs : {true, false}) {
      fs::copy_file(million, dir / "million.mdb", fs::copy_options::overwrite_existing);
      // The shared file may be read-only, and its copy with it.
      fs::permissions(dir / "million.mdb", fs::perms::owner_write, fs::perm_options::add);
      const Walk m = walk(dir / "million.mdb", syncs, "Ledger", "D1");
      std::printf("walk over Ledger.D1 (1M rows), syncs %-3s: %.3f s = %8.0f rows/s; %llu commits, "
                  "%llu syncs, %llu page writes, %llu spills\n",
                  syncs ? "on" : "off", m.seconds, m.rows / m.seconds,
                  (unsigned long long)m.stats.commits, (unsigned long long)m.stats.syncs,
                  (unsigned long long)m.stats.pagesWritten, (unsigned long long)m.stats.spills);
    }
    fs::remove(dir / "million.mdb");
  }

  // The console tool's batch rewrite, ours and, when given, another build's, in turn.
  const fs::path hundredK = fs::path(MDBCHECK_SHARED) / "bench" / "bench100k2003.mdb";
  const std::string cli = std::string(MDBCHECK_BINARY_DIR) + "/tools/mdbcheck-cli";
  const char* baseline = std::getenv("MDBCHECK_BASELINE_CLI");
  if (argc <= 1 && fs::exists(million) && fs::exists(hundredK) && fs::exists(cli)) {
    std::printf("console update-all Ledger.T1 --chars 0123456789 (median of 3, own process):\n");
    for (const fs::path& source : {hundredK, million}) {
      std::vector<Run> ours, theirs;
      for (int i = 0; i < 3; ++i) {
        ours.push_back(consoleRewrite(cli, source, dir / "rewrite.mdb"));
        if (baseline) theirs.push_back(consoleRewrite(baseline, source, dir / "rewrite.mdb"));
      }
      const Run m = medianOf(ours);
      std::printf("  %-18s %7.2f s, peak RSS %6.1f MB, exit %d\n", source.filename().c_str(), m.seconds,
                  m.peakMb, m.status);
      if (baseline) {
        const Run b = medianOf(theirs);
        std::printf("  %-18s %7.2f s, peak RSS %6.1f MB, exit %d  (baseline; ours / baseline: time %.2f, "
                    "memory %.2f)\n",
                    "", b.seconds, b.peakMb, b.status, m.seconds / b.seconds, m.peakMb / b.peakMb);
      }
    }
  }

  // Single durable updates: each its own commit, journal and syncs included.
  fs::copy_file(source, file, fs::copy_options::overwrite_existing);
  {
    auto db = jet::JetDatabase::open(jet::os::Env::system(), file.string(), jet::Database::Mode::Exclusive);
    const jet::TableInfo& big = *db->findTable("Big");
    const int d = big.findColumn("D")->position;
    std::vector<jet::RowId> rows;
    auto cursor = db->scan(big);
    while (cursor->next() && rows.size() < 200) rows.push_back(cursor->rowId());
    cursor.reset();
    db->update(big, rows[0], d, jet::Value(jet::Date{1.0}));  // creates the journal file
    const auto before = db->writeStats();
    // The peer: one page overwritten and synced in place on the same disk, interleaved with
    // the updates so that both see the same load.
    const std::string peerPath = (dir / "peer.bin").string();
    const int peer = ::open(peerPath.c_str(), O_RDWR | O_CREAT, 0644);
    std::vector<char> page(4096, 1);
    if (::pwrite(peer, page.data(), page.size(), 0) < 0 || ::fsync(peer) != 0) return 2;
    std::vector<double> ms, raw;
    for (size_t i = 1; i < rows.size(); ++i) {
      auto t0 = Clock::now();
      db->update(big, rows[i], d, jet::Value(jet::Date{44000.0 + double(i)}));
      ms.push_back(since(t0) * 1000);
      page[0] = char(i);
      t0 = Clock::now();
      if (::pwrite(peer, page.data(), page.size(), 0) < 0 || ::fdatasync(peer) != 0) return 2;
      raw.push_back(since(t0) * 1000);
    }
    ::close(peer);
    std::sort(raw.begin(), raw.end());
    const auto after = db->writeStats();
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2], p90 = ms[ms.size() * 9 / 10];
    const double syncs = double(after.syncs - before.syncs) / double(ms.size());
    const double peerMedian = raw[raw.size() / 2];
    std::printf("single durable update: median %.3f ms, 90th percentile %.3f ms, %.1f syncs each%s\n",
                median, p90, syncs, median <= 5.0 ? "  ok (<= 5 ms)" : "  OVER 5 ms");
    std::printf("peer, one page written and synced in place: median %.3f ms; update / peer = %.2f\n",
                peerMedian, median / peerMedian);
    ok = ok && median <= 5.0;
    db->close();
  }
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
