#include "jet/index/IndexMaintenance.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>

#include "TestFiles.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"

using namespace jet;
using namespace jet::index;

namespace {

// A real file's pages in memory, changed only here: the file on disk stays as it was, so
// the database opened beside it keeps describing the tables and the original rows.
MemoryPages fileImage(const std::filesystem::path& p, uint32_t ps) { return MemoryPages(testfiles::fileBytes(p), ps); }

// A table's rows as values, kept up to date as the test changes them.
struct Rows {
  std::map<RowId, std::map<uint16_t, Value>> values;  // by column number
};

Rows readRows(JetDatabase& db, const TableInfo& t) {
  Rows r;
  const format::TableDef& def = db.definition(t);
  auto cur = db.scan(t);
  while (cur->next())
    for (size_t i = 0; i < t.columns.size(); ++i)
      r.values[cur->rowId()][def.columns[i].number] = cur->value(static_cast<int>(i));
  return r;
}

// Every index of the table, read from the image, holds exactly the keys of `rows`.
void expectIndexesMatch(MemoryPages& img, JetDatabase& db, const TableInfo& t, const Rows& rows) {
  const format::TableDef& def = db.definition(t);
  IndexMaintenance m(def, db.header());
  for (const RealIndex& ix : m.indexes()) {
    SCOPED_TRACE(t.name + "." + ix.name);
    const TreeWalk w = walk(img, indexLayout(db.header().version), ix.root, def.page);
    for (const std::string& p : w.problems) ADD_FAILURE() << p;
    std::set<Bytes> want;
    for (const auto& [id, cols] : rows.values) {
      std::vector<Value> v;
      for (const format::ColumnDef* c : ix.columns) v.push_back(cols.at(c->number));
      KeyNulls n;
      Bytes e = valuesKey(ix, v, &n);
      if (ix.ignoreNulls && n.all) continue;
      appendRowId(e, id.page, static_cast<uint8_t>(id.row));
      want.insert(e);
    }
    std::set<Bytes> got;
    for (const IndexEntry& e : w.entries) got.insert(e.bytes);
    EXPECT_EQ(got.size(), w.entries.size());
    EXPECT_TRUE(got == want) << got.size() << " entries, " << want.size() << " expected";
  }
}

void update(MemoryPages& img, IndexMaintenance& m, Rows& rows, RowId id,
            const format::ColumnDef& c, const Value& v) {
  auto& cols = rows.values.at(id);
  const auto plan = m.planUpdate(img, id, [&](const format::ColumnDef& col) { return cols.at(col.number); }, c, v);
  m.apply(img, id, plan);
  cols[c.number] = v;
}

std::unique_ptr<JetDatabase> openFixture(const std::filesystem::path& p) {
  return JetDatabase::open(os::Env::system(), p.string(), Database::Mode::ReadOnly);
}

}  // namespace

// Indexed dates and Chinese ledger codes rewritten in every row, several rounds, with
// codes that differ only in '-' and '/' (the tail of a key) and codes long enough to
// split leaves: each index ends up holding exactly the rows' new keys.
TEST(IndexMaintenance, RewritesOfIndexedDatesAndTextsKeepEveryIndexExact) {
  const auto path = testfiles::data("checks2000.mdb");
  auto db = openFixture(path);
  const TableInfo& t = *db->findTable("凭证");
  const format::TableDef& def = db->definition(t);
  MemoryPages img = fileImage(path, 4096);
  Rows rows = readRows(*db, t);
  IndexMaintenance m(def, db->header());
  const format::ColumnDef& date = *def.findColumn("制单日期");
  const format::ColumnDef& code = *def.findColumn("科目代码");
  ASSERT_TRUE(m.holds(date));
  ASSERT_TRUE(m.holds(code));
  std::mt19937 rng(7);
  const char* stems[] = {"1001-01", "1001/01", "100101", "应收账款-客户", "預收賬款", "ÄÖÜ",
                         "O'Brien", "6602-03-管理费用-办公费-长长长长长长长长长长长长长长"};
  for (int round = 0; round < 3; ++round) {
    for (const auto& [id, cols] : rows.values) {
      const int r = static_cast<int>(rng() % 10);
      if (r == 0) {
        update(img, m, rows, id, code, Value());
      } else {
        update(img, m, rows, id, code,
               Value(std::string(stems[rng() % 8]) + std::to_string(rng() % 50)));
      }
      update(img, m, rows, id, date, r == 1 ? Value() : Value(Date{1.5 + (rng() % 40000)}));
    }
  }
  expectIndexesMatch(img, *db, t, rows);
  EXPECT_FALSE(img.allocated.empty());
}

TEST(IndexMaintenance, UniqueViolationIsRefusedBeforeAnyPageChanges) {
  const auto path = testfiles::data("checks2000.mdb");
  auto db = openFixture(path);
  const TableInfo& t = *db->findTable("Orders");
  const format::TableDef& def = db->definition(t);
  MemoryPages img = fileImage(path, 4096);
  Rows rows = readRows(*db, t);
  IndexMaintenance m(def, db->header());
  const format::ColumnDef& id = *def.findColumn("ID");
  auto first = rows.values.begin();
  auto second = std::next(first);
  const auto before = img.bytes();
  try {
    m.planUpdate(img, first->first, [&](const format::ColumnDef& c) { return first->second.at(c.number); },
                 id, second->second.at(id.number));
    FAIL() << "no 3022";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kDuplicateKey);
  }
  EXPECT_TRUE(img.bytes() == before);
  // Its own value again is no violation and no change.
  EXPECT_TRUE(m.planUpdate(img, first->first,
                           [&](const format::ColumnDef& c) { return first->second.at(c.number); }, id,
                           first->second.at(id.number))
                  .empty());
  update(img, m, rows, first->first, id, Value(int32_t{999999}));
  expectIndexesMatch(img, *db, t, rows);
}

// ACE "General" (2010): Latin and Chinese text alike, enough to split leaves.
TEST(IndexMaintenance, Ace2010GeneralWritesLatinAndChineseText) {
  const auto path = testfiles::data("checks2010.accdb");
  auto db = openFixture(path);
  const TableInfo& t = *db->findTable("Orders");
  const format::TableDef& def = db->definition(t);
  MemoryPages img = fileImage(path, 4096);
  Rows rows = readRows(*db, t);
  IndexMaintenance m(def, db->header());
  const format::ColumnDef& code = *def.findColumn("Code");
  static const char* kWords[] = {"应收-", "Ä-", "凭证", "科目/", "x"};
  int i = 0;
  for (const auto& [id, cols] : rows.values) {
    update(img, m, rows, id, code, Value(kWords[i % 5] + std::to_string(i % 37) + "/x"));
    ++i;
    update(img, m, rows, id, *def.findColumn("OrderDate"), Value(Date{45000.25 + i}));
  }
  expectIndexesMatch(img, *db, t, rows);
}

// Jet 3: text keys from code-page bytes, in 2 KB pages that split after a few dozen rows.
TEST(IndexMaintenance, Jet3IndexesSplitAndStayExact) {
  const auto file = testfiles::corpus("V1997/testIndexCodesV1997.mdb");
  auto db = openFixture(file);
  MemoryPages img = fileImage(file, 2048);
  std::mt19937 rng(3);
  int tables = 0;
  for (const TableInfo& t : db->tables()) {
    if (t.system || t.linked || tables >= 6) continue;
    const format::TableDef& def = db->definition(t);
    IndexMaintenance m(def, db->header());
    Rows rows = readRows(*db, t);
    for (const format::ColumnDef& c : def.columns) {
      if (c.type != format::coltype::kText || !m.holds(c)) continue;
      ++tables;
      for (int round = 0; round < 4; ++round)
        for (const auto& [id, cols] : rows.values) {
          std::string s = "Grüße-" + std::to_string(rng() % 1000) + std::string(rng() % 30, 'x');
          try {
            update(img, m, rows, id, c, Value(s));
          } catch (const Error& e) {
            ASSERT_EQ(e.number(), err::kDuplicateKey);  // unique text indexes may refuse
          }
        }
    }
    expectIndexesMatch(img, *db, t, rows);
  }
  EXPECT_GT(tables, 0);
  EXPECT_FALSE(img.allocated.empty());
}
