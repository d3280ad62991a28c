// The whole road on the console, on a copy: check, list, one update, the rest in a batch,
// check again.
#include <gtest/gtest.h>

#include "RepairSupport.h"
#include "TestFiles.h"

namespace checktest {
namespace {

TEST(CliRepair, DateRoadEndsWithoutErrorsForTheColumn) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Shipped");
  testfiles::ScratchDir dir;
  const std::string file = dir.copy(testfiles::data("checks2000.mdb")).string();
  CliResult r = runCli({"scan", file, "--dates"});
  EXPECT_NE(r.out.find("    Shipped(3条)\n"), std::string::npos);
  r = runCli({"update", file, "Orders", "Shipped", "1", "2020-5-6", "--dates"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1, 11), "2020-05-06\n");
  r = runCli({"update", file, "Orders", "Shipped", "0", "2020-02-30", "--dates"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.err, "日期非法，重新输入\n");
  r = runCli({"update-all", file, "Orders", "Shipped", "--dates", "--date", "2000-01-01"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2000-01-01\n2000-01-01\n");
  r = runCli({"scan", file, "--dates"});
  EXPECT_EQ(r.out.find("Shipped("), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    OrderDate(2条)\n"), std::string::npos);
  expectSoundFile(file, "Orders", "Shipped");
}

TEST(CliRepair, CharacterRoadWithClearAndMode) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Remark");
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Code");
  testfiles::ScratchDir dir;
  const std::string file = dir.copy(testfiles::data("checks2000.mdb")).string();
  CliResult r = runCli({"clear", file, "Orders", "Remark", "0", "--chars", "-+"});
  EXPECT_EQ(r.status, 0) << r.err;
  r = runCli({"update-all", file, "Orders", "Remark", "--chars", "-+", "--mode", "+Z"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "xZy\naZbZc\n");
  r = runCli({"clear-all", file, "Orders", "Code", "--chars"});
  EXPECT_EQ(r.out, "");
  r = runCli({"scan", file, "--chars", "-+"});
  EXPECT_EQ(r.out.find("Remark("), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Code("), std::string::npos) << r.out;
  expectSoundFile(file, "Orders", "Remark");
}

}  // namespace
}  // namespace checktest
