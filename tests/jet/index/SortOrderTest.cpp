// Text keys in the sort orders of Chinese-language Access, against real files of Chinese
// websites and business systems (corpus-cn, read in place, written only as copies).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>

#include "TestFiles.h"
#include "jet/Dump.h"
#include "jet/Error.h"
#include "jet/JetDatabase.h"
#include "jet/index/IndexPage.h"
#include "jet/index/IndexWriter.h"
#include "jet/index/Key.h"
#include "jet/index/TableIndexes.h"
#include "jet/verify/VerifyIndexes.h"

using namespace jet;
using namespace jet::index;

namespace {

std::string hex(const Bytes& b) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (uint8_t x : b) {
    s += d[x >> 4];
    s += d[x & 15];
  }
  return s;
}

// A value of index-keys.tsv: backslash escapes as in the dump, "\N" for Null.
Value unescape(const std::string& s) {
  if (s == "\\N") return Value();
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char e = s[++i];
    if (e == 'n') out += '\n';
    else if (e == 'r') out += '\r';
    else if (e == 't') out += '\t';
    else if (e == 'x' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += e;
    }
  }
  return Value(out);
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> f;
  size_t at = 0;
  for (size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
    f.push_back(line.substr(at, tab - at));
  f.push_back(line.substr(at));
  return f;
}

}  // namespace

// Every key Access stored in the PRC and Taiwan indexes of the corpus, byte for byte.
TEST(ChineseSortOrder, ReproducesEveryStoredKeyOfTheCorpus) {
  SKIP_WITHOUT_SHARED("corpus-cn/index-keys.tsv");
  std::ifstream in(testfiles::shared("corpus-cn/index-keys.tsv"));
  std::string line;
  std::getline(in, line);  // header
  std::map<std::string, int> checked;
  int chinese = 0;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = splitTabs(line);
    ASSERT_EQ(f.size(), 9u) << line.substr(0, 200);
    if (f[5] == "-1") continue;  // Jet 3 keys: a sort order not encoded here
    KeyColumn col;
    col.type = 0x0A;
    col.ascending = f[6] == "asc";
    col.collation.lcid = static_cast<uint16_t>(std::stoi(f[4], nullptr, 16));
    col.collation.version = static_cast<uint8_t>(std::stoi(f[5]));
    col.name = f[3];
    Bytes key;
    appendColumnKey(col, unescape(f[7]), key);
    EXPECT_EQ(hex(key), f[8]) << f[0] << " " << f[1] << "." << f[3] << " = " << f[7].substr(0, 80);
    ++checked[f[4]];
    bool ideographs = false;  // a lead byte of U+4E00-U+9FFF
    for (unsigned char c : f[7]) ideographs = ideographs || (c >= 0xE4 && c <= 0xE9);
    chinese += ideographs;
  }
  EXPECT_GT(checked["0x0804"], 1500);
  EXPECT_GT(checked["0x0404"], 100);
  EXPECT_GT(chinese, 300);
}

namespace {

std::unique_ptr<JetDatabase> openFile(const std::filesystem::path& p, Database::Mode mode) {
  return JetDatabase::open(os::Env::system(), p.string(), mode);
}

// Every ideograph one code point on: distinct values stay distinct.
std::string shifted(const std::string& s) {
  std::u16string u = utf16FromUtf8(s);
  bool any = false;
  for (char16_t& c : u)
    if (c >= 0x4E00 && c < 0x9FA5) {
      ++c;
      any = true;
    }
  if (!any) return s;
  std::string out;
  for (char16_t c : u) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

using Change = std::function<Value(size_t row, const Value& old)>;

// Changes one column of every row in one batch on a copy, then checks the copy through a
// fresh engine: verify finds every key right, the rows read the new values, and every
// changed row is found through each index that holds the column by its key.
// Returns how many rows changed.
int changeAndCheck(const std::filesystem::path& file, const std::string& table,
                   const std::string& column, const Change& change, bool allComputed = true) {
  std::map<uint32_t, Value> expected;
  {
    auto db = openFile(file, Database::Mode::Exclusive);
    const TableInfo& t = *db->findTable(table);
    const int col = t.findColumn(column)->position;
    std::vector<std::pair<RowId, Value>> rows;
    auto cur = db->scan(t);
    while (cur->next()) rows.emplace_back(cur->rowId(), cur->value(col));
    db->beginBatch();
    for (size_t i = 0; i < rows.size(); ++i) {
      const Value now = change(i, rows[i].second);
      if (now == rows[i].second) continue;
      db->update(t, rows[i].first, col, now);
      expected[rows[i].first.page << 8 | rows[i].first.row] = now;
    }
    db->commitBatch();
    db->close();
  }
  auto db = openFile(file, Database::Mode::ReadOnly);
  const IndexVerification v = verifyIndexesDetailed(*db);
  for (const std::string& p : v.problems) ADD_FAILURE() << p;
  if (allComputed) {
    for (const std::string& n : v.notComputed)
      EXPECT_EQ(n.find(table + "."), std::string::npos) << n;
  }
  const TableInfo& t = *db->findTable(table);
  const format::TableDef& def = db->definition(t);
  const int col = t.findColumn(column)->position;
  std::map<uint32_t, std::vector<Value>> rows;  // every column, by RowId
  auto cur = db->scan(t);
  while (cur->next()) {
    std::vector<Value> r;
    for (size_t c = 0; c < t.columns.size(); ++c) r.push_back(cur->value(static_cast<int>(c)));
    rows[cur->rowId().page << 8 | cur->rowId().row] = std::move(r);
  }
  PagerPages pages(db->pager());
  for (const RealIndex& ix : realIndexes(def, db->header())) {
    if (!ix.holds(*def.findColumn(column))) continue;
    IndexWriter lookup(pages, indexLayout(db->header().version), {ix.root, def.page, ix.usageMap});
    for (const auto& [id, value] : expected) {
      if (!rows.count(id)) {
        ADD_FAILURE() << "row " << id << " is gone";
        continue;
      }
      const std::vector<Value>& r = rows.at(id);
      EXPECT_EQ(r[static_cast<size_t>(col)], value);
      std::vector<Value> values;
      for (const format::ColumnDef* c : ix.columns)
        values.push_back(r[static_cast<size_t>(c - def.columns.data())]);
      KeyNulls n;
      Bytes entry = valuesKey(ix, values, &n);
      if (ix.ignoreNulls && n.all) continue;
      appendRowId(entry, id >> 8, static_cast<uint8_t>(id & 0xFF));
      EXPECT_TRUE(lookup.contains(entry)) << table << "." << ix.name << " row " << id;
    }
  }
  return static_cast<int>(expected.size());
}

// Ideographs shifted, every fifth value cleared.
Value shiftOrClear(size_t row, const Value& old) {
  if (old.isNull()) return old;
  if (row % 5 == 4) return Value();
  return Value(shifted(old.asText()));
}

}  // namespace

// PRC-indexed text of real files: a unique index, a plain one, and multi-column indexes
// where the text is neither first nor alone.
TEST(ChineseSortOrder, RewritesAndClearsOfPrcIndexedTextKeepEveryIndexExact) {
  struct Case {
    const char* file;
    const char* table;
    const char* column;
  };
  for (const Case& c : {Case{"blog-dvboke.mdb", "Dv_Boke_User", "UserName"},
                        Case{"forum-zidonghua.mdb", "Dv_bbs1", "Topic"},
                        Case{"forum-zidonghua.mdb", "Dv_User", "UserClass"},
                        Case{"guestbook-book.mdb", "mytable", "name"}}) {
    SCOPED_TRACE(std::string(c.file) + " " + c.table + "." + c.column);
    const std::string rel = std::string("corpus-cn/") + c.file;
    SKIP_WITHOUT_SHARED(rel);
    testfiles::ScratchDir dir;
    const auto path = dir.copy(testfiles::shared(rel));
    EXPECT_GT(changeAndCheck(path, c.table, c.column, shiftOrClear), 0);
  }
}

// forum.username must name a user (an enforced relationship): the user is looked up by
// its key in user's unique PRC index.
TEST(ChineseSortOrder, RelationshipsFindTheirKeysInPrcIndexes) {
  SKIP_WITHOUT_SHARED("corpus-cn/forum-lzybbs.mdb");
  testfiles::ScratchDir dir;
  const auto path = dir.copy(testfiles::shared("corpus-cn/forum-lzybbs.mdb"));
  std::vector<std::string> names;  // users with Chinese names
  {
    auto db = openFile(path, Database::Mode::ReadOnly);
    const TableInfo& t = *db->findTable("user");
    auto cur = db->scan(t);
    while (cur->next()) {
      const Value v = cur->value(t.findColumn("username")->position);
      if (!v.isNull() && shifted(v.asText()) != v.asText()) names.push_back(v.asText());
    }
  }
  ASSERT_GT(names.size(), 10u);
  EXPECT_GT(changeAndCheck(path, "forum", "username",
                           [&](size_t i, const Value&) {  // username is Required: no Null
                             return Value(names[i % names.size()]);
                           }),
            100);
  const auto before = testfiles::fileBytes(path);
  {
    auto db = openFile(path, Database::Mode::Exclusive);
    const TableInfo& t = *db->findTable("forum");
    auto cur = db->scan(t);
    ASSERT_TRUE(cur->next());
    try {
      db->update(t, cur->rowId(), t.findColumn("username")->position, Value(shifted(names[0]) + "无此人"));
      FAIL() << "no 3201";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kRelatedRecordRequired);
    }
    db->close();
  }
  EXPECT_TRUE(testfiles::fileBytes(path) == before);
}

// A rewrite that gives a unique PRC index a second equal key is refused before anything
// is written.
TEST(ChineseSortOrder, DuplicateKeyInAUniquePrcIndexChangesNothing) {
  SKIP_WITHOUT_SHARED("corpus-cn/forum-lzybbs.mdb");
  testfiles::ScratchDir dir;
  const auto path = dir.copy(testfiles::shared("corpus-cn/forum-lzybbs.mdb"));
  const auto before = testfiles::fileBytes(path);
  {
    auto db = openFile(path, Database::Mode::Exclusive);
    const TableInfo& t = *db->findTable("user");
    const int col = t.findColumn("username")->position;
    std::vector<std::pair<RowId, Value>> rows;
    auto cur = db->scan(t);
    while (cur->next()) rows.emplace_back(cur->rowId(), cur->value(col));
    // Two Chinese names: the second takes the first's name, in another case of width too.
    const auto chinese = [](const Value& v) { return !v.isNull() && shifted(v.asText()) != v.asText(); };
    auto a = std::find_if(rows.begin(), rows.end(), [&](auto& r) { return chinese(r.second); });
    ASSERT_NE(a, rows.end());
    auto b = std::find_if(a + 1, rows.end(), [&](auto& r) { return chinese(r.second); });
    ASSERT_NE(b, rows.end());
    try {
      db->update(t, b->first, col, Value(a->second.asText() + "  "));
      FAIL() << "no 3022";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kDuplicateKey);
    }
    db->close();
  }
  EXPECT_TRUE(testfiles::fileBytes(path) == before);
}

// ACE "General": Chinese text in indexed columns of an Access 2010+ fixture and of the
// corpus's Access 2010 files.
TEST(ChineseSortOrder, AceGeneralRewritesOfChineseTextKeepEveryIndexExact) {
  {
    testfiles::ScratchDir dir;
    const auto path = dir.copy(testfiles::data("checks2010.accdb"));
    EXPECT_GT(changeAndCheck(path, "凭证", "科目代码",
                             [](size_t i, const Value& old) {
                               return i % 3 == 2 ? Value() : Value("科目" + std::to_string(i) + "-应收");
                             }),
              0);
    EXPECT_GT(changeAndCheck(path, "凭证", "科目代码", shiftOrClear), 0);
  }
  int files = 0;
  for (const auto& f : testfiles::corpusFiles("V2010")) {
    testfiles::ScratchDir dir;
    const auto path = dir.copy(f);
    auto db = openFile(path, Database::Mode::ReadOnly);
    // The first ordinary table with an indexed text column in ACE "General".
    std::string table, column;
    for (const TableInfo& t : db->tables()) {
      if (t.system || t.linked || !table.empty()) continue;
      for (const RealIndex& ix : realIndexes(db->definition(t), db->header()))
        for (const KeyColumn& k : ix.key)
          if (table.empty() && (k.type == 0x0A || k.type == 0x0C) &&
              sortOrderOf(k.collation) == SortOrder::General2010 && !ix.unique) {
            table = t.name;
            column = k.name;
          }
    }
    db->close();
    if (table.empty()) continue;
    SCOPED_TRACE(f.filename().string() + " " + table + "." + column);
    changeAndCheck(path, table, column, [](size_t i, const Value& old) {
      return i % 4 == 3 ? Value() : Value("汉字" + std::to_string(i) + "：測試");
    });
    ++files;
  }
  EXPECT_GT(files, 0);
}

namespace {

// Gives `column` of `table` another sort order in the file's table definition (its
// descriptor on the definition's first page, Jet 4 layout), as a file made elsewhere could
// carry it.
void patchSortOrder(const std::filesystem::path& file, const std::string& table,
                    const std::string& column, uint16_t lcid) {
  uint32_t tdef, pageSize;
  format::ColumnDef col;
  {
    auto db = openFile(file, Database::Mode::ReadOnly);
    const format::TableDef& def = db->definition(*db->findTable(table));
    tdef = def.page;
    pageSize = db->header().version.pageSize();
    col = *def.findColumn(column);
  }
  std::vector<uint8_t> bytes = testfiles::fileBytes(file);
  uint8_t* page = &bytes[size_t{tdef} * pageSize];
  auto le16 = [](const uint8_t* p) { return p[0] | p[1] << 8; };
  std::vector<size_t> found;
  for (size_t o = 63; o + 25 <= pageSize; ++o)
    if (page[o] == col.type && le16(page + o + 5) == col.number &&
        le16(page + o + 7) == col.varIndex && le16(page + o + 11) == col.collation &&
        le16(page + o + 23) == col.length)
      found.push_back(o);
  ASSERT_EQ(found.size(), 1u) << table << "." << column;
  page[found[0] + 11] = static_cast<uint8_t>(lcid);
  page[found[0] + 12] = static_cast<uint8_t>(lcid >> 8);
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

// Chinese Taiwan on an indexed column of a fixture: every value rewritten (the stored
// General Legacy keys all go), then every key is the Taiwan one.
TEST(ChineseSortOrder, TaiwanIndexedColumnTakesRewritesAndClears) {
  testfiles::ScratchDir dir;
  const auto path = dir.copy(testfiles::data("checks2000.mdb"));
  patchSortOrder(path, "凭证", "科目代码", 0x0404);
  EXPECT_EQ(changeAndCheck(path, "凭证", "科目代码",
                           [](size_t i, const Value&) {
                             static const char* kWords[] = {"應收帳款-", "预收-", "現金/", "a-"};
                             return i % 7 == 6 ? Value() : Value(kWords[i % 4] + std::to_string(i % 300));
                           }),
            1000);
  EXPECT_GT(changeAndCheck(path, "凭证", "科目代码", shiftOrClear), 500);
}

// A sort order still not encoded: a value is refused before anything is written, naming the
// index, the sort order and what works instead; clearing works and verify stays clean.
TEST(UnencodableSortOrder, ClearingWorksAndValuesAreRefusedByName) {
  testfiles::ScratchDir dir;
  const auto path = dir.copy(testfiles::data("checks2000.mdb"));
  patchSortOrder(path, "凭证", "科目代码", 0x040E);
  const auto before = testfiles::fileBytes(path);
  {
    auto db = openFile(path, Database::Mode::Exclusive);
    const TableInfo& t = *db->findTable("凭证");
    auto cur = db->scan(t);
    ASSERT_TRUE(cur->next());
    try {
      db->update(t, cur->rowId(), t.findColumn("科目代码")->position, Value("1001"));
      FAIL() << "no 3027";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kReadOnly);
      for (const char* part : {"'科目代码'", "Hungarian", "清除"})
        EXPECT_NE(e.description().find(part), std::string::npos) << e.description();
    }
    db->close();
  }
  EXPECT_TRUE(testfiles::fileBytes(path) == before);
  EXPECT_EQ(changeAndCheck(path, "凭证", "科目代码",
                           [](size_t i, const Value& old) { return i % 2 ? Value() : old; }, false),
            500);
  EXPECT_GT(changeAndCheck(path, "凭证", "科目代码", [](size_t, const Value&) { return Value(); }, false),
            400);
}

// A primary key in a sort order not encoded is not cleared either.
TEST(UnencodableSortOrder, PrimaryKeyIsNotCleared) {
  SKIP_WITHOUT_SHARED("corpus-cn/inventory-store.mdb");
  testfiles::ScratchDir dir;
  const auto path = dir.copy(testfiles::shared("corpus-cn/inventory-store.mdb"));
  patchSortOrder(path, "msurplus", "材料编码", 0x040E);
  const auto before = testfiles::fileBytes(path);
  {
    auto db = openFile(path, Database::Mode::Exclusive);
    const TableInfo& t = *db->findTable("msurplus");
    auto cur = db->scan(t);
    ASSERT_TRUE(cur->next());
    try {
      db->update(t, cur->rowId(), t.findColumn("材料编码")->position, Value());
      FAIL() << "a primary key was cleared";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kNullInIndex);
      EXPECT_NE(e.description().find("PrimaryKey"), std::string::npos) << e.description();
    }
    db->close();
  }
  EXPECT_TRUE(testfiles::fileBytes(path) == before);
}

// A Chinese Access 97 file (PRC over code page 936): its keys are not computed here, but it
// opens, its Chinese table name and rows read right and its indexes check out otherwise.
TEST(ChineseSortOrder, Jet3PrcFileOpensScansAndNamesItsTableRight) {
  SKIP_WITHOUT_SHARED("corpus-cn/jet3-addressbook.mdb");
  auto db = openFile(testfiles::shared("corpus-cn/jet3-addressbook.mdb"), Database::Mode::ReadOnly);
  const TableInfo* t = db->findTable("２３３７通讯录");
  ASSERT_NE(t, nullptr);
  ASSERT_NE(t->findColumn("姓名"), nullptr);
  std::string dump;
  auto cur = db->scan(*t);
  int rows = 0;
  while (cur->next()) {
    appendDumpValue(dump, cur->value(t->findColumn("姓名")->position));
    dump += '\n';
    ++rows;
  }
  EXPECT_GT(rows, 10);
  EXPECT_NE(dump.find("李风春\n"), std::string::npos) << dump.substr(0, 200);
  const IndexVerification v = verifyIndexesDetailed(*db);
  for (const std::string& p : v.problems) ADD_FAILURE() << p;
}
