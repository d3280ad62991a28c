// The crash matrix: a crash after every single write and sync of an update (and of a
// walk in batches), with and without losing what was not synced. After reopening, the file
// is byte for byte one of the states at a commit point, and passes verify.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "Protected.h"
#include "TestFiles.h"
#include "WriteCheck.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/index/IndexTree.h"
#include "jet/os/FaultEnv.h"

namespace fs = std::filesystem;
using jet::Value;
using jet::os::FaultEnv;

namespace {

struct Change {
  std::string table;
  int row;
  std::string column;
  Value value;
  std::vector<Value> inserted = {};  // not empty: a new row instead of an update
};

// Groups of changes: each group one batch (a group of one is a single durable update).
using Plan = std::vector<std::vector<Change>>;

void apply(jet::JetDatabase& db, const std::vector<Change>& group, bool batch) {
  if (batch) db.beginBatch();
  for (const auto& c : group) {
    const jet::TableInfo& t = *db.findTable(c.table);
    if (!c.inserted.empty()) {
      db.insert(t, c.inserted);
      continue;
    }
    db.update(t, writecheck::rowAt(db, c.table, c.row), t.findColumn(c.column)->position, c.value);
  }
  if (batch) db.commitBatch();
}

// A writable copy of the original (a corpus file may be read-only, and its copy with it).
void restore(const fs::path& original, const std::string& path) {
  testfiles::copyOver(original, path);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
}

// spillBound, when given, bounds the pager's cache and the pages a transaction keeps
// before it writes part of itself early.
void crashMatrix(const fs::path& original, const Plan& plan, int expectPlacement = -1,
                 const std::function<void(const std::string&)>& finished = {},
                 size_t spillBound = 0) {
  auto open = [spillBound](jet::os::Env& env, const std::string& path) {
    auto db = jet::JetDatabase::open(env, path, jet::Database::Mode::Exclusive);
    if (spillBound != 0) {
      db->pager().setCacheBound(spillBound);
      db->pager().setSpillBound(spillBound);
    }
    return db;
  };
  SCOPED_TRACE(original.filename().string());
  testfiles::ScratchDir dir;
  const std::string path = (dir.path() / original.filename()).string();
  const auto allowedProblems = writecheck::problems(original.string());
  const std::set<std::string> allowed(allowedProblems.begin(), allowedProblems.end());

  // Every state a commit can leave: the file after each single change, committed alone.
  std::vector<std::vector<uint8_t>> states;
  restore(original, path);
  states.push_back(writecheck::bytesOf(path));
  int placement = -1;
  for (const auto& group : plan)
    for (const auto& c : group) {
      {
        auto db = jet::JetDatabase::open(jet::os::Env::system(), path, jet::Database::Mode::Exclusive);
        apply(*db, {c}, false);
        placement = std::max(placement, db->lastPlacement());
      }
      states.push_back(writecheck::bytesOf(path));
      for (const auto& p : writecheck::problems(path)) EXPECT_TRUE(allowed.count(p)) << p;
    }
  if (expectPlacement >= 0) {
    EXPECT_EQ(placement, expectPlacement);
  }
  if (finished) finished(path);

  // How many disk changes the planned run makes.
  restore(original, path);
  uint64_t total;
  {
    FaultEnv env;
    auto db = open(env, path);
    const uint64_t start = env.events();
    for (const auto& group : plan) apply(*db, group, group.size() > 1);
    if (spillBound != 0) {
      EXPECT_GT(db->writeStats().spills, 0u);
    }
    db->close();
    total = env.events() - start;
  }
  ASSERT_EQ(writecheck::bytesOf(path), states.back());
  ASSERT_GT(total, 8u);

  std::set<size_t> reached;
  for (auto loss : {FaultEnv::Loss::None, FaultEnv::Loss::Unsynced}) {
    for (uint64_t k = 1; k <= total; ++k) {
      restore(original, path);
      fs::remove(path + "-journal");
      {
        FaultEnv env;
        {
          auto db = open(env, path);
          env.crashAt(k);
          try {
            for (const auto& group : plan) apply(*db, group, group.size() > 1);
            db->close();
          } catch (const jet::os::SimulatedCrash&) {
          } catch (const jet::Error&) {
            // A commit that failed half-way says so; the file is left to the next open.
          }
        }
        env.settle(loss);
      }
      // The next open rolls back whatever the crash left half done.
      jet::JetDatabase::open(jet::os::Env::system(), path, jet::Database::Mode::Exclusive)->close();
      EXPECT_FALSE(fs::exists(path + "-journal")) << k;
      const auto now = writecheck::bytesOf(path);
      size_t which = states.size();
      for (size_t s = 0; s < states.size(); ++s)
        if (now == states[s]) which = s;
      EXPECT_LT(which, states.size()) << "crash at disk change " << k << ": not a commit-point state";
      reached.insert(which);
    }
  }
  // The matrix saw both the untouched and the finished file.
  EXPECT_TRUE(reached.count(0));
  EXPECT_TRUE(reached.count(states.size() - 1));
}

std::string longText(const std::string& unit, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += unit;
  return s;
}

}  // namespace

// Jet 4: one update that needs a new page (its maps outgrow their inline window, since
// the file is larger than one window), then one that moves a row to another owned page.
TEST(CrashMatrix, SingleUpdatesWithPageAllocationJet4) {
  crashMatrix(testfiles::data("checks2000.mdb"),
              {{{"Wide", 6, "W1", Value(longText("长", 200))}},
               {{"Wide", 7, "W1", Value(longText("宽", 250))}},
               {{"Big", 7, "T", Value(longText("批次很长的文本", 4))}}},
              3);
}

// A walk grouped into batches, one of its rows moving to another page.
TEST(CrashMatrix, GroupedWalkJet4) {
  Plan plan(3);
  for (int i = 0; i < 24; ++i)
    plan[size_t(i / 8)].push_back({"Big", i, "D", Value(jet::Date{45000.0 + i})});
  plan[1].push_back({"Big", 3, "T", Value(longText("一二三四五", 5))});
  crashMatrix(testfiles::data("checks2003.mdb"), plan);
}

// A walk whose batches outgrow a tiny pager: each writes pages to the file before its
// commit, behind a journal that a crash at any point leaves rolling them back.
TEST(CrashMatrix, GroupedWalkThatSpillsJet4) {
  Plan plan(3);
  for (int i = 0; i < 24; ++i)
    plan[size_t(i / 8)].push_back({"Big", i * 150, "D", Value(jet::Date{45000.0 + i})});
  plan[1].push_back({"Big", 300, "T", Value(longText("一二三四五", 5))});
  crashMatrix(testfiles::data("checks2003.mdb"), plan, -1, {}, 3);
}

// The same walk on a copy whose pages are encoded: what the journal keeps and puts back
// are the file's encoded bytes, and every state reached is one of the encoded file's.
TEST(CrashMatrix, GroupedWalkThatSpillsOnEncodedPagesJet4) {
  testfiles::ScratchDir dir;
  const fs::path encoded = dir.copy(testfiles::data("checks2003.mdb"));
  protect::encodePages(encoded);
  Plan plan(2);
  for (int i = 0; i < 16; ++i)
    plan[size_t(i / 8)].push_back({"Big", i * 150, "D", Value(jet::Date{45000.0 + i})});
  plan[1].push_back({"Big", 300, "T", Value(longText("一二三四五", 5))});
  crashMatrix(encoded, plan, -1, {}, 3);
}

// One batch over rows spread across the table, through a pager so small that most of the
// batch reaches the file before its commit, with a row in the middle refused on its own
// (its record would outgrow the page): a crash at any write or sync leaves, once the file
// is opened again, the file as it was before the batch or as the whole batch left it.
TEST(CrashMatrix, OneBatchThatSpillsLandsWholeOrNotAtAll) {
  testfiles::ScratchDir dir;
  const fs::path original = testfiles::data("checks2000.mdb");
  const std::string path = (dir.path() / "batch.mdb").string();
  const auto run = [&](jet::os::Env& env) {
    auto db = jet::JetDatabase::open(env, path, jet::Database::Mode::Exclusive);
    db->pager().setCacheBound(3);
    db->pager().setSpillBound(3);
    const jet::TableInfo& big = *db->findTable("Big");
    const jet::TableInfo& wide = *db->findTable("Wide");
    const int d = big.findColumn("D")->position, w10 = wide.findColumn("W10")->position;
    jet::RowId full{};  // the row of the table's largest size
    for (auto cur = db->scan(wide); cur->next();)
      if (cur->value(w10) == Value("a-b")) full = cur->rowId();
    jet::ScopedBatch batch(*db);
    int refused = 0;
    for (int i = 0; i < 24; ++i) {
      if (i == 12) {
        try {
          db->update(wide, full, w10, Value(longText("\U0001F600", 8)));
        } catch (const jet::BatchLost&) {
          throw;
        } catch (const jet::Error& e) {
          EXPECT_EQ(e.number(), jet::err::kRecordTooLarge);
          ++refused;
        }
      }
      db->update(big, writecheck::rowAt(*db, "Big", i * 1500), d, Value(jet::Date{45000.0 + i}));
    }
    EXPECT_EQ(refused, 1);
    EXPECT_GT(db->writeStats().spills, 1u);
    batch.commit();
    db->close();
  };
  restore(original, path);
  const auto before = writecheck::bytesOf(path);
  uint64_t total;
  {
    FaultEnv env;
    run(env);
    total = env.events();
  }
  const auto after = writecheck::bytesOf(path);
  ASSERT_NE(after, before);
  EXPECT_TRUE(writecheck::problems(path).empty());
  bool sawBefore = false, sawAfter = false;
  for (auto loss : {FaultEnv::Loss::None, FaultEnv::Loss::Unsynced})
    for (uint64_t k = 1; k <= total; ++k) {
      restore(original, path);
      fs::remove(path + "-journal");
      {
        FaultEnv env;
        env.crashAt(k);
        try {
          run(env);
        } catch (const jet::os::SimulatedCrash&) {
        } catch (const jet::Error&) {
        }
        env.settle(loss);
      }
      jet::JetDatabase::open(jet::os::Env::system(), path, jet::Database::Mode::Exclusive)->close();
      const auto now = writecheck::bytesOf(path);
      sawBefore = sawBefore || now == before;
      sawAfter = sawAfter || now == after;
      EXPECT_TRUE(now == before || now == after) << "crash at disk change " << k;
    }
  EXPECT_TRUE(sawBefore && sawAfter);
}

// Inserts: the first row of an empty table takes a new data page; a batch of rows splits
// the leaves of both indexes of LedgerIdx.
TEST(CrashMatrix, InsertsWithNewDataPageAndIndexSplitsJet4) {
  auto row = [](const std::string& table, int i) {
    return Change{table, -1, "", Value(),
                  {Value(int32_t(i)), Value(jet::Date{40000.0 + i % 97}), Value(), Value(), Value(),
                   Value("第" + std::to_string(i * 7 % 400) + "行 ledger entry"), Value("x"), Value(), Value()}};
  };
  Plan plan(2);
  plan[0].push_back(row("Ledger", 0));
  for (int i = 0; i < 500; ++i) plan[1].push_back(row("LedgerIdx", i));
  crashMatrix(testfiles::data("template2000.mdb"), plan, -1, [](const std::string& path) {
    auto db = jet::JetDatabase::open(jet::os::Env::system(), path, jet::Database::Mode::ReadOnly);
    const auto& def = db->definition(*db->findTable("LedgerIdx"));
    jet::index::PagerPages src(db->pager());
    for (const auto& ix : def.realIndexes)
      EXPECT_GE(jet::index::walk(src, jet::index::kIndexJet4, ix.rootPage, def.page).depth, 2);
  });
}

// The first table of the Access 97 corpus with a Text column (and a Date/Time column, if
// it has one) that no index holds, and at least two rows.
TEST(CrashMatrix, SingleAndGroupedUpdatesJet3) {
  for (const auto& file : testfiles::corpusFiles("V1997")) {
    auto db = jet::Database::open(file.string(), jet::Database::Mode::ReadOnly);
    for (const auto& t : db->tables()) {
      if (t.system || t.linked || t.rowCount < 2) continue;
      std::string text, date;
      for (const auto& c : t.columns) {
        bool indexed = false;
        for (const auto& i : t.indexes)
          for (const auto& ic : i.columns) indexed = indexed || ic.column == c.position;
        if (indexed || c.fixedLength) continue;
        if (c.daoType == jet::daotype::kText && c.size >= 40 && text.empty()) text = c.name;
        if (c.daoType == jet::daotype::kDate && date.empty()) date = c.name;
      }
      if (text.empty()) continue;
      const std::string table = t.name;
      db.reset();
      Plan plan = {{{table, 0, text, Value(longText("Àé", 20))}},
                   {{table, 1, text, Value("short")}, {table, 0, text, Value()}}};
      if (!date.empty()) {
        plan[1].push_back({table, 1, date, Value(jet::Date{1.25})});
        plan.push_back({{table, 0, date, Value()}});
      }
      crashMatrix(file, plan);
      return;
    }
  }
  ADD_FAILURE() << "no Access 97 table to write";
}
