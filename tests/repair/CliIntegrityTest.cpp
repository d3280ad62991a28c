// The console's repairs refuse what would break a file or does not fit the check: a Null
// into a primary key or a Required column, a column the check does not apply to, and a
// table that does not read whole. Every refusal names its reason and leaves the file as it
// was.
#include <gtest/gtest.h>

#include <fstream>

#include "RepairSupport.h"
#include "TestFiles.h"
#include "jet/Database.h"

namespace checktest {
namespace {

namespace fs = std::filesystem;


const char* kNullKey = "索引或主关键字不能包含一个空 (Null) 值。";

TEST(CliIntegrity, EveryRoadRefusesNullInAKeyOrARequiredColumn) {
  testfiles::ScratchDir dir;
  const std::string keys = dir.copy(testfiles::corpus("V2003/testIndexPropertiesV2003.mdb")).string();
  const std::string users = dir.copy(testfiles::corpus("V2000/fixedTextTestV2000.mdb")).string();
  const auto keysBefore = testfiles::fileBytes(keys), usersBefore = testfiles::fileBytes(users);

  CliResult r = runCli({"clear-all", keys, "TableIgnoreNulls1", "row", "--chars", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find(kNullKey), 0u) << r.err;
  EXPECT_EQ(r.out, "row0\n");  // the line stays: its row was not cleared
  r = runCli({"clear", keys, "TableIgnoreNulls1", "row", "0", "--chars", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find(kNullKey), 0u) << r.err;
  r = runCli({"set", keys, "TableIgnoreNulls1", "row", "3", "--null"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(kNullKey), std::string::npos) << r.err;
  r = runCli({"set", users, "users", "c_user_pwd", "0", "--null"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("字段 'c_user_pwd' 不能包含 Null 值"), std::string::npos) << r.err;

  EXPECT_EQ(testfiles::fileBytes(keys), keysBefore);
  EXPECT_EQ(testfiles::fileBytes(users), usersBefore);
  EXPECT_EQ(runCli({"verify", keys}).status, 0);
}

TEST(CliIntegrity, AChecksOnlyItsOwnColumnTypesAndNamesWhatItRefuses) {
  testfiles::ScratchDir dir;
  const std::string file = dir.copy(testfiles::data("checks2000.mdb")).string();
  const std::string calc = dir.copy(testfiles::corpus("V2010/calcFieldTestV2010.accdb")).string();
  const auto before = testfiles::fileBytes(file);
  const struct {
    std::vector<std::string> args;
    std::string message;
  } refused[] = {
      {{"clear-all", file, "Orders", "ID", "--dates"},
       "字段 'ID' 的类型是长整型，日期检查只适用于日期/时间字段。\n"},
      {{"update-all", file, "Orders", "OrderDate", "--chars", "--mode", "ABCDEFGHIJKLMN"},
       "字段 'OrderDate' 的类型是日期/时间，特殊字符检查只适用于文本字段。\n"},
      {{"clear", file, "Orders", "Notes", "0", "--chars"},
       "字段 'Notes' 的类型是备注，特殊字符检查只适用于文本字段。\n"},
      {{"list", file, "Orders", "Nope", "--dates"}, "表 'Orders' 没有字段 'Nope'。\n"},
      {{"update", file, "Nope", "X", "0", "2000-1-1", "--dates"},
       "数据库引擎找不到输入表或查询 'Nope'。请确定它是否存在，以及它的名称的拼写是否正确。\n"},
      {{"clear-all", file, "LinkedOrders", "OrderDate", "--dates"},
       "表 'LinkedOrders' 是链接表，它的数据在另一个数据库中，不能在这里检查。\n"},
      {{"list", file, "MSysObjects", "DateCreate", "--dates"},
       "表 'MSysObjects' 是系统表或隐藏的表，不在检查之列。\n"},
      // A calculated Memo column is a Memo column: never a candidate.
      {{"list", calc, "Table1", "AllNames", "--chars", ",="},
       "字段 'AllNames' 的类型是备注，特殊字符检查只适用于文本字段。\n"},
  };
  for (const auto& c : refused) {
    const CliResult r = runCli(c.args);
    EXPECT_EQ(r.status, 1) << c.args[0] << " " << c.args[2] << " " << c.args[3];
    EXPECT_EQ(r.err, c.message);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(testfiles::fileBytes(file), before);
  const CliResult scan = runCli({"scan", calc, "--chars", ",="});
  EXPECT_EQ(scan.out, "表\n  Table1\n    LastFirst(4条)\n");
}

// A batch walk over a table with one undecodable row is refused before its first change,
// though none of the rows it would change is the damaged one.
TEST(CliIntegrity, ABatchRepairOfADamagedTableWritesNothing) {
  testfiles::ScratchDir dir;
  const std::string file = dir.copy(testfiles::data("checks2000.mdb")).string();
  jet::RowId first;
  {
    auto db = jet::Database::open(file, jet::Database::Mode::ReadOnly);
    auto cursor = db->scan(*db->findTable("Orders"));
    ASSERT_TRUE(cursor->next());
    first = cursor->rowId();
    ASSERT_EQ(cursor->value(3).toText(), "Ship with next batch");  // not a line of the list
  }
  {
    // The first row ends its 4 KB page: null mask (1), variable count (2), offsets. Where
    // its third variable column starts now lies past the row.
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(first.page) * 4096 + 4096 - 1 - 2 - 6);
    f.write("\xFF\x0F", 2);
  }
  const auto before = testfiles::fileBytes(file);
  CliResult r = runCli({"list", file, "Orders", "Remark", "--chars", "-+"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out, "");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"update-all", file, "Orders", "Remark", "--chars", "-+", "--mode", "+Z"},
           {"clear-all", file, "Orders", "Remark", "--chars", "-+"}}) {
    r = runCli(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_NE(r.err.find("表 'Orders'，行内变长列的偏移无效（读取第 " + std::to_string(first.page) +
                         " 页第 " + std::to_string(first.row) + " 行时）"),
              std::string::npos)
        << r.err;
  }
  EXPECT_EQ(testfiles::fileBytes(file), before);
}

}  // namespace
}  // namespace checktest
