// The scan on real fixtures: the tree expected.json implies, in both modes.
#include <gtest/gtest.h>

#include <filesystem>

#include "Expected.h"
#include "Session.h"
#include "check/Commands.h"
#include "data/Dao.h"
#include "check/Messages.h"
#include "jet/Database.h"

namespace checktest {
namespace {

using check::NodeId;

class FixtureScan : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureScan, TreeMatchesExpectationsInBothModes) {
  Session s;
  s.open(s.copy(GetParam()));
  ASSERT_TRUE(s.takeMessages().empty());
  for (bool charMode : {false, true}) {
    SCOPED_TRACE(charMode ? "chars" : "dates");
    s.scan(charMode);
    EXPECT_TRUE(s.takeMessages().empty());
    EXPECT_EQ(s.tree(), expectedTree(GetParam(), charMode));
    EXPECT_EQ(s.ui.list.count(), 0);
    EXPECT_EQ(s.ui.events.busyDepth, 0);
  }
  // One yield per member of the table collection, passed-over tables included.
  EXPECT_GT(s.ui.events.yields, 0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureScan,
                         ::testing::Values("checks2000.mdb", "checks2003.mdb", "checks2010.accdb",
                                           "linked_target.mdb", "empty2000.mdb",
                                           "nocandidates2000.mdb", "template2000.mdb",
                                           "flags2000.mdb", "rawdates2000.mdb"));

TEST(Scan, NamesThatNeedBracketsOrCollideAreScanned) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.scan(false);
  // A table named like the root is a table node of its own; a comma stays in the name.
  EXPECT_EQ(s.ui.tree.text(NodeId{NodeId::Kind::Table, "ROOT", {}}), "ROOT");
  EXPECT_EQ(s.ui.tree.text(NodeId{}), "表");
  EXPECT_EQ(s.ui.tree.text(NodeId{NodeId::Kind::Column, "a,b", "d"}), "d(1条)");
  EXPECT_EQ(s.ui.tree.text(NodeId{NodeId::Kind::Column, "Shipments", "Ship Date"}),
            "Ship Date(1条)");
  EXPECT_EQ(s.ui.tree.text(NodeId{NodeId::Kind::Column, "Reserved", "Date"}), "Date(1条)");
  EXPECT_EQ(s.ui.tree.text(NodeId{NodeId::Kind::Column, "Order Details", "Delivered"}),
            "Delivered(2条)");
  // The last candidate's count query stays behind, bracketed.
  EXPECT_EQ(s.state.currentQuery,
            "Select count(*)  from [凭证] where [制单日期]<#1900-1-1# and [制单日期]>#0:0:0#");
  s.scan(true);
  EXPECT_EQ(s.ui.tree.text(NodeId{NodeId::Kind::Column, "Reserved", "Order"}), "Order(1条)");
  EXPECT_FALSE(s.ui.tree.contains(NodeId{NodeId::Kind::Column, "Orders", "Notes"}));  // memo
  EXPECT_FALSE(s.ui.tree.contains(NodeId{NodeId::Kind::Table, "LinkedOrders", {}}));
}

// A file cut at a page boundary is scanned, and the root says the file is incomplete.
TEST(Scan, AFileCutShortSaysSoAtTheRoot) {
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  {
    // Two rows outgrow their page; the second moves to a page appended at the end, which
    // the cut then loses.
    auto db = jet::Database::open(path, jet::Database::Mode::Exclusive);
    const jet::TableInfo& t = *db->findTable("Wide");
    std::string text;
    for (int i = 0; i < 200; ++i) text += "长";
    auto cur = db->scan(t);
    for (int i = 0; i <= 6; ++i) ASSERT_TRUE(cur->next());
    db->update(t, cur->rowId(), t.findColumn("W1")->position, jet::Value(text));
    text.clear();
    for (int i = 0; i < 250; ++i) text += "宽";
    ASSERT_TRUE(cur->next());
    db->update(t, cur->rowId(), t.findColumn("W1")->position, jet::Value(text));
  }
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 4096);
  s.open(path);
  s.scan(false);
  const std::string root = s.ui.tree.text(NodeId{});
  EXPECT_NE(root.find("文件不完整"), std::string::npos) << root;
  EXPECT_TRUE(s.ui.tree.contains(NodeId{NodeId::Kind::Column, "Reserved", "Date"}));
}

TEST(Scan, WithoutDatabaseChangesNothing) {
  Session s;
  s.ui.tree.add(NodeId{}, "表");
  s.ui.list.addItem("x", {});
  s.state.currentQuery = "q";
  s.scan(false);
  EXPECT_EQ(s.takeMessages(), std::vector<std::string>{check::msg::kOpenFirst});
  EXPECT_EQ(s.tree(), "表\n");
  EXPECT_EQ(s.ui.list.count(), 1);
  EXPECT_EQ(s.state.currentQuery, "q");
}

TEST(Scan, SetStartingWithExclamationIsNotNegated) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.state.checkChars = "!=";  // "[!=]" would match nearly every text
  s.scan(true);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.ui.tree.text(NodeId{NodeId::Kind::Column, "a,b", "c"}), "c(1条)");  // x=y
  EXPECT_EQ(s.ui.tree.text(NodeId{NodeId::Kind::Column, "Orders", "Remark"}), "Remark(2条)");
}

TEST(Scan, FailureStopsWithTheTreeBuiltSoFar) {
  Session s;
  const std::string path = s.copy("checks2000.mdb");
  s.open(path);
  s.state.database->Close();  // held but closed: the scan's first step fails
  s.scan(false);
  const auto shown = s.takeMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "对象无效或不再被设置。");
  EXPECT_EQ(s.tree(), "表\n");
}

}  // namespace
}  // namespace checktest
