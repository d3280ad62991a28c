// mdbcheck-cli runs the very same commands on the console.
#include <gtest/gtest.h>

#include "Expected.h"
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

}  // namespace
}  // namespace checktest
