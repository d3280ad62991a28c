// The check's queries answered through the scan's byte filters give exactly what the plain
// row-by-row evaluation gives: the same counts, the same rows in the same order, the same
// failure on a damaged table, whether the pages are read ahead on worker threads (forced
// here on small files, a page or two per piece of work) or on the calling thread alone.
// Over every fixture, the committed corpus and, when present, the shared corpus and
// benchmark files.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "check/Queries.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/sql/Query.h"

namespace {

namespace fs = std::filesystem;

// Either a count and the rows in order, or the failure (number and text).
struct Outcome {
  int64_t count = -1;
  std::vector<jet::RowId> rows;
  std::string failure;
  bool operator==(const Outcome&) const = default;
};

template <typename F>
void capture(Outcome& o, F&& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    o.failure = std::to_string(e.number()) + " " + e.description();
  } catch (const std::exception& e) {
    o.failure = std::string("other: ") + e.what();
  }
}

// The query as the engine answers it (count, then rows).
Outcome engine(jet::Database& db, const std::string& countSql, const std::string& selectSql) {
  Outcome o;
  capture(o, [&] {
    o.count = jet::sql::Query::prepare(db, countSql).count(db);
    o.rows = jet::sql::Query::prepare(db, selectSql).rows(db);
  });
  return o;
}

// The same condition tested on every row the plain scan reaches.
Outcome plain(jet::Database& db, const std::string& selectSql) {
  Outcome o;
  capture(o, [&] {
    auto q = jet::sql::Query::prepare(db, selectSql);
    auto cursor = db.scan(q.table());
    while (cursor->next())
      if (q.test(*cursor)) o.rows.push_back(cursor->rowId());
    o.count = static_cast<int64_t>(o.rows.size());
  });
  return o;
}

// Character sets: the default one, one with letters and a digit (case folded), and a
// single character with a range.
const char* const kSets[] = {"-+*/#%<>:,{=''", "aZ5", "0-9x"};

// How the engine divides a filtered walk.
enum class Road { Default, Threads, OneThread };

// Compares every Date/Time and Text/Memo column of every local table of `file`; returns
// the number of columns compared.
int compareFile(const fs::path& file, Road road = Road::Default) {
  std::unique_ptr<jet::Database> db;
  try {
    db = jet::Database::open(file.string(), jet::Database::Mode::ReadOnly);
  } catch (const jet::Error&) {
    return 0;  // a file the engine refuses to open has nothing to scan
  }
  if (road == Road::OneThread) db->setScanThreads(1);
  if (road == Road::Threads) {
    auto* jdb = dynamic_cast<jet::JetDatabase*>(db.get());
    if (jdb == nullptr) return 0;
    // Three workers, each piece of work one or two pages, however small the table.
    jdb->setScanTuning({.threads = 3, .chunkPages = uint32_t(file.string().size() % 2 + 1), .minPages = 1});
  }
  int compared = 0;
  for (const jet::TableInfo& t : db->tables()) {
    if (t.linked) continue;
    for (const jet::ColumnInfo& c : t.columns) {
      const bool date = c.daoType == jet::daotype::kDate;
      const bool text = c.daoType == jet::daotype::kText || c.daoType == jet::daotype::kMemo;
      if (!date && !text) continue;
      for (const char* set : kSets) {
        const std::string countSql = check::countQuery(t.name, c.name, text ? check::kCharCheck : check::kDateCheck, set);
        const std::string selectSql = check::selectQuery(t.name, c.name, text ? check::kCharCheck : check::kDateCheck, set);
        const Outcome fast = engine(*db, countSql, selectSql);
        const Outcome slow = plain(*db, selectSql);
        EXPECT_EQ(fast.failure, slow.failure) << file << " " << selectSql;
        if (fast.failure.empty()) {
          EXPECT_EQ(fast.count, slow.count) << file << " " << countSql;
          EXPECT_TRUE(fast.rows == slow.rows) << file << " " << selectSql;
        }
        ++compared;
        if (date) break;  // the set means nothing to the date check
      }
    }
  }
  return compared;
}

TEST(ScanFastPath, FixturesAndCommittedCorpusAnswerAsThePlainScan) {
  for (Road road : {Road::Default, Road::Threads, Road::OneThread}) {
    int compared = 0;
    for (const auto& f : testfiles::jetFilesIn(testfiles::data(""))) compared += compareFile(f, road);
    for (const auto& f : testfiles::corpusFiles()) compared += compareFile(f, road);
    EXPECT_GT(compared, 50);
  }
}

TEST(ScanFastPath, SharedCorpusAnswersAsThePlainScan) {
  SKIP_WITHOUT_SHARED("corpus");
  for (Road road : {Road::Default, Road::Threads}) {
    for (const auto& f : testfiles::moreCorpusFiles()) compareFile(f, road);
    // The Chinese files are read where they lie; the engine opens them read-only.
    for (const auto& f : testfiles::jetFilesIn(testfiles::shared("corpus-cn"))) compareFile(f, road);
  }
}

TEST(ScanFastPath, BenchmarkFilesAnswerAsThePlainScan) {
  SKIP_WITHOUT_SHARED("bench");
  for (const auto& f : testfiles::jetFilesIn(testfiles::shared("bench"))) {
    EXPECT_GT(compareFile(f), 0) << f;
    EXPECT_GT(compareFile(f, Road::OneThread), 0) << f;
  }
}

}  // namespace
