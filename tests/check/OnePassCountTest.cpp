// Several count queries answered together, each table read once for all of its queries,
// give exactly the counts each query gives alone: for the date check and the character
// check of every Date/Time and Text/Memo column, for both kinds mixed in one walk, for a
// list that names its tables in turn and for one holding a query without a filter; with
// the pages read ahead on worker threads (forced here on small files) and on the calling
// thread alone. Over every fixture, the committed corpus and, when present, the shared
// corpus and benchmark files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

constexpr const char* kDefaultSet = "-+*/#%<>:,{=''";

// The counts, or the failure (number and text).
struct Answer {
  std::vector<int64_t> counts;
  std::string failure;
};

template <typename F>
Answer answer(F&& f) {
  Answer a;
  try {
    a.counts = f();
  } catch (const jet::Error& e) {
    a.failure = std::to_string(e.number()) + " " + e.description();
  } catch (const std::exception& e) {
    a.failure = std::string("other: ") + e.what();
  }
  return a;
}

// Compares one list asked together with its queries asked one at a time.
void compareList(jet::Database& db, const std::vector<std::string>& sqls, const fs::path& file) {
  if (sqls.empty()) return;
  const Answer together = answer([&] {
    std::vector<jet::sql::Query> qs;
    for (const auto& s : sqls) qs.push_back(jet::sql::Query::prepare(db, s));
    return jet::sql::Query::countAll(db, qs);
  });
  const Answer alone = answer([&] {
    std::vector<int64_t> out;
    for (const auto& s : sqls) out.push_back(jet::sql::Query::prepare(db, s).count(db));
    return out;
  });
  // A damaged table fails either way; which query meets the damage first may differ.
  EXPECT_EQ(together.failure.empty(), alone.failure.empty()) << file << " " << sqls.front() << "\n"
                                                             << together.failure << "\n" << alone.failure;
  if (together.failure.empty() && alone.failure.empty()) {
    EXPECT_EQ(together.counts, alone.counts) << file << " " << sqls.front();
  }
}

enum class Road { Threads, OneThread };

// Returns the number of columns whose queries were compared.
int compareFile(const fs::path& file, Road road) {
  std::unique_ptr<jet::Database> db;
  try {
    db = jet::Database::open(file.string(), jet::Database::Mode::ReadOnly);
  } catch (const jet::Error&) {
    return 0;
  }
  if (road == Road::OneThread) {
    db->setScanThreads(1);
  } else {
    auto* jdb = dynamic_cast<jet::JetDatabase*>(db.get());
    if (jdb == nullptr) return 0;
    jdb->setScanTuning({.threads = 3, .chunkPages = static_cast<uint32_t>(file.string().size() % 2 + 1), .minPages = 1});
  }
  int compared = 0;
  std::vector<std::string> interleaved;  // every table's first date and text queries, in turn
  for (const jet::TableInfo& t : db->tables()) {
    if (t.linked) continue;
    std::vector<std::string> dates, texts, mixed;
    for (const jet::ColumnInfo& c : t.columns) {
      if (c.daoType == jet::daotype::kDate) {
        dates.push_back(check::countQuery(t.name, c.name, check::kDateCheck, kDefaultSet));
        mixed.push_back(dates.back());
      } else if (c.daoType == jet::daotype::kText || c.daoType == jet::daotype::kMemo) {
        texts.push_back(check::countQuery(t.name, c.name, check::kCharCheck, kDefaultSet));
        mixed.push_back(check::countQuery(t.name, c.name, check::kCharCheck, "aZ5"));
        mixed.push_back(texts.back());
      } else {
        continue;
      }
      ++compared;
    }
    compareList(*db, dates, file);
    compareList(*db, texts, file);
    compareList(*db, mixed, file);
    if (!mixed.empty()) {
      // A query the byte filter cannot serve makes the walk look at every row.
      mixed.push_back("select count(*) from [" + t.name + "]");
      compareList(*db, mixed, file);
      interleaved.push_back(mixed.front());
      interleaved.push_back(mixed.back());
    }
  }
  compareList(*db, interleaved, file);
  return compared;
}

TEST(OnePassCounts, FixturesAndCommittedCorpusCountAsTheSingleQueries) {
  for (Road road : {Road::Threads, Road::OneThread}) {
    int compared = 0;
    for (const auto& f : testfiles::jetFilesIn(testfiles::data(""))) compared += compareFile(f, road);
    for (const auto& f : testfiles::corpusFiles()) compared += compareFile(f, road);
    EXPECT_GT(compared, 50);
  }
}

TEST(OnePassCounts, SharedCorpusCountsAsTheSingleQueries) {
  SKIP_WITHOUT_SHARED("corpus");
  for (Road road : {Road::Threads, Road::OneThread}) {
    for (const auto& f : testfiles::moreCorpusFiles()) compareFile(f, road);
    for (const auto& f : testfiles::jetFilesIn(testfiles::shared("corpus-cn"))) compareFile(f, road);
  }
}

TEST(OnePassCounts, BenchmarkFilesCountAsTheSingleQueries) {
  SKIP_WITHOUT_SHARED("bench");
  for (const auto& f : testfiles::jetFilesIn(testfiles::shared("bench"))) {
    EXPECT_GT(compareFile(f, Road::Threads), 0) << f;
    EXPECT_GT(compareFile(f, Road::OneThread), 0) << f;
  }
}

}  // namespace
