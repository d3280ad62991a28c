// Undo of the last repair command: single and batch, dates and text, indexed columns; the
// whole batch or nothing; the log as a file and on the console; the tree's count following.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "RepairSupport.h"
#include "Session.h"
#include "TestFiles.h"
#include "check/Commands.h"
#include "data/Dao.h"
#include "jet/Error.h"
#include "repair/Commands.h"
#include "repair/Undo.h"

namespace checktest {
namespace {

using check::NodeId;
using Lines = std::vector<std::string>;

const std::string kNothing = "没有可撤销的修复。";
std::string restored(int n) { return "已撤销上一次修复：恢复了 " + std::to_string(n) + " 个值。"; }

NodeId columnNode(const std::string& table, const std::string& column) {
  return NodeId{NodeId::Kind::Column, table, column};
}

check::Result undo(Session& s) { return s.run(repair::Undo); }

TEST(Undo, BatchUpdateOfAnIndexedDateColumnComesBackWhole) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "OrderDate");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  const auto before = columnThroughEngine(path, "Orders", "OrderDate");
  s.open(path);
  s.scan(false);
  s.drill("Orders", "OrderDate");
  const Lines listed = s.lines();
  ASSERT_EQ(listed.size(), 2u);
  s.selectLine(0);
  s.ui.dialogs.answers.push_back("2001-2-3");
  s.run(repair::BatchUpdate);
  EXPECT_EQ(s.lines(), (Lines{"2001-02-03", "2001-02-03"}));
  // The count follows the repair, and says when none is left.
  EXPECT_EQ(s.ui.tree.text(columnNode("Orders", "OrderDate")), "OrderDate(0条)");
  ASSERT_TRUE(s.state.undo());

  const check::Result back = undo(s);
  EXPECT_TRUE(back.ok());
  EXPECT_EQ(back.changed, 2);
  EXPECT_EQ(s.takeMessages(), Lines{restored(2)});
  EXPECT_EQ(s.lines(), listed);  // the defective values are listed again
  EXPECT_EQ(s.ui.tree.text(columnNode("Orders", "OrderDate")), "OrderDate(2条)");
  EXPECT_FALSE(s.state.undo());
  const check::Result again = undo(s);  // once only
  ASSERT_EQ(again.refusals().size(), 1u);
  EXPECT_EQ(again.refusals()[0].text, kNothing);
  EXPECT_EQ(s.takeMessages(), Lines{kNothing});

  check::CloseAtUnload(s.state);
  EXPECT_EQ(columnThroughEngine(path, "Orders", "OrderDate"), before);
  expectSoundFile(path, "Orders", "OrderDate");
}

TEST(Undo, SingleClearAndUpdateAndABatchClearOfText) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Code");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  const auto before = columnThroughEngine(path, "Orders", "Code");
  s.open(path);
  s.state.kind = &check::kCharCheck;
  s.scan(true);
  s.drill("Orders", "Code");
  const Lines listed = s.lines();
  ASSERT_EQ(listed.size(), 4u);
  const std::string node = s.ui.tree.text(columnNode("Orders", "Code"));
  EXPECT_EQ(node, "Code(4条)");

  // One line cleared: it goes, the count says 3, and Undo brings back that value only.
  s.selectLine(1);
  s.run(repair::Clear);
  EXPECT_EQ(s.lines().size(), 3u);
  EXPECT_EQ(s.ui.tree.text(columnNode("Orders", "Code")), "Code(3条)");
  undo(s);
  EXPECT_EQ(s.takeMessages(), Lines{restored(1)});
  EXPECT_EQ(s.lines(), listed);
  EXPECT_EQ(s.ui.tree.text(columnNode("Orders", "Code")), "Code(4条)");

  // A rewrite, then a second command: Undo takes back the last one only.
  s.selectLine(0);
  s.ui.dialogs.answers.push_back("1001.01");
  s.run(repair::Update);
  s.selectLine(1);
  s.run(repair::BatchClear);
  EXPECT_TRUE(s.lines().size() <= 1u);
  EXPECT_TRUE(s.takeMessages().empty());
  undo(s);
  EXPECT_EQ(s.takeMessages(), Lines{restored(3)});
  // The rewritten row stays rewritten; the three cleared ones are back.
  EXPECT_EQ(s.lines().size(), 3u);
  EXPECT_EQ(s.ui.tree.text(columnNode("Orders", "Code")), "Code(3条)");
  check::CloseAtUnload(s.state);
  auto after = columnThroughEngine(path, "Orders", "Code");
  EXPECT_EQ(occurrences(after, "1001.01"), 1);
  EXPECT_EQ(after.size(), before.size());
  expectSoundFile(path, "Orders", "Code");
}

TEST(Undo, OpeningAnotherFileForgetsItACancelKeepsIt) {
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  s.selectLine(0);
  s.run(repair::Clear);
  ASSERT_TRUE(s.state.undo());
  s.open("");  // cancelled
  EXPECT_TRUE(s.state.undo());
  s.open(path);
  EXPECT_FALSE(s.state.undo());
  undo(s);
  EXPECT_EQ(s.takeMessages(), Lines{kNothing});
  // A command that changes nothing leaves the undo of the last one that did.
  s.drill("Orders", "Shipped");
  s.selectLine(0);
  s.run(repair::Clear);
  const auto log = s.state.undo();
  s.ui.dialogs.answers.push_back("not a date");
  s.run(repair::Update);
  EXPECT_EQ(s.state.undo(), log);
  check::CloseAtUnload(s.state);
  EXPECT_FALSE(s.state.undo());
}

// Undo writes every row or none: a value that cannot go back (here a log whose first value
// is too long for its column) takes back the rows written before it.
TEST(Undo, ARefusedValueLeavesEveryRowAsItWas) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Code");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.state.kind = &check::kCharCheck;
  s.drill("Orders", "Code");
  s.selectLine(0);
  s.ui.dialogs.answers.push_back(std::string(14, 'A'));  // one per default character
  s.run(repair::BatchUpdate);
  ASSERT_TRUE(s.state.undo());
  ASSERT_EQ(s.state.undo()->entries.size(), 4u);
  repair::UndoLog bad = *s.state.undo();
  bad.entries.front().before = jet::Value(std::string(300, 'x'));  // Code is Text(20)
  try {
    repair::restore(*s.state.database, bad);
    ADD_FAILURE() << "the undo was written";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::err::kFieldTooSmall) << e.description();
  }
  // Still the repaired values, all four; the real undo then works.
  s.drill("Orders", "Code");
  EXPECT_TRUE(s.lines().empty());
  undo(s);
  EXPECT_EQ(s.takeMessages(), Lines{restored(4)});
  EXPECT_EQ(s.lines().size(), 4u);
  check::CloseAtUnload(s.state);
  expectSoundFile(path, "Orders", "Code");
}

TEST(Undo, ARowChangedSinceRefusesTheWholeUndo) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Shipped");
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.drill("Orders", "Shipped");
  s.selectLine(0);
  s.ui.dialogs.answers.push_back("2002-2-2");
  s.run(repair::BatchUpdate);
  const repair::UndoLog log = *s.state.undo();
  // Another change to one of the rows after the repair.
  auto rs = s.state.database->OpenRecordset("select [Shipped] from [Orders]");
  rs->SetBookmark(log.entries[1].bookmark);
  rs->Edit();
  rs->Fields(0)->SetValue(jet::Value("2003-3-3"));
  rs->Update();
  rs->Close();
  undo(s);
  const Lines shown = s.takeMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("1 个值在修复之后又被改动"), std::string::npos) << shown[0];
  EXPECT_NE(shown[0].find("撤销未执行"), std::string::npos) << shown[0];
  EXPECT_TRUE(s.state.undo());  // kept: nothing was written
  s.drill("Orders", "Shipped");
  EXPECT_TRUE(s.lines().empty());  // every row still as the repair and the change left it
}

TEST(UndoFile, EveryKindOfValueTravelsExactlyAndACutFileIsRefused) {
  testfiles::ScratchDir dir;
  const std::string path = (dir.path() / "log").string();
  repair::UndoLog log{"表 a,b", "列 [x]", {}};
  const std::vector<jet::Value> values = {
      jet::Value::null(), jet::Value(true), jet::Value(int64_t{-42}), jet::Value(0.1),
      jet::Value(jet::Date{-0.5}), jet::Value(jet::Currency{-12345}),
      jet::Value(jet::Decimal{"-1.50"}), jet::Value(std::string("a b\r\nc\t长 ")),
      jet::Value(std::string()), jet::Value(jet::Bytes{0, 255, 10})};
  for (size_t i = 0; i < values.size(); ++i)
    log.entries.push_back({std::string("\0\1\2\3\n", 5) + char(i), values[i],
                           values[values.size() - 1 - i]});
  repair::writeUndoFile(path, log);
  const repair::UndoLog back = repair::readUndoFile(path);
  EXPECT_EQ(back.table, log.table);
  EXPECT_EQ(back.column, log.column);
  ASSERT_EQ(back.entries.size(), log.entries.size());
  for (size_t i = 0; i < log.entries.size(); ++i) {
    EXPECT_EQ(back.entries[i].bookmark, log.entries[i].bookmark);
    EXPECT_EQ(back.entries[i].before, log.entries[i].before) << i;
    EXPECT_EQ(back.entries[i].after, log.entries[i].after) << i;
  }
  // Without its last line the log is not trusted; neither is any other file.
  std::string text;
  {
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      << text.substr(0, text.rfind("end "));
  EXPECT_THROW(repair::readUndoFile(path), jet::Error);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "mdbcheck\n";
  EXPECT_THROW(repair::readUndoFile(path), jet::Error);
  EXPECT_THROW(repair::readUndoFile((dir.path() / "none").string()), jet::Error);
}

TEST(UndoCli, BatchRepairWithALogIsTakenBackOnce) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "OrderDate");
  testfiles::ScratchDir dir;
  const std::string file = dir.copy(testfiles::data("checks2000.mdb")).string();
  const std::string log = (dir.path() / "orderdate.undo").string();
  const auto before = columnThroughEngine(file, "Orders", "OrderDate");
  CliResult r = runCli({"update-all", file, "Orders", "OrderDate", "--dates", "--date",
                        "2001-2-3", "--undo-log", log});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2001-02-03\n2001-02-03\n");
  EXPECT_NE(columnThroughEngine(file, "Orders", "OrderDate"), before);
  r = runCli({"undo", file, log});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "已恢复 2 个值（表 Orders，字段 OrderDate）。\n");
  EXPECT_EQ(columnThroughEngine(file, "Orders", "OrderDate"), before);
  expectSoundFile(file, "Orders", "OrderDate");
  // The rows no longer hold what the repair stored: a second undo changes nothing.
  r = runCli({"undo", file, log});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("撤销未执行"), std::string::npos) << r.err;
  EXPECT_EQ(columnThroughEngine(file, "Orders", "OrderDate"), before);
  // A log that cannot be written stops the repair before it starts.
  r = runCli({"clear-all", file, "Orders", "OrderDate", "--dates", "--undo-log",
              (dir.path() / "no" / "such" / "dir").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(columnThroughEngine(file, "Orders", "OrderDate"), before);
}

}  // namespace
}  // namespace checktest
