#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ExpectedJson.h"
#include "TestFiles.h"
#include "data/Dao.h"
#include "jet/DateTime.h"
#include "jet/Error.h"
#include "jet/sql/Lexer.h"

namespace jet {
// Readable failure messages for values.
inline void PrintTo(const Value& v, std::ostream* os) { *os << (v.isNull() ? "Null" : v.toText()); }
}  // namespace jet

namespace {

using dao::Variant;

std::shared_ptr<dao::Database> openFixture(const std::string& name,
                                           std::shared_ptr<dao::Workspace>* ws = nullptr) {
  auto w = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
  if (ws) *ws = w;
  return w->OpenDatabase(testfiles::data(name).string(), false, /*readOnly=*/true);
}

// The error number an operation fails with, 0 when it succeeds.
template <typename F>
int errorOf(F&& f, std::string* description = nullptr) {
  try {
    f();
  } catch (const jet::Error& e) {
    if (description) *description = e.description();
    return e.number();
  }
  return 0;
}

std::string quoted(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

std::string condition(const std::string& c, bool chars, const std::string& set) {
  if (chars) return c + " like '*[" + quoted(set) + "]*'";
  return c + "<#1900-1-1# and " + c + ">#0:0:0#";
}

std::vector<std::string> column0(dao::Recordset& rs) {
  std::vector<std::string> out;
  for (; !rs.Eof(); rs.MoveNext()) out.push_back(rs.Fields(0)->Value().toText());
  return out;
}

bool plainName(const std::string& n) {
  for (unsigned char c : n)
    if (!(std::isalnum(c) || c == '_' || c >= 0x80)) return false;
  return !jet::sql::isReserved(n);
}

// The count query as the scan sends it, with the table bracketed; the column both
// bracketed and, where a bare name can stand, bare as well.
TEST(CountQueries, EveryFixtureGivesTheOraclesCounts) {
  const auto files = expected::load(testfiles::data("expected.json").string());
  ASSERT_GE(files.size(), 8u);
  int checked = 0;
  for (const auto& [file, counts] : files) {
    auto db = openFixture(file);
    std::vector<std::string> all;  // every query of the file, both checks, asked at once
    std::vector<int64_t> allCounts;
    for (bool chars : {false, true}) {
      for (const auto& c : chars ? counts.chars : counts.dates) {
        for (bool bracket : {true, false}) {
          if (!bracket && !plainName(c.column)) continue;
          const std::string col = bracket ? "[" + c.column + "]" : c.column;
          const std::string sql = "Select count(*)  from [" + c.table + "] where " +
                                  condition(col, chars, counts.checkChars);
          auto rs = db->OpenRecordset(sql);
          ASSERT_FALSE(rs->Eof());
          EXPECT_EQ(rs->Fields(0)->Value(), Variant(int64_t{c.count})) << file << ": " << sql;
          rs->Close();
          all.push_back(sql);
          allCounts.push_back(c.count);
          ++checked;
        }
      }
    }
    EXPECT_EQ(db->Counts(all), allCounts) << file;
  }
  EXPECT_GT(checked, 100);
}

TEST(CountQueries, NamesThatNeedBracketsFailAsJetFailsThem) {
  auto db = openFixture("checks2000.mdb");
  std::string d;
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("Select count(*)  from [Shipments] where " + condition("Ship Date", false, "")); }, &d), 3075);
  EXPECT_EQ(d, "查询表达式 'Ship Date<#1900-1-1# and Ship Date>#0:0:0#' 中 语法错误 (缺少运算符)。");
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("Select count(*)  from [Reserved] where Order like '*[-]*'"); }), 3075);
  // Asked with others, the query fails the whole list as it fails alone.
  EXPECT_EQ(errorOf([&] {
              db->Counts({"Select count(*)  from [Reserved] where [Order] like '*[-]*'",
                          "Select count(*)  from [Reserved] where Order like '*[-]*'"});
            }),
            3075);
  // The drill-down's select names the table bare.
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("select Memo2 from Order Details where Memo2  like '*[,]*'"); }), 3131);
}

// The rows the select returns are exactly those an independent test of each scanned value
// picks, in scan order, read live through Fields(0).
TEST(SelectQueries, ListTheDefectsInScanOrder) {
  for (const char* file : {"checks2000.mdb", "checks2003.mdb", "checks2010.accdb"}) {
    auto db = openFixture(file);
    jet::Database& engine = db->engine();
    struct Case {
      const char* table;
      const char* column;
      const char* sql;
      size_t rows;
    } cases[] = {
        {"Orders", "Shipped", "select Shipped from Orders where Shipped <#1900-1-1# and Shipped>#0:0:0#", 3},
        {"Orders", "Remark", "select Remark from Orders where Remark  like '*[-+*/#%<>:,{='']*'", 14},
        {"Order Details", "Memo2", "select [Memo2] from [Order Details] where [Memo2]  like '*[-+*/#%<>:,{='']*'", 1},
        {"Shipments", "Ship Date", "SELECT [Ship Date] FROM [Shipments] WHERE [Ship Date] <#1900-1-1# AND [Ship Date]>#0:0:0#", 1},
        {"Big", "T", "select T from Big where T like '*[-+*/#%<>:,{='']*'", 33000},
    };
    for (const auto& c : cases) {
      const jet::TableInfo& t = *engine.findTable(c.table);
      const int col = t.findColumn(c.column)->position;
      std::vector<std::string> want;
      auto cur = engine.scan(t);
      std::string text;
      while (cur->next()) {
        double d;
        if (t.columns[col].daoType == jet::daotype::kDate) {
          if (cur->date(col, d) && d > 0 && d < 2) want.push_back(jet::formatDate(d));
        } else if (cur->text(col, text) && text.find_first_of("-+*/#%<>:,{='") != std::string::npos) {
          want.push_back(text);
        }
      }
      auto rs = db->OpenRecordset(c.sql);
      EXPECT_EQ(rs->RecordCount(), static_cast<int32_t>(c.rows)) << file << ": " << c.sql;
      EXPECT_EQ(column0(*rs), want) << file << ": " << c.sql;
    }
    auto rs = db->OpenRecordset("select Memo2 from [Order Details] where Memo2 like '*[,]*'");
    EXPECT_EQ(column0(*rs), std::vector<std::string>{"fragile, handle with care"});
  }
}

// rawdates2000.mdb holds bit-exact doubles, IDs 1..14: 0, 1e-9, 0.5, 1, 1.5, 1+86399/86400,
// 2-1e-10, 2, 2+1e-7, -0.5, -1, -1.5, 45000.5, Null. Dates compare by their stored value.
TEST(SelectQueries, DateBoundaries) {
  auto db = openFixture("rawdates2000.mdb");
  auto ids = [&](const std::string& where) {
    auto rs = db->OpenRecordset("select ID from RawDates where " + where);
    return column0(*rs);
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(ids("D<#1900-1-1# and D>#0:0:0#"), (V{"2", "3", "4", "5", "6", "7"}));
  EXPECT_EQ(ids("D=#0:0:0#"), V{"1"});
  EXPECT_EQ(ids("D=#1899-12-30#"), V{"1"});
  EXPECT_EQ(ids("D=#12/30/1899 12:00:00#"), V{"3"});
  EXPECT_EQ(ids("D>=#1900-01-01#"), (V{"8", "9", "13"}));
  EXPECT_EQ(ids("D=#1/1/1900#"), V{"8"});
  EXPECT_EQ(ids("D>#1899-12-31 23:59:59#"), (V{"7", "8", "9", "13"}));
  EXPECT_EQ(ids("D<=#1899-12-31 23:59:59# and D>=#1899-12-31#"), (V{"4", "5", "6"}));
  EXPECT_EQ(ids("D<#0:0:0#"), (V{"10", "11", "12"}));
  EXPECT_EQ(ids("D<#1899-12-29#"), V{"12"});  // -1.5 is before -1 (1899-12-29 00:00)
  EXPECT_EQ(ids("D is null"), V{"14"});
  EXPECT_EQ(ids("not (D<#1900-1-1# and D>#0:0:0#)").size(), 7u);  // Null is in neither
  EXPECT_EQ(ids("D<#1900-1-1# or D is null").size(), 11u);
  EXPECT_EQ(ids("D = Null").size(), 0u);
  EXPECT_EQ(ids("D <> Null").size(), 0u);
  EXPECT_EQ(ids("D > 1.5 and D < '1900-1-1'"), (V{"6", "7"}));

  auto orders = openFixture("checks2000.mdb");
  for (const char* at : {"#1899-12-30 10:00#", "#12/30/1899 10:00:00 AM#", "#10:00#"}) {
    auto rs = orders->OpenRecordset(std::string("select Shipped from Orders where Shipped = ") + at);
    EXPECT_EQ(column0(*rs), std::vector<std::string>{"1899-12-30 10:00:00"}) << at;
  }

  auto rs = db->OpenRecordset("select D from RawDates where ID = 6");
  EXPECT_EQ(rs->Fields(0)->Value(), Variant(jet::Date{1.0 + 86399.0 / 86400.0}));
  rs = db->OpenRecordset("select count(*) from RawDates where D is not null and Note like '*defect*'");
  EXPECT_EQ(rs->Fields(0)->Value(), Variant(int64_t{12}));  // ID 10 and the Null row lack the word
}

TEST(SelectQueries, ColumnsStarAndCountForms) {
  auto db = openFixture("checks2000.mdb");
  auto rs = db->OpenRecordset("SELECT * FROM Orders WHERE Code LIKE '1001-##'");
  ASSERT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(rs->FieldCount(), 8);
  EXPECT_EQ(rs->Fields("code")->Value(), Variant("1001-01"));
  EXPECT_EQ(rs->Fields(0)->Name(), "ID");
  rs = db->OpenRecordset("select [科目代码], 凭证号 from 凭证 where 科目代码 like '*[-/:]*'");
  EXPECT_EQ(rs->RecordCount(), 4);
  EXPECT_EQ(rs->Fields(1)->Type(), dao::dbLong);
  rs = db->OpenRecordset("select count(Shipped) as n from Orders");
  EXPECT_EQ(rs->Fields(0)->Name(), "n");
  rs = db->OpenRecordset("select count(*) from Orders where Shipped is null or Shipped is not null");
  EXPECT_EQ(rs->Fields(0)->Name(), "Expr1000");
  EXPECT_EQ(rs->Fields(0)->Value(), Variant(int64_t{196}));
  rs = db->OpenRecordset("select Code from Orders where Code = '1001-01' or code='a:b'");
  EXPECT_EQ(column0(*rs), (std::vector<std::string>{"1001-01", "A:B"}));
}

TEST(Errors, CarryDaosNumbers) {
  auto db = openFixture("checks2000.mdb");
  std::string d;
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("select x from Nowhere"); }, &d), 3078);
  EXPECT_EQ(d, "数据库引擎找不到输入表或查询 'Nowhere'。请确定它是否存在，以及它的名称的拼写是否正确。");
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("select Remark from Orders where Remarks like '*'"); }, &d), 3061);
  EXPECT_EQ(d, "参数不足，期待是 1。");
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("select a, b from Orders where a = b or A = 1"); }, &d), 3061);
  EXPECT_EQ(d, "参数不足，期待是 2。");
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("select Remark from Orders where Remark > 5"); }), 3421);
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("select ID from Orders where Shipped < 'soon'"); }), 3421);
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("select ID from Orders where Shipped = Remark"); }), 3421);
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("select ID from Orders where Remark like '[z-a]'"); }), 3075);
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("delete from Orders"); }), 3129);
  auto ws = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
  EXPECT_EQ(errorOf([&] { ws->OpenDatabase(testfiles::data("absent.mdb").string(), true); }), 3024);
  testfiles::ScratchDir dir;
  const auto copy = dir.copy(testfiles::data("checks2000.mdb")).string();
  auto first = ws->OpenDatabase(copy, true);
  EXPECT_EQ(errorOf([&] { ws->OpenDatabase(copy, true); }), 3045);
  first->Close();
  EXPECT_EQ(errorOf([&] { ws->OpenDatabase(copy, true)->Close(); }), 0);
  // A database opened for reading refuses the write, and says so.
  auto rs = db->OpenRecordset("select Remark from Orders where Remark = 'plain'");
  rs->Edit();
  rs->Fields(0)->SetValue(Variant("changed"));
  EXPECT_EQ(errorOf([&] { rs->Update(); }), 3027);
  rs->CancelUpdate();
  EXPECT_EQ(rs->Fields(0)->Value(), Variant("plain"));
  EXPECT_EQ(errorOf([&] { ws->OpenDatabase(testfiles::data("MANIFEST.md").string(), true, true); }), 3343);
}

TEST(Recordset, MovesBookmarksAndFieldErrors) {
  auto db = openFixture("checks2000.mdb");
  const std::string sql = "select Remark from Orders where Remark like '*[-+*/#%<>:,{='']*'";
  auto rs = db->OpenRecordset(sql);
  const auto all = column0(*rs);
  ASSERT_EQ(all.size(), 14u);
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(errorOf([&] { rs->MoveNext(); }), 3021);
  EXPECT_EQ(errorOf([&] { rs->Fields(0)->Value(); }), 3021);

  // A fresh recordset is on its first row; Move(i) from there lands on row i.
  rs = db->OpenRecordset(sql);
  EXPECT_EQ(rs->Fields(0)->Value().toText(), all[0]);
  rs->Move(5);
  EXPECT_EQ(rs->Fields(0)->Value().toText(), all[5]);
  const std::string mark = rs->Bookmark();
  rs->Move(-2);
  EXPECT_EQ(rs->Fields(0)->Value().toText(), all[3]);
  rs->SetBookmark(mark);
  EXPECT_EQ(rs->Fields(0)->Value().toText(), all[5]);
  rs->Move(100);
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(errorOf([&] { rs->SetBookmark("nonsense"); }), 3159);
  rs->SetBookmark(mark);
  EXPECT_EQ(errorOf([&] { rs->Fields(1); }), 3265);
  EXPECT_EQ(errorOf([&] { rs->Fields("Code"); }), 3265);
  // A bookmark of a row outside the result is refused.
  auto other = db->OpenRecordset("select Remark from Orders where Remark = 'plain'");
  ASSERT_FALSE(other->Eof());
  EXPECT_EQ(errorOf([&] { rs->SetBookmark(other->Bookmark()); }), 3159);

  // Opened again on the unchanged table: the same rows in the same order.
  EXPECT_EQ(column0(*db->OpenRecordset(sql)), all);

  auto empty = db->OpenRecordset("select Remark from Orders where Remark = 'no such value'");
  EXPECT_TRUE(empty->Eof());
  EXPECT_TRUE(empty->Bof());
  EXPECT_EQ(errorOf([&] { empty->Move(0); }), 3021);

  // The table definitions, in collection order, with Jet's attributes and types.
  auto defs = db->TableDefs();
  std::vector<std::string> ordinary;
  for (auto& t : defs)
    if (t->Attributes() == 0) ordinary.push_back(t->Name());
  EXPECT_EQ(ordinary, (std::vector<std::string>{"a,b", "Big", "Clean", "NoCandidates", "Order Details",
                                                "Orders", "Reserved", "ROOT", "Shipments", "Wide", "凭证"}));
  for (auto& t : defs) {
    if (t->Name() != "Orders") continue;
    std::vector<std::pair<std::string, int>> fields;
    for (auto& f : t->Fields()) fields.emplace_back(f->Name(), f->Type());
    EXPECT_EQ(fields, (std::vector<std::pair<std::string, int>>{
                          {"ID", 4}, {"OrderDate", 8}, {"Shipped", 8}, {"Remark", 10},
                          {"Code", 10}, {"Notes", 12}, {"Amount", 5}, {"Flag", 1}}));
    EXPECT_EQ(errorOf([&] { t->Fields()[0]->Value(); }), 3219);
  }
}

TEST(Recordset, EditConvertsValuesAsJetDoes) {
  auto db = openFixture("checks2000.mdb");
  auto count = db->OpenRecordset("select count(*) from Orders");
  EXPECT_EQ(errorOf([&] { count->Edit(); }), 3027);

  auto rs = db->OpenRecordset("select Shipped, Remark, Amount, Flag from Orders where Shipped <#1900-1-1# and Shipped>#0:0:0#");
  EXPECT_EQ(errorOf([&] { rs->Fields(0)->SetValue(Variant("2024-1-1")); }), 3020);
  EXPECT_EQ(errorOf([&] { rs->Update(); }), 3020);
  rs->Edit();
  auto shipped = rs->Fields(0);
  shipped->SetValue(Variant("2024年6月30日 8:05"));
  EXPECT_EQ(shipped->Value(), Variant(jet::Date{jet::encodeDate({2024, 6, 30, 8, 5, 0})}));
  shipped->SetValue(Variant(jet::Date{1.25}));
  EXPECT_EQ(shipped->Value(), Variant(jet::Date{1.25}));
  for (const char* bad : {"2024-02-30", "10:00", "next week", ""})
    EXPECT_EQ(errorOf([&] { shipped->SetValue(Variant(bad)); }), 3421) << bad;
  shipped->SetValue(Variant());
  EXPECT_TRUE(shipped->Value().isNull());

  auto remark = rs->Fields(1);
  EXPECT_EQ(errorOf([&] { remark->SetValue(Variant(std::string(101, 'x'))); }), 3163);
  remark->SetValue(Variant(std::string(100, 'x')));
  std::string chinese;
  for (int i = 0; i < 100; ++i) chinese += "字";
  remark->SetValue(Variant(chinese));  // characters, not bytes, count
  EXPECT_EQ(errorOf([&] { remark->SetValue(Variant(chinese + "字")); }), 3163);
  remark->SetValue(Variant(jet::Date{2.5}));
  EXPECT_EQ(remark->Value(), Variant("1900-01-01 12:00:00"));

  rs->Fields(2)->SetValue(Variant("12.5"));
  EXPECT_EQ(rs->Fields(2)->Value(), Variant(jet::Currency{125000}));
  EXPECT_EQ(errorOf([&] { rs->Fields(2)->SetValue(Variant("twelve")); }), 3421);
  EXPECT_EQ(errorOf([&] { rs->Fields(3)->SetValue(Variant()); }), 3162);
  rs->Fields(3)->SetValue(Variant("yes"));
  EXPECT_EQ(rs->Fields(3)->Value(), Variant(true));

  // Moving drops the pending edit; the stored value shows again.
  const Variant stored = db->OpenRecordset("select Shipped from Orders where Shipped <#1900-1-1# and Shipped>#0:0:0#")
                             ->Fields(0)->Value();
  rs->CancelUpdate();
  EXPECT_EQ(shipped->Value(), stored);
  EXPECT_EQ(errorOf([&] { rs->CancelUpdate(); }), 3020);
}

TEST(ClosedObjects, FailWith3420) {
  std::shared_ptr<dao::Workspace> ws;
  auto db = openFixture("checks2000.mdb", &ws);
  auto rs = db->OpenRecordset("select Remark from Orders");
  auto field = rs->Fields(0);
  auto def = db->TableDefs().front();
  auto defField = def->Fields().front();
  db->Close();
  db->Close();  // harmless
  std::string d;
  EXPECT_EQ(errorOf([&] { db->TableDefs(); }, &d), 3420);
  EXPECT_EQ(d, "对象无效或不再被设置。");
  EXPECT_EQ(errorOf([&] { db->OpenRecordset("select Remark from Orders"); }), 3420);
  EXPECT_EQ(errorOf([&] { db->Name(); }), 3420);
  EXPECT_EQ(errorOf([&] { rs->Eof(); }), 3420);
  EXPECT_EQ(errorOf([&] { rs->MoveNext(); }), 3420);
  EXPECT_EQ(errorOf([&] { rs->Edit(); }), 3420);
  EXPECT_EQ(errorOf([&] { field->Value(); }), 3420);
  EXPECT_EQ(errorOf([&] { field->Name(); }), 3420);
  EXPECT_EQ(errorOf([&] { def->Name(); }), 3420);
  EXPECT_EQ(errorOf([&] { def->Attributes(); }), 3420);
  EXPECT_EQ(errorOf([&] { defField->Type(); }), 3420);
  // The workspace is still open: the file opens again.
  auto again = ws->OpenDatabase(testfiles::data("checks2000.mdb").string(), true, true);
  auto rs2 = again->OpenRecordset("select count(*) from Orders");
  ws->Close();
  EXPECT_EQ(errorOf([&] { again->TableDefs(); }), 3420);
  EXPECT_EQ(errorOf([&] { rs2->Fields(0); }), 3420);
  EXPECT_EQ(errorOf([&] { ws->OpenDatabase(testfiles::data("checks2000.mdb").string(), true); }), 3420);
  // A closed recordset of an open database fails alike.
  auto ws3 = dao::DBEngine::instance().CreateWorkspace("", "admin", "", dao::dbUseJet);
  auto db3 = ws3->OpenDatabase(testfiles::data("checks2000.mdb").string(), true, true);
  auto rs3 = db3->OpenRecordset("select Remark from Orders");
  rs3->Close();
  EXPECT_EQ(errorOf([&] { rs3->Eof(); }), 3420);
  EXPECT_TRUE(dao::DBEngine::created());
}

}  // namespace
