#include "check/Queries.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace check {
namespace {

TEST(Queries, CountQueryBracketsTableAndColumn) {
  EXPECT_EQ(countQuery("Orders", "Shipped", false, "x"),
            "Select count(*)  from [Orders] where [Shipped]<#1900-1-1# and [Shipped]>#0:0:0#");
  EXPECT_EQ(countQuery("Orders", "Remark", true, "-+*/#%<>:,{=''"),
            "Select count(*)  from [Orders] where [Remark] like '*[-+*/#%<>:,{='']*'");
  EXPECT_EQ(countQuery("Order Details", "Ship Date", false, ""),
            "Select count(*)  from [Order Details] where [Ship Date]<#1900-1-1# and "
            "[Ship Date]>#0:0:0#");
}

TEST(Queries, SelectQueryIsAssembledNotSubstituted) {
  EXPECT_EQ(selectQuery("Orders", "Shipped", false, ""),
            "select [Shipped] from [Orders] where [Shipped]<#1900-1-1# and [Shipped]>#0:0:0#");
  EXPECT_EQ(selectQuery("Reserved", "Order", true, "-+*/#%<>:,{=''"),
            "select [Order] from [Reserved] where [Order] like '*[-+*/#%<>:,{='']*'");
  // Names and sets holding the old template's markers stay as they are.
  EXPECT_EQ(selectQuery("t@2", "c@1", true, "@1@2"),
            "select [c@1] from [t@2] where [c@1] like '*[@1@2]*'");
  EXPECT_EQ(selectQuery("a,b", "c", true, "="), "select [c] from [a,b] where [c] like '*[=]*'");
}

TEST(Queries, LeadingExclamationNeverNegatesTheList) {
  EXPECT_EQ(defectCondition("C", true, "!ab"), "[C] like '*[ab!]*'");
  EXPECT_EQ(defectCondition("C", true, "!!ab"), "[C] like '*[ab!]*'");
  EXPECT_EQ(defectCondition("C", true, "!"), "[C] like '*!*'");
  EXPECT_EQ(defectCondition("C", true, "!-a"), "[C] like '*[-!a]*'");
  EXPECT_EQ(defectCondition("C", true, "!a-"), "[C] like '*[a!-]*'");
  EXPECT_EQ(defectCondition("C", true, "!a''"), "[C] like '*[a''!]*'");
  // Anywhere but first it is literal already and stays where it is.
  EXPECT_EQ(defectCondition("C", true, "a!"), "[C] like '*[a!]*'");
  EXPECT_EQ(defectCondition("C", true, "\r"), "[C] like '*[\r]*'");
}

TEST(Queries, TableAndColumnComeBackFromTheQuery) {
  for (const auto& [table, column] : std::vector<std::pair<std::string, std::string>>{
           {"Orders", "Shipped"}, {"a,b", "c"}, {"Order Details", "Ship Date"},
           {"t where [x", "from [y"}, {"凭证", "制单日期"}}) {
    for (const std::string& q : {selectQuery(table, column, true, "]!'x"),
                                 selectQuery(table, column, false, ""),
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
