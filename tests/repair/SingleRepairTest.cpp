// Clear and Update of the selected line, on copies of the fixtures read back afterwards.
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

const char* kShipped =
    "select [Shipped] from [Orders] where [Shipped]<#1900-1-1# and [Shipped]>#0:0:0#";

void clear(Session& s) { s.run(repair::Clear); }
void update(Session& s, const std::string& answer) {
  s.ui.dialogs.answers.push_back(answer);
  s.run(repair::Update);
}

TEST(Clear, LineZeroOfThree) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Shipped");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  const Lines before = s.lines();
  ASSERT_EQ(before.size(), 3u);
  s.selectLine(0);
  clear(s);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines(), Lines(before.begin() + 1, before.end()));
  check::CloseAtUnload(s.state);
  EXPECT_EQ(selectThroughEngine(path, kShipped), s.lines());
  const auto column = columnThroughEngine(path, "Orders", "Shipped");
  EXPECT_EQ(occurrences(column, "\\N"), 3);  // two Nulls before
  expectSoundFile(path, "Orders", "Shipped");
}

TEST(Clear, NothingSelectedDoesNothing) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.drill("Orders", "Shipped");
  clear(s);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines().size(), 3u);
}

TEST(Clear, RefusedWriteIsReportedAndTheLineStays) {
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  const Lines before = s.lines();
  // An immutable file refuses every write, even to the owner already holding it open.
  SKIP_POSIX_ONLY("chattr makes a file immutable on Linux file systems");
  if (std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "chattr is not available here";
  s.selectLine(1);
  clear(s);
  std::system(("chattr -i '" + path + "'").c_str());
  EXPECT_EQ(s.takeMessages().size(), 1u);
  EXPECT_EQ(s.lines(), before);
  check::CloseAtUnload(s.state);
  EXPECT_EQ(selectThroughEngine(path, kShipped).size(), 3u);
}

TEST(Update, DateAnswersAreCheckedBeforeAnythingChanges) {
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  const Lines before = s.lines();
  s.selectLine(0);
  for (const char* answer : {"abc", "10:00", "2024-02-30", ""}) {
    SCOPED_TRACE(answer);
    update(s, answer);
    EXPECT_EQ(s.takeMessages(), Lines{msg::kDateInvalid});
  }
  EXPECT_EQ(s.ui.dialogs.prompts.back().prompt, "输入新日期");
  EXPECT_EQ(s.ui.dialogs.prompts.back().title, "更新日期");
  EXPECT_EQ(s.ui.dialogs.prompts.back().defaultAnswer, "");
  EXPECT_EQ(s.lines(), before);
}

TEST(Update, DateIsStoredAndShownAsStored) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Shipped");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  s.selectLine(1);
  update(s, "2024/2/29 9:05");
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines()[1], "2024-02-29 09:05:00");
  check::CloseAtUnload(s.state);
  EXPECT_EQ(occurrences(columnThroughEngine(path, "Orders", "Shipped"), "2024-02-29 09:05:00"), 1);
  expectSoundFile(path, "Orders", "Shipped");
}

TEST(Update, TextDefaultDropsCarriageReturns) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Remark");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.state.checkChars = "\r";
  s.state.kind = &check::kCharCheck;
  s.drill("Orders", "Remark");
  ASSERT_EQ(s.lines(), Lines{"line1\r\nline2"});
  s.selectLine(0);
  s.ui.dialogs.answers.push_back("line1\nline2");  // the default, accepted as shown
  s.run(repair::Update);
  EXPECT_EQ(s.ui.dialogs.prompts.back().defaultAnswer, "line1\nline2");
  EXPECT_EQ(s.ui.dialogs.prompts.back().prompt, "输入新值");
  EXPECT_EQ(s.ui.dialogs.prompts.back().title, "更新值");
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines(), Lines{"line1\nline2"});
  check::CloseAtUnload(s.state);
  EXPECT_EQ(occurrences(columnThroughEngine(path, "Orders", "Remark"), "line1\\nline2"), 1);
  expectSoundFile(path, "Orders", "Remark");
}

TEST(Update, ValueStillHoldingASpecialIsWritten) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Remark");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.state.kind = &check::kCharCheck;
  s.drill("Orders", "Remark");
  s.selectLine(0);
  update(s, "still-bad");
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines()[0], "still-bad");
  check::CloseAtUnload(s.state);
  EXPECT_EQ(occurrences(selectThroughEngine(path, "select [Remark] from [Orders] where "
                                                  "[Remark] like '*[-+*/#%<>:,{='']*'"),
                        "still-bad"),
            1);
}

TEST(Update, EmptyTextAnswerIsRefused) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.state.kind = &check::kCharCheck;
  s.drill("Orders", "Remark");
  s.selectLine(0);
  update(s, "");
  EXPECT_EQ(s.takeMessages(), Lines{msg::kValueInvalid});
}

TEST(Update, RefusedValueIsReportedAndTheLineShowsTheStoredValue) {
  REQUIRE_WRITES("checks2000.mdb", "Shipments", "Carrier");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.state.kind = &check::kCharCheck;
  s.drill("Shipments", "Carrier");
  s.selectLine(0);
  update(s, std::string(41, 'x'));  // Carrier is Text(40)
  EXPECT_EQ(s.takeMessages(), Lines{jet::fieldTooSmall().description()});
  EXPECT_EQ(s.lines(), Lines{"FedEx/Ground"});
}

TEST(Repair, RowsAreFoundByIdentityNotPosition) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Shipped");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  const Lines before = s.lines();
  s.selectLine(0);
  update(s, "2024-01-01");  // row 0 leaves the query; its line stays
  s.selectLine(2);
  clear(s);  // must clear the row shown on line 2, not the query's row 2
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines(), (Lines{"2024-01-01", before[1]}));
  // A line whose row left the query can still be corrected.
  s.selectLine(0);
  update(s, "2024-01-02");
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.lines(), (Lines{"2024-01-02", before[1]}));
  check::CloseAtUnload(s.state);
  const auto column = columnThroughEngine(path, "Orders", "Shipped");
  EXPECT_EQ(occurrences(column, "2024-01-02 00:00:00"), 1);
  EXPECT_EQ(selectThroughEngine(path, kShipped), Lines{before[1]});
  expectSoundFile(path, "Orders", "Shipped");
}

TEST(Repair, IndexedColumnsStayConsistent) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "OrderDate");
  REQUIRE_WRITES("checks2000.mdb", "凭证", "科目代码");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "OrderDate");
  s.selectLine(0);
  update(s, "2001-02-03");
  s.selectLine(0);
  clear(s);
  s.state.kind = &check::kCharCheck;
  s.drill("凭证", "科目代码");
  s.selectLine(1);
  update(s, "1002.01");
  s.selectLine(0);
  clear(s);
  EXPECT_TRUE(s.takeMessages().empty());
  check::CloseAtUnload(s.state);
  expectSoundFile(path, "Orders", "OrderDate");
  expectSoundFile(path, "凭证", "科目代码");
}

}  // namespace
}  // namespace checktest

namespace checktest {
namespace {

// A drill-down and a repair run while a scan waits in its yield: the repair changes the row
// its line shows, and the scan goes on to finish its tree over the same database.
TEST(Repair, DuringTheScansYield) {
  REQUIRE_WRITES("checks2000.mdb", "a,b", "d");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.ui.events.onYield = [&](int n) {
    if (n != 1) return;
    s.drill("a,b", "d");
    s.selectLine(0);
    s.run(repair::Clear);
  };
  s.scan(false);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.ui.list.count(), 0);
  // The tree was counted before the repair for a,b and after it for the rest.
  EXPECT_TRUE(s.ui.tree.contains(check::NodeId{check::NodeId::Kind::Column, "Big", "D"}));
  s.ui.events.onYield = nullptr;
  s.scan(false);
  EXPECT_FALSE(s.ui.tree.contains(check::NodeId{check::NodeId::Kind::Table, "a,b", {}}));
}

}  // namespace
}  // namespace checktest
