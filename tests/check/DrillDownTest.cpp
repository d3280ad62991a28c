// A click on a column node lists its defective values, each line tied to its row.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "Session.h"
#include "check/Commands.h"

namespace checktest {
namespace {

using check::NodeId;
using Lines = std::vector<std::string>;

TEST(DrillDown, ListsTheColumnsDefectsInEngineOrder) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.scan(false);
  s.drill("Orders", "Shipped");
  EXPECT_TRUE(s.takeMessages().empty());
  Lines lines = s.lines();
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (Lines{"1899-12-30 10:00:00", "1899-12-31", "1899-12-31 23:59:59"}));
  EXPECT_EQ(s.state.currentQuery,
            "select [Shipped] from [Orders] where [Shipped]<#1900-1-1# and [Shipped]>#0:0:0#");
  // Every line remembers its own row and the query it came from.
  for (int i = 0; i < s.ui.list.count(); ++i) {
    EXPECT_EQ(s.ui.list.tag(i).query, s.state.currentQuery);
    for (int j = 0; j < i; ++j) EXPECT_NE(s.ui.list.tag(i).bookmark, s.ui.list.tag(j).bookmark);
  }
}

TEST(DrillDown, NamesNeedingBracketsWork) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.state.kind = &check::kCharCheck;
  for (const auto& [table, column, expected] :
       std::vector<std::tuple<std::string, std::string, Lines>>{
           {"Order Details", "Memo2", {"fragile, handle with care"}},
           {"Shipments", "Carrier", {"FedEx/Ground"}},
           {"ROOT", "Name", {"root:node"}},
           {"a,b", "c", {"x=y"}},
           {"Reserved", "Order", {"order#6"}}}) {
    SCOPED_TRACE(table);
    s.drill(table, column);
    EXPECT_TRUE(s.takeMessages().empty());
    EXPECT_EQ(s.lines(), expected);
  }
  s.state.kind = &check::kDateCheck;
  s.drill("Shipments", "Ship Date");
  EXPECT_EQ(s.lines().size(), 1u);
  EXPECT_TRUE(s.takeMessages().empty());
}

TEST(DrillDown, RootAndTableNodesDoNothing) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.scan(false);
  s.drill("Orders", "Shipped");
  const Lines before = s.lines();
  const std::string query = s.state.currentQuery;
  for (const NodeId& node : {NodeId{}, NodeId{NodeId::Kind::Table, "Orders", {}},
                             NodeId{NodeId::Kind::Table, "ROOT", {}}}) {
    s.ui.tree.select(node);
    s.run(check::DrillDown);
  }
  s.ui.tree.select(std::nullopt);
  s.run(check::DrillDown);
  EXPECT_EQ(s.lines(), before);
  EXPECT_EQ(s.state.currentQuery, query);
  EXPECT_TRUE(s.takeMessages().empty());
}

TEST(DrillDown, FailureKeepsTheListAndReports) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.drill("Orders", "Shipped");
  const Lines before = s.lines();
  s.drill("NoSuchTable", "X");
  EXPECT_EQ(s.takeMessages().size(), 1u);
  EXPECT_EQ(s.lines(), before);
  EXPECT_EQ(s.state.currentQuery,
            "select [X] from [NoSuchTable] where [X]<#1900-1-1# and [X]>#0:0:0#");
}

TEST(DrillDown, BigColumnListsEveryRow) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.drill("Big", "D");
  EXPECT_EQ(s.ui.list.count(), 40000);  // no 16-bit limit
}

}  // namespace
}  // namespace checktest
