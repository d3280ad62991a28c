// New rows through the engine's insert: afterwards the file's structure and every index
// check out, our reader and mdbtools read every row back, and the definition's row count
// and AutoNumber counter are right. Refusals leave the file byte for byte as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "Mdbtools.h"
#include "TestFiles.h"
#include "WriteCheck.h"
#include "jet/Dump.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/index/IndexTree.h"

namespace fs = std::filesystem;
using namespace jet;

namespace {

std::unique_ptr<JetDatabase> openRw(const fs::path& p) {
  return JetDatabase::open(os::Env::system(), p.string(), Database::Mode::Exclusive);
}

std::vector<std::string> dumpFields(const std::vector<Value>& row) {
  std::vector<std::string> out;
  for (const Value& v : row) {
    std::string s;
    appendDumpValue(s, v);
    out.push_back(s);
  }
  return out;
}

// A Ledger row: ID, D1..D4, T1..T4, with Nulls, Chinese, and the characters that change
// only a text key's tail.
std::vector<Value> ledgerRow(int i) {
  auto date = [&](int k) { return (i + k) % 13 == 0 ? Value() : Value(Date{36000.0 + (i * 7919 % 5000) + k * 0.25}); };
  const char* words[] = {"Alpha", "beta", "批次", "O'Brien", "a-b", "ZETA 区"};
  return {Value(int32_t(i)),
          date(0), date(1), date(2), date(3),
          Value(std::string(words[i % 6]) + " " + std::to_string(i * 37 % 1000)),
          i % 5 == 0 ? Value() : Value("第" + std::to_string(i) + "行"),
          Value(std::string(i % 40, 'x')),
          Value("")};
}

// The first `chars` characters of UTF-8 text.
std::string fitted(const std::string& s, int chars) {
  size_t i = 0;
  for (int n = 0; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && n++ == chars) break;
  return s.substr(0, i);
}

// The table's rows as our reader dumps them, in scan order.
std::vector<std::vector<std::string>> ourRows(const fs::path& p, const std::string& table) {
  return writecheck::rowsOf(writecheck::dumpAll(p.string())[table]);
}

// verify clean, the definition's count right, our rows and mdbtools' rows the expected ones.
void expectRows(const fs::path& p, const std::string& table,
                std::vector<std::vector<std::string>> expected) {
  for (const auto& s : writecheck::problems(p.string())) ADD_FAILURE() << s;
  auto db = Database::open(p.string(), Database::Mode::ReadOnly);
  const TableInfo& t = *db->findTable(table);
  EXPECT_EQ(t.rowCount, expected.size());
  auto ours = ourRows(p, table);
  std::sort(ours.begin(), ours.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_TRUE(ours == expected) << table << ": " << ours.size() << " rows read, " << expected.size() << " expected";
  EXPECT_EQ(writecheck::compareWithMdbtools(p.string(), t, expected), "");
}

int depthOf(JetDatabase& db, const std::string& table, size_t which) {
  const format::TableDef& def = db.definition(*db.findTable(table));
  index::PagerPages src(db.pager());
  return index::walk(src, index::indexLayout(db.header().version.jet3()),
                     def.realIndexes.at(which).rootPage, def.page).depth;
}

}  // namespace

// Enough rows for many new data pages (and, in LedgerIdx, leaf splits and a new level of
// both indexes), inserted one by one in a batch and in one transaction.
TEST(Insert, LedgerWithAndWithoutIndexesReadsBackEveryRow) {
  testfiles::ScratchDir dir;
  const fs::path path = dir.copy(testfiles::data("template2000.mdb"));
  std::vector<std::vector<std::string>> plain, indexed;
  {
    auto db = openRw(path);
    const TableInfo& ledger = *db->findTable("Ledger");
    const TableInfo& idx = *db->findTable("LedgerIdx");
    db->beginBatch();
    for (int i = 0; i < 6000; ++i) {
      db->insert(ledger, ledgerRow(i));
      plain.push_back(dumpFields(ledgerRow(i)));
    }
    db->commitBatch();
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 6000; ++i) {
      rows.push_back(ledgerRow(i));
      indexed.push_back(dumpFields(rows.back()));
    }
    const std::vector<RowId> ids = db->insertMany(idx, rows);
    ASSERT_EQ(ids.size(), rows.size());
    EXPECT_EQ(db->read(idx, ids[4321], 5), rows[4321][5]);
    EXPECT_EQ(ledger.rowCount, 6000u);
    EXPECT_GE(depthOf(*db, "LedgerIdx", 0), 2);
    EXPECT_GE(depthOf(*db, "LedgerIdx", 1), 2);
    db->close();
  }
  expectRows(path, "Ledger", plain);
  expectRows(path, "LedgerIdx", indexed);
  // A later session appends to the pages the first one left with room.
  {
    auto db = openRw(path);
    const TableInfo& ledger = *db->findTable("Ledger");
    for (int i = 6000; i < 6010; ++i) {
      db->insert(ledger, ledgerRow(i));
      plain.push_back(dumpFields(ledgerRow(i)));
    }
    db->close();
  }
  expectRows(path, "Ledger", plain);
}

// Orders of the Jet 4 and ACE fixtures: an AutoNumber primary key, indexes on OrderDate
// and Code (text in each file's General sort order), a Memo left Null, a Currency and a
// Boolean.
class InsertOrders : public testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Fixtures, InsertOrders,
                         testing::Values("checks2000.mdb", "checks2003.mdb", "checks2010.accdb"));

TEST_P(InsertOrders, AutoNumberRowCountAndIndexes) {
  testfiles::ScratchDir dir;
  const fs::path path = dir.copy(testfiles::data(GetParam()));
  const bool ace = path.extension() == ".accdb";
  std::vector<std::vector<std::string>> expected = ourRows(path, "Orders");
  uint32_t counter;
  {
    auto db = openRw(path);
    const TableInfo& t = *db->findTable("Orders");
    counter = db->definition(t).autoNumber;
    const int idCol = t.findColumn("ID")->position;
    db->beginBatch();
    for (int i = 0; i < 700; ++i) {
      std::vector<Value> row(t.columns.size());
      row[size_t(t.findColumn("OrderDate")->position)] = i % 9 == 0 ? Value() : Value(Date{40000.0 + i % 50});
      // ACE's General sort order keys only Latin text here (the rest is refused, 3027).
      row[size_t(t.findColumn("Code")->position)] = Value("C-" + std::to_string(i % 60) + (ace ? "é" : "号"));
      row[size_t(t.findColumn("Remark")->position)] = Value(i % 2 ? "新行" : "new row");
      row[size_t(t.findColumn("Amount")->position)] = Value(Currency{12345 * i});
      row[size_t(t.findColumn("Flag")->position)] = Value(i % 3 == 0);
      const RowId id = db->insert(t, row);
      EXPECT_EQ(db->read(t, id, idCol), Value(int64_t(counter + 1 + i)));
      row[size_t(idCol)] = Value(int64_t(counter + 1 + i));
      row[size_t(t.findColumn("Flag")->position)] = Value(i % 3 == 0);
      expected.push_back(dumpFields(row));
    }
    // A number given for the AutoNumber column is kept; the counter moves past it.
    std::vector<Value> row(t.columns.size());
    row[size_t(idCol)] = Value(int32_t(counter + 5000));
    db->insert(t, row);
    row[size_t(t.findColumn("Flag")->position)] = Value(false);
    row[size_t(idCol)] = Value(int64_t(counter + 5000));
    expected.push_back(dumpFields(row));
    db->commitBatch();
    EXPECT_EQ(t.rowCount, 196u + 701u);
    db->close();
  }
  expectRows(path, "Orders", expected);
  auto db = openRw(path);
  EXPECT_EQ(db->definition(*db->findTable("Orders")).autoNumber, counter + 5000);
  const TableInfo& t = *db->findTable("Orders");
  const RowId next = db->insert(t, std::vector<Value>(t.columns.size()));
  EXPECT_EQ(db->read(t, next, t.findColumn("ID")->position), Value(int64_t(counter + 5001)));
}

// Every refusal comes before the first change: a duplicate primary key (3022, also when
// the duplicate is an earlier row of the same insertMany), a value a column cannot hold,
// a text too long, a Memo value, a read-only database, a system table, a key the sort
// order cannot encode.
TEST(Insert, RefusalsLeaveTheFileByteIdentical) {
  testfiles::ScratchDir dir;
  const fs::path path = dir.copy(testfiles::data("checks2000.mdb"));
  const auto before = writecheck::bytesOf(path.string());
  auto expectRefused = [&](int number, const std::function<void(JetDatabase&, const TableInfo&)>& f) {
    {
      auto db = openRw(path);
      const TableInfo& t = *db->findTable("Orders");
      try {
        f(*db, t);
        ADD_FAILURE() << "no " << number;
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), number) << e.description();
      }
      EXPECT_EQ(t.rowCount, 196u);
      db->close();
    }
    EXPECT_TRUE(writecheck::bytesOf(path.string()) == before) << number;
  };
  auto rowWith = [](const TableInfo& t, const std::string& col, Value v) {
    std::vector<Value> row(t.columns.size());
    row[size_t(t.findColumn(col)->position)] = std::move(v);
    return row;
  };
  expectRefused(err::kDuplicateKey, [&](JetDatabase& db, const TableInfo& t) {
    auto cur = db.scan(t);
    cur->next();
    db.insert(t, rowWith(t, "ID", cur->value(t.findColumn("ID")->position)));
  });
  expectRefused(err::kDuplicateKey, [&](JetDatabase& db, const TableInfo& t) {
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 300; ++i) rows.push_back(rowWith(t, "Code", Value("x" + std::to_string(i))));
    rows.push_back(rowWith(t, "ID", Value(int32_t(900000))));
    rows.push_back(rowWith(t, "ID", Value(int32_t(900000))));
    db.insertMany(t, rows);
  });
  expectRefused(err::kConversion, [&](JetDatabase& db, const TableInfo& t) {
    db.insert(t, rowWith(t, "OrderDate", Value("not a date")));
  });
  expectRefused(err::kFieldTooSmall, [&](JetDatabase& db, const TableInfo& t) {
    db.insert(t, rowWith(t, "Code", Value(std::string(21, 'c'))));
  });
  expectRefused(err::kReadOnly, [&](JetDatabase& db, const TableInfo& t) {
    db.insert(t, rowWith(t, "Notes", Value("备注")));
  });
  {
    auto db = JetDatabase::open(os::Env::system(), path.string(), Database::Mode::ReadOnly);
    const TableInfo& t = *db->findTable("Orders");
    EXPECT_THROW(db->insert(t, std::vector<Value>(t.columns.size())), Error);
  }
  {
    auto db = openRw(path);
    const TableInfo& t = *db->findTable("MSysObjects");
    EXPECT_THROW(db->insert(t, std::vector<Value>(t.columns.size())), Error);
  }
  EXPECT_TRUE(writecheck::bytesOf(path.string()) == before);

  // Chinese text in an ACE "General" index is written like any other.
  const fs::path ace = dir.copy(testfiles::data("checks2010.accdb"));
  {
    auto db = openRw(ace);
    const TableInfo& t = *db->findTable("Orders");
    std::vector<std::vector<Value>> rows(50, rowWith(t, "Code", Value("plain")));
    rows.push_back(rowWith(t, "Code", Value("编号")));
    db->insertMany(t, rows);
    EXPECT_EQ(t.rowCount, 247u);
    db->close();
  }
  for (const std::string& p : writecheck::problems(ace.string())) ADD_FAILURE() << p;
}

// Jet 3: every user table of the corpus's Access 97 index test files gets copies of its
// own rows (AutoNumbers new, long values Null, Long keys of unique indexes moved past the
// existing ones): text keys in code-page bytes, rows that refer to another table finding
// the rows they refer to, AutoNumber counters moving on. A table with a generated GUID is
// refused whole (3027).
class InsertJet3 : public testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Corpus, InsertJet3,
                         testing::Values("indexTestV1997.mdb", "testIndexCodesV1997.mdb"));

TEST_P(InsertJet3, TablesTakeCopiesOfTheirRows) {
  testfiles::ScratchDir dir;
  const fs::path path = dir.copy(testfiles::corpus(std::string("V1997/") + GetParam()));
  std::map<std::string, uint32_t> counts;
  std::map<std::string, uint32_t> counters;  // AutoNumber counters expected afterwards
  int inserted = 0;
  {
    auto db = openRw(path);
    for (const TableInfo& t : db->tables()) {
      if (t.system || t.linked) continue;
      std::vector<bool> uniqueLong(t.columns.size(), false), uniqueText(t.columns.size(), false);
      bool autoGuid = false, autoLong = false;
      for (const auto& c : t.columns) {
        autoGuid = autoGuid || (c.autoNumber && c.daoType == daotype::kGuid);
        autoLong = autoLong || (c.autoNumber && c.daoType == daotype::kLong);
      }
      for (const auto& ix : t.indexes)
        for (const auto& ic : ix.columns)
          if (ix.unique) {
            uniqueLong[size_t(ic.column)] = t.columns[size_t(ic.column)].daoType == daotype::kLong;
            uniqueText[size_t(ic.column)] = t.columns[size_t(ic.column)].daoType == daotype::kText;
          }
      std::vector<std::vector<Value>> copies;
      for (auto cur = db->scan(t); cur->next();) {
        std::vector<Value> row;
        for (const auto& c : t.columns) {
          const bool longValue = c.daoType == daotype::kMemo || c.daoType == daotype::kLongBinary;
          row.push_back(c.autoNumber || longValue ? Value() : cur->value(c.position));
        }
        copies.push_back(std::move(row));
      }
      counts[t.name] = t.rowCount;
      std::vector<std::vector<Value>> rows;
      // About 2,000 new rows a table: new data pages and index leaf splits.
      const int rounds = copies.empty() ? 0 : int(2000 / copies.size()) + 1;
      for (int round = 1; round <= rounds; ++round)
        for (const auto& row : copies) {
          std::vector<Value> copy = row;
          for (size_t i = 0; i < row.size(); ++i) {
            if (row[i].isNull() || t.columns[i].autoNumber) continue;
            if (uniqueLong[i]) copy[i] = Value(row[i].asInt() + 100000 * round);
            if (uniqueText[i]) copy[i] = Value(fitted(std::to_string(round) + "~" + row[i].asText(), t.columns[i].size));
          }
          rows.push_back(std::move(copy));
        }
      if (rows.empty()) continue;
      const uint32_t counter = db->definition(t).autoNumber;
      try {
        db->insertMany(t, rows);
        EXPECT_FALSE(autoGuid) << t.name;
      } catch (const Error& e) {
        EXPECT_TRUE(autoGuid && e.number() == err::kReadOnly) << t.name << ": " << e.description();
        continue;
      }
      inserted += int(rows.size());
      counts[t.name] += uint32_t(rows.size());
      if (autoLong) counters[t.name] = counter + uint32_t(rows.size());
    }
    db->close();
  }
  EXPECT_GT(inserted, 2000);
  for (const auto& s : writecheck::problems(path.string())) ADD_FAILURE() << s;
  auto db = JetDatabase::open(os::Env::system(), path.string(), Database::Mode::ReadOnly);
  for (const auto& [name, count] : counts) {
    EXPECT_EQ(db->findTable(name)->rowCount, count) << name;
    EXPECT_EQ(ourRows(path, name).size(), count) << name;
    if (mdbtools::required()) {
      const auto theirs = mdbtools::exportTable(path.string(), name);
      ASSERT_TRUE(theirs.has_value()) << name;
      EXPECT_EQ(theirs->rows.size(), count) << name;
    }
  }
  for (const auto& [name, counter] : counters)
    EXPECT_EQ(db->definition(*db->findTable(name)).autoNumber, counter) << name;
}

// Relationships: a row that refers to a missing row is refused (3201), and so is a change
// of a key other rows refer to (3200); neither changes the file.
TEST(Insert, RelationshipsAreKept) {
  testfiles::ScratchDir dir;
  const fs::path path = dir.copy(testfiles::corpus("V1997/indexTestV1997.mdb"));
  const auto before = writecheck::bytesOf(path.string());
  auto db = openRw(path);
  const TableInfo& child = *db->findTable("Table1");
  const TableInfo& parent = *db->findTable("Table2");
  std::vector<Value> row;
  for (auto cur = db->scan(child); cur->next();) {
    row.clear();
    for (const auto& c : child.columns) row.push_back(cur->value(c.position));
  }
  ASSERT_FALSE(row.empty());
  row[0] = Value(int32_t(777777));
  for (const char* fk : {"otherfk1", "otherfk2"}) {
    std::vector<Value> orphan = row;
    orphan[size_t(child.findColumn(fk)->position)] = Value(int32_t(999999));
    try {
      db->insert(child, orphan);
      ADD_FAILURE() << fk << ": no 3201";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kRelatedRecordRequired) << fk << ": " << e.description();
    }
  }
  EXPECT_TRUE(writecheck::bytesOf(path.string()) == before);
  int refused = 0;
  for (auto cur = db->scan(parent); cur->next();) {
    try {
      db->update(parent, cur->rowId(), 0, Value(int32_t(888888)));
      break;  // a row nobody refers to: changed, the walk ends
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kRelatedRecordsExist) << e.description();
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
  db->close();
  for (const auto& p : writecheck::problems(path.string())) ADD_FAILURE() << p;
}
