// mdbcheck-cli runs the very same commands on the console.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Expected.h"
#include "Protected.h"
#include "Readback.h"
#include "TestFiles.h"
#include "check/Messages.h"

namespace checktest {
namespace {

TEST(Cli, ScanPrintsTheExpectedTreeForEveryFixture) {
  for (const char* fixture :
       {"checks2000.mdb", "checks2003.mdb", "checks2010.accdb", "linked_target.mdb",
        "empty2000.mdb", "nocandidates2000.mdb", "template2000.mdb", "flags2000.mdb",
        "rawdates2000.mdb"}) {
    for (bool chars : {false, true}) {
      SCOPED_TRACE(std::string(fixture) + (chars ? " --chars" : " --dates"));
      testfiles::ScratchDir dir;  // the tool opens exclusively: never the shared fixture
      const CliResult r = runCli({"scan", dir.copy(testfiles::data(fixture)).string(),
                                  chars ? "--chars" : "--dates"});
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, expectedTree(fixture, chars));
    }
  }
}

TEST(Cli, CharsGoThroughTheEditorsRules) {
  testfiles::ScratchDir dir;
  const std::string file = dir.copy(testfiles::data("checks2000.mdb")).string();
  CliResult r = runCli({"scan", file, "--chars", "=']"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, std::string(check::msg::kQuoteDoubled) + "\n" +
                       check::msg::kBracketRemoved + "\n");
  // "=''": the a=b remark and O'Brien.
  EXPECT_NE(r.out.find("    Remark(2条)\n"), std::string::npos) << r.out;
  r = runCli({"scan", file, "--chars", ""});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.err, std::string(check::msg::kCharsInvalid) + "\n");
}

TEST(Cli, ListPrintsOneLinePerRowAndFailuresGoToStderr) {
  testfiles::ScratchDir dir;
  const std::string file = dir.copy(testfiles::data("checks2000.mdb")).string();
  CliResult r = runCli({"list", file, "Reserved", "Order", "--chars"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "order#6\n");
  r = runCli({"list", file, "Orders", "Remark", "--chars", "ENTER"});
  EXPECT_EQ(r.out, "line1\\r\\nline2\n");
  r = runCli({"list", file, "Nowhere", "X", "--dates"});
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(r.err.empty());
  EXPECT_EQ(r.out, "");
  r = runCli({"list", file, "Orders"});
  EXPECT_EQ(r.status, 2);
}

// A file with a password: --password or MDBCHECK_PASSWORD gives it; without one the tool
// says so and how to give it, a wrong one is "不是有效的密码。", both 3031 and exit 1.
TEST(Cli, APasswordComesFromTheOptionOrTheEnvironment) {
  testfiles::ScratchDir dir;
  const std::string file = dir.copy(testfiles::data("checks2000.mdb"), "locked.mdb").string();
  protect::setPassword(file, "Pw-2024");
  const std::string tree = expectedTree("checks2000.mdb", false);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"scan", file, "--dates"}, std::vector<std::string>{"tables", file}}) {
    SCOPED_TRACE(command[0]);
    CliResult r = runCli(command);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "不是有效的密码。数据库 '" + file + "' 设有密码：请用 --password 密码 给出它，"
                     "或把它放在环境变量 MDBCHECK_PASSWORD 中。\n");
    std::vector<std::string> wrong = command;
    wrong.insert(wrong.begin() + 1, {"--password", "pw-2024"});
    r = runCli(wrong);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "不是有效的密码。\n");
  }
  CliResult r = runCli({"scan", file, "--password=Pw-2024", "--dates"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, tree);
  testfiles::setEnvironment("MDBCHECK_PASSWORD", "Pw-2024");
  r = runCli({"scan", file, "--dates"});
  const CliResult verified = runCli({"verify", file});
  testfiles::setEnvironment("MDBCHECK_PASSWORD", nullptr);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, tree);
  EXPECT_EQ(verified.status, 0) << verified.err;
}

}  // namespace
}  // namespace checktest
