// The engine's part of bench_scan in a process of its own: opens FILE, answers the check's
// 4 count queries on Ledger's date or text columns in one walk, prints the defects and
// exits. bench_scan times it beside `mdbcheck-cli scan`, so that what a new process costs
// (loading, first touch of memory) is told apart from what the console tool's layers add.
//
//   scan_once FILE dates|chars
#include <cstdio>
#include <string>
#include <vector>

#include "check/CheckKind.h"
#include "check/CheckState.h"
#include "check/Queries.h"
#include "jet/Database.h"
#include "jet/sql/Query.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: scan_once FILE dates|chars\n");
    return 2;
  }
  const bool chars = std::string(argv[2]) == "chars";
  const char* const dates[] = {"D1", "D2", "D3", "D4"};
  const char* const texts[] = {"T1", "T2", "T3", "T4"};
  auto db = jet::Database::open(argv[1], jet::Database::Mode::ReadOnly);
  std::vector<jet::sql::Query> queries;
  for (int i = 0; i < 4; ++i)
    queries.push_back(jet::sql::Query::prepare(
        *db, check::countQuery("Ledger", (chars ? texts : dates)[i], chars ? check::kCharCheck : check::kDateCheck,
                               check::kDefaultCheckChars)));
  long defects = 0;
  for (int64_t n : jet::sql::Query::countAll(*db, queries)) defects += static_cast<long>(n);
  std::printf("%ld\n", defects);
  return 0;
}
