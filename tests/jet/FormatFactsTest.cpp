// The format facts observed in the corpus files, as the engine must read them.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "jet/DateTime.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/TableScan.h"

using jet::Database;

namespace {

std::unique_ptr<jet::JetDatabase> openCorpus(const std::string& rel) {
  return jet::JetDatabase::open(jet::os::Env::system(), testfiles::corpus(rel).string(),
                                Database::Mode::ReadOnly);
}

std::vector<jet::RowId> rowIds(jet::Database& db, const jet::TableInfo& t) {
  std::vector<jet::RowId> ids;
  auto cur = db.scan(t);
  while (cur->next()) ids.push_back(cur->rowId());
  return ids;
}

}  // namespace

TEST(FormatFacts, TableDefinitionBlocks) {
  auto j3 = openCorpus("V1997/testV1997.mdb");
  const auto& t3 = j3->definition(*j3->findTable("Table1"));
  EXPECT_EQ(t3.page, 29u);
  EXPECT_EQ(t3.numRows, 2u);
  EXPECT_EQ(t3.maxCols, 9);
  EXPECT_EQ(t3.numVarCols, 2);
  EXPECT_EQ(t3.columns.size(), 9u);
  EXPECT_EQ(t3.ownedMap.page, 30u);
  EXPECT_EQ(t3.freeMap.row, 1);
  ASSERT_EQ(t3.realIndexes.size(), 2u);
  EXPECT_EQ(t3.realIndexes[1].rootPage, 33u);
  EXPECT_EQ(t3.realIndexes[1].flags, 0x09);
  const jet::TableInfo* info = j3->findTable("Table1");
  bool pk = false;
  for (const auto& ix : info->indexes)
    if (ix.name == "PrimaryKey") pk = ix.primaryKey && ix.unique && ix.columns.size() == 1;
  EXPECT_TRUE(pk);

  auto j4 = openCorpus("V2000/testV2000.mdb");
  const auto& t4 = j4->definition(*j4->findTable("Table3"));
  EXPECT_EQ(t4.page, 736u);
  EXPECT_EQ(t4.length, 335u);
  EXPECT_EQ(t4.ownedMap.page, 737u);
  const jet::ColumnInfo* b = j4->findTable("Table3")->findColumn("b");
  EXPECT_EQ(b->daoType, jet::daotype::kText);
  EXPECT_EQ(b->size, 50);
  EXPECT_TRUE(b->compressedUnicode);
}

TEST(FormatFacts, DeletedColumnsKeepTheirNumbersAndBytes) {
  auto db = openCorpus("V2000/delColTestV2000.mdb");
  const auto& def = db->definition(*db->findTable("Table1"));
  EXPECT_EQ(def.maxCols, 6);
  EXPECT_EQ(def.numVarCols, 3);
  std::vector<int> numbers;
  for (const auto& c : def.columns) numbers.push_back(c.number);
  EXPECT_EQ(numbers, (std::vector<int>{0, 2, 3, 5}));
  EXPECT_EQ(def.findColumn("data2")->varIndex, 2);
  auto cur = db->scan(*db->findTable("Table1"));
  ASSERT_TRUE(cur->next());
  EXPECT_EQ(cur->value(0), jet::Value(int32_t{0}));
  EXPECT_EQ(cur->value(2), jet::Value("foo"));
  EXPECT_EQ(cur->value(3), jet::Value("foo2"));  // past the deleted "foo_deleted"
}

TEST(FormatFacts, Jet3RowWithEveryFixedType) {
  auto db = openCorpus("V1997/testV1997.mdb");
  const jet::TableInfo& t = *db->findTable("Table1");
  const jet::Value v = db->read(t, jet::RowId{31, 1}, t.findColumn("F")->position);
  EXPECT_EQ(v, jet::Value(444.555));
  auto at = [&](const char* col) { return db->read(t, jet::RowId{31, 1}, t.findColumn(col)->position); };
  EXPECT_EQ(at("A"), jet::Value("abcdefg"));
  EXPECT_EQ(at("B"), jet::Value("hijklmnop"));
  EXPECT_EQ(at("C"), jet::Value(int32_t{2}));
  EXPECT_EQ(at("D"), jet::Value(int32_t{222}));
  EXPECT_EQ(at("E"), jet::Value(int32_t{333333333}));
  EXPECT_EQ(at("G"), jet::Value(jet::Date{27293.0}));
  EXPECT_EQ(at("H"), jet::Value(jet::Currency{35000}));
  EXPECT_EQ(at("I"), jet::Value(true));
  EXPECT_EQ(db->read(t, jet::RowId{31, 0}, t.findColumn("I")->position), jet::Value(false));
  EXPECT_THROW(db->read(t, jet::RowId{31, 7}, 0), jet::Error);
}

TEST(FormatFacts, OverflowRowsKeepTheirFirstSlotAsIdentity) {
  auto db = openCorpus("V2000/overflowTestV2000.mdb");
  const jet::TableInfo& t = *db->findTable("Table1");
  const auto ids = rowIds(*db, t);
  // Page 27 holds 7 slots: 2 and 4 point to rows on pages 28 and 31, which are never
  // rows of their own.
  ASSERT_GE(ids.size(), 7u);
  for (uint16_t r = 0; r < 7; ++r) EXPECT_EQ(ids[r], (jet::RowId{27, r}));
  for (const auto& id : ids) EXPECT_TRUE(id.page == 27) << id.page;
  EXPECT_THROW(db->read(t, jet::RowId{28, 0}, 0), jet::Error);  // a target is not a row
}

TEST(FormatFacts, StalePagesAreNotRows) {
  auto db = openCorpus("V2000/testPromotionV2000.mdb");
  const jet::TableInfo* t = db->findTable("MSysNavPaneObjectIDs");
  ASSERT_NE(t, nullptr);
  for (const auto& id : rowIds(*db, *t)) EXPECT_NE(id.page, 42u);
}

TEST(FormatFacts, LongValuesInlineSingleAndChained) {
  auto db = openCorpus("V2000/test2V2000.mdb");
  const jet::TableInfo& cat = *db->findTable("MSysObjects");
  auto cur = db->scan(cat);
  const int name = cat.findColumn("Name")->position, prop = cat.findColumn("LvProp")->position;
  bool seen = false;
  while (cur->next()) {
    if (cur->value(name) != jet::Value("MSP_PROJECTS")) continue;
    const jet::Value v = cur->value(prop);
    ASSERT_EQ(v.kind(), jet::Value::Kind::Binary);
    EXPECT_EQ(v.asBinary().size(), 12757u);  // three 4072-byte segments and 541 bytes
    EXPECT_EQ(std::string(v.asBinary().begin(), v.asBinary().begin() + 4), std::string("MR2\0", 4));
    seen = true;
  }
  EXPECT_TRUE(seen);

  auto j3 = openCorpus("V1997/test2V1997.mdb");
  const jet::TableInfo& p = *j3->findTable("MSP_PROJECTS");
  const jet::Value author = j3->read(p, jet::RowId{50, 0}, p.findColumn("PROJ_PROP_AUTHOR")->position);
  ASSERT_EQ(author.kind(), jet::Value::Kind::Text);
  EXPECT_EQ(author.asText().size(), 348u);
  EXPECT_EQ(j3->read(p, jet::RowId{50, 0}, p.findColumn("PROJ_PROP_COMPANY")->position), jet::Value("T"));
}

TEST(FormatFacts, NegativeDatesKeepAPositiveTimeOfDay) {
  auto db = openCorpus("V1997/testIndexCodesV1997.mdb");
  const jet::TableInfo* t = nullptr;
  for (const auto& candidate : db->tables())
    if (candidate.tdefPage != 0 && !candidate.linked && db->definition(candidate).page == 184) t = &candidate;
  ASSERT_NE(t, nullptr);
  const int data = t->findColumn("data")->position;
  const jet::Value minus = db->read(*t, jet::RowId{186, 11}, data);
  const jet::Value plus = db->read(*t, jet::RowId{186, 10}, data);
  EXPECT_EQ(minus, jet::Value(jet::Date{-1.1}));
  EXPECT_EQ(jet::formatDateTime(minus.asDate().stored), "1899-12-29 02:24:00");
  EXPECT_EQ(jet::formatDateTime(plus.asDate().stored), "1899-12-31 02:24:00");
}

TEST(FormatFacts, TablesInCatalogNameIndexOrder) {
  auto db = openCorpus("V2000/testV2000.mdb");
  std::vector<std::string> names;
  for (const auto& t : db->tables()) names.push_back(t.name);
  EXPECT_EQ(names, (std::vector<std::string>{"MSysAccessObjects", "MSysACEs", "MSysObjects", "MSysQueries",
                                             "MSysRelationships", "Table1", "Table2", "Table3", "Table4"}));
  // The collation puts "_" before the digits, unlike code point order.
  auto codes = openCorpus("V1997/testIndexCodesV1997.mdb");
  std::vector<std::string> order;
  for (const auto& t : codes->tables()) order.push_back(t.name);
  auto at = [&](const char* n) { return std::find(order.begin(), order.end(), n) - order.begin(); };
  EXPECT_EQ(at("Table1_desc"), at("Table1") + 1);
  EXPECT_LT(at("Table1_desc"), at("Table10"));
}

TEST(FormatFacts, ColumnPropertiesFromTheCatalog) {
  auto db = openCorpus("V2000/fixedTextTestV2000.mdb");
  const jet::TableInfo& users = *db->findTable("users");
  for (const auto& c : users.columns) EXPECT_TRUE(c.required) << c.name;
  auto props = openCorpus("V2000/testIndexPropertiesV2000.mdb");
  bool seen = false;
  for (const auto& t : props->tables())
    if (const jet::ColumnInfo* row = t.findColumn("row"); row && t.attributes == 0) {
      EXPECT_FALSE(row->required) << t.name;
      EXPECT_TRUE(row->allowZeroLength) << t.name;
      seen = true;
    }
  EXPECT_TRUE(seen);
}
