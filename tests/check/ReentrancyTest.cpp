// Commands that run while a scan waits in its yield. The rule: a scan that finds another
// scan, an open or the unload happened during its yield stops quietly and leaves the newer
// result; a drill-down or a repair during the yield runs on the same database and the scan
// goes on.
#include <gtest/gtest.h>

#include "Expected.h"
#include "Session.h"
#include "check/Commands.h"

namespace checktest {
namespace {

TEST(Reentrancy, SecondScanDuringYieldWins) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.ui.events.onYield = [&](int n) {
    if (n != 2) return;
    s.state.kind = &check::kCharCheck;  // the toolbar's character check
    s.run(check::ScanDatabase);
  };
  s.scan(false);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.tree(), expectedTree("checks2000.mdb", true));
  EXPECT_EQ(s.ui.events.busyDepth, 0);
}

TEST(Reentrancy, OpenDuringYieldStopsTheScanOnTheOldFile) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  const std::string other = s.copy("linked_target.mdb");
  s.ui.events.onYield = [&](int n) {
    if (n == 3) s.open(other);
  };
  s.scan(false);
  EXPECT_TRUE(s.takeMessages().empty());  // no 3420 from the closed file
  EXPECT_EQ(s.tree(), "");                // the open emptied the tree; nothing was added
  s.ui.events.onYield = nullptr;
  s.scan(false);
  EXPECT_EQ(s.tree(), expectedTree("linked_target.mdb", false));
}

TEST(Reentrancy, CancelledOpenDuringYieldLetsTheScanFinish) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.ui.events.onYield = [&](int n) {
    if (n == 1) s.open("");
  };
  s.scan(false);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.tree(), expectedTree("checks2000.mdb", false));
}

TEST(Reentrancy, UnloadDuringYieldLeavesNothingHeld) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.ui.events.onYield = [&](int n) {
    if (n == 1) check::CloseAtUnload(s.state);
  };
  s.scan(false);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_FALSE(s.state.database);
  EXPECT_FALSE(s.state.workspace);
}

TEST(Reentrancy, DrillDownDuringYieldKeepsItsLinesAndTheirQuery) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.ui.events.onYield = [&](int n) {
    if (n == 1) s.drill("a,b", "d");  // a,b is the first table: its node exists now
  };
  s.scan(false);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.tree(), expectedTree("checks2000.mdb", false));
  ASSERT_EQ(s.ui.list.count(), 1);
  // The scan went on to put count queries into currentQuery; the line keeps its own query.
  EXPECT_EQ(s.ui.list.tag(0).query,
            "select [d] from [a,b] where [d]<#1900-1-1# and [d]>#0:0:0#");
  EXPECT_NE(s.state.currentQuery, s.ui.list.tag(0).query);
}

}  // namespace
}  // namespace checktest
