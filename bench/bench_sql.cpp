// Count queries against the raw engine scan of the same column, in one run. A count query
// should cost at most 1.5 times the scan it rides on.
//
//   bench_sql [FILE]   (default: the shared bench1m2003.mdb; skips when absent)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "data/Dao.h"
#include "jet/Database.h"
#include "jet/sql/Query.h"

namespace {

double seconds(const std::function<int64_t()>& f, int64_t& result) {
  auto t0 = std::chrono::steady_clock::now();
  result = f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Median of five runs, the two contenders interleaved so both see the same cache state.
void compare(const char* what, int64_t rows, const std::function<int64_t()>& raw,
             const std::function<int64_t()>& query, bool& ok) {
  std::vector<double> a, b;
  int64_t ra = 0, rb = 0;
  seconds(raw, ra);  // warm the page cache
  for (int i = 0; i < 5; ++i) {
    a.push_back(seconds(raw, ra));
    b.push_back(seconds(query, rb));
  }
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  const double ta = a[2], tb = b[2], ratio = tb / ta;
  std::printf("%-34s raw scan %7.3f s (%6.2f M rows/s)  count query %7.3f s (%6.2f M rows/s)  ratio %.2f  %s%s\n",
              what, ta, rows / ta / 1e6, tb, rows / tb / 1e6, ratio, ratio <= 1.5 ? "ok" : "OVER 1.5",
              ra == rb ? "" : "  COUNTS DIFFER");
  std::printf("%-34s counts: raw %lld, query %lld\n", "", static_cast<long long>(ra),
              static_cast<long long>(rb));
  ok = ok && ratio <= 1.5 && ra == rb;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path =
      argc > 1 ? argv[1] : std::string(MDBCHECK_SHARED) + "/bench/bench1m2003.mdb";
  if (!std::filesystem::exists(path)) {
    std::printf("skipped: %s is absent\n", path.c_str());
    return 0;
  }
  auto db = jet::Database::open(path, jet::Database::Mode::ReadOnly);
  const jet::TableInfo* table = db->findTable("Ledger");
  if (!table) {
    std::printf("skipped: no table Ledger in %s\n", path.c_str());
    return 0;
  }
  const int d1 = table->findColumn("D1")->position;
  const int t1 = table->findColumn("T1")->position;
  int64_t rows = 0;
  {
    auto c = db->scan(*table);
    while (c->next()) ++rows;
  }
  std::printf("%s: %lld rows\n", path.c_str(), static_cast<long long>(rows));
  bool ok = true;

  auto rawDates = [&]() -> int64_t {
    auto c = db->scan(*table);
    int64_t n = 0;
    double d;
    while (c->next())
      if (c->date(d1, d) && d > 0 && d < 2) ++n;
    return n;
  };
  auto dateQuery = jet::sql::Query::prepare(
      *db, "Select count(*)  from [Ledger] where [D1]<#1900-1-1# and [D1]>#0:0:0#");
  compare("dates, D1", rows, rawDates, [&] { return dateQuery.count(*db); }, ok);

  auto rawText = [&]() -> int64_t {
    auto c = db->scan(*table);
    int64_t n = 0;
    std::string s;
    while (c->next())
      if (c->text(t1, s) && s.find_first_of("-+*/#%<>:,{='") != std::string::npos) ++n;
    return n;
  };
  auto textQuery = jet::sql::Query::prepare(
      *db, "Select count(*)  from [Ledger] where [T1] like '*[-+*/#%<>:,{='']*'");
  compare("special characters, T1", rows, rawText, [&] { return textQuery.count(*db); }, ok);

  // The whole road the scan takes: parse, bind and count through the data access objects.
  db->close();
  auto ws = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
  auto ddb = ws->OpenDatabase(path, false, true);
  jet::Database& e = ddb->engine();
  const jet::TableInfo* t2 = e.findTable("Ledger");
  const int d1b = t2->findColumn("D1")->position;
  auto rawDao = [&]() -> int64_t {
    auto c = e.scan(*t2);
    int64_t n = 0;
    double d;
    while (c->next())
      if (c->date(d1b, d) && d > 0 && d < 2) ++n;
    return n;
  };
  auto daoCount = [&]() -> int64_t {
    auto rs = ddb->OpenRecordset(
        "Select count(*)  from [Ledger] where D1<#1900-1-1# and D1>#0:0:0#");
    return rs->Fields(0)->Value().asInt();
  };
  compare("dates, D1, OpenRecordset", rows, rawDao, daoCount, ok);
  std::printf("%s\n", ok ? "within 1.5x" : "NOT within 1.5x");
  return ok ? 0 : 1;
}
