// A repair lands whole or not at all: stopped by the operator, failed by the undo log's
// disk, or refused by a file cut short, the database stays byte for byte as it was, and so
// do the list and the tree.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <thread>
#include <tuple>

#include "RepairSupport.h"
#include "Session.h"
#include "TestFiles.h"
#include "check/Commands.h"
#include "check/Messages.h"
#include "jet/os/FaultEnv.h"
#include "repair/Commands.h"
#include "repair/Undo.h"

namespace fs = std::filesystem;

namespace checktest {
namespace {

using Lines = std::vector<std::string>;
using jet::os::FaultEnv;

bool chinese(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return true;
  return false;
}

// Big.D's 40,000 values, listed and about to be rewritten.
struct BigColumn {
  Session s;
  std::string path = s.copy("checks2000.mdb");
  std::vector<uint8_t> original = testfiles::fileBytes(path);
  BigColumn() {
    s.open(path);
    s.scan(false);
    s.drill("Big", "D");
    s.selectLine(0);
  }
};

TEST(WholeBatch, CancelTakesBackEveryRowAndLeavesListAndTreeAsTheyWere) {
  REQUIRE_WRITES("checks2000.mdb", "Big", "D");
  for (auto command : {repair::BatchUpdate, repair::BatchClear}) {
    BigColumn b;
    const Lines lines = b.s.lines();
    const std::string tree = b.s.tree();
    b.s.ui.events.showProgressAfter = std::chrono::milliseconds(0);
    // The dialog's first update is slow (the operator takes a while to reach 取消): the
    // walk goes on meanwhile, and the next update cancels.
    int64_t stoppedAt = 0;
    b.s.ui.events.onProgress = [&](int64_t done) {
      if (stoppedAt == 0) std::this_thread::sleep_for(std::chrono::milliseconds(150));
      stoppedAt = done;
      return b.s.ui.events.progressCalls < 2;
    };
    b.s.ui.dialogs.answers.push_back("1999-12-31");
    const check::Result r = b.s.run(command);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.changed, 0);
    EXPECT_GT(stoppedAt, 1);
    EXPECT_EQ(b.s.ui.events.progressTotal, 40000);
    EXPECT_NE(b.s.ui.events.progressText.find("字段 'D'"), std::string::npos) << b.s.ui.events.progressText;
    EXPECT_FALSE(b.s.ui.events.progressShown);  // gone with the walk
    EXPECT_EQ(b.s.takeMessages(), Lines{check::msg::kCancelled});
    EXPECT_EQ(b.s.lines(), lines);
    EXPECT_EQ(b.s.tree(), tree);
    EXPECT_FALSE(b.s.state.undo());
    check::CloseAtUnload(b.s.state);
    EXPECT_EQ(testfiles::fileBytes(b.path), b.original);
  }
}

// The console's undo log fails at every write, sync and rename of its own, and at the
// folder's sync: the repair fails in Chinese, with nothing written to the database and no
// log left to claim it. With the disk sound, the log is in place when the repair is.
TEST(WholeBatch, AnUndoLogThatCannotBeWrittenFailsTheRepair) {
  REQUIRE_WRITES("checks2000.mdb", "Big", "D");
  const auto run = [](FaultEnv& env, BigColumn& b, const std::string& log) {
    b.s.state.undoFile = std::make_shared<repair::UndoFile>(env, log);
    b.s.ui.dialogs.answers.push_back("1999-12-31");
    return b.s.run(repair::BatchUpdate);
  };
  uint64_t calls[5] = {};
  {
    FaultEnv env;  // outlives the session that writes through it
    BigColumn b;
    const std::string log = (b.s.dir.path() / "big.undo").string();
    const check::Result r = run(env, b, log);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.changed, 40000);
    for (auto kind : {FaultEnv::Call::Write, FaultEnv::Call::Sync, FaultEnv::Call::Rename})
      ASSERT_GT(calls[int(kind)] = env.calls(kind), 0u);
    EXPECT_EQ(repair::readUndoFile(log).entries.size(), 40000u);
  }
  // The first, a middle and the last call of each kind: a 40,000-value batch for each.
  for (auto kind : {FaultEnv::Call::Write, FaultEnv::Call::Sync, FaultEnv::Call::Rename})
    for (uint64_t k : std::set<uint64_t>{1, (calls[int(kind)] + 1) / 2, calls[int(kind)]})
      for (int code : {EIO, ENOSPC}) {
        SCOPED_TRACE(testing::Message() << "call kind " << int(kind) << " #" << k << " errno " << code);
        FaultEnv env;
        BigColumn b;
        const std::string log = (b.s.dir.path() / "big.undo").string();
        const Lines lines = b.s.lines();
        env.failAt(kind, k, code);
        const check::Result r = run(env, b, log);
        ASSERT_EQ(r.refusals().size(), 1u);
        const check::Message m = r.refusals()[0];
        EXPECT_EQ(m.number, code == ENOSPC ? jet::err::kDiskFull : jet::err::kDiskError);
        EXPECT_TRUE(chinese(m.text) && m.text.find("撤销记录文件") != std::string::npos) << m.text;
        EXPECT_NE(m.text.find("数据库没有改动"), std::string::npos) << m.text;
        EXPECT_EQ(r.changed, 0);
        EXPECT_EQ(b.s.lines(), lines);
        check::CloseAtUnload(b.s.state);
        EXPECT_EQ(testfiles::fileBytes(b.path), b.original);
        EXPECT_FALSE(fs::exists(log));
        EXPECT_FALSE(fs::exists(log + ".tmp"));
      }
}

// A file that lost its last page (here a bitmap page of a usage map), and one that lost the
// page a defective row moved to: the check says the file is incomplete, verify fails, and
// every batch is refused with the file byte for byte as it was.
TEST(WholeBatch, AFileCutShortIsReportedAndNeverRepaired) {
  testfiles::ScratchDir dir;
  const std::string last = dir.copy(testfiles::data("checks2000.mdb"), "last.mdb").string();
  fs::resize_file(last, fs::file_size(last) - 4096);
  // Two rows outgrow their page; the second, defective, moves to a page appended at the end.
  const std::string moved = dir.copy(testfiles::data("checks2000.mdb"), "moved.mdb").string();
  std::string wide, wider;
  for (int i = 0; i < 200; ++i) wide += "长";
  for (int i = 0; i < 249; ++i) wider += "宽";
  ASSERT_EQ(runCli({"set", moved, "Wide", "W1", "6", wide}).status, 0);
  const auto grown = fs::file_size(moved);
  ASSERT_EQ(runCli({"set", moved, "Wide", "W1", "7", wider + "-"}).status, 0);
  ASSERT_EQ(fs::file_size(moved), grown + 4096);
  fs::resize_file(moved, grown);

  for (const auto& [file, table, column] :
       {std::tuple<std::string, std::string, std::string>{last, "凭证", "摘要"}, {moved, "Wide", "W1"}}) {
    SCOPED_TRACE(file);
    const auto before = testfiles::fileBytes(file);
    CliResult r = runCli({"scan", file, "--chars", "-"});
    EXPECT_NE((r.out + r.err).find("文件不完整"), std::string::npos) << r.out << r.err;
    r = runCli({"verify", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("文件不完整"), std::string::npos) << r.out;
    r = runCli({"update-all", file, table, column, "--chars", "-", "--mode", "_"});
    EXPECT_EQ(r.status, 1);
    r = runCli({"clear-all", file, table, column, "--chars", "-"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(testfiles::fileBytes(file), before);
  }
}

}  // namespace
}  // namespace checktest
