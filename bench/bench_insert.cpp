// What inserting costs. Into a copy of the committed template2000.mdb:
//   1. 1,000,000 rows into Ledger (no indexes), durable commits grouped as a batch groups
//      them; target under 30 s, against the peer writer library's 7.9 s (JVM included,
//      measured on this kind of machine). mdb-export must read every row back; then the
//      file is scanned as bench_scan scans the shared bench1m2003.mdb.
//   2. rows into LedgerIdx (indexes on D1 and T1): the rate.
// Into a copy of checks2000.mdb: Orders grown to 100,000 rows by insert, then every row's
// indexed OrderDate rewritten, next to the same walk over its unindexed Shipped column.
//
//   bench_insert [--rows=N] [--indexed=N] [--orders=N] [--keep=DIR]   (DIR: keep the files)
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "jet/JetDatabase.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPeerSeconds = 7.9;  // the peer library, 1,000,000 rows into Ledger

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

fs::path fixture(const char* name) {
  return fs::path(MDBCHECK_TEST_DATA) / name;
}

fs::path scratch(const char* name) {
  return fs::temp_directory_path() / ("bench_insert_" + std::to_string(::getpid()) + "_" + name);
}

// Ledger rows like the shared benchmark files': about 2 % of dates Null, text mixing ASCII
// and Chinese, now and then a special character.
class LedgerRows {
 public:
  std::vector<jet::Value> next(int id) {
    static const char* words[] = {"凭证", "Ledger", "科目", "invoice", "客户", "North East", "合同", "ab"};
    std::vector<jet::Value> row(9);
    row[0] = jet::Value(int32_t(id));
    for (int k = 1; k <= 4; ++k) {
      const uint32_t r = rng_() % 1000;
      if (r < 20) continue;  // Null
      const double day = r == 999 ? 1.5 : 30000.0 + double(rng_() % 20000) + (rng_() % 86400) / 86400.0;
      row[size_t(k)] = jet::Value(jet::Date{day});
    }
    for (int k = 5; k <= 8; ++k) {
      std::string s = words[rng_() % 8];
      s += rng_() % 1000 == 0 ? '-' : ' ';
      s += std::to_string(rng_() % 100000);
      s += words[rng_() % 6];
      row[size_t(k)] = jet::Value(std::move(s));
    }
    return row;
  }

 private:
  std::mt19937 rng_{7};
};

// Inserts `rows` rows into `table` as one batch; returns seconds.
double insertRows(const fs::path& file, const char* table, long rows) {
  auto db = jet::JetDatabase::open(jet::os::Env::system(), file.string(), jet::Database::Mode::Exclusive);
  const jet::TableInfo& t = *db->findTable(table);
  LedgerRows gen;
  const double t0 = now();
  db->beginBatch();
  for (long i = 0; i < rows; ++i) db->insert(t, gen.next(int(i + 1)));
  db->commitBatch();
  db->close();
  return now() - t0;
}

// mdb-export's row count of a table and its seconds; -1 when it cannot run.
long exportRows(const fs::path& file, const char* table, double* seconds) {
  const std::string cmd = "mdb-export '" + file.string() + "' " + table + " 2>/dev/null";
  const double t0 = now();
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  long lines = 0;
  char buf[1 << 16];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    for (size_t i = 0; i < n; ++i) lines += buf[i] == '\n';
  const int status = pclose(p);
  *seconds = now() - t0;
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return lines - 1;  // the header line
}

// The check's scan: the 4 date columns' and the 4 text columns' defects; rows/s per pass.
void scanLikeTheCheck(const fs::path& file) {
  auto db = jet::Database::open(file.string(), jet::Database::Mode::ReadOnly);
  const jet::TableInfo& t = *db->findTable("Ledger");
  bool special[256] = {};
  for (unsigned char c : std::string("-+*/#%<>:,{='")) special[c] = true;
  for (bool dates : {true, false}) {
    const double t0 = now();
    long defects = 0;
    for (int k = 1; k <= 4; ++k) {
      const int col = t.findColumn((dates ? "D" : "T") + std::to_string(k))->position;
      auto cur = db->scan(t);
      double d;
      std::string s;
      while (cur->next()) {
        if (dates) {
          defects += cur->date(col, d) && d > 0 && d < 2;
        } else if (cur->text(col, s)) {
          for (unsigned char c : s)
            if (special[c]) {
              ++defects;
              break;
            }
        }
      }
    }
    const double secs = now() - t0;
    std::printf("  scan of the 4 %s columns: %.2f s, %.0f rows/s, %ld defects\n", dates ? "date" : "text",
                secs, 4.0 * t.rowCount / secs, defects);
  }
}

// Rewrites a Date/Time column of every row of `table` as one grouped walk; rows/s.
double rewriteRate(const fs::path& file, const char* table, const char* column) {
  auto db = jet::JetDatabase::open(jet::os::Env::system(), file.string(), jet::Database::Mode::Exclusive);
  const jet::TableInfo& t = *db->findTable(table);
  const int c = t.findColumn(column)->position;
  std::vector<jet::RowId> ids;
  for (auto cur = db->scan(t); cur->next();) ids.push_back(cur->rowId());
  std::mt19937 rng(3);
  const double t0 = now();
  db->beginBatch();
  for (const jet::RowId& id : ids) db->update(t, id, c, jet::Value(jet::Date{40000.0 + double(rng() % 3000)}));
  db->commitBatch();
  db->close();
  return double(ids.size()) / (now() - t0);
}

long option(int argc, char** argv, const char* name, long fallback) {
  const std::string prefix = std::string("--") + name + "=";
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) return std::atol(argv[i] + prefix.size());
  return fallback;
}

// Moves a file into --keep's folder, else removes it.
void keep(const fs::path& file, int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--keep=", 7) == 0) {
      fs::copy_file(file, fs::path(argv[i] + 7) / file.filename(), fs::copy_options::overwrite_existing);
      std::printf("  kept as %s\n", (fs::path(argv[i] + 7) / file.filename()).c_str());
    }
  fs::remove(file);
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = option(argc, argv, "rows", 1000000);
  const long indexed = option(argc, argv, "indexed", 200000);
  const long orders = option(argc, argv, "orders", 100000);

  // 1. Ledger, no indexes.
  const fs::path ledger = scratch("ledger.mdb");
  fs::copy_file(fixture("template2000.mdb"), ledger, fs::copy_options::overwrite_existing);
  const double secs = insertRows(ledger, "Ledger", rows);
  std::printf("insert into Ledger (no indexes): %ld rows in %.2f s, %.0f rows/s, %.1f MiB\n", rows, secs,
              rows / secs, double(fs::file_size(ledger)) / (1 << 20));
  if (rows == 1000000)
    std::printf("  peer writer library %.1f s: ours / peer = %.2f (target: under 30 s)\n", kPeerSeconds,
                secs / kPeerSeconds);
  double exportSecs = 0;
  const long exported = exportRows(ledger, "Ledger", &exportSecs);
  if (exported < 0)
    std::printf("  mdb-export could not run\n");
  else
    std::printf("  mdb-export read %ld rows in %.2f s: %s\n", exported, exportSecs,
                exported == rows ? "complete" : "INCOMPLETE");
  scanLikeTheCheck(ledger);
  keep(ledger, argc, argv);

  // 2. LedgerIdx, indexes on D1 and T1.
  const fs::path idx = scratch("ledgeridx.mdb");
  fs::copy_file(fixture("template2000.mdb"), idx, fs::copy_options::overwrite_existing);
  const double isecs = insertRows(idx, "LedgerIdx", indexed);
  std::printf("insert into LedgerIdx (indexes on D1, T1): %ld rows in %.2f s, %.0f rows/s (%.2f of the unindexed rate)\n",
              indexed, isecs, indexed / isecs, (indexed / isecs) / (rows / secs));
  double ixExport = 0;
  std::printf("  mdb-export read %ld rows\n", exportRows(idx, "LedgerIdx", &ixExport));
  keep(idx, argc, argv);

  // 3. Orders grown to 100,000 rows, then its indexed and unindexed dates rewritten.
  const fs::path ord = scratch("orders.mdb");
  fs::copy_file(fixture("checks2000.mdb"), ord, fs::copy_options::overwrite_existing);
  double grow;
  {
    auto db = jet::JetDatabase::open(jet::os::Env::system(), ord.string(), jet::Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable("Orders");
    const long have = t.rowCount;
    std::mt19937 rng(5);
    const double t0 = now();
    db->beginBatch();
    for (long i = have; i < orders; ++i) {
      std::vector<jet::Value> row(t.columns.size());
      row[size_t(t.findColumn("OrderDate")->position)] = jet::Value(jet::Date{40000.0 + double(rng() % 3000)});
      row[size_t(t.findColumn("Shipped")->position)] = jet::Value(jet::Date{40010.0 + double(rng() % 3000)});
      row[size_t(t.findColumn("Code")->position)] = jet::Value("C" + std::to_string(rng() % 100000));
      row[size_t(t.findColumn("Remark")->position)] = jet::Value("订单 " + std::to_string(i));
      db->insert(t, row);
    }
    db->commitBatch();
    grow = double(orders - have) / (now() - t0);
    db->close();
  }
  std::printf("Orders grown to %ld rows by insert (ID, OrderDate and Code indexed): %.0f rows/s\n", orders, grow);
  const double indexedRate = rewriteRate(ord, "Orders", "OrderDate");
  const double plainRate = rewriteRate(ord, "Orders", "Shipped");
  std::printf("rewrite of every row's OrderDate (indexed): %.0f rows/s\n", indexedRate);
  std::printf("rewrite of every row's Shipped (unindexed): %.0f rows/s   (indexed / unindexed %.2f)\n", plainRate,
              indexedRate / plainRate);
  keep(ord, argc, argv);
  return 0;
}
