// A command tells its outcome only through its result. A caller with no message box at all
// (the console tool, or anything else that runs the commands) gets every refusal with its
// DAO number, every notice, in the order the operator is to read them, and the counts.
#include <gtest/gtest.h>

#include "RepairSupport.h"
#include "Session.h"
#include "check/Commands.h"
#include "check/Messages.h"
#include "jet/Error.h"
#include "repair/Commands.h"
#include "repair/Undo.h"

namespace checktest {
namespace {

namespace msg = check::msg;
using Kind = check::Message::Kind;
using Lines = std::vector<std::string>;

// A session whose message boxes must never open: a command that showed a message itself
// fails the test. The commands are called directly here, never through Session::run, which
// would show their results.
struct Boxless : Session {
  Boxless() {
    ui.dialogs.onMessage = [](const std::string& text) {
      ADD_FAILURE() << "a command showed a message itself: " << text;
    };
  }
  check::Result open(const std::string& path) {
    ui.dialogs.files.push_back(path);
    return check::OpenDatabaseFile(state, ui.controls);
  }
  check::Result drill(const std::string& table, const std::string& column) {
    ui.tree.select(check::NodeId{check::NodeId::Kind::Column, table, column});
    return check::DrillDown(state, ui.controls);
  }
  template <class Command>
  check::Result answered(Command command, const std::string& answer) {
    ui.dialogs.answers.push_back(answer);
    return command(state, ui.controls);
  }
};

Lines texts(const check::Result& r) {
  Lines out;
  for (const check::Message& m : r.messages) out.push_back(m.text);
  return out;
}

TEST(CommandResult, RefusalsCarryTheirNumbersAndWords) {
  Boxless s;
  // The commands' own refusals are numbered 0.
  check::Result r = check::ScanDatabase(s.state, s.ui.controls);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].kind, Kind::Refusal);
  EXPECT_EQ(r.messages[0].number, 0);
  EXPECT_EQ(r.messages[0].text, msg::kOpenFirst);
  EXPECT_FALSE(r.ok());
  r = repair::Undo(s.state, s.ui.controls);
  EXPECT_EQ(texts(r), Lines{"没有可撤销的修复。"});
  EXPECT_FALSE(r.ok());

  // The engine's refusal keeps its number.
  const std::string missing = (s.dir.path() / "缺少.mdb").string();
  r = s.open(missing);
  ASSERT_EQ(r.refusals().size(), 1u);
  EXPECT_EQ(r.refusals()[0].number, jet::fileNotFound(missing).number());
  EXPECT_EQ(r.refusals()[0].text, jet::fileNotFound(missing).description());

  ASSERT_TRUE(s.open(s.copy("checks2000.mdb")).ok());
  s.state.kind = &check::kCharCheck;
  ASSERT_TRUE(s.drill("Shipments", "Carrier").ok());
  s.selectLine(0);
  r = s.answered(repair::Update, "");  // an empty answer is no value
  EXPECT_EQ(texts(r), Lines{msg::kValueInvalid});
  EXPECT_EQ(r.refusals()[0].number, 0);
  r = s.answered(repair::Update, std::string(41, 'x'));  // Carrier is Text(40)
  ASSERT_EQ(r.refusals().size(), 1u);
  EXPECT_EQ(r.refusals()[0].number, jet::fieldTooSmall().number());
  EXPECT_EQ(r.refusals()[0].text, jet::fieldTooSmall().description());
  EXPECT_EQ(r.changed, 0);
  EXPECT_EQ(s.lines(), Lines{"FedEx/Ground"});  // the stored value stays listed
  EXPECT_TRUE(s.takeMessages().empty());
}

TEST(CommandResult, NoticesAndCountsComeBackInOrder) {
  REQUIRE_WRITES("checks2000.mdb", "Orders", "Shipped");
  Boxless s;
  ASSERT_TRUE(s.open(s.copy("checks2000.mdb")).ok());
  s.state.kind = &check::kDateCheck;
  ASSERT_TRUE(check::ScanDatabase(s.state, s.ui.controls).ok());
  ASSERT_TRUE(s.drill("Orders", "Shipped").ok());
  ASSERT_EQ(s.lines().size(), 3u);
  s.selectLine(0);
  check::Result r = s.answered(repair::BatchUpdate, "2001-2-3");
  EXPECT_TRUE(r.ok());
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(r.changed, 3);

  // The undo's report is a notice: the result is still a success.
  r = repair::Undo(s.state, s.ui.controls);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].kind, Kind::Notice);
  EXPECT_EQ(r.messages[0].text, "已撤销上一次修复：恢复了 3 个值。");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.changed, 3);
  EXPECT_EQ(s.lines().size(), 3u);

  // The editor's notices come in the order its rules run. It does not scan by itself: it
  // asks its caller to, and only when the current check uses the characters.
  const std::string tree = s.tree();
  const std::string panel = s.ui.status.panelText(3);
  r = s.answered([](check::CheckState& st, check::Controls& ui) {
    return check::EditCheckChars(st, ui, "Char", ui.status.panelText(3));
  }, "ab-c'");
  EXPECT_EQ(texts(r), (Lines{msg::kHyphenMoved, msg::kQuoteDoubled}));
  EXPECT_TRUE(r.ok());
  EXPECT_FALSE(r.scanAgain);  // the date check does not look at them
  EXPECT_EQ(s.state.checkChars, "-abc''");
  s.state.kind = &check::kCharCheck;
  r = s.answered([](check::CheckState& st, check::Controls& ui) {
    return check::EditCheckChars(st, ui, "Char", ui.status.panelText(3));
  }, "xy]z");
  EXPECT_EQ(texts(r), Lines{msg::kBracketRemoved});
  EXPECT_TRUE(r.scanAgain);
  EXPECT_EQ(s.tree(), tree);  // the caller's scan has not run yet
  EXPECT_NE(panel, s.ui.status.panelText(3));
  EXPECT_TRUE(s.takeMessages().empty());
}

}  // namespace
}  // namespace checktest
