// BatchClear and BatchUpdate over a whole list, on copies of the fixtures read back after.
#include <gtest/gtest.h>

#include <cstdlib>

#include "RepairSupport.h"
#include "check/Commands.h"
#include "Session.h"
#include "check/Messages.h"
#include "jet/Error.h"
#include "repair/Commands.h"

namespace checktest {
namespace {

namespace msg = check::msg;
using Lines = std::vector<std::string>;

check::Result batchUpdate(Session& s, const std::string& answer) {
  s.ui.dialogs.answers.push_back(answer);
  return s.run(repair::BatchUpdate);
}

// Drills into a text column with the given set and selects the first line.
void listChars(Session& s, const std::string& table, const std::string& column,
               const std::string& chars) {
  s.state.checkChars = chars;
  s.state.kind = &check::kCharCheck;
  s.drill(table, column);
  s.selectLine(0);
}

TEST(BatchUpdate, DefaultModeMapsEverySpecialToA) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Remark");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  listChars(s, "Orders", "Remark", check::kDefaultCheckChars);
  const Lines before = s.lines();
  ASSERT_EQ(before.size(), 14u);
  const check::Result result = batchUpdate(s, std::string(14, 'A'));
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.changed, 14);  // every listed row, durably
  EXPECT_EQ(s.ui.dialogs.prompts.back().prompt, "输入新匹配替换模式:\r\n\r\n-+*/#%<>:,{=''");
  EXPECT_EQ(s.ui.dialogs.prompts.back().title, "更新值");
  EXPECT_EQ(s.ui.dialogs.prompts.back().defaultAnswer, std::string(14, 'A'));
  EXPECT_TRUE(s.takeMessages().empty());
  for (size_t i = 0; i < before.size(); ++i)
    EXPECT_EQ(s.lines()[i], repair::NewValue(before[i], std::string(14, 'A'),
                                             check::kDefaultCheckChars));
  EXPECT_NE(std::find(s.lines().begin(), s.lines().end(), "OABrien"), s.lines().end());
  check::CloseAtUnload(s.state);
  // Nothing defective is left, and every new value is in the file.
  s.open(path);
  s.scan(true);
  EXPECT_FALSE(s.ui.tree.contains(check::NodeId{check::NodeId::Kind::Column, "Orders", "Remark"}));
  check::CloseAtUnload(s.state);
  const auto column = columnThroughEngine(path, "Orders", "Remark");
  for (const std::string& line : s.lines()) EXPECT_EQ(occurrences(column, line), 1) << line;
  expectSoundFile(path, "Orders", "Remark");
}

TEST(BatchUpdate, ChainedMappingAndLettersIgnoringCase) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Remark");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  listChars(s, "Orders", "Remark", "-+");
  ASSERT_EQ(sorted(s.lines()), (Lines{"a-b", "a-b+c", "x+y"}));
  batchUpdate(s, "+Z");  // "-" becomes "+", which becomes "Z"
  EXPECT_EQ(sorted(s.lines()), (Lines{"aZb", "aZbZc", "xZy"}));
  listChars(s, "Orders", "Remark", "e");
  const Lines before = s.lines();
  batchUpdate(s, "_");
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(s.lines()[i].find_first_of("eE"), std::string::npos);
    EXPECT_EQ(s.lines()[i].size(), before[i].size());
  }
  EXPECT_TRUE(s.takeMessages().empty());
  check::CloseAtUnload(s.state);
  expectSoundFile(path, "Orders", "Remark");
}

TEST(BatchUpdate, WrongLengthModeOrCancelChangesNothing) {
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  listChars(s, "Orders", "Remark", check::kDefaultCheckChars);
  const Lines before = s.lines();
  batchUpdate(s, std::string(13, 'A'));
  batchUpdate(s, "");
  EXPECT_EQ(s.takeMessages(), (Lines{msg::kModeInvalid, msg::kModeInvalid}));
  EXPECT_EQ(s.lines(), before);
  s.state.kind = &check::kDateCheck;
  s.drill("Orders", "Shipped");
  s.selectLine(0);
  batchUpdate(s, "");
  EXPECT_EQ(s.takeMessages(), Lines{msg::kDateInvalid});
}

TEST(BatchUpdate, CarriageReturnSetMapsOnlyCarriageReturns) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Remark");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  listChars(s, "Orders", "Remark", "\r");
  EXPECT_EQ(s.ui.dialogs.prompts.size(), 0u);
  batchUpdate(s, "A");
  EXPECT_EQ(s.ui.dialogs.prompts.back().defaultAnswer, "A");
  EXPECT_EQ(s.lines(), Lines{"line1A\nline2"});
}

TEST(BatchUpdate, RefusedRowsAreCountedAndReported) {
  REQUIRE_WRITES("checks2000.mdb", "Wide", "W10");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  // W10's defect sits in a row of the maximum size: a character that takes two UTF-16
  // units more cannot fit, so the engine refuses the row.
  listChars(s, "Wide", "W10", "-");
  ASSERT_EQ(s.lines(), Lines{"a-b"});
  batchUpdate(s, "\U0001F600");
  // The refusal keeps its own words first and names the size and the format's limit.
  const Lines refused = s.takeMessages();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].rfind("1" + std::string(msg::kRowsNotUpdated) +
                                 jet::recordTooLarge().description(), 0),
            0u)
      << refused[0];
  EXPECT_NE(refused[0].find("每条记录最多 4060 字节"), std::string::npos) << refused[0];
  EXPECT_EQ(s.lines(), Lines{"a-b"});  // the stored value, not the refused one
  EXPECT_EQ(s.ui.events.busyDepth, 0);
  batchUpdate(s, "长");
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines(), Lines{"a长b"});
  check::CloseAtUnload(s.state);
  expectSoundFile(path, "Wide", "W10");
}

TEST(BatchUpdate, RowsThatLeftTheQueryKeepTheirLines) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Shipped");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  s.selectLine(1);
  s.ui.dialogs.answers.push_back("2024-01-01");
  s.run(repair::Update);
  s.selectLine(0);
  batchUpdate(s, "2000-01-01");
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines(), (Lines{"2000-01-01", "2024-01-01", "2000-01-01"}));
  check::CloseAtUnload(s.state);
  const auto column = columnThroughEngine(path, "Orders", "Shipped");
  EXPECT_EQ(occurrences(column, "2000-01-01 00:00:00"), 2);
  EXPECT_EQ(occurrences(column, "2024-01-01 00:00:00"), 1);
}

TEST(BatchUpdate, EveryRowOfBigColumnsGetsItsOwnLine) {
  REQUIRE_WRITES("checks2000.mdb", "Big", "D");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Big", "D");
  ASSERT_EQ(s.ui.list.count(), 40000);
  s.selectLine(0);
  batchUpdate(s, "1999-12-31");
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines(), Lines(40000, "1999-12-31"));

  listChars(s, "Big", "T", check::kDefaultCheckChars);
  const Lines before = s.lines();
  ASSERT_EQ(before.size(), 33000u);
  batchUpdate(s, std::string(14, 'A'));
  EXPECT_TRUE(s.takeMessages().empty());
  const Lines after = s.lines();
  for (size_t i = 0; i < before.size(); ++i)
    ASSERT_EQ(after[i], repair::NewValue(before[i], std::string(14, 'A'),
                                         check::kDefaultCheckChars)) << i;
  check::CloseAtUnload(s.state);
  EXPECT_EQ(occurrences(columnThroughEngine(path, "Big", "D"), "1999-12-31 00:00:00"), 40000);
  // The rows, read afresh in scan order, hold exactly the values of the lines.
  auto column = columnThroughEngine(path, "Big", "T");
  auto expected = after;
  for (const std::string& v : column)
    if (v.find(" ok") != std::string::npos) expected.push_back(v);
  EXPECT_EQ(sorted(column), sorted(expected));
  expectSoundFile(path, "Big", "T");
}

TEST(BatchUpdate, IndexedColumnsStayConsistent) {
  REQUIRE_WRITES("checks2000.mdb", "凭证", "制单日期");
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Code");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("凭证", "制单日期");
  ASSERT_EQ(s.ui.list.count(), 5);
  s.selectLine(0);
  batchUpdate(s, "2023-12-31");
  EXPECT_EQ(s.lines(), Lines(5, "2023-12-31"));
  listChars(s, "Orders", "Code", check::kDefaultCheckChars);
  batchUpdate(s, "____________" "__");
  EXPECT_EQ(sorted(s.lines()), (Lines{"1001_01", "1002_02", "2024_06", "A_B"}));
  EXPECT_TRUE(s.takeMessages().empty());
  check::CloseAtUnload(s.state);
  expectSoundFile(path, "凭证", "制单日期");
  expectSoundFile(path, "Orders", "Code");
}

TEST(BatchClear, ClearsEveryListedRow) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Shipped");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  s.selectLine(2);
  s.run(repair::BatchClear);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_TRUE(s.lines().empty());
  check::CloseAtUnload(s.state);
  EXPECT_EQ(occurrences(columnThroughEngine(path, "Orders", "Shipped"), "\\N"), 5);
  expectSoundFile(path, "Orders", "Shipped");
}

TEST(BatchClear, NothingSelectedOrNothingListedDoesNothing) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.drill("Orders", "Shipped");
  s.run(repair::BatchClear);
  EXPECT_EQ(s.lines().size(), 3u);
  s.drill("Clean", "D");
  s.run(repair::BatchClear);
  EXPECT_TRUE(s.takeMessages().empty());
}

TEST(BatchClear, RefusalStopsTheWalkAndIsReported) {
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  const Lines before = s.lines();
  SKIP_POSIX_ONLY("chattr makes a file immutable on Linux file systems");
  if (std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "chattr is not available here";
  s.selectLine(0);
  s.run(repair::BatchClear);
  std::system(("chattr -i '" + path + "'").c_str());
  EXPECT_EQ(s.takeMessages().size(), 1u);
  EXPECT_EQ(s.lines(), before);
  check::CloseAtUnload(s.state);
  EXPECT_EQ(selectThroughEngine(path,
                                "select [Shipped] from [Orders] where [Shipped]<#1900-1-1# and "
                                "[Shipped]>#0:0:0#")
                .size(),
            3u);
}

}  // namespace
}  // namespace checktest
