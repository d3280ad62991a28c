#include "check/Queries.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace check {
namespace {

TEST(Queries, CountQueryBracketsTableAndColumn) {
  EXPECT_EQ(countQuery("Orders", "Shipped", check::kDateCheck, "x"),
            "Select count(*)  from [Orders] where [Shipped]<#1900-1-1# and [Shipped]>#0:0:0#");
  EXPECT_EQ(countQuery("Orders", "Remark", check::kCharCheck, "-+*/#%<>:,{=''"),
            "Select count(*)  from [Orders] where [Remark] like '*[-+*/#%<>:,{='']*'");
  EXPECT_EQ(countQuery("Order Details", "Ship Date", check::kDateCheck, ""),
            "Select count(*)  from [Order Details] where [Ship Date]<#1900-1-1# and "
            "[Ship Date]>#0:0:0#");
}

TEST(Queries, SelectQueryIsAssembledNotSubstituted) {
  EXPECT_EQ(selectQuery("Orders", "Shipped", check::kDateCheck, ""),
            "select [Shipped] from [Orders] where [Shipped]<#1900-1-1# and [Shipped]>#0:0:0#");
  EXPECT_EQ(selectQuery("Reserved", "Order", check::kCharCheck, "-+*/#%<>:,{=''"),
            "select [Order] from [Reserved] where [Order] like '*[-+*/#%<>:,{='']*'");
  // Names and sets holding the old template's markers stay as they are.
  EXPECT_EQ(selectQuery("t@2", "c@1", check::kCharCheck, "@1@2"),
            "select [c@1] from [t@2] where [c@1] like '*[@1@2]*'");
  EXPECT_EQ(selectQuery("a,b", "c", check::kCharCheck, "="), "select [c] from [a,b] where [c] like '*[=]*'");
}

TEST(Queries, LeadingExclamationNeverNegatesTheList) {
  EXPECT_EQ(defectCondition("C", check::kCharCheck, "!ab"), "[C] like '*[ab!]*'");
  EXPECT_EQ(defectCondition("C", check::kCharCheck, "!!ab"), "[C] like '*[ab!]*'");
  EXPECT_EQ(defectCondition("C", check::kCharCheck, "!"), "[C] like '*!*'");
  EXPECT_EQ(defectCondition("C", check::kCharCheck, "!-a"), "[C] like '*[-!a]*'");
  EXPECT_EQ(defectCondition("C", check::kCharCheck, "!a-"), "[C] like '*[a!-]*'");
  EXPECT_EQ(defectCondition("C", check::kCharCheck, "!a''"), "[C] like '*[a''!]*'");
  // Anywhere but first it is literal already and stays where it is.
  EXPECT_EQ(defectCondition("C", check::kCharCheck, "a!"), "[C] like '*[a!]*'");
  EXPECT_EQ(defectCondition("C", check::kCharCheck, "\r"), "[C] like '*[\r]*'");
}

TEST(Queries, TableAndColumnComeBackFromTheQuery) {
  for (const auto& [table, column] : std::vector<std::pair<std::string, std::string>>{
           {"Orders", "Shipped"}, {"a,b", "c"}, {"Order Details", "Ship Date"},
           {"t where [x", "from [y"}, {"凭证", "制单日期"}}) {
    for (const std::string& q : {selectQuery(table, column, check::kCharCheck, "]!'x"),
                                 selectQuery(table, column, check::kDateCheck, ""),
                                 columnQuery(table, column)}) {
      SCOPED_TRACE(q);
      const auto parts = queryColumn(q);
      ASSERT_TRUE(parts);
      EXPECT_EQ(parts->table, table);
      EXPECT_EQ(parts->column, column);
    }
  }
  EXPECT_FALSE(queryColumn("Select count(*)  from [T] where [C] like '*[-]*'"));
  EXPECT_FALSE(queryColumn("select [C"));
}

}  // namespace
}  // namespace check
