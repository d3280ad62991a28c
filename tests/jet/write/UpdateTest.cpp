// Row updates on copies of every fixture and corpus file, read back by our reader and by
// mdbtools, with the structure checked after every series.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "TestFiles.h"
#include "WriteCheck.h"
#include "jet/Dump.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"

namespace fs = std::filesystem;
using jet::Value;

namespace {

struct Change {
  std::string table;
  int row;
  int column;
  Value value;
};

bool indexed(const jet::TableInfo& t, int column) {
  for (const auto& i : t.indexes)
    for (const auto& c : i.columns)
      if (c.column == column) return true;
  return false;
}

std::string repeat(const std::string& unit, size_t chars, size_t unitChars) {
  std::string s;
  for (size_t n = 0; n + unitChars <= chars; n += unitChars) s += unit;
  return s;
}

// A series of changes to the Date/Time and Text columns no index holds: to a date, to Null,
// to a shorter text and to a much longer one, the middle row changed twice.
std::vector<Change> seriesFor(jet::Database& db, const std::map<std::string, std::string>& dumps) {
  const bool jet3 = db.format() == jet::FileFormat::Jet3;
  std::vector<Change> out;
  for (const auto& t : db.tables()) {
    if (t.system || t.linked || t.attributes != 0) continue;
    const size_t n = writecheck::rowsOf(dumps.at(t.name)).size();
    if (n == 0) continue;
    const int first = 0, mid = int(n / 2), last = int(n - 1);
    int picked = 0;
    for (const auto& c : t.columns) {
      if (picked == 3 || indexed(t, c.position) || c.fixedLength) continue;
      if (c.daoType == jet::daotype::kDate) {
        out.push_back({t.name, first, c.position, Value(jet::Date{45000.25})});
        out.push_back({t.name, mid, c.position, Value()});
        out.push_back({t.name, last, c.position, Value(jet::Date{1.5})});
        ++picked;
      } else if (c.daoType == jet::daotype::kText && c.size >= 4) {
        const std::string unit = jet3 ? "Àé" : "凭证";
        const size_t size = size_t(c.size);
        out.push_back({t.name, first, c.position, Value("y")});
        out.push_back({t.name, mid, c.position, Value(repeat(unit, std::min<size_t>(size / 2, 30), 2))});
        out.push_back({t.name, last, c.position, Value()});
        out.push_back({t.name, mid, c.position, Value(repeat(unit + "x", std::min<size_t>(size, 120), 3))});
        ++picked;
      }
    }
  }
  return out;
}

std::string dumpField(const Value& v) {
  std::string s;
  jet::appendDumpValue(s, v);
  return s;
}

// Applies the series to a copy and checks it through both readers and the verifier.
void runSeries(const fs::path& original) {
  SCOPED_TRACE(original.filename().string());
  testfiles::ScratchDir dir;
  const std::string path = dir.copy(original).string();
  const auto before = writecheck::dumpAll(path);
  const auto problemsBefore = writecheck::problems(path);
  std::map<std::string, std::vector<bool>> judged;  // columns mdbtools reads as we do

  std::map<std::string, std::vector<std::vector<std::string>>> expected;
  std::set<std::string> changed;
  {
    auto db = jet::Database::open(path, jet::Database::Mode::Exclusive);
    for (const auto& ch : seriesFor(*db, before)) {
      const jet::TableInfo& t = *db->findTable(ch.table);
      try {
        db->update(t, writecheck::rowAt(*db, ch.table, ch.row), ch.column, ch.value);
      } catch (const jet::Error& e) {
        // A row the change would take over the maximum size, a calculated column, or a
        // Required column asked to hold Null stays as it was.
        ASSERT_TRUE(e.number() == 3047 || e.number() == 3027 ||
                    (e.number() == 3314 && ch.value.isNull()))
            << ch.table << " " << e.description();
        continue;
      }
      if (!expected.count(ch.table)) {
        expected[ch.table] = writecheck::rowsOf(before.at(ch.table));
        judged[ch.table] = writecheck::agreeingColumns(original.string(), t, expected[ch.table]);
      }
      expected[ch.table][size_t(ch.row)][size_t(ch.column)] = dumpField(ch.value);
      changed.insert(ch.table);
    }
    db->close();
  }
  EXPECT_FALSE(fs::exists(path + "-journal"));

  std::set<std::string> was(problemsBefore.begin(), problemsBefore.end());
  for (const auto& p : writecheck::problems(path)) EXPECT_TRUE(was.count(p)) << p;

  const auto after = writecheck::dumpAll(path);
  auto db = jet::Database::open(path, jet::Database::Mode::ReadOnly);
  for (const auto& [name, text] : before) {
    if (!changed.count(name)) {
      EXPECT_EQ(after.at(name), text) << name;
      continue;
    }
    const std::string header = text.substr(0, text.find('\n'));
    EXPECT_EQ(after.at(name), writecheck::joinRows(header, expected[name])) << name;
    const std::vector<bool>& cols = judged[name];
    EXPECT_EQ(writecheck::compareWithMdbtools(path, *db->findTable(name), expected[name], &cols), "");
    // Every changed column is among those compared.
    const auto original = writecheck::rowsOf(text);
    for (size_t r = 0; r < original.size(); ++r)
      for (size_t i = 0; i < cols.size(); ++i)
        if (!cols[i] && expected[name][r][i] != original[r][i])
          ADD_FAILURE() << name << " column " << i << " changed but mdbtools cannot judge it";
  }
}

}  // namespace

TEST(RowUpdate, SeriesOnEveryFixtureReadsBackThroughBothReaders) {
  for (const char* f : {"checks2000.mdb", "checks2003.mdb", "checks2010.accdb", "linked_target.mdb",
                        "flags2000.mdb", "nocandidates2000.mdb", "rawdates2000.mdb",
                        "template2000.mdb", "empty2000.mdb"})
    runSeries(testfiles::data(f));
}

TEST(RowUpdate, SeriesOnCorpusFilesOfEveryGeneration) {
  for (const char* dir : {"V1997", "V2000", "V2003", "V2007", "V2010"}) {
    const auto files = testfiles::corpusFiles(dir);
    EXPECT_FALSE(files.empty()) << dir;
    for (const auto& f : files) runSeries(f);
  }
}

TEST(RowUpdate, SeriesOnMoreSharedCorpusFiles) {
  SKIP_WITHOUT_SHARED("corpus");
  for (const char* dir : {"V1997", "V2000", "V2003", "V2007", "V2010"})
    for (const auto& f : testfiles::moreCorpusFiles(dir)) runSeries(f);
}

// Wide (checks2000): rows 6 and 7 share a page with 152 bytes free; rows 3 to 5 are
// 4060 bytes, one per page. Big: 40,000 rows on full pages. The file is larger than one
// inline usage-map window, so a new page forces the maps to grow.
TEST(RowUpdate, RowsMoveToTheirPageAnotherPageOrANewPageAndNeverChain) {
  testfiles::ScratchDir dir;
  const std::string path = dir.copy(testfiles::data("checks2000.mdb")).string();
  const auto before = writecheck::dumpAll(path);
  auto wide = writecheck::rowsOf(before.at("Wide"));
  auto big = writecheck::rowsOf(before.at("Big"));
  {
    auto db = jet::JetDatabase::open(jet::os::Env::system(), path, jet::Database::Mode::Exclusive);
    const jet::TableInfo& w = *db->findTable("Wide");
    const jet::TableInfo& b = *db->findTable("Big");
    const int w1 = w.findColumn("W1")->position, t = b.findColumn("T")->position;
    auto set = [&](const jet::TableInfo& table, std::vector<std::vector<std::string>>& rows, int row,
                   int col, const Value& v) {
      db->update(table, writecheck::rowAt(*db, table.name, row), col, v);
      rows[size_t(row)][size_t(col)] = dumpField(v);
      return db->lastPlacement();
    };
    EXPECT_EQ(set(b, big, 5, t, Value("短")), 0);                       // shorter: in place
    EXPECT_EQ(set(w, wide, 6, w1, Value(repeat("长", 60, 1))), 1);      // its page has room
    EXPECT_EQ(set(w, wide, 7, w1, Value(repeat("宽", 40, 1))), 2);      // now it has not
    EXPECT_EQ(set(w, wide, 6, w1, Value(repeat("再", 200, 1))), 3);     // no owned page has room
    EXPECT_EQ(set(w, wide, 6, w1, Value(repeat("又", 250, 1))), 1);     // moved row grows there
    EXPECT_EQ(set(w, wide, 6, w1, Value("c:d")), 0);                    // and shrinks in place
    EXPECT_EQ(set(b, big, 7, t, Value(repeat("批次很长的文本", 28, 7))), 2);
    EXPECT_EQ(set(b, big, 9, t, Value(repeat("批次", 30, 2))), 2);
    EXPECT_EQ(set(b, big, 7, t, Value(repeat("又一次", 30, 3))), 1);
    db->close();
  }
  EXPECT_TRUE(writecheck::problems(path).empty());
  const auto after = writecheck::dumpAll(path);
  for (const auto& [name, text] : before) {
    if (name == "Wide" || name == "Big") continue;
    EXPECT_EQ(after.at(name), text) << name;
  }
  auto db = jet::Database::open(path, jet::Database::Mode::ReadOnly);
  EXPECT_EQ(writecheck::rowsOf(after.at("Wide")), wide);
  EXPECT_EQ(writecheck::rowsOf(after.at("Big")), big);
  EXPECT_EQ(writecheck::compareWithMdbtools(path, *db->findTable("Wide"), wide), "");
  EXPECT_EQ(writecheck::compareWithMdbtools(path, *db->findTable("Big"), big), "");
}

// One update per row of a 40,000-row table, all in one batch and one commit.
TEST(RowUpdate, WalkOverFortyThousandRowsInOneBatch) {
  testfiles::ScratchDir dir;
  const std::string path = dir.copy(testfiles::data("checks2003.mdb")).string();
  auto big = writecheck::rowsOf(writecheck::dumpAll(path).at("Big"));
  {
    auto db = jet::Database::open(path, jet::Database::Mode::Exclusive);
    const jet::TableInfo& b = *db->findTable("Big");
    const int d = b.findColumn("D")->position;
    auto cursor = db->scan(b);
    db->beginBatch();
    for (size_t i = 0; cursor->next(); ++i) {
      const Value v(jet::Date{40000.0 + double(i % 5000) + 0.5});
      db->update(b, cursor->rowId(), d, v);
      big[i][size_t(d)] = dumpField(v);
    }
    db->commitBatch();
  }
  EXPECT_TRUE(writecheck::problems(path).empty());
  auto db = jet::Database::open(path, jet::Database::Mode::ReadOnly);
  EXPECT_EQ(writecheck::rowsOf(writecheck::dumpAll(path).at("Big")), big);
  EXPECT_EQ(writecheck::compareWithMdbtools(path, *db->findTable("Big"), big), "");
}

TEST(RowUpdate, RefusalsLeaveTheFileByteIdentical) {
  testfiles::ScratchDir dir;
  const std::string path = dir.copy(testfiles::data("checks2000.mdb")).string();
  const auto original = writecheck::bytesOf(path);
  auto expectRefusal = [&](const char* table, const char* column, int row, const Value& v, int number) {
    auto db = jet::Database::open(path, jet::Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable(table);
    try {
      db->update(t, writecheck::rowAt(*db, table, row), t.findColumn(column)->position, v);
      ADD_FAILURE() << table << "." << column << " was written";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), number) << e.description();
    }
    db->close();
    EXPECT_EQ(writecheck::bytesOf(path), original) << table << "." << column;
    EXPECT_FALSE(fs::exists(path + "-journal"));
  };
  expectRefusal("Wide", "W10", 3, Value(repeat("长", 200, 1)), 3047);    // over 4060 bytes
  expectRefusal("Orders", "ID", 0, Value(int32_t{2}), 3022);                // the key's row 1 has it
  expectRefusal("Big", "T", 0, Value(repeat("x", 31, 1)), 3163);           // Text(30)
  expectRefusal("Big", "D", 0, Value("not a date"), 3421);
  {
    auto db = jet::Database::open(path, jet::Database::Mode::ReadOnly);
    const jet::TableInfo& t = *db->findTable("Big");
    EXPECT_THROW(db->update(t, writecheck::rowAt(*db, "Big", 0), 1, Value()), jet::Error);
  }
  EXPECT_EQ(writecheck::bytesOf(path), original);
}

// Access 97 rows past 256 bytes keep their one-byte offsets through a jump table; rows
// grown past 512 bytes need real (not placeholder) jump entries.
TEST(RowUpdate, Jet3RowsGrowPastSeveralJumpBoundaries) {
  testfiles::ScratchDir dir;
  const std::string path = dir.copy(testfiles::corpus("V1997/test2V1997.mdb")).string();
  const auto before = writecheck::dumpAll(path);
  auto rows = writecheck::rowsOf(before.at("MSP_PROJECTS"));
  ASSERT_FALSE(rows.empty());
  std::vector<bool> judged;
  {
    auto db = jet::Database::open(path, jet::Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable("MSP_PROJECTS");
    judged = writecheck::agreeingColumns(path, t, rows);
    int grown = 0;
    for (const auto& c : t.columns) {
      if (grown == 4 || indexed(t, c.position) || c.daoType != jet::daotype::kText || c.size < 100)
        continue;
      const Value v(repeat("Jet3 ÀÉÎ ", size_t(c.size) - 5, 9));
      db->update(t, writecheck::rowAt(*db, t.name, 0), c.position, v);
      rows[0][size_t(c.position)] = dumpField(v);
      EXPECT_TRUE(judged[size_t(c.position)]) << c.name << ": mdbtools cannot judge it";
      ++grown;
    }
    ASSERT_GE(grown, 3);  // over 3 x 90 bytes more: the row passes 512 bytes
    db->close();
  }
  EXPECT_TRUE(writecheck::problems(path).empty());
  const auto after = writecheck::dumpAll(path);
  EXPECT_EQ(writecheck::rowsOf(after.at("MSP_PROJECTS")), rows);
  auto db = jet::Database::open(path, jet::Database::Mode::ReadOnly);
  EXPECT_EQ(writecheck::compareWithMdbtools(path, *db->findTable("MSP_PROJECTS"), rows, &judged), "");
}
