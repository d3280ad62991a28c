#include <gtest/gtest.h>

#include <cstdio>

#include "ExpectedJson.h"
#include "TestFiles.h"

namespace {

using testfiles::shellQuoted;

// Runs the CLI; returns its standard output, and its exit status through status.
std::string run(const std::string& file, const std::string& sql, int& status) {
  testfiles::CommandResult r = testfiles::runCommand(shellQuoted(testfiles::cli().string()) + " sql " +
                                                     shellQuoted(file) + " " + shellQuoted(sql) +
                                                     " 2>&1");
  status = r.status;
  return std::move(r.out);
}

std::string quoted(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

TEST(CliSql, CountQueriesAgreeWithTheOracleInBothModes) {
  if (!testfiles::requireCli()) return;
  const auto files = expected::load(testfiles::data("expected.json").string());
  for (const auto& [file, counts] : files) {
    const std::string path = testfiles::data(file).string();
    for (bool chars : {false, true}) {
      for (const auto& c : chars ? counts.chars : counts.dates) {
        const std::string col = "[" + c.column + "]";
        const std::string cond = chars ? col + " like '*[" + quoted(counts.checkChars) + "]*'"
                                       : col + "<#1900-1-1# and " + col + ">#0:0:0#";
        const std::string sql = "Select count(*)  from [" + c.table + "] where " + cond;
        int status = 0;
        EXPECT_EQ(run(path, sql, status), std::to_string(c.count) + "\n") << file << ": " << sql;
        EXPECT_EQ(status, 0);
      }
    }
  }
}

TEST(CliSql, RowsAndFailures) {
  if (!testfiles::requireCli()) return;
  int status = 0;
  const std::string path = testfiles::data("rawdates2000.mdb").string();
  EXPECT_EQ(run(path, "select ID, D, Note from RawDates where D<#1900-1-1# and D>#0:0:0# and ID < 4", status),
            "2\t1899-12-30 00:00:00\ttiny positive: defect (reads as the zero date when rounded to seconds)\n"
            "3\t1899-12-30 12:00:00\t1899-12-30 12:00: defect\n");
  EXPECT_EQ(run(path, "select D from RawDates where D is null", status), "\\N\n");
  EXPECT_EQ(run(path, "select D from Nowhere", status),
            "数据库引擎找不到输入表或查询 'Nowhere'。请确定它是否存在，以及它的名称的拼写是否正确。\n");
  EXPECT_NE(status, 0);
}

}  // namespace
