// The pattern editor behind the "Char" panel.
#include <gtest/gtest.h>

#include "Session.h"
#include "check/Commands.h"
#include "check/Messages.h"

namespace checktest {
namespace {

namespace msg = check::msg;
using Msgs = std::vector<std::string>;

// As the window does: the editor's notices are shown, then the scan it asks for runs.
void edit(Session& s, const std::string& key = "Char") {
  const check::Result edited = s.run(check::EditCheckChars, key, s.ui.status.panelText(3));
  if (edited.scanAgain) s.run(check::ScanDatabase);
}

TEST(Editor, ActsOnlyOnTheFilledCharPanel) {
  Session s;
  s.ui.dialogs.answers = {"abc", "abc", "abc"};
  edit(s);  // before the first open the panel is empty
  s.ui.status.setPanelText(3, s.state.checkChars);
  edit(s, "File");
  edit(s, "Date");
  EXPECT_TRUE(s.ui.dialogs.prompts.empty());
  edit(s, "cHaR");
  ASSERT_EQ(s.ui.dialogs.prompts.size(), 1u);
  EXPECT_EQ(s.ui.dialogs.prompts[0].prompt, msg::kCharsPrompt);
  EXPECT_EQ(s.ui.dialogs.prompts[0].title, "特殊字符");
  EXPECT_EQ(s.ui.dialogs.prompts[0].defaultAnswer, "-+*/#%<>:,{=''");
  EXPECT_EQ(s.state.checkChars, "abc");
  EXPECT_EQ(s.ui.status.panelText(3), "abc");
}

TEST(Editor, CancelOrEmptyChangesNothing) {
  Session s;
  s.ui.status.setPanelText(3, s.state.checkChars);
  s.ui.dialogs.answers = {""};
  edit(s);
  edit(s);  // no answer queued: a cancel
  EXPECT_EQ(s.takeMessages(), (Msgs{msg::kCharsInvalid, msg::kCharsInvalid}));
  EXPECT_EQ(s.state.checkChars, "-+*/#%<>:,{=''");
  EXPECT_EQ(s.ui.status.panelText(3), "-+*/#%<>:,{=''");
}

TEST(Editor, RulesAnnounceInOrderAndThePanelShowsTheResult) {
  Session s;
  s.ui.status.setPanelText(3, s.state.checkChars);
  s.ui.dialogs.answers = {"a-b'c]"};
  edit(s);
  EXPECT_EQ(s.takeMessages(), (Msgs{msg::kHyphenMoved, msg::kQuoteDoubled, msg::kBracketRemoved}));
  EXPECT_EQ(s.state.checkChars, "-abc''");
  EXPECT_EQ(s.ui.status.panelText(3), "-abc''");
  s.ui.dialogs.answers = {"center"};
  edit(s);
  EXPECT_EQ(s.ui.status.panelText(3), "\r");
}

TEST(Editor, RescansOnlyInCharacterMode) {
  Session s;
  s.open(s.copy("checks2000.mdb"));
  s.ui.dialogs.answers = {"=", "="};
  s.state.kind = &check::kDateCheck;
  edit(s);
  EXPECT_EQ(s.tree(), "");  // not rebuilt in date mode
  s.state.kind = &check::kCharCheck;
  edit(s);
  EXPECT_TRUE(s.takeMessages().empty());
  EXPECT_EQ(s.ui.tree.text(check::NodeId{check::NodeId::Kind::Column, "a,b", "c"}), "c(1条)");
  EXPECT_EQ(s.ui.tree.text(check::NodeId{check::NodeId::Kind::Column, "Orders", "Remark"}),
            "Remark(1条)");
}

TEST(Editor, CharacterModeWithoutDatabaseAsksToOpenOne) {
  Session s;
  s.ui.status.setPanelText(3, s.state.checkChars);
  s.state.kind = &check::kCharCheck;
  s.ui.dialogs.answers = {"#"};
  edit(s);
  EXPECT_EQ(s.takeMessages(), Msgs{msg::kOpenFirst});
  EXPECT_EQ(s.state.checkChars, "#");
}

}  // namespace
}  // namespace checktest
